#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <algorithm>

#include "platform/settings_store.h"

namespace vx::platform {
namespace {

// The 32-bit view of the machine's software keys (WOW6432Node on a 64-bit
// Windows): the 32-bit program this tool replaces keeps its settings there,
// so a machine that ran it keeps its port, line settings and language, and a
// 32-bit and a 64-bit build of this tool share one set of settings.
constexpr REGSAM kView = KEY_WOW64_32KEY;
// Reading needs no more than read access, so that a user without rights to
// change the per-machine settings still starts with them; writing asks for
// the one right it uses.
constexpr REGSAM kReadAccess = KEY_READ | kView;
constexpr REGSAM kWriteAccess = KEY_SET_VALUE | kView;
constexpr DWORD kValueNameCapacity = 16384;
// Far above any text the tool writes; a larger value is refused rather than
// allocated.
constexpr DWORD kTextCapacity = 65536;

std::string WithoutLeadingSeparators(const std::string& path) {
    return path.substr(std::min(path.find_first_not_of('\\'), path.size()));
}

class RegistryKey final : public SettingsKey {
public:
    explicit RegistryKey(HKEY key) : key_(key) {}
    ~RegistryKey() override { RegCloseKey(key_); }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    bool Exists(const std::string& name) const override {
        return RegQueryValueExA(key_, name.c_str(), nullptr, nullptr, nullptr, nullptr) ==
               ERROR_SUCCESS;
    }

    std::optional<std::uint32_t> ReadInteger(const std::string& name) const override {
        DWORD type = 0;
        DWORD value = 0;
        DWORD size = sizeof(value);
        if (RegQueryValueExA(key_, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value),
                             &size) != ERROR_SUCCESS ||
            type != REG_DWORD || size != sizeof(value)) {
            return std::nullopt;
        }
        return value;
    }

    // Expandable texts are taken as they stand, unexpanded.
    std::optional<std::string> ReadText(const std::string& name) const override {
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExA(key_, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        if (type != REG_SZ && type != REG_EXPAND_SZ)
            return std::nullopt;
        if (size == 0)
            return std::string{};
        if (size > kTextCapacity)
            return std::nullopt;
        std::string text(size, '\0');
        if (RegQueryValueExA(key_, name.c_str(), nullptr, &type,
                             reinterpret_cast<BYTE*>(text.data()), &size) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        text.resize(size);
        return text.substr(0, text.find('\0'));
    }

    bool WriteInteger(const std::string& name, std::uint32_t value) override {
        const DWORD data = value;
        return RegSetValueExA(key_, name.c_str(), 0, REG_DWORD,
                              reinterpret_cast<const BYTE*>(&data),
                              sizeof(data)) == ERROR_SUCCESS &&
               Flushed();
    }

    // Stored with its terminating zero byte, as the registry expects.
    bool WriteText(const std::string& name, const std::string& value) override {
        return RegSetValueExA(key_, name.c_str(), 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(value.c_str()),
                              static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS &&
               Flushed();
    }

    // The registry keeps no order of its own: Windows enumerates in the order
    // the values were created, Wine by name.
    std::vector<std::string> ValueNames() const override {
        std::vector<std::string> names;
        std::string name(kValueNameCapacity, '\0');
        for (DWORD index = 0;; ++index) {
            DWORD length = kValueNameCapacity;
            if (RegEnumValueA(key_, index, name.data(), &length, nullptr, nullptr, nullptr,
                              nullptr) != ERROR_SUCCESS) {
                return names;
            }
            names.emplace_back(name.data(), length);
        }
    }

private:
    // The registry writes its hives lazily; a setting the tool reports as
    // written must survive a power cut right after.
    bool Flushed() const { return RegFlushKey(key_) == ERROR_SUCCESS; }

    HKEY key_;
};

class RegistryStore final : public SettingsStore {
public:
    std::unique_ptr<SettingsKey> OpenKey(const std::string& path) override {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, WithoutLeadingSeparators(path).c_str(), 0,
                          kReadAccess, &key) != ERROR_SUCCESS) {
            return nullptr;
        }
        return std::make_unique<RegistryKey>(key);
    }

    std::unique_ptr<SettingsKey> CreateKey(const std::string& path) override {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, WithoutLeadingSeparators(path).c_str(), 0, nullptr,
                            REG_OPTION_NON_VOLATILE, kWriteAccess, nullptr, &key,
                            nullptr) != ERROR_SUCCESS) {
            return nullptr;
        }
        return std::make_unique<RegistryKey>(key);
    }
};

}  // namespace

std::unique_ptr<SettingsStore> OpenSystemSettingsStore() {
    return std::make_unique<RegistryStore>();
}

}  // namespace vx::platform
