#include "platform/read_only_settings_store.h"

namespace vx::platform {
namespace {

class ReadOnlyKey final : public SettingsKey {
public:
    explicit ReadOnlyKey(std::unique_ptr<SettingsKey> inner) : inner_(std::move(inner)) {}

    bool Exists(const std::string& name) const override { return inner_->Exists(name); }
    std::optional<std::uint32_t> ReadInteger(const std::string& name) const override {
        return inner_->ReadInteger(name);
    }
    std::optional<std::string> ReadText(const std::string& name) const override {
        return inner_->ReadText(name);
    }
    bool WriteInteger(const std::string&, std::uint32_t) override { return false; }
    bool WriteText(const std::string&, const std::string&) override { return false; }
    bool DeleteValue(const std::string&) override { return false; }
    std::vector<std::string> ValueNames() const override { return inner_->ValueNames(); }

private:
    std::unique_ptr<SettingsKey> inner_;
};

}  // namespace

std::unique_ptr<SettingsKey> ReadOnlySettingsStore::OpenKey(const std::string& path) {
    auto key = inner_ ? inner_->OpenKeyToRead(path) : nullptr;
    return key ? std::make_unique<ReadOnlyKey>(std::move(key)) : nullptr;
}

}  // namespace vx::platform
