#include <gtest/gtest.h>

#include <QComboBox>
#include <QProcess>
#include <QTemporaryDir>

#include "platform/settings_store.h"
#include "ui/stored_settings.h"
#include "window_rig.h"

namespace vx::ui::testing {
namespace {

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

TEST_P(StoredReading, WindowStartsFromWhatTheStoreHolds) {
    WindowRig rig;
    for (const auto& [name, value] : GetParam().stored) rig.store.Put(name, value);
    rig.store.refuseOpen = GetParam().refuseOpen;
    const auto before = rig.store.keys;
    TfrmModule& w = rig.Create();
    const StoredSettings& expected = GetParam().expected;
    EXPECT_EQ(w.State().ScanCommNo, expected.ScanCommNo);
    EXPECT_EQ(w.State().ScanBaudRate, expected.ScanBaudRate);
    EXPECT_EQ(w.State().ScanBaudRateNo, expected.ScanBaudRateNo);
    EXPECT_EQ(w.LanguageFlag, expected.LanguageFlag);
    EXPECT_EQ(w.LanguageNo, expected.LanguageNo);
    EXPECT_EQ(w.cmbBaudRate->currentIndex(), expected.ScanBaudRateNo);
    EXPECT_TRUE(rig.store.writes.empty());
    EXPECT_EQ(rig.store.keys, before) << "reading changes nothing in the store";
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
    WindowRig rig;
    rig.store.unwritable = GetParam().unwritable;
    TfrmModule& w = rig.Create();
    w.State().ScanCommNo = 7;
    w.State().ScanBaudRateNo = 11;
    w.State().ScanBaudRate = "115200,e,8,1";
    w.SaveScanSettings();
    EXPECT_EQ(rig.store.writes, GetParam().attempted);
    const std::map<std::string, StoredValue> all = {
        {"ScanCommNo", 7u}, {"ScanBaudRateNo", 11u}, {"ScanBaudRate", std::string("115200,e,8,1")}};
    std::map<std::string, StoredValue> kept;
    for (const std::string& name : GetParam().kept) kept[name] = all.at(name);
    EXPECT_EQ(rig.store.keys[platform::kProgramKeyPath], kept);
    EXPECT_EQ(w.State().ScanCommNo, 7) << "memory keeps its values either way";
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

TEST(ScanSettingsWritingFailure, AKeyThatCannotBeCreatedIsSilent) {
    WindowRig rig;
    rig.store.refuseCreate = true;
    TfrmModule& w = rig.Create();
    w.SaveScanSettings();
    EXPECT_TRUE(rig.store.writes.empty());
    EXPECT_TRUE(rig.store.keys.empty());
}

TEST(StoredAcrossRuns, WindowReadsWhatAnotherProcessWrote) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString file = folder.filePath("VXConfig.reg");
    QProcess writer;
    writer.start(QStringLiteral(VX_SETTINGS_WRITER),
                 {file, "12", "8", "57600,e,8,1", "ChineseBIG5"});
    ASSERT_TRUE(writer.waitForFinished(30000));
    ASSERT_EQ(writer.exitCode(), 0) << writer.readAllStandardError().toStdString();

    const auto store = platform::OpenFileSettingsStore(file.toStdString());
    WindowRig rig;
    TfrmModule w({*store, rig.clock, rig.events, rig.tone, rig.bus});
    EXPECT_EQ(w.State().ScanCommNo, 12);
    EXPECT_EQ(w.State().ScanBaudRateNo, 8);
    EXPECT_EQ(w.State().ScanBaudRate, "57600,e,8,1");
    EXPECT_EQ(w.LanguageFlag, "ChineseBIG5");
    EXPECT_EQ(w.LanguageNo, 2);
    EXPECT_EQ(w.cmbBaudRate->currentIndex(), 8);
}

}  // namespace
}  // namespace vx::ui::testing
