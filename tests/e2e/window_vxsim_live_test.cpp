// Live runs: lamps that follow the outputs, and runs that end when asked or
// when the module goes.
#include "window_on_vxsim.h"

namespace vx::ui::e2e {
namespace {

TEST_F(WindowOnVxsim, LiveRunLampsFollowTheOutputBoxesUntilStopped) {
    ASSERT_NO_FATAL_FAILURE(ScanFindsTheModule());
    const QString captionBefore = window->btnProcess->text();
    TickOutputs(kFirstOutputs);

    bool changed = false;
    bool stopped = false;
    std::size_t beforeStop = 0;  // samples taken before the stop click
    const auto samples = RunLive([&](const Sample& now, qint64 ms) {
        beforeStop += stopped ? 0 : 1;
        if (!changed && now.lamps == kFirstOutputs) {
            changed = true;
            TickOutputs(kSecondOutputs);
        } else if (changed && !stopped && now.lamps == kSecondOutputs && ms >= kLiveRunMs) {
            stopped = true;
            QTimer::singleShot(0, window->btnProcess, &QPushButton::click);
        }
    });

    ASSERT_TRUE(stopped) << "the lamps never showed both sets of outputs";
    int seenFirst = 0;
    int seenSecond = 0;
    bool answered = false;
    ASSERT_LE(beforeStop, samples.size());
    for (const Sample& s : std::vector<Sample>(samples.begin(), samples.begin() + beforeStop)) {
        EXPECT_TRUE(s.processing);
        EXPECT_FALSE(s.scanEnabled);
        EXPECT_EQ(s.caption, "Cancel Process Module(Space Key)");
        EXPECT_TRUE(s.lampsValid);
        // Lamps trail the boxes by at most one exchange: they show the
        // boxes as they are, as they were just before, or (before the
        // first reply) nothing.
        answered = answered || s.lamps != kNone;
        const bool matches = s.lamps == s.outputs || !answered ||
                             (s.outputs == kSecondOutputs && s.lamps == kFirstOutputs);
        EXPECT_TRUE(matches);
        seenFirst += s.outputs == kFirstOutputs && s.lamps == kFirstOutputs;
        seenSecond += s.outputs == kSecondOutputs && s.lamps == kSecondOutputs;
    }
    EXPECT_GT(seenFirst, 0);
    EXPECT_GT(seenSecond, 0);

    EXPECT_EQ(window->shComm->Brush(), kYellow);
    EXPECT_EQ(LastBeepHz(), kSuccessHz);
    ExpectRunTidiedUp(captionBefore);
    const auto otherOpener = platform::CreateSystemSerialDevice(Resolver());
    EXPECT_TRUE(otherOpener->Open("COM3").Opened()) << "the run left the port held";
}

TEST_F(WindowOnVxsim, UnplugDuringALiveRunEndsItWithoutSpinning) {
    ASSERT_NO_FATAL_FAILURE(ScanFindsTheModule());
    const QString captionBefore = window->btnProcess->text();
    const QString messageBefore = window->pnMsg->text();
    TickOutputs(kFirstOutputs);

    bool unplugged = false;
    double cpuAtUnplug = 0;
    QElapsedTimer sinceUnplug;
    RunLive([&](const Sample& now, qint64) {
        if (!unplugged && now.lamps == kFirstOutputs) {
            unplugged = true;
            cpuAtUnplug = CpuSeconds();
            sinceUnplug.start();
            sim.Signal(SIGUSR1);
        }
    });
    ASSERT_TRUE(unplugged) << "the run never cycled";
    const double cpu = CpuSeconds() - cpuAtUnplug;
    const double wall = static_cast<double>(sinceUnplug.elapsed()) / 1e3;

    EXPECT_NE(sim.OutputThrough("hangup").find("hangup"), std::string::npos);
    EXPECT_EQ(window->shComm->Brush(), kRed);
    EXPECT_EQ(LastBeepHz(), kFailureHz);
    EXPECT_EQ(window->pnMsg->text(), messageBefore) << "a lost link ends the run silently";
    ExpectRunTidiedUp(captionBefore);
    EXPECT_LT(cpu, kMaxCpuShareWhileEnding * wall) << "cpu " << cpu << " s over " << wall << " s";
    std::printf("end of run after unplug: %.0f ms wall, %.1f ms cpu\n", wall * 1e3, cpu * 1e3);
}

class LiveRunByKeyboard : public WindowOnVxsim, public ::testing::WithParamInterface<bool> {};

TEST_P(LiveRunByKeyboard, SpaceStopsTheRunWithinOneCycle) {
    const bool startWithSpace = GetParam();
    ASSERT_NO_FATAL_FAILURE(EnterScansTheModule());
    TickOutputs(kFirstOutputs);
    constexpr int kTabsFromScanToProcess = 7;
    Press(Qt::Key_Tab, kTabsFromScanToProcess);
    ASSERT_EQ(window->focusWidget(), window->btnProcess);

    int framesAtStop = -1;
    RunLive(
        [&](const Sample& now, qint64) {
            if (framesAtStop < 0 && now.lamps == kFirstOutputs) {
                framesAtStop = device->frames;
                Press(Qt::Key_Space);
            }
        },
        [&] {
            if (startWithSpace) {
                Press(Qt::Key_Space);
            } else {
                QTest::mouseClick(window->btnProcess, Qt::LeftButton);
            }
        });

    ASSERT_GE(framesAtStop, 0) << "the run never cycled";
    EXPECT_LE(device->frames - framesAtStop, 1) << "exchanges after the stop key";
    EXPECT_FALSE(window->State().ProcessFlag);
    EXPECT_EQ(LastBeepHz(), kSuccessHz) << "a user's stop, not a lost link";
    EXPECT_EQ(window->focusWidget(), window->btnProcess);
}

INSTANTIATE_TEST_SUITE_P(StartedBy, LiveRunByKeyboard, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Space" : "MouseClick"; });

}  // namespace
}  // namespace vx::ui::e2e
