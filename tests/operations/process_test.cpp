#include <gtest/gtest.h>

#include "test_bench.h"

namespace vx::ops::testing {
namespace {

using sim::Fault;
using Faults = std::vector<std::pair<const char*, Fault>>;

const std::string kExchange = "B00I1010000000000001";  // DO1, DO3 and DO16 ticked

std::vector<std::string> ControlJournal(bool enabled) {
    std::vector<std::string> entries;
    for (int c = 0; c <= static_cast<int>(Control::gbNONC); ++c) {
        entries.push_back("control " + std::to_string(c) + (enabled ? " on" : " off"));
    }
    return entries;
}

void TickOutputs(FakeWindow& w) {
    for (int k : {1, 3, 16}) w.SetOutput(k, true);
}

struct RunCase {
    const char* name;
    Faults faults;
    std::size_t stopAfterCommands;  // a stop click once this many commands went out; 0: none
    std::vector<std::string> commands;
    bool stopped;
};

const RunCase kRuns[] = {
    {"StopDuringAnsweredFirstLinkCheck", {{"B00B", Fault::SplitReply}}, 1, {"B00B"}, true},
    {"StopDuringUnansweredFirstLinkCheck", {{"B00B", Fault::NoReply}}, 1, {"B00B"}, true},
    {"TwoUnansweredLinkChecksEndBeforeAnyCycle",
     {{"B00B", Fault::NoReply}, {"B00B", Fault::NoReply}},
     0,
     {"B00B", "B00B"},
     false},
    {"OneLostExchangeSurvivedSecondEndsRun",
     {{"B00I", Fault::NoReply},
      {"B00I", Fault::None},
      {"B00I", Fault::None},
      {"B00I", Fault::BadChecksum}},
     0,
     {"B00B", kExchange, "B00B", kExchange, kExchange, kExchange},
     false},
    // Events run while the reply streams in, so the click lands in the wait.
    {"StopDuringACycleEndsTheRunAfterItsExchange",
     {},
     4,
     {"B00B", kExchange, kExchange, kExchange},
     true},
};

class ProcessRun : public ::testing::TestWithParam<RunCase> {};

TEST_P(ProcessRun, EndsByCauseAndTidiesOnlyTheWindow) {
    const RunCase& c = GetParam();
    Bench b;
    b.Found(1, 5);
    b.bus.AddModule(1);
    for (const auto& [command, fault] : c.faults) b.bus.Faults(1).Queue(command, fault);
    TickOutputs(b.window);
    bool clicked = false;
    b.pump.OnRun([&](int) {
        ASSERT_LT(b.bus.Frames().size(), 50u) << "run does not end";
        if (c.stopAfterCommands == 0 || clicked || b.bus.Frames().size() < c.stopAfterCommands)
            return;
        clicked = true;
        // Nested, as the toolkit delivers it.
        EXPECT_EQ(btnProcessClick(b.ctx).result, Result::Stopped);
        EXPECT_FALSE(b.window.state.ProcessFlag);
    });
    const Outcome outcome = btnProcessClick(b.ctx);

    EXPECT_EQ(b.bus.Commands(), c.commands);
    EXPECT_EQ(outcome.result, c.stopped ? Result::Stopped : Result::LinkLost);
    EXPECT_EQ(b.window.lamp, c.stopped ? LampColor::Yellow : LampColor::Red);
    EXPECT_EQ(b.BeepHz(), std::vector<unsigned>{c.stopped ? 1000u : 300u});
    EXPECT_TRUE(b.window.statuses.empty());
    EXPECT_EQ(b.window.outputs, decltype(b.window.outputs){});
    EXPECT_EQ(std::count(b.window.inputLamps.begin(), b.window.inputLamps.end(), LampColor::White),
              kChannels);
    EXPECT_EQ(b.window.caption, "Process Module");
    EXPECT_FALSE(b.window.state.ProcessFlag);
    EXPECT_TRUE(b.window.state.ModuleFound);
    EXPECT_EQ(b.bus.CloseCount(), 1);
    const auto& j = b.window.journal;
    EXPECT_EQ(std::vector<std::string>(j.begin(), j.begin() + 11), ControlJournal(false));
    EXPECT_EQ(std::vector<std::string>(j.end() - 11, j.end()), ControlJournal(true));
}

INSTANTIATE_TEST_SUITE_P(Process, ProcessRun, ::testing::ValuesIn(kRuns),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ProcessTiming, HundredMsAroundLinkCheckThenThirtyMsPausePerCycle) {
    Bench b;
    b.Found(1, 5);
    b.bus.AddModule(1);
    b.pump.OnRun([&](int) {
        if (b.bus.Frames().size() == 5 && b.window.state.ProcessFlag)
            btnProcessClick(b.ctx);
    });
    btnProcessClick(b.ctx);
    // 16-byte identification reply, then 24-byte exchanges, at 19200 baud.
    EXPECT_EQ(b.FrameTimes(), (std::vector<std::uint32_t>{108, 256, 308, 361, 414}));
    const std::vector<std::string> busy{"busy 1", "window on"};
    EXPECT_NE(
        std::search(b.window.journal.begin(), b.window.journal.end(), busy.begin(), busy.end()),
        b.window.journal.end());
}

TEST(ProcessLamps, OnlyTwentyFourByteRepliesSetTheInputLamps) {
    Bench b;
    b.Found(1, 5);
    b.bus.AddScriptedPort(
        1, Replies({{"B00B", {"!01,SN000001"}},
                    {"B00I",
                     {"!01,1000000000000001", "!01,111111111111111", "!01,11111111111111111"}}}));
    std::array<LampColor, kChannels> seen{};
    int writesSeen = 0;
    b.pump.OnRun([&](int) {
        if (b.bus.Frames().size() != 4 || !b.window.state.ProcessFlag)
            return;
        seen = b.window.inputLamps, writesSeen = b.window.inputLampWrites;
        btnProcessClick(b.ctx);
    });
    const Outcome outcome = btnProcessClick(b.ctx);
    EXPECT_EQ(outcome.module.inputs, protocol::ParseFlags("1000000000000001"));
    EXPECT_EQ(outcome.module.serial, "SN000001");

    EXPECT_EQ(writesSeen, kChannels);
    for (int k = 1; k <= kChannels; ++k) {
        EXPECT_EQ(seen.at(k - 1), k == 1 || k == 16 ? LampColor::Yellow : LampColor::White) << k;
    }
    EXPECT_EQ(b.window.lamp, LampColor::Yellow);  // the odd lengths were no failure
}

TEST(ProcessPort, UnopenablePortReportsItAndRestoresControls) {
    Bench b;
    b.Found(12, 5);
    TickOutputs(b.window);
    const Outcome outcome = btnProcessClick(b.ctx);
    EXPECT_EQ(std::tie(outcome.result, outcome.failedAt, outcome.module.port),
              std::make_tuple(Result::Failed, Step::OpenPort, 12));
    EXPECT_EQ(b.window.status, "Open COM : 12 Error");
    EXPECT_EQ(b.window.lamp, LampColor::Red);
    EXPECT_EQ(b.BeepHz(), std::vector<unsigned>{300});
    EXPECT_TRUE(b.window.OutputTicked(16));
    EXPECT_EQ(b.window.caption, "Process Module");
    EXPECT_EQ(std::vector<std::string>(b.window.journal.end() - 11, b.window.journal.end()),
              ControlJournal(true));
}

TEST(ProcessAll, FirstOutputDecidesBetweenClearingAndTickingAll) {
    for (const bool firstTicked : {true, false}) {
        Bench b;
        for (int k = 1; k <= kChannels; ++k) b.window.SetOutput(k, (k == 1) == firstTicked);
        btnAllClick(b.ctx);
        for (int k = 1; k <= kChannels; ++k) EXPECT_EQ(b.window.OutputTicked(k), !firstTicked) << k;
    }
}

}  // namespace
}  // namespace vx::ops::testing
