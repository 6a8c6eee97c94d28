// The window's texts without the window: the text table and the spoken
// texts in every language, and the status texts the operations build from
// the table's entries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "test_bench.h"
#include "ui/shell/spoken_texts.h"
#include "ui/shell/text_table.h"

namespace vx::ui {
namespace {

using ops::testing::Bench;

// Whether `text` is well-formed UTF-8: every sequence complete, in its
// shortest form, and neither a surrogate nor past the last code point.
bool IsUtf8(const std::string& text) {
    constexpr std::uint32_t kShortest[] = {0, 0x80, 0x800, 0x10000};
    constexpr std::uint32_t kSurrogates = 0xD800, kPastSurrogates = 0xE000, kLast = 0x10FFFF;
    for (std::size_t at = 0; at < text.size();) {
        const auto lead = static_cast<unsigned char>(text[at]);
        const int extra = lead < 0x80   ? 0
                          : lead < 0xC0 ? -1
                          : lead < 0xE0 ? 1
                          : lead < 0xF0 ? 2
                                        : 3;
        if (extra < 0 || lead >= 0xF8 || at + extra >= text.size())
            return false;
        std::uint32_t code = lead & (extra == 0 ? 0x7Fu : 0x7Fu >> (extra + 1));
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[at + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = code << 6 | (next & 0x3Fu);
        }
        if (code < kShortest[extra] || code > kLast ||
            (code >= kSurrogates && code < kPastSurrogates))
            return false;
        at += static_cast<std::size_t>(extra) + 1;
    }
    return true;
}

struct TextsCase {
    const char* table;
    int rows;
    std::function<const std::string&(int row, int languageNo)> text;
};

void PrintTo(const TextsCase& c, std::ostream* os) {
    *os << c.table;
}

class EveryText : public ::testing::TestWithParam<TextsCase> {};

TEST_P(EveryText, IsValidUtf8InEachLanguageAndTranslatedIntoBothChineseOnes) {
    const TextsCase& c = GetParam();
    for (int row = 0; row < c.rows; ++row) {
        const std::string& english = c.text(row, kLanguageEnglish);
        for (int languageNo = 0; languageNo < kLanguageCount; ++languageNo) {
            const std::string& text = c.text(row, languageNo);
            EXPECT_TRUE(!text.empty() && IsUtf8(text)) << "row " << row << " in " << languageNo;
        }
        EXPECT_NE(c.text(row, kLanguageChineseGB), english) << "row " << row;
        EXPECT_NE(c.text(row, kLanguageChineseBIG5), english) << "row " << row;
        EXPECT_EQ(c.text(row, kLanguageCount), english) << "an unknown language reads as English";
        EXPECT_EQ(c.text(row, -1), english);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tables, EveryText,
    ::testing::Values(TextsCase{"TextTable", ops::kMessageCount,
                                [](int row, int languageNo) -> const std::string& {
                                    return Text(static_cast<ops::Msg>(row), languageNo);
                                }},
                      TextsCase{"SpokenTexts", kSpokenCount,
                                [](int row, int languageNo) -> const std::string& {
                                    return SpokenText(static_cast<Spoken>(row), languageNo);
                                }}),
    [](const auto& info) { return std::string(info.param.table); });

TEST(Utf8Check, RefusesWhatIsNoUtf8) {
    for (const char* bad : {"\x80", "\xC3", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80",
                            "\xF4\x90\x80\x80", "\xF8\x88\x80\x80\x80", "a\xE4\xB8"})
        EXPECT_FALSE(IsUtf8(bad)) << bad;
    EXPECT_TRUE(IsUtf8("\xE4\xB8\xAD\xF0\x9F\x98\x80 \x7F"));
}

// `text` with each entry of the text table in `languageNo` replaced by its
// message number in braces, the longest entries first (so that "Set Module
// ID Ok" is one entry, not "Set Module ID" and a suffix).
std::string MarkEntries(std::string text, int languageNo) {
    std::vector<ops::Msg> longestFirst;
    for (int m = 0; m < ops::kMessageCount; ++m) longestFirst.push_back(static_cast<ops::Msg>(m));
    std::stable_sort(longestFirst.begin(), longestFirst.end(),
                     [languageNo](ops::Msg a, ops::Msg b) {
                         return Text(a, languageNo).size() > Text(b, languageNo).size();
                     });
    for (const ops::Msg m : longestFirst) {
        const std::string& entry = Text(m, languageNo);
        if (entry.empty())
            continue;  // a missing entry, which EveryText reports
        const std::string mark = "{" + std::to_string(static_cast<int>(m)) + "}";
        for (auto at = text.find(entry); at != std::string::npos; at = text.find(entry, at))
            text.replace(at, entry.size(), mark);
    }
    return text;
}

using Step = std::function<void(Bench&)>;

struct StatusCase {
    const char* name;
    std::vector<Step> steps;
};

// Every status text the steps showed, in order.
std::vector<std::string> Statuses(const StatusCase& c, int languageNo) {
    Bench b(languageNo);
    for (const Step& step : c.steps) step(b);
    std::vector<std::string> texts;
    for (const auto& [atMs, text] : b.window.statuses) texts.push_back(text);
    return texts;
}

class StatusTexts : public ::testing::TestWithParam<StatusCase> {};

TEST_P(StatusTexts, AreTableEntriesWithLiteralSuffixesThatAreTheSameInEveryLanguage) {
    const std::vector<std::string> english = Statuses(GetParam(), kLanguageEnglish);
    ASSERT_FALSE(english.empty());
    for (int languageNo = 0; languageNo < kLanguageCount; ++languageNo) {
        const std::vector<std::string> shown = Statuses(GetParam(), languageNo);
        ASSERT_EQ(shown.size(), english.size()) << "in " << languageNo;
        for (std::size_t i = 0; i < shown.size(); ++i) {
            const std::string marked = MarkEntries(shown[i], languageNo);
            EXPECT_EQ(marked.front(), '{') << shown[i] << ": a status begins with an entry";
            EXPECT_EQ(marked, MarkEntries(english[i], kLanguageEnglish)) << shown[i];
        }
    }
}

constexpr int kModulePort = 2;

void AddModule(Bench& b) {
    b.bus.AddSilentPort(kModulePort - 1);
    b.bus.AddModule(kModulePort);
}
void Scan(Bench& b) {
    ops::btnScanClick(b.ctx);
}
void SetEverything(Bench& b) {
    ops::btnIDClick(b.ctx);
    ops::btnBaudRateClick(b.ctx);
    ops::btnModeClick(b.ctx);
    ops::btnFactoryClick(b.ctx);
}
// The module swallows every command from now on.
void Silence(Bench& b) {
    constexpr int kEveryCommand = 1000;
    b.bus.Faults(kModulePort).Queue("B", sim::Fault::NoReply, kEveryCommand);
}
void LoseTheModeReplies(Bench& b) {
    constexpr int kEveryAttempt = 10;
    b.bus.Faults(kModulePort).Queue(protocol::cmd::ReadMode, sim::Fault::NoReply, kEveryAttempt);
}
void Unplug(Bench& b) {
    b.bus.Unplug(kModulePort);
}
void RunLive(Bench& b) {
    ops::btnProcessClick(b.ctx);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, StatusTexts,
    ::testing::Values(StatusCase{"NothingAnswersAndNothingCanBeSet", {Scan, SetEverything}},
                      StatusCase{"SearchFindsTheModuleAndSetsIt", {AddModule, Scan, SetEverything}},
                      StatusCase{"SettingsFail", {AddModule, Scan, Silence, SetEverything}},
                      StatusCase{"ModuleInfoFails", {AddModule, LoseTheModeReplies, Scan}},
                      StatusCase{"LiveRunFindsThePortGone", {AddModule, Scan, Unplug, RunLive}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vx::ui
