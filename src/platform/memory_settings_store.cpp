#include "platform/memory_settings_store.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace vx::platform {

namespace {

constexpr char kKeySeparator = '\\';

std::string FoldCase(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool SameName(const std::string& a, const std::string& b) {
    return FoldCase(a) == FoldCase(b);
}

// The path without separators at its ends, in one case.
std::string KeyOf(const std::string& path) {
    const auto first = path.find_first_not_of(kKeySeparator);
    if (first == std::string::npos)
        return {};
    const auto last = path.find_last_not_of(kKeySeparator);
    return FoldCase(path.substr(first, last - first + 1));
}

class MemoryKey final : public SettingsKey {
public:
    explicit MemoryKey(MemorySettingsStore::Values& values) : values_(values) {}

    bool Exists(const std::string& name) const override { return Find(name) != values_.end(); }
    std::optional<std::uint32_t> ReadInteger(const std::string& name) const override {
        return Read<std::uint32_t>(name);
    }
    std::optional<std::string> ReadText(const std::string& name) const override {
        std::optional<std::string> text = Read<std::string>(name);
        if (text)
            text->resize(std::min(text->size(), text->find('\0')));
        return text;
    }
    bool WriteInteger(const std::string& name, std::uint32_t value) override {
        return Write(name, value);
    }
    bool WriteText(const std::string& name, const std::string& value) override {
        return Write(name, value);
    }
    bool DeleteValue(const std::string& name) override {
        if (const auto entry = Find(name); entry != values_.end())
            values_.erase(entry);
        return true;
    }
    std::vector<std::string> ValueNames() const override {
        std::vector<std::string> names;
        for (const auto& entry : values_) names.push_back(entry.first);
        return names;
    }

private:
    MemorySettingsStore::Values::iterator Find(const std::string& name) const {
        return std::find_if(values_.begin(), values_.end(),
                            [&name](const auto& entry) { return SameName(entry.first, name); });
    }
    template <typename T>
    std::optional<T> Read(const std::string& name) const {
        const auto entry = Find(name);
        if (entry == values_.end() || !std::holds_alternative<T>(entry->second))
            return std::nullopt;
        return std::get<T>(entry->second);
    }
    bool Write(const std::string& name, MemorySettingsStore::Value value) {
        const auto entry = Find(name);
        if (entry == values_.end())
            values_.emplace_back(name, std::move(value));
        else
            entry->second = std::move(value);
        return true;
    }

    MemorySettingsStore::Values& values_;
};

}  // namespace

// The root is always there, as in the registry.
MemorySettingsStore::MemorySettingsStore() : keys_{{std::string{}, Values{}}} {}

std::unique_ptr<SettingsKey> MemorySettingsStore::OpenKey(const std::string& path) {
    const auto key = keys_.find(KeyOf(path));
    return key == keys_.end() ? nullptr : std::make_unique<MemoryKey>(key->second);
}

// Creating a key creates its parents, so that each of them opens too.
std::unique_ptr<SettingsKey> MemorySettingsStore::CreateKey(const std::string& path) {
    const std::string key = KeyOf(path);
    for (auto separator = key.find(kKeySeparator); separator != std::string::npos;
         separator = key.find(kKeySeparator, separator + 1)) {
        keys_.try_emplace(key.substr(0, separator));
    }
    return std::make_unique<MemoryKey>(keys_[key]);
}

}  // namespace vx::platform
