#pragma once

// What every settings store promises, whatever keeps its values: each
// store's own tests instantiate this suite with a maker of that store,
//
//   struct Maker { std::unique_ptr<SettingsStore> Open(); };
//
// which starts with no key below kContractRoot and leaves none behind.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/settings_store.h"

namespace vx::platform::testing {

// A root of its own, so that the suite never meets a real program's settings.
inline constexpr const char* kContractRoot = "Software\\VXStoreContract";

template <typename Maker>
class SettingsStoreContract : public ::testing::Test {
protected:
    static std::string Path(const std::string& below) {
        return std::string{kContractRoot} + "\\" + below;
    }
    static std::vector<std::string> Sorted(std::vector<std::string> names) {
        std::sort(names.begin(), names.end());
        return names;
    }

    const std::string keyPath = Path("TAVRO\\VXConfig");
    Maker maker;
    std::unique_ptr<SettingsStore> store = maker.Open();
};

TYPED_TEST_SUITE_P(SettingsStoreContract);

TYPED_TEST_P(SettingsStoreContract, ReadingNeverCreatesTheKeyAndAbsentValuesReadAsNothing) {
    EXPECT_EQ(this->store->OpenKey(this->keyPath), nullptr);
    EXPECT_EQ(this->store->OpenKey(this->keyPath), nullptr) << "opening created it";
    ASSERT_NE(this->store->CreateKey("\\" + this->keyPath), nullptr);
    const auto key = this->store->OpenKey(this->keyPath);
    ASSERT_NE(key, nullptr);
    EXPECT_FALSE(key->Exists("ScanCommNo"));
    EXPECT_EQ(key->ReadInteger("ScanCommNo"), std::nullopt);
    EXPECT_EQ(key->ReadText("ScanBaudRate"), std::nullopt);
    EXPECT_TRUE(key->ValueNames().empty());
}

TYPED_TEST_P(SettingsStoreContract, ReadsBackWhatWasWrittenOnlyAsItsOwnType) {
    const std::vector<std::pair<std::string, std::uint32_t>> integers{
        {"ScanCommNo", 16}, {"ScanBaudRateNo", 0}, {"Largest", 0xFFFFFFFF}};
    const std::vector<std::pair<std::string, std::string>> texts{
        {"ScanBaudRate", "115200,n,8,1"},
        {"Empty", ""},
        {"Escapes", "\\\\server\\\"x\"\\"},
        {"Chinese", "\xE4\xB8\xAD\xE6\x96\x87"},
        {"", "default value"}};
    std::vector<std::string> written;
    {
        const auto key = this->store->CreateKey(this->keyPath);
        ASSERT_NE(key, nullptr);
        for (const auto& [name, value] : integers) {
            EXPECT_TRUE(key->WriteInteger(name, value)) << name;
            written.push_back(name);
        }
        for (const auto& [name, value] : texts) {
            EXPECT_TRUE(key->WriteText(name, value)) << name;
            written.push_back(name);
        }
    }
    const auto key = this->store->OpenKey(this->keyPath);
    ASSERT_NE(key, nullptr);
    for (const auto& [name, value] : integers) {
        EXPECT_TRUE(key->Exists(name)) << name;
        EXPECT_EQ(key->ReadInteger(name), value) << name;
        EXPECT_EQ(key->ReadText(name), std::nullopt) << name << " is no text";
    }
    for (const auto& [name, value] : texts) {
        EXPECT_TRUE(key->Exists(name)) << name;
        EXPECT_EQ(key->ReadText(name), value) << name;
        EXPECT_EQ(key->ReadInteger(name), std::nullopt) << name << " is no integer";
    }
    EXPECT_EQ(this->Sorted(key->ValueNames()), this->Sorted(written));
    EXPECT_FALSE(key->Exists("Missing"));
}

TYPED_TEST_P(SettingsStoreContract, ValueNamesMatchInAnyCaseAndARewriteMayChangeTheType) {
    const auto key = this->store->CreateKey(this->keyPath);
    ASSERT_NE(key, nullptr);
    ASSERT_TRUE(key->WriteInteger("First", 1));
    ASSERT_TRUE(key->WriteInteger("Second", 2));
    ASSERT_TRUE(key->WriteText("FIRST", "now a text"));
    const auto reopened = this->store->OpenKey(this->keyPath);
    EXPECT_EQ(reopened->ValueNames().size(), 2u);
    EXPECT_TRUE(reopened->Exists("fIrSt"));
    EXPECT_EQ(reopened->ReadText("first"), "now a text");
    EXPECT_EQ(reopened->ReadInteger("first"), std::nullopt);
    EXPECT_EQ(reopened->ReadInteger("SECOND"), 2u);
}

TYPED_TEST_P(SettingsStoreContract, TextIsCutAtItsFirstZeroByte) {
    const auto key = this->store->CreateKey(this->keyPath);
    ASSERT_TRUE(key->WriteText("Zero", std::string{"ab\0cd", 5}));
    EXPECT_EQ(this->store->OpenKey(this->keyPath)->ReadText("Zero"), "ab");
}

TYPED_TEST_P(SettingsStoreContract, KeysOpenInAnyCaseWithTheirParentsOnceCreated) {
    struct PathCase {
        std::string path;
        bool opens;
    };
    const std::vector<PathCase> cases{{this->keyPath, true},
                                      {"\\" + this->keyPath, true},
                                      {"SOFTWARE\\vxstorecontract\\tavro\\vxconfig", true},
                                      {this->Path("TAVRO"), true},
                                      {kContractRoot, true},
                                      {this->Path("TAV"), false},
                                      {this->Path("TAVRO\\VXConfig\\Ports"), false},
                                      {this->Path("Other"), false}};
    for (const PathCase& c : cases)
        EXPECT_EQ(this->store->OpenKey(c.path), nullptr) << c.path << " before creation";
    ASSERT_NE(this->store->CreateKey(this->keyPath), nullptr);
    for (const PathCase& c : cases)
        EXPECT_EQ(this->store->OpenKey(c.path) != nullptr, c.opens) << c.path;
}

TYPED_TEST_P(SettingsStoreContract, ValuesOfOneKeyAreNotSeenFromAnother) {
    const std::string ports = this->Path("TAVRO\\VXConfig\\Ports");
    ASSERT_TRUE(this->store->CreateKey(ports)->WriteText("COM1", "/x"));
    ASSERT_TRUE(this->store->CreateKey(this->keyPath)->WriteInteger("ScanCommNo", 1));
    EXPECT_FALSE(this->store->OpenKey(this->keyPath)->Exists("COM1"));
    EXPECT_FALSE(this->store->OpenKey(ports)->Exists("ScanCommNo"));
}

TYPED_TEST_P(SettingsStoreContract, ADeletedValueIsGoneInAnyCaseAndItsNeighboursStay) {
    const auto key = this->store->CreateKey(this->keyPath);
    ASSERT_TRUE(key->WriteText("COM5", "/dev/ttyUSB0"));
    ASSERT_TRUE(key->WriteText("COM6", "/dev/ttyUSB1"));
    EXPECT_TRUE(key->DeleteValue("com5"));
    EXPECT_TRUE(key->DeleteValue("COM7")) << "a value that is not there is gone already";
    const auto reopened = this->store->OpenKey(this->keyPath);
    EXPECT_FALSE(reopened->Exists("COM5"));
    EXPECT_EQ(reopened->ValueNames(), std::vector<std::string>{"COM6"});
}

REGISTER_TYPED_TEST_SUITE_P(
    SettingsStoreContract, ReadingNeverCreatesTheKeyAndAbsentValuesReadAsNothing,
    ReadsBackWhatWasWrittenOnlyAsItsOwnType, ValueNamesMatchInAnyCaseAndARewriteMayChangeTheType,
    TextIsCutAtItsFirstZeroByte, KeysOpenInAnyCaseWithTheirParentsOnceCreated,
    ValuesOfOneKeyAreNotSeenFromAnother, ADeletedValueIsGoneInAnyCaseAndItsNeighboursStay);

// What a store that can hold values of the types the program never writes
// (binary data another program put there) promises of them. Its tests
// instantiate this suite as well, with a maker that also plants one,
//
//   void PlantOther(const std::string& keyPath, const std::string& name);
template <typename Maker>
class SettingsStoreOtherTypes : public SettingsStoreContract<Maker> {};

TYPED_TEST_SUITE_P(SettingsStoreOtherTypes);

TYPED_TEST_P(SettingsStoreOtherTypes, AValueOfAnotherTypeExistsAndIsListedButReadsAsNeither) {
    ASSERT_TRUE(this->store->CreateKey(this->keyPath)->WriteInteger("Counted", 1));
    this->maker.PlantOther(this->keyPath, "Binary");
    const auto key = this->store->OpenKey(this->keyPath);
    ASSERT_NE(key, nullptr);
    EXPECT_TRUE(key->Exists("BINARY"));
    EXPECT_EQ(key->ReadInteger("Binary"), std::nullopt);
    EXPECT_EQ(key->ReadText("Binary"), std::nullopt);
    EXPECT_EQ(this->Sorted(key->ValueNames()), (std::vector<std::string>{"Binary", "Counted"}));
    ASSERT_TRUE(this->store->CreateKey(this->keyPath)->WriteText("binary", "now a text"));
    const auto rewritten = this->store->OpenKey(this->keyPath);
    EXPECT_EQ(rewritten->ReadText("Binary"), "now a text");
    EXPECT_EQ(rewritten->ValueNames().size(), 2u);
}

REGISTER_TYPED_TEST_SUITE_P(SettingsStoreOtherTypes,
                            AValueOfAnotherTypeExistsAndIsListedButReadsAsNeither);

}  // namespace vx::platform::testing
