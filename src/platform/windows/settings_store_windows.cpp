#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <string_view>

#include "platform/settings_store.h"
#include "platform/windows/registry_store.h"

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

// Where a standard user's settings live. The program this tool replaces was
// a 32-bit program without a manifest, so Windows virtualized its writes to
// the machine key: each user's went to the virtual store, below
// HKEY_USERS\<SID>_Classes (that is HKEY_CURRENT_USER\Software\Classes)
// under VirtualStore\MACHINE\SOFTWARE, and for a 32-bit program on 64-bit
// Windows below its redirected WOW6432Node path; reading, the virtual copy of
// a value wins over the machine's (Microsoft Docs: "Registry Virtualization"
// and "Registry Redirector"). This tool carries a manifest, so Windows does
// neither for it: the store does both itself, at that same place, so that
// the settings of that program's users are found where they are.
constexpr std::string_view kVirtualizedRoot = "Software\\";
constexpr std::string_view kVirtualStoreRoot =
    "Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE\\WOW6432Node\\";
// The virtual store path names the 32-bit view itself, so no redirection may
// be applied on top of it.
constexpr REGSAM kUserView = KEY_WOW64_64KEY;
constexpr DWORD kValueNameCapacity = 16384;
// Far above any text the tool writes; a larger value is refused rather than
// allocated.
constexpr DWORD kTextCapacity = 65536;

std::string WithoutLeadingSeparators(const std::string& path) {
    return path.substr(std::min(path.find_first_not_of('\\'), path.size()));
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

// The user's copy of a machine key path; empty where Windows virtualizes
// nothing (outside the machine's Software key).
std::string VirtualStorePath(const std::string& machinePath) {
    if (!StartsWithIgnoringCase(machinePath, kVirtualizedRoot))
        return {};
    return std::string{kVirtualStoreRoot} + machinePath.substr(kVirtualizedRoot.size());
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

    bool DeleteValue(const std::string& name) override {
        const LSTATUS status = RegDeleteValueA(key_, name.c_str());
        return (status == ERROR_SUCCESS && Flushed()) || status == ERROR_FILE_NOT_FOUND;
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

// A key as a user of the replaced program saw it: each value from the
// user's copy where it is there, otherwise from the machine's. Opened for
// reading, so it refuses writes as the machine key alone does.
class LayeredKey final : public SettingsKey {
public:
    LayeredKey(std::unique_ptr<SettingsKey> user, std::unique_ptr<SettingsKey> machine)
        : user_(std::move(user)), machine_(std::move(machine)) {}

    bool Exists(const std::string& name) const override {
        return user_->Exists(name) || machine_->Exists(name);
    }
    std::optional<std::uint32_t> ReadInteger(const std::string& name) const override {
        return Holder(name).ReadInteger(name);
    }
    std::optional<std::string> ReadText(const std::string& name) const override {
        return Holder(name).ReadText(name);
    }
    bool WriteInteger(const std::string&, std::uint32_t) override { return false; }
    bool WriteText(const std::string&, const std::string&) override { return false; }
    bool DeleteValue(const std::string&) override { return false; }

    std::vector<std::string> ValueNames() const override {
        std::vector<std::string> names = user_->ValueNames();
        for (std::string& name : machine_->ValueNames()) {
            if (!user_->Exists(name))
                names.push_back(std::move(name));
        }
        return names;
    }

private:
    const SettingsKey& Holder(const std::string& name) const {
        return user_->Exists(name) ? *user_ : *machine_;
    }

    std::unique_ptr<SettingsKey> user_;
    std::unique_ptr<SettingsKey> machine_;
};

std::unique_ptr<RegistryKey> OpenRegistryKey(HKEY root, const std::string& path, REGSAM access) {
    HKEY key = nullptr;
    if (path.empty() || RegOpenKeyExA(root, path.c_str(), 0, access, &key) != ERROR_SUCCESS)
        return nullptr;
    return std::make_unique<RegistryKey>(key);
}

bool Elevated() {
    HANDLE token = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) == FALSE)
        return false;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    const bool elevated =
        GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) != FALSE &&
        elevation.TokenIsElevated != 0;
    CloseHandle(token);
    return elevated;
}

// Whether this user may write the machine key, or create it where it is not
// there yet: the key itself asked for a write, else its nearest ancestor for
// a new key. Nothing is written.
bool MayWriteMachineKey(std::string path) {
    for (REGSAM access = KEY_SET_VALUE; !path.empty(); access = KEY_CREATE_SUB_KEY) {
        HKEY key = nullptr;
        const LSTATUS status =
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, access | kView, &key);
        if (status == ERROR_SUCCESS)
            RegCloseKey(key);
        if (status != ERROR_FILE_NOT_FOUND)
            return status == ERROR_SUCCESS;
        const std::size_t parent = path.rfind('\\');
        path.erase(parent == std::string::npos ? 0 : parent);
    }
    return false;
}

class RegistryStore final : public SettingsStore {
public:
    explicit RegistryStore(MachineWrites machineWrites) : machineWrites_(machineWrites) {}

    // Windows never virtualizes an administrator, elevated or whoever may
    // write the machine key: the program this tool replaces read that key
    // alone there, and a copy of a user's from before would hide every
    // setting such a user saves.
    std::unique_ptr<SettingsKey> OpenKey(const std::string& path) override {
        const std::string machinePath = WithoutLeadingSeparators(path);
        std::unique_ptr<SettingsKey> machine =
            OpenRegistryKey(HKEY_LOCAL_MACHINE, machinePath, kReadAccess);
        if (machineWrites_ == MachineWrites::AsTheSystemAllows &&
            (Elevated() || MayWriteMachineKey(machinePath))) {
            return machine;
        }
        std::unique_ptr<SettingsKey> user =
            OpenRegistryKey(HKEY_CURRENT_USER, VirtualStorePath(machinePath), KEY_READ | kUserView);
        if (user && machine)
            return std::make_unique<LayeredKey>(std::move(user), std::move(machine));
        return user ? std::move(user) : std::move(machine);
    }

    // The machine key where this user may write it, as an administrator
    // may; otherwise, as for a standard user, the user's copy.
    std::unique_ptr<SettingsKey> CreateKey(const std::string& path) override {
        const std::string machinePath = WithoutLeadingSeparators(path);
        HKEY key = nullptr;
        const LSTATUS status =
            machineWrites_ == MachineWrites::Denied
                ? ERROR_ACCESS_DENIED
                : RegCreateKeyExA(HKEY_LOCAL_MACHINE, machinePath.c_str(), 0, nullptr,
                                  REG_OPTION_NON_VOLATILE, kWriteAccess, nullptr, &key, nullptr);
        if (status == ERROR_SUCCESS)
            return std::make_unique<RegistryKey>(key);
        const std::string userPath = VirtualStorePath(machinePath);
        if (status != ERROR_ACCESS_DENIED || userPath.empty())
            return nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, userPath.c_str(), 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_SET_VALUE | kUserView, nullptr, &key,
                            nullptr) != ERROR_SUCCESS) {
            return nullptr;
        }
        return std::make_unique<RegistryKey>(key);
    }

private:
    MachineWrites machineWrites_;
};

}  // namespace

std::unique_ptr<SettingsStore> OpenRegistryStore(MachineWrites machineWrites) {
    return std::make_unique<RegistryStore>(machineWrites);
}

std::unique_ptr<SettingsStore> OpenSystemSettingsStore() {
    return OpenRegistryStore(MachineWrites::AsTheSystemAllows);
}

}  // namespace vx::platform
