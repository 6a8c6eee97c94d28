#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
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
// under the program's key unless another is named.
class RecordingSettingsStore final : public platform::SettingsStore {
public:
    bool refuseOpen = false;
    bool refuseCreate = false;
    std::set<std::string> unwritable;  // value names whose writes fail
    std::vector<std::string> writes;   // every write attempt, by value name

    void Put(const std::string& name, const StoredValue& value,
             const std::string& path = platform::kProgramKeyPath) {
        const auto key = inner_.CreateKey(path);
        auto& others = others_[FoldedPath(path)];
        others.erase(Folded(name));
        if (const auto* integer = std::get_if<std::uint32_t>(&value))
            key->WriteInteger(name, *integer);
        else if (const auto* text = std::get_if<std::string>(&value))
            key->WriteText(name, *text);
        else
            others.emplace(Folded(name), name);
    }
    std::optional<StoredValue> Get(const std::string& name) {
        const auto key = ProgramKey();
        if (!key || !key->Exists(name))
            return std::nullopt;
        if (key->IsOther(name))
            return OtherValue{};
        if (const auto integer = key->ReadInteger(name))
            return *integer;
        return *key->ReadText(name);
    }
    bool HasProgramKey() { return ProgramKey() != nullptr; }
    // Every value under the program's key, by name.
    std::map<std::string, StoredValue> Values() {
        std::map<std::string, StoredValue> values;
        if (const auto key = ProgramKey()) {
            for (const std::string& name : key->ValueNames()) values[name] = *Get(name);
        }
        return values;
    }

    std::unique_ptr<platform::SettingsKey> OpenKey(const std::string& path) override {
        return refuseOpen ? nullptr : Wrap(inner_.OpenKey(path), path);
    }
    std::unique_ptr<platform::SettingsKey> CreateKey(const std::string& path) override {
        return refuseCreate ? nullptr : Wrap(inner_.CreateKey(path), path);
    }

private:
    using Names = std::map<std::string, std::string>;  // folded name -> its spelling

    // Names as the store matches them: without regard to letter case.
    static std::string Folded(std::string name) {
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return name;
    }
    // A key's path as the store matches it: without separators at its ends.
    static std::string FoldedPath(const std::string& path) {
        const auto first = path.find_first_not_of('\\');
        return first == std::string::npos
                   ? std::string{}
                   : Folded(path.substr(first, path.find_last_not_of('\\') - first + 1));
    }

    // A value of another type shadows whatever the store in memory holds
    // under its name, until a write of the program's types replaces it.
    class Key final : public platform::SettingsKey {
    public:
        Key(RecordingSettingsStore& store, std::unique_ptr<platform::SettingsKey> inner,
            Names& others)
            : store_(store), inner_(std::move(inner)), others_(others) {}

        bool IsOther(const std::string& name) const { return others_.contains(Folded(name)); }

        bool Exists(const std::string& name) const override {
            return IsOther(name) || inner_->Exists(name);
        }
        std::optional<std::uint32_t> ReadInteger(const std::string& name) const override {
            return IsOther(name) ? std::nullopt : inner_->ReadInteger(name);
        }
        std::optional<std::string> ReadText(const std::string& name) const override {
            return IsOther(name) ? std::nullopt : inner_->ReadText(name);
        }
        bool WriteInteger(const std::string& name, std::uint32_t value) override {
            return Writable(name) && inner_->WriteInteger(name, value);
        }
        bool WriteText(const std::string& name, const std::string& value) override {
            return Writable(name) && inner_->WriteText(name, value);
        }
        bool DeleteValue(const std::string& name) override {
            return Writable(name) && inner_->DeleteValue(name);
        }
        std::vector<std::string> ValueNames() const override {
            std::vector<std::string> names;
            for (const std::string& name : inner_->ValueNames()) {
                if (!IsOther(name))
                    names.push_back(name);
            }
            for (const auto& [folded, spelling] : others_) names.push_back(spelling);
            return names;
        }

    private:
        bool Writable(const std::string& name) {
            store_.writes.push_back(name);
            if (store_.unwritable.contains(name))
                return false;
            others_.erase(Folded(name));
            return true;
        }

        RecordingSettingsStore& store_;
        std::unique_ptr<platform::SettingsKey> inner_;
        Names& others_;
    };

    std::unique_ptr<Key> Wrap(std::unique_ptr<platform::SettingsKey> key, const std::string& path) {
        return key ? std::make_unique<Key>(*this, std::move(key), others_[FoldedPath(path)])
                   : nullptr;
    }
    // The program's key as the program sees it, whatever the test refuses.
    std::unique_ptr<Key> ProgramKey() {
        return Wrap(inner_.OpenKey(platform::kProgramKeyPath), platform::kProgramKeyPath);
    }

    platform::MemorySettingsStore inner_;
    std::map<std::string, Names> others_;  // by folded key path
};

}  // namespace vx::doubles
