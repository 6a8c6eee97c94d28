#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "platform/memory_settings_store.h"

namespace vx::doubles {

// A value of a type the program never writes (binary data, for example).
struct OtherValue {
    bool operator==(const OtherValue&) const = default;
};
using StoredValue = std::variant<std::uint32_t, std::string, OtherValue>;

// The store in memory with the store's failures at hand (a key that cannot
// be opened or created, values that cannot be written, values of another
// type) and a record of every write attempt. Values are put and looked at
// under the program's key.
class RecordingSettingsStore final : public platform::SettingsStore {
public:
    bool refuseOpen = false;
    bool refuseCreate = false;
    std::set<std::string> unwritable;  // value names whose writes fail
    std::vector<std::string> writes;   // every write attempt, by value name

    void Put(const std::string& name, const StoredValue& value) {
        const auto key = inner_.CreateKey(platform::kProgramKeyPath);
        if (const auto* integer = std::get_if<std::uint32_t>(&value))
            key->WriteInteger(name, *integer);
        else if (const auto* text = std::get_if<std::string>(&value))
            key->WriteText(name, *text);
        else
            others_.insert(name);
    }
    std::optional<StoredValue> Get(const std::string& name) const {
        const auto key = inner_.OpenKey(platform::kProgramKeyPath);
        if (others_.contains(name))
            return OtherValue{};
        if (!key || !key->Exists(name))
            return std::nullopt;
        if (const auto integer = key->ReadInteger(name))
            return *integer;
        return *key->ReadText(name);
    }
    bool HasProgramKey() const { return inner_.OpenKey(platform::kProgramKeyPath) != nullptr; }
    // Every value under the program's key, by name.
    std::map<std::string, StoredValue> Values() const {
        std::map<std::string, StoredValue> values;
        if (const auto key = inner_.OpenKey(platform::kProgramKeyPath)) {
            for (const std::string& name : key->ValueNames()) values[name] = *Get(name);
        }
        for (const std::string& name : others_) values[name] = OtherValue{};
        return values;
    }

    std::unique_ptr<platform::SettingsKey> OpenKey(const std::string& path) override {
        if (refuseOpen)
            return nullptr;
        return Wrap(inner_.OpenKey(path));
    }
    std::unique_ptr<platform::SettingsKey> CreateKey(const std::string& path) override {
        if (refuseCreate)
            return nullptr;
        return Wrap(inner_.CreateKey(path));
    }

private:
    class Key final : public platform::SettingsKey {
    public:
        Key(RecordingSettingsStore& store, std::unique_ptr<platform::SettingsKey> inner)
            : store_(store), inner_(std::move(inner)) {}
        bool Exists(const std::string& name) const override {
            return store_.others_.contains(name) || inner_->Exists(name);
        }
        std::optional<std::uint32_t> ReadInteger(const std::string& name) const override {
            return store_.others_.contains(name) ? std::nullopt : inner_->ReadInteger(name);
        }
        std::optional<std::string> ReadText(const std::string& name) const override {
            return store_.others_.contains(name) ? std::nullopt : inner_->ReadText(name);
        }
        bool WriteInteger(const std::string& name, std::uint32_t value) override {
            return Writable(name) && inner_->WriteInteger(name, value);
        }
        bool WriteText(const std::string& name, const std::string& value) override {
            return Writable(name) && inner_->WriteText(name, value);
        }
        std::vector<std::string> ValueNames() const override { return inner_->ValueNames(); }

    private:
        bool Writable(const std::string& name) {
            store_.writes.push_back(name);
            if (store_.unwritable.contains(name))
                return false;
            store_.others_.erase(name);
            return true;
        }

        RecordingSettingsStore& store_;
        std::unique_ptr<platform::SettingsKey> inner_;
    };

    std::unique_ptr<platform::SettingsKey> Wrap(std::unique_ptr<platform::SettingsKey> key) {
        return key ? std::make_unique<Key>(*this, std::move(key)) : nullptr;
    }

    // The values of another type live here, beside the store, and only
    // under the program's key.
    mutable platform::MemorySettingsStore inner_;
    std::set<std::string> others_;
};

}  // namespace vx::doubles
