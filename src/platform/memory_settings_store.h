#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "platform/settings_store.h"

namespace vx::platform {

// A store that lives only as long as the program: `vxctl --no-store` runs
// against it, so that the machine's store is neither read nor written.
// Names match as in the registry and the file store: key paths and value
// names without regard to letter case, a value keeping the spelling it was
// first written with. Keys stay valid as long as the store.
class MemorySettingsStore final : public SettingsStore {
public:
    MemorySettingsStore();

    std::unique_ptr<SettingsKey> OpenKey(const std::string& path) override;
    std::unique_ptr<SettingsKey> CreateKey(const std::string& path) override;

    using Value = std::variant<std::uint32_t, std::string>;
    using Values = std::vector<std::pair<std::string, Value>>;  // in the order first written

private:
    std::map<std::string, Values> keys_;  // by their folded path
};

}  // namespace vx::platform
