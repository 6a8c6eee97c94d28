#include "vxctl/memory_store.h"

#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace vx::ctl {

namespace {

using Value = std::variant<std::uint32_t, std::string>;
using Values = std::vector<std::pair<std::string, Value>>;  // in stored order

class MemoryKey final : public platform::SettingsKey {
public:
    explicit MemoryKey(Values& values) : values_(values) {}

    bool Exists(const std::string& name) const override { return Find(name) != nullptr; }
    std::optional<std::uint32_t> ReadInteger(const std::string& name) const override {
        return Read<std::uint32_t>(name);
    }
    std::optional<std::string> ReadText(const std::string& name) const override {
        return Read<std::string>(name);
    }
    bool WriteInteger(const std::string& name, std::uint32_t value) override {
        return Write(name, value);
    }
    bool WriteText(const std::string& name, const std::string& value) override {
        return Write(name, value);
    }
    std::vector<std::string> ValueNames() const override {
        std::vector<std::string> names;
        for (const auto& entry : values_) names.push_back(entry.first);
        return names;
    }

private:
    const Value* Find(const std::string& name) const {
        for (const auto& entry : values_) {
            if (entry.first == name)
                return &entry.second;
        }
        return nullptr;
    }
    template <typename T>
    std::optional<T> Read(const std::string& name) const {
        const Value* value = Find(name);
        if (!value || !std::holds_alternative<T>(*value))
            return std::nullopt;
        return std::get<T>(*value);
    }
    bool Write(const std::string& name, Value value) {
        for (auto& entry : values_) {
            if (entry.first == name) {
                entry.second = std::move(value);
                return true;
            }
        }
        values_.emplace_back(name, std::move(value));
        return true;
    }

    Values& values_;
};

class MemoryStore final : public platform::SettingsStore {
public:
    std::unique_ptr<platform::SettingsKey> OpenKey(const std::string& path) override {
        const auto key = keys_.find(path);
        return key == keys_.end() ? nullptr : std::make_unique<MemoryKey>(key->second);
    }
    std::unique_ptr<platform::SettingsKey> CreateKey(const std::string& path) override {
        return std::make_unique<MemoryKey>(keys_[path]);
    }

private:
    std::map<std::string, Values> keys_;
};

}  // namespace

std::unique_ptr<platform::SettingsStore> CreateMemoryStore() {
    return std::make_unique<MemoryStore>();
}

}  // namespace vx::ctl
