#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vx::platform {

// A typed per-machine settings store with the semantics of the registry:
// named values that are either 32-bit integers or texts, under keys named by
// a backslash-separated path below the per-machine root
// (for example "Software\\TAVRO\\VXConfig").
//
// Every failure is a value, never an exception: a caller that meets one simply
// stops, as the stored-settings routines require.

enum class ValueKind { Integer, Text, Other };

class SettingsKey {
public:
    virtual ~SettingsKey() = default;

    // True when a value of this name exists, whatever its type.
    virtual bool Exists(const std::string& name) const = 0;

    // Nothing when absent, not an integer, or unreadable (a malformed line).
    virtual std::optional<std::uint32_t> ReadInteger(const std::string& name) const = 0;

    // Nothing when absent, not a text, or unreadable. A text is cut at its
    // first zero byte; an empty value reads as the empty text.
    virtual std::optional<std::string> ReadText(const std::string& name) const = 0;

    // False when the value could not be written (and made durable). A key
    // opened by OpenKey may refuse writes: the registry opens it for reading.
    virtual bool WriteInteger(const std::string& name, std::uint32_t value) = 0;
    virtual bool WriteText(const std::string& name, const std::string& value) = 0;

    // True once no value of this name is left under the key (also when there
    // was none); false when the removal was refused. A key that cannot lose
    // values, like the layered view of the registry, refuses.
    virtual bool DeleteValue(const std::string& name) { return !Exists(name); }

    // Names of the values under this key, in the store's own order: the
    // file's for the file store; the registry keeps none (Windows gives
    // creation order, Wine sorts by name).
    virtual std::vector<std::string> ValueNames() const = 0;
};

class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    // Opens an existing key without creating it; nothing when it is absent
    // or cannot be opened (the file store also demands the right to write
    // the store; the registry asks only for reading).
    virtual std::unique_ptr<SettingsKey> OpenKey(const std::string& path) = 0;

    // Opens an existing key for reading only: a store that this user may read
    // but not write opens too (its writes then fail). For what the window's
    // settings do not cover, such as the port table.
    virtual std::unique_ptr<SettingsKey> OpenKeyToRead(const std::string& path) {
        return OpenKey(path);
    }

    // Opens the key, creating it and any missing parents; nothing on failure.
    virtual std::unique_ptr<SettingsKey> CreateKey(const std::string& path) = 0;

    // Runs `update`, which reads values and writes some back, with no other
    // writer of the store in between. False when that could not be promised
    // (the store's lock was not had in time): the writes inside then fail as
    // on an unwritable store, while reads still work. Stores whose writes
    // are whole on their own, like the registry, just run it.
    virtual bool Exclusively(const std::function<void()>& update) {
        update();
        return true;
    }
};

// The machine's store: the registry under HKEY_LOCAL_MACHINE on Windows, with
// a standard user's own copy (windows/registry_store.h), the file
// /var/lib/vxconfig/VXConfig.reg on Linux.
std::unique_ptr<SettingsStore> OpenSystemSettingsStore();

#ifndef _WIN32
// Linux: the same store kept in the given file, in the registry editor's
// export format ("Windows Registry Editor Version 5.00"). Every change
// replaces the whole file at once; the file is read afresh whenever a key is
// opened, so changes by other programs are seen.
std::unique_ptr<SettingsStore> OpenFileSettingsStore(const std::string& path);
#endif

// The key of this program, below the per-machine root.
inline constexpr const char* kProgramKeyPath = "Software\\TAVRO\\VXConfig";

}  // namespace vx::platform
