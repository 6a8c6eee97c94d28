#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "platform/settings_store.h"

namespace vx::ui::testing {

// A value of a type the program never writes (binary data, for example).
struct OtherValue {
    bool operator==(const OtherValue&) const = default;
};
using StoredValue = std::variant<std::uint32_t, std::string, OtherValue>;

// The settings store as a map, with the store's failures at hand: a key that
// cannot be opened or created, and values that cannot be written.
class MemorySettingsStore final : public platform::SettingsStore {
public:
    std::map<std::string, std::map<std::string, StoredValue>> keys;
    bool refuseOpen = false;
    bool refuseCreate = false;
    std::set<std::string> unwritable;  // value names whose writes fail
    std::vector<std::string> writes;   // every write attempt, by value name

    void Put(const std::string& name, StoredValue value) {
        keys[platform::kProgramKeyPath][name] = std::move(value);
    }
    std::optional<StoredValue> Get(const std::string& name) const {
        const auto key = keys.find(platform::kProgramKeyPath);
        if (key == keys.end())
            return std::nullopt;
        const auto value = key->second.find(name);
        if (value == key->second.end())
            return std::nullopt;
        return value->second;
    }

    std::unique_ptr<platform::SettingsKey> OpenKey(const std::string& path) override {
        if (refuseOpen || !keys.contains(path))
            return nullptr;
        return std::make_unique<Key>(*this, keys[path]);
    }
    std::unique_ptr<platform::SettingsKey> CreateKey(const std::string& path) override {
        if (refuseCreate)
            return nullptr;
        return std::make_unique<Key>(*this, keys[path]);
    }

private:
    class Key final : public platform::SettingsKey {
    public:
        Key(MemorySettingsStore& store, std::map<std::string, StoredValue>& values)
            : store_(store), values_(values) {}
        bool Exists(const std::string& name) const override { return values_.contains(name); }
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
        template <typename T>
        std::optional<T> Read(const std::string& name) const {
            const auto value = values_.find(name);
            if (value == values_.end() || !std::holds_alternative<T>(value->second)) {
                return std::nullopt;
            }
            return std::get<T>(value->second);
        }
        bool Write(const std::string& name, StoredValue value) {
            store_.writes.push_back(name);
            if (store_.unwritable.contains(name))
                return false;
            values_[name] = std::move(value);
            return true;
        }

        MemorySettingsStore& store_;
        std::map<std::string, StoredValue>& values_;
    };
};

}  // namespace vx::ui::testing
