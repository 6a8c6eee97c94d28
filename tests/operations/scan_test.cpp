#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <tuple>

#include "test_bench.h"

namespace vx::ops::testing {
namespace {

using sim::Fault;
using Try = std::tuple<int, int, int>;  // port, line-settings index, "B00B" frames
using Setup = std::function<void(sim::SimBus&)>;

std::vector<Try> Sweep(int com, int lines) {
    std::vector<Try> tries;
    for (int j = 0; j < lines; ++j) tries.emplace_back(com, j, 2);
    return tries;
}
std::vector<Try> operator+(std::vector<Try> a, const std::vector<Try>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Consecutive "B00B" frames grouped by port and line settings.
std::vector<Try> IdentifyTries(const sim::SimBus& bus) {
    std::vector<Try> tries;
    for (const auto& f : bus.Frames()) {
        if (f.command != "B00B")
            continue;
        const auto& list = protocol::LineSettingsList;
        const int j =
            static_cast<int>(std::find(list.begin(), list.end(), f.lineSettings) - list.begin());
        if (!tries.empty() && std::get<0>(tries.back()) == f.comNumber &&
            std::get<1>(tries.back()) == j) {
            ++std::get<2>(tries.back());
        } else {
            tries.emplace_back(f.comNumber, j, 1);
        }
    }
    return tries;
}

struct ScanCase {
    const char* name;
    int storedCom, storedLine;
    bool lock;
    Setup setup;
    std::vector<Try> tries;
    int foundCom, foundLine;  // 0: not found
    bool saved;
};

const std::string k24ByteIdentify = "!01,SERIAL01ABCDEFGH";

const ScanCase kScans[] = {
    {"ExampleFindsCom4At9600Even", 0, 5, false,
     [](auto& b) {
         b.AddSilentPort(1), b.AddSilentPort(2), b.AddSilentPort(3),
             b.AddModule(4, {.lineIndex = 3});
     },
     Sweep(1, 12) + Sweep(2, 12) + Sweep(3, 12) + Sweep(4, 3) + std::vector<Try>{{4, 3, 1}}, 4, 3,
     true},
    {"LockTriesOnlyStoredSetting",
     0,
     5,
     true,
     [](auto& b) { b.AddSilentPort(1), b.AddBusyPort(2), b.AddModule(3, {.lineIndex = 5}); },
     {{1, 5, 2}, {3, 5, 1}},
     3,
     5,
     true},
    {"LockWithStoredIndexOutOfRangeUsesDefault",
     0,
     42,
     true,
     [](auto& b) { b.AddSilentPort(1), b.AddModule(2, {.lineIndex = 5}); },
     {{1, 5, 2}, {2, 5, 1}},
     2,
     5,
     true},
    {"QuickAttemptLeavesStoreAlone",
     7,
     9,
     false,
     [](auto& b) { b.AddModule(7, {.lineIndex = 9}); },
     {{7, 9, 1}},
     7,
     9,
     false},
    {"SilentStoredPortCostsThreeAttempts",
     2,
     5,
     false,
     [](auto& b) { b.AddSilentPort(2), b.AddModule(1, {.lineIndex = 0}); },
     {{2, 5, 3}, {1, 0, 1}},
     1,
     0,
     true},
    {"TwentyFourByteIdentifyIsNoAnswer", 0, 5, false,
     [](auto& b) {
         b.AddScriptedPort(1, Replies({{"B00B", {k24ByteIdentify}}})),
             b.AddModule(2, {.lineIndex = 0});
     },
     Sweep(1, 12) + std::vector<Try>{{2, 0, 1}}, 2, 0, true},
    {"UnopenablePortsCostNoAttempt", 0, 5, false,
     [](auto& b) { b.AddBusyPort(5), b.AddModule(16, {.lineIndex = 11}); },
     Sweep(16, 11) + std::vector<Try>{{16, 11, 1}}, 16, 11, true},
    {"NothingAnswersShowsNotFind", 0, 5, false, [](auto& b) { b.AddSilentPort(9); }, Sweep(9, 12),
     0, 5, false},
};

class ScanSearch : public ::testing::TestWithParam<ScanCase> {};

TEST_P(ScanSearch, TriesPortsAndSettingsInOrderAndStoresOnlyWhatTheSearchFound) {
    const ScanCase& c = GetParam();
    Bench b;
    b.window.state.ScanCommNo = c.storedCom;
    b.window.state.ScanBaudRateNo = c.storedLine;
    b.window.state.ScanBaudRate =
        protocol::LineSettingsList.at(c.storedLine < 12 ? c.storedLine : 5);
    b.window.lock = c.lock;
    c.setup(b.bus);
    const Outcome outcome = btnScanClick(b.ctx);

    EXPECT_EQ(IdentifyTries(b.bus), c.tries);
    const bool found = c.foundCom != 0;
    EXPECT_EQ(outcome.result, found ? Result::Succeeded : Result::NotFound);
    EXPECT_EQ(std::tie(outcome.module.port, outcome.module.lineIndex),
              std::make_tuple(c.foundCom, found ? std::optional{c.foundLine} : std::nullopt));
    EXPECT_EQ(b.window.state.ModuleFound, found);
    EXPECT_EQ(b.window.saves.size(), c.saved ? 1u : 0u);
    for (const SharedState& s : b.window.saves) {
        EXPECT_EQ(std::tie(s.ScanCommNo, s.ScanBaudRate, s.ScanBaudRateNo),
                  std::tie(c.foundCom, protocol::LineSettingsList.at(c.foundLine), c.foundLine));
    }
    EXPECT_EQ(b.window.status,
              found ? "Get Module Info Ok. (COM : #" + std::to_string(c.foundCom) + ")"
                    : "Module Not Find");
    EXPECT_EQ(b.window.baudIndex, c.foundLine);
    EXPECT_EQ(b.window.lamp, found ? LampColor::Yellow : LampColor::Red);
    EXPECT_EQ(b.BeepHz(), std::vector<unsigned>{found ? 1000u : 300u});
    EXPECT_EQ(b.bus.OpenCount(), b.bus.CloseCount());
    EXPECT_EQ(b.window.journal.front(), "hourglass");
    EXPECT_EQ(b.window.journal.back(), "arrow");
}

INSTANTIATE_TEST_SUITE_P(Scan, ScanSearch, ::testing::ValuesIn(kScans),
                         [](const auto& info) { return std::string(info.param.name); });

// Module information: "B00V" is retried once; "B00G" or "B00A" failing ends it.
struct InfoCase {
    const char* faulted;
    int times;
    std::vector<std::string> commands;
    Step failedAt;
};

class ScanInfo : public ::testing::TestWithParam<InfoCase> {};

TEST_P(ScanInfo, RetriesOnlyTheVersionAndReportsIncompleteInfo) {
    const InfoCase& c = GetParam();
    Bench b;
    b.window.state.ScanCommNo = 1;
    b.bus.AddModule(1);
    if (c.times > 0)
        b.bus.Faults(1).Queue(c.faulted, Fault::NoReply, c.times);
    const Outcome outcome = btnScanClick(b.ctx);

    auto commands = b.bus.Commands();
    EXPECT_EQ(std::vector<std::string>(commands.begin() + 1, commands.end()), c.commands);
    const bool complete = c.failedAt == Step::None;
    EXPECT_EQ(b.window.state.ModuleFound, complete);
    EXPECT_EQ(b.window.status,
              complete ? "Get Module Info Ok. (COM : #1)" : "Get Module Info Error. (COM : #1)");
    EXPECT_EQ(b.BeepHz(), std::vector<unsigned>{complete ? 1000u : 300u});
    EXPECT_EQ(std::tie(outcome.result, outcome.failedAt),
              std::make_tuple(complete ? Result::Succeeded : Result::Failed, c.failedAt));
}

INSTANTIATE_TEST_SUITE_P(
    Scan, ScanInfo,
    ::testing::Values(InfoCase{"", 0, {"B00V", "B00G", "B00A"}, Step::None},
                      InfoCase{"B00V", 1, {"B00V", "B00V", "B00G", "B00A"}, Step::None},
                      InfoCase{"B00V", 2, {"B00V", "B00V"}, Step::ReadVersion},
                      InfoCase{"B00G", 1, {"B00V", "B00G"}, Step::ReadMode},
                      InfoCase{"B00A", 1, {"B00V", "B00G", "B00A"}, Step::ReadNoNc}),
    [](const auto& info) {
        const InfoCase& c = info.param;
        return c.times == 0 ? std::string("AllAnswered")
                            : std::string(c.faulted).substr(3) + "Lost" + std::to_string(c.times);
    });

TEST(ScanTiming, QuickAttemptThenHundredMsBeforeEachInfoCommand) {
    Bench b;
    b.window.state.ScanCommNo = 4;
    b.bus.AddModule(4);
    btnScanClick(b.ctx);
    // 8 ms of write pauses up to each CR; 16-, 16- and 9-byte replies at 19200 baud.
    EXPECT_EQ(b.FrameTimes(), (std::vector<std::uint32_t>{8, 126, 244, 358}));
    EXPECT_EQ(b.window.statuses.front().second, "Scan Module ....");
}

// What the replies show: ID, serial, version, mode and NO/NC boxes.
struct IdentityCase {
    std::string identify, mode, flags, idPanel;
    int position, modeIndex;
    std::string noNc;
    std::optional<int> id;  // the ID the outcome names
};

class ScanIdentity : public ::testing::TestWithParam<IdentityCase> {};

TEST_P(ScanIdentity, ShowsTheReplyFields) {
    const IdentityCase& c = GetParam();
    Bench b;
    b.window.state.ScanCommNo = 1;
    b.window.SetIdPosition(42);
    b.bus.AddScriptedPort(1, Replies({{"B00B", {c.identify}},
                                      {"B00V", {"!07,03.20-01"}},
                                      {"B00G", {c.mode}},
                                      {"B00A", {c.flags}}}));
    const ModuleFacts m = btnScanClick(b.ctx).module;

    EXPECT_EQ(std::tie(m.serial, m.version, m.idText, m.id, m.mode),
              std::make_tuple(c.identify.substr(4), "03.20-01", c.identify.substr(1, 2), c.id,
                              std::optional{c.modeIndex}));
    EXPECT_EQ(protocol::FlagString(m.noNc.value()), c.noNc);
    EXPECT_EQ(b.window.serialPanel, "S/N : " + c.identify.substr(4));
    EXPECT_EQ(b.window.versionPanel, "VER : 03.20-01");
    EXPECT_EQ(std::tie(b.window.idPanel, b.window.idPosition, b.window.modeIndex),
              std::tie(c.idPanel, c.position, c.modeIndex));
    EXPECT_EQ(protocol::FlagString(b.window.noNc), c.noNc);
    EXPECT_TRUE(b.window.state.ModuleFound);
    EXPECT_EQ(b.window.journal.back(), "arrow");
}

constexpr const char* kIdentityCaseNames[] = {"DecimalId", "NonDigitIdKeepsScrollBar",
                                              "ZeroIdAndShortReplies"};

INSTANTIATE_TEST_SUITE_P(
    Scan, ScanIdentity,
    ::testing::Values(IdentityCase{"!07,SN000007", "!07,H", "!07,1ab00000000000x1", "07", 7, 0,
                                   "1000000000000001", 7},
                      IdentityCase{"!A7,SN0000A7", "!A7,S", "!A7,1111111111111111", "A7", 42, 1,
                                   "1111111111111111", std::nullopt},
                      IdentityCase{"!00,SN000000", "!00,", "!00,1", "01", 1, 1, "1000000000000000",
                                   std::nullopt}),
    [](const auto& info) { return std::string(kIdentityCaseNames[info.index]); });

}  // namespace
}  // namespace vx::ops::testing
