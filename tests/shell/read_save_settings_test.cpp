#include "ui/shell/stored_settings.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "doubles/recording_settings_store.h"

namespace vx::ui {
namespace {

using doubles::OtherValue;
using doubles::RecordingSettingsStore;
using doubles::StoredValue;

auto Fields(const StoredSettings& s) {
    return std::tie(s.ScanCommNo, s.ScanBaudRate, s.ScanBaudRateNo, s.LanguageFlag, s.LanguageNo);
}

struct ReadingCase {
    const char* name;
    std::vector<std::pair<std::string, StoredValue>> stored;
    StoredSettings expected;
    bool refuseOpen = false;
};

StoredSettings Expect(int commNo, std::string baud, int baudNo, std::string flag, int languageNo) {
    return {commNo, std::move(baud), baudNo, std::move(flag), languageNo};
}

const StoredSettings kDefaults;

std::vector<std::pair<std::string, StoredValue>> AllFour(
    StoredValue flag = std::string("ChineseGB")) {
    return {{"ScanCommNo", 3u},
            {"ScanBaudRate", std::string("9600,n,8,1")},
            {"ScanBaudRateNo", 2u},
            {"LanguageFlag", std::move(flag)}};
}

std::vector<ReadingCase> ReadingCases() {
    return {
        {"NoKey", {}, kDefaults},
        {"AllFour", AllFour(), Expect(3, "9600,n,8,1", 2, "ChineseGB", 1)},
        {"Big5", AllFour(std::string("ChineseBIG5")), Expect(3, "9600,n,8,1", 2, "ChineseBIG5", 2)},
        {"KeyRefused", AllFour(), kDefaults, true},
        {"CommNoAsText", {{"ScanCommNo", std::string("3")}, {"ScanBaudRateNo", 2u}}, kDefaults},
        {"FlagAsInteger", AllFour(1u), Expect(3, "9600,n,8,1", 2, "English", 0)},
        {"BaudOfOtherType",
         {{"ScanCommNo", 4u}, {"ScanBaudRate", OtherValue{}}, {"ScanBaudRateNo", 2u}},
         Expect(4, "19200,e,8,1", 5, "English", 0)},
        {"BaudNoAsText",
         {{"ScanCommNo", 4u},
          {"ScanBaudRate", std::string("4800,n,8,1")},
          {"ScanBaudRateNo", std::string("0")},
          {"LanguageFlag", std::string("ChineseGB")}},
         Expect(4, "4800,n,8,1", 5, "English", 0)},
        {"EmptyBaud", {{"ScanBaudRate", std::string()}}, Expect(0, "", 5, "English", 0)},
        {"NamesInOtherCase",
         {{"scancommno", 6u}, {"LANGUAGEFLAG", std::string("ChineseBIG5")}},
         Expect(6, "19200,e,8,1", 5, "ChineseBIG5", 2)},
        {"FlagInOtherCase",
         {{"LanguageFlag", std::string("chinesegb")}},
         Expect(0, "19200,e,8,1", 5, "chinesegb", 0)},
        {"FlagUnknown",
         {{"LanguageFlag", std::string("French")}},
         Expect(0, "19200,e,8,1", 5, "French", 0)},
        {"FlagEmpty", {{"LanguageFlag", std::string()}}, Expect(0, "19200,e,8,1", 5, "", 0)},
        {"LastIndex", {{"ScanBaudRateNo", 11u}}, Expect(0, "19200,e,8,1", 11, "English", 0)},
        {"IndexPastList", {{"ScanBaudRateNo", 12u}}, Expect(0, "19200,e,8,1", 5, "English", 0)},
        {"NegativeIndex",
         {{"ScanBaudRateNo", 0xFFFFFFFFu}, {"ScanCommNo", 0xFFFFFFFFu}},
         Expect(-1, "19200,e,8,1", 5, "English", 0)},
    };
}

class StoredReading : public ::testing::TestWithParam<ReadingCase> {};

TEST_P(StoredReading, StartsFromWhatTheStoreHoldsAndChangesNothingThere) {
    RecordingSettingsStore store;
    for (const auto& [name, value] : GetParam().stored) store.Put(name, value);
    store.refuseOpen = GetParam().refuseOpen;
    const auto before = store.Values();
    const bool keyBefore = store.HasProgramKey();
    StoredSettings settings;
    ReadStoredSettings(store, settings);
    EXPECT_EQ(Fields(settings), Fields(GetParam().expected));
    EXPECT_TRUE(store.writes.empty());
    EXPECT_EQ(store.Values(), before);
    EXPECT_EQ(store.HasProgramKey(), keyBefore) << "reading never creates the key";
}

INSTANTIATE_TEST_SUITE_P(Cases, StoredReading, ::testing::ValuesIn(ReadingCases()),
                         [](const auto& info) { return std::string(info.param.name); });

struct WritingCase {
    const char* name;
    std::set<std::string> unwritable;
    std::vector<std::string> attempted;
    std::vector<std::string> kept;
};

class ScanSettingsWriting : public ::testing::TestWithParam<WritingCase> {};

TEST_P(ScanSettingsWriting, WritesInOrderAndStopsAtTheFirstFailure) {
    RecordingSettingsStore store;
    store.unwritable = GetParam().unwritable;
    ops::SharedState state;
    state.ScanCommNo = 7;
    state.ScanBaudRateNo = 11;
    state.ScanBaudRate = "115200,e,8,1";
    SaveScanSettings(store, state);
    EXPECT_EQ(store.writes, GetParam().attempted);
    const std::map<std::string, StoredValue> all = {
        {"ScanCommNo", 7u}, {"ScanBaudRateNo", 11u}, {"ScanBaudRate", std::string("115200,e,8,1")}};
    std::map<std::string, StoredValue> kept;
    for (const std::string& name : GetParam().kept) kept[name] = all.at(name);
    EXPECT_EQ(store.Values(), kept);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScanSettingsWriting,
    ::testing::Values(WritingCase{"AllWritten",
                                  {},
                                  {"ScanCommNo", "ScanBaudRateNo", "ScanBaudRate"},
                                  {"ScanCommNo", "ScanBaudRateNo", "ScanBaudRate"}},
                      WritingCase{"FirstFails", {"ScanCommNo"}, {"ScanCommNo"}, {}},
                      WritingCase{"IndexFails",
                                  {"ScanBaudRateNo"},
                                  {"ScanCommNo", "ScanBaudRateNo"},
                                  {"ScanCommNo"}},
                      WritingCase{"TextFails",
                                  {"ScanBaudRate"},
                                  {"ScanCommNo", "ScanBaudRateNo", "ScanBaudRate"},
                                  {"ScanCommNo", "ScanBaudRateNo"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SettingsWritingFailure, AKeyThatCannotBeCreatedIsSilent) {
    RecordingSettingsStore store;
    store.refuseCreate = true;
    SaveScanSettings(store, ops::SharedState{});
    SaveLanguageFlag(store, "ChineseGB");
    EXPECT_TRUE(store.writes.empty());
    EXPECT_FALSE(store.HasProgramKey());
}

}  // namespace
}  // namespace vx::ui
