#pragma once

#include <memory>

#include "platform/settings_store.h"

namespace vx::platform {

// Another store as a reader sees it: every key opens for reading only, and
// every write, removal or creation is refused, so nothing is changed, not
// even a lock file taken. `vxctl --no-store` numbers its ports through the
// machine's Ports table this way.
class ReadOnlySettingsStore final : public SettingsStore {
public:
    explicit ReadOnlySettingsStore(std::unique_ptr<SettingsStore> inner)
        : inner_(std::move(inner)) {}

    std::unique_ptr<SettingsKey> OpenKey(const std::string& path) override;
    std::unique_ptr<SettingsKey> OpenKeyToRead(const std::string& path) override {
        return OpenKey(path);
    }
    std::unique_ptr<SettingsKey> CreateKey(const std::string&) override { return nullptr; }

private:
    std::unique_ptr<SettingsStore> inner_;
};

}  // namespace vx::platform
