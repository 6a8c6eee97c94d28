#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/settings_store.h"
#include "settings_store_contract.h"

namespace vx::platform {
namespace {

// A key of its own, so the test never meets the program's real settings.
constexpr const char* kTestKeyPath = "Software\\TAVRO\\VXConfigStoreTest";

void DeleteKey(const char* path, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS)
        return;
    RegDeleteTreeA(key, nullptr);
    RegCloseKey(key);
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, path, view, 0);
}

// In both views, so that no run leaves anything for the next.
void DeleteEverywhere(const char* path) {
    DeleteKey(path, KEY_WOW64_32KEY);
    DeleteKey(path, KEY_WOW64_64KEY);
}

// A value of any type under a key, written past the store.
void WriteRaw(const char* keyPath, const std::string& name, DWORD type, const std::string& bytes) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, nullptr, 0,
                              KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(
        RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                       static_cast<DWORD>(bytes.size())),
        ERROR_SUCCESS);
    RegCloseKey(key);
}

struct RegistryStoreMaker {
    RegistryStoreMaker() { DeleteEverywhere(testing::kContractRoot); }
    ~RegistryStoreMaker() { DeleteEverywhere(testing::kContractRoot); }
    std::unique_ptr<SettingsStore> Open() { return OpenSystemSettingsStore(); }
    void PlantOther(const std::string& keyPath, const std::string& name) {
        WriteRaw(keyPath.c_str(), name, REG_BINARY, "\x01\x02");
    }
};

}  // namespace
}  // namespace vx::platform

namespace vx::platform::testing {
INSTANTIATE_TYPED_TEST_SUITE_P(Registry, SettingsStoreContract, RegistryStoreMaker);
INSTANTIATE_TYPED_TEST_SUITE_P(Registry, SettingsStoreOtherTypes, RegistryStoreMaker);
}  // namespace vx::platform::testing

namespace vx::platform {
namespace {

bool KeyExistsInView(REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kTestKeyPath, 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

class RegistryStore : public ::testing::Test {
protected:
    void SetUp() override { TearDown(); }
    void TearDown() override { DeleteEverywhere(kTestKeyPath); }

    std::unique_ptr<SettingsStore> store = OpenSystemSettingsStore();
};

TEST_F(RegistryStore, KeyLandsInThe32BitViewAndOpensForReadingOnly) {
    ASSERT_NE(store->CreateKey(kTestKeyPath), nullptr);
    EXPECT_TRUE(KeyExistsInView(KEY_WOW64_32KEY));
    // Shared with the 32-bit program that wrote these settings before.
    EXPECT_FALSE(KeyExistsInView(KEY_WOW64_64KEY));
    ASSERT_TRUE(store->CreateKey(kTestKeyPath)->WriteInteger("ScanCommNo", 16));
    const auto key = store->OpenKey(kTestKeyPath);
    ASSERT_NE(key, nullptr);
    EXPECT_FALSE(key->WriteInteger("ScanCommNo", 1));
    EXPECT_EQ(key->ReadInteger("ScanCommNo"), 16u);
}

struct RawValue {
    const char* what;
    DWORD type;
    std::string bytes;
    std::optional<std::uint32_t> integer;
    std::optional<std::string> text;
};

class RegistryTypes : public RegistryStore, public ::testing::WithParamInterface<RawValue> {};

TEST_P(RegistryTypes, ReadOnlyAsTheirOwnType) {
    const RawValue& value = GetParam();
    WriteRaw(kTestKeyPath, "Value", value.type, value.bytes);
    const auto key = store->OpenKey(kTestKeyPath);
    ASSERT_NE(key, nullptr);
    EXPECT_TRUE(key->Exists("Value"));
    EXPECT_EQ(key->ReadInteger("Value"), value.integer);
    EXPECT_EQ(key->ReadText("Value"), value.text);
}

const std::string kDwordSeven{"\x07\x00\x00\x00", 4};

INSTANTIATE_TEST_SUITE_P(
    Values, RegistryTypes,
    ::testing::Values(
        RawValue{"dword", REG_DWORD, kDwordSeven, 7u, std::nullopt},
        RawValue{"text_digit", REG_SZ, std::string{"7\0", 2}, std::nullopt, "7"},
        RawValue{"text_cut_at_zero", REG_SZ, std::string{"ab\0cd\0", 6}, std::nullopt, "ab"},
        RawValue{"empty_text", REG_SZ, "", std::nullopt, ""},
        RawValue{"expandable_unexpanded", REG_EXPAND_SZ, std::string{"%TEMP%\\x\0", 9},
                 std::nullopt, "%TEMP%\\x"},
        RawValue{"empty_binary", REG_BINARY, "", std::nullopt, std::nullopt},
        RawValue{"binary_of_dword_size", REG_BINARY, kDwordSeven, std::nullopt, std::nullopt},
        RawValue{"qword", REG_QWORD, std::string(8, '\x01'), std::nullopt, std::nullopt}),
    [](const ::testing::TestParamInfo<RawValue>& info) { return std::string{info.param.what}; });

}  // namespace
}  // namespace vx::platform
