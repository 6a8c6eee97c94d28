#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/settings_store.h"
#include "platform/windows/registry_store.h"

namespace vx::platform {
namespace {

// A key of its own, and where a user of the replaced 32-bit program would
// find its virtualized copy on 64-bit Windows.
constexpr const char* kMachinePath = "Software\\TAVRO\\VXConfigFallbackTest";
constexpr const char* kUserCopyPath =
    "Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE\\WOW6432Node\\TAVRO\\"
    "VXConfigFallbackTest";

struct Place {
    HKEY root;
    const char* path;
    REGSAM view;
};
const Place kMachine{HKEY_LOCAL_MACHINE, kMachinePath, KEY_WOW64_32KEY};
const Place kUserCopy{HKEY_CURRENT_USER, kUserCopyPath, KEY_WOW64_64KEY};

void Delete(const Place& place) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(place.root, place.path, 0, KEY_ALL_ACCESS | place.view, &key) !=
        ERROR_SUCCESS) {
        return;
    }
    RegDeleteTreeA(key, nullptr);
    RegCloseKey(key);
    RegDeleteKeyExA(place.root, place.path, place.view, 0);
}

bool Exists(const Place& place) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(place.root, place.path, 0, KEY_READ | place.view, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// A value put there past the store, as the earlier program or an
// administrator left it.
void Seed(const Place& place, const char* name, DWORD type, const std::string& bytes) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(place.root, place.path, 0, nullptr, 0, KEY_SET_VALUE | place.view,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
}
void SeedInteger(const Place& place, const char* name, DWORD value) {
    Seed(place, name, REG_DWORD, std::string(reinterpret_cast<const char*>(&value), sizeof(value)));
}
void SeedText(const Place& place, const char* name, const std::string& text) {
    Seed(place, name, REG_SZ, text + '\0');
}

class RegistryFallback : public ::testing::Test {
protected:
    void SetUp() override { TearDown(); }
    void TearDown() override {
        Delete(kMachine);
        Delete(kUserCopy);
    }
};

// A standard user: the machine key refuses the write, the user's copy takes
// it, and the next run (a new store) reads it back; the machine key stays
// untouched. An administrator writes the machine key and leaves no copy.
TEST_F(RegistryFallback, WritesGoWhereTheUserMayWriteAndSurviveARestart) {
    struct Case {
        MachineWrites machineWrites;
        const Place* written;
        const Place* untouched;
    };
    for (const Case& c : {Case{MachineWrites::Denied, &kUserCopy, &kMachine},
                          Case{MachineWrites::AsTheSystemAllows, &kMachine, &kUserCopy}}) {
        SCOPED_TRACE(c.written->path);
        TearDown();
        {
            const auto key = OpenRegistryStore(c.machineWrites)->CreateKey(kMachinePath);
            ASSERT_NE(key, nullptr);
            EXPECT_TRUE(key->WriteInteger("ScanCommNo", 7));
            EXPECT_TRUE(key->WriteText("ScanBaudRate", "115200,n,8,1"));
            EXPECT_TRUE(key->WriteText("LanguageFlag", "ChineseGB"));
        }
        EXPECT_TRUE(Exists(*c.written));
        EXPECT_FALSE(Exists(*c.untouched));
        const auto key = OpenRegistryStore(c.machineWrites)->OpenKey(kMachinePath);
        ASSERT_NE(key, nullptr);
        EXPECT_EQ(key->ReadInteger("ScanCommNo"), 7u);
        EXPECT_EQ(key->ReadText("ScanBaudRate"), "115200,n,8,1");
        EXPECT_EQ(key->ReadText("LanguageFlag"), "ChineseGB");
    }
}

// Each value from the user's copy where it is there, even when that copy is
// unreadable as the asked type, otherwise from the machine key.
TEST_F(RegistryFallback, TheUsersCopyOfAValueWins) {
    SeedInteger(kMachine, "ScanCommNo", 3);
    SeedText(kMachine, "ScanBaudRate", "9600,n,8,1");
    SeedInteger(kMachine, "ScanBaudRateNo", 2);
    SeedText(kMachine, "LanguageFlag", "English");
    SeedInteger(kUserCopy, "ScanCommNo", 12);
    SeedText(kUserCopy, "scanbaudrateno", "5");
    SeedText(kUserCopy, "LanguageFlag", "ChineseBIG5");

    const auto key = OpenRegistryStore(MachineWrites::Denied)->OpenKey(kMachinePath);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->ReadInteger("ScanCommNo"), 12u);
    EXPECT_EQ(key->ReadText("ScanBaudRate"), "9600,n,8,1");
    EXPECT_EQ(key->ReadInteger("ScanBaudRateNo"), std::nullopt);
    EXPECT_EQ(key->ReadText("LanguageFlag"), "ChineseBIG5");
    EXPECT_FALSE(key->Exists("Missing"));
    EXPECT_FALSE(key->WriteInteger("ScanCommNo", 1));

    std::vector<std::string> names = key->ValueNames();
    std::transform(names.begin(), names.end(), names.begin(), [](std::string name) {
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return name;
    });
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"languageflag", "scanbaudrate", "scanbaudrateno",
                                               "scancommno"}));
}

// A standard user who never had the machine key: the copy alone is read.
TEST_F(RegistryFallback, TheUsersCopyIsReadWithoutAMachineKey) {
    SeedInteger(kUserCopy, "ScanCommNo", 9);
    const auto key = OpenRegistryStore(MachineWrites::Denied)->OpenKey(kMachinePath);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->ReadInteger("ScanCommNo"), 9u);
    EXPECT_FALSE(Exists(kMachine));
}

// A user's copy from before the user became an administrator: a save of
// the elevated user (Wine lets every user write the machine key) is what
// the next run reads, and the copy's other values are gone from sight; a
// standard user still sees the copy.
TEST_F(RegistryFallback, WhoMayWriteTheMachineKeyReadsItAlone) {
    struct Case {
        MachineWrites machineWrites;
        std::uint32_t port;
        bool copyOnlyValueSeen;
    };
    for (const Case& c : {Case{MachineWrites::AsTheSystemAllows, 7, false},
                          Case{MachineWrites::Denied, 12, true}}) {
        SCOPED_TRACE(c.port);
        TearDown();
        SeedInteger(kUserCopy, "ScanCommNo", 12);
        SeedText(kUserCopy, "LanguageFlag", "ChineseBIG5");
        SeedInteger(kMachine, "ScanCommNo", 3);
        if (c.machineWrites == MachineWrites::AsTheSystemAllows) {
            const auto saved = OpenSystemSettingsStore()->CreateKey(kMachinePath);
            ASSERT_NE(saved, nullptr);
            EXPECT_TRUE(saved->WriteInteger("ScanCommNo", 7));
        }
        const auto key = OpenRegistryStore(c.machineWrites)->OpenKey(kMachinePath);
        ASSERT_NE(key, nullptr);
        EXPECT_EQ(key->ReadInteger("ScanCommNo"), c.port);
        EXPECT_EQ(key->Exists("LanguageFlag"), c.copyOnlyValueSeen);
    }
}

}  // namespace
}  // namespace vx::platform
