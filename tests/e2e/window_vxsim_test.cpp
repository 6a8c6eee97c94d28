// The window end to end: its real controls on the offscreen display, the
// machine's serial device on pseudo-terminals that vxsim publishes, a
// settings file in a temporary folder and the real clock. Bounds on time are
// generous sanity limits; exact timing is asserted on virtual time elsewhere.
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <array>
#include <csignal>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "doubles/frame_counting_device.h"
#include "doubles/recording_tone.h"
#include "platform/clock.h"
#include "platform/event_pump.h"
#include "platform/serial_device.h"
#include "platform/settings_store.h"
#include "ser2net_process.h"
#include "temp_folder.h"
#include "ui/circle_shape.h"
#include "ui/frm_module.h"
#include "ui/vx_application.h"
#include "vxsim_process.h"

namespace vx::ui {
namespace {

constexpr const char* kModuleLine = "19200,e,8,1";
constexpr int kModuleLineIndex = 5;
constexpr int kModuleId = 7;
constexpr const char* kModuleSerial = "58013462";
constexpr const char* kModuleVersion = "04.11-07";
constexpr int kModulePort = 3;
constexpr int kNormalModeIndex = 1;
constexpr unsigned kSuccessHz = 1000;
constexpr unsigned kFailureHz = 300;

// Long enough for a loaded machine; a run that needs more has hung.
constexpr qint64 kRunBoundMs = 20'000;
constexpr int kSampleEveryMs = 15;
constexpr qint64 kLiveRunMs = 1'000;
constexpr double kMaxCpuShareWhileEnding = 0.5;

const QColor kRed(255, 0, 0);
const QColor kYellow(255, 255, 0);
const QColor kWhite(255, 255, 255);

using Channels = std::array<bool, kChannelCount>;

Channels FromFlags(const std::string& flags) {
    Channels channels{};
    for (int i = 0; i < kChannelCount; ++i) channels[i] = flags.at(i) == '1';
    return channels;
}

const Channels kNone{};
// Channels far apart and on every row, so that a shifted or mirrored
// channel order cannot pass.
const Channels kFirstOutputs = FromFlags("1010000000000001");
const Channels kSecondOutputs = FromFlags("0100001000010100");

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

int CountLines(const std::string& text, const std::vector<std::string>& parts) {
    std::istringstream lines(text);
    int count = 0;
    for (std::string line; std::getline(lines, line);) {
        bool all = true;
        for (const auto& part : parts) all = all && line.find(part) != std::string::npos;
        count += all ? 1 : 0;
    }
    return count;
}

// What the window showed at one moment of a live run.
struct Sample {
    Channels outputs{};
    Channels lamps{};
    bool lampsValid = true;  // every lamp white or yellow
    bool processing = false;
    bool scanEnabled = true;
    QString caption;
};

// A silent port on COM1, nothing on COM2, the module on COM3. Only these two
// numbers resolve; every other one resolves to nothing, so the machine's own
// serial devices are never touched.
class WindowOnVxsim : public ::testing::Test {
protected:
    WindowOnVxsim()
        : sim({"--log", folder.File("vxsim.log"), "--silent", folder.File("com1"), "--line",
               kModuleLine, "--id", std::to_string(kModuleId), "--serial", kModuleSerial,
               "--version", kModuleVersion, "--mode", "S", "--link", folder.File("com3")}),
          store(platform::OpenFileSettingsStore(StorePath())),
          device(std::make_unique<doubles::FrameCountingDevice>(
              platform::CreateSystemSerialDevice(Resolver()))) {}

    void SetUp() override {
        ASSERT_NE(sim.OutputThrough(folder.File("com3")).find("ready"), std::string::npos);
        events.Install([] { QCoreApplication::processEvents(QEventLoop::AllEvents); });
        window = std::make_unique<TfrmModule>(
            WindowServices{*store, platform::SystemClock(), events, tone, *device});
        window->show();
        QCoreApplication::processEvents();
    }

    std::string StorePath() const { return folder.File("VXConfig.reg"); }

    platform::PortResolver Resolver() const {
        return [this](const std::string& comName) {
            const auto found = ports.find(comName);
            return found == ports.end() ? std::string() : found->second;
        };
    }

    std::string Log() const { return platform::testing::ReadFileText(folder.File("vxsim.log")); }

    unsigned LastBeepHz() const {
        return tone.Beeps().empty() ? 0 : tone.Beeps().back().frequencyHz;
    }

    // A scan as the first step of a longer story. A reply that misses its
    // window on a busy machine fails a scan; the user would scan again, and
    // so does this, once. The scan itself is judged strictly elsewhere.
    void ScanFindsTheModule() {
        constexpr int kScanClicks = 2;
        int clicks = 0;
        do {
            window->btnScan->click();
        } while (!window->State().ModuleFound && ++clicks < kScanClicks);
        ASSERT_TRUE(window->State().ModuleFound) << window->pnMsg->text().toStdString() << "\n"
                                                 << Log();
    }

    // A key as the keyboard sends it: to the window, which hands it to the
    // focused control, or drops it while disabled.
    void Press(Qt::Key key, int times = 1) {
        for (int i = 0; i < times; ++i) QTest::keyClick(window->windowHandle(), key);
    }

    // The same story as ScanFindsTheModule, told with the Enter key.
    void EnterScansTheModule() {
        constexpr int kScanKeys = 2;
        int keys = 0;
        do {
            Press(Qt::Key_Return);
        } while (!window->State().ModuleFound && ++keys < kScanKeys);
        ASSERT_TRUE(window->State().ModuleFound) << window->pnMsg->text().toStdString() << "\n"
                                                 << Log();
    }

    void TickOutputs(const Channels& outputs) {
        for (int i = 0; i < kChannelCount; ++i) window->chkDO[i]->setChecked(outputs[i]);
    }

    Sample Take() const {
        Sample sample;
        for (int i = 0; i < kChannelCount; ++i) {
            sample.outputs[i] = window->chkDO[i]->isChecked();
            const QColor lamp = window->shDI[i]->Brush();
            sample.lamps[i] = lamp == kYellow;
            sample.lampsValid = sample.lampsValid && (lamp == kYellow || lamp == kWhite);
        }
        sample.processing = window->State().ProcessFlag;
        sample.scanEnabled = window->btnScan->isEnabled();
        sample.caption = window->btnProcess->text();
        return sample;
    }

    // Clicks btnProcess and samples the window from a timer while the run
    // loops inside that click. `act` sees each sample with the time since the
    // start and may act as the user; past the bound the run is stopped, so a
    // run that never ends fails instead of hanging.
    std::vector<Sample> RunLive(const std::function<void(const Sample&, qint64 ms)>& act,
                                const std::function<void()>& start = {}) {
        std::vector<Sample> samples;
        QElapsedTimer since;
        bool stopForced = false;
        QTimer sampler;
        sampler.setInterval(kSampleEveryMs);
        QObject::connect(&sampler, &QTimer::timeout, [&] {
            samples.push_back(Take());
            act(samples.back(), since.elapsed());
            if (since.elapsed() > kRunBoundMs && !stopForced) {
                stopForced = true;
                QTimer::singleShot(0, window->btnProcess, &QPushButton::click);
            }
        });
        since.start();
        sampler.start();
        if (start) {
            start();
        } else {
            window->btnProcess->click();
        }
        sampler.stop();
        EXPECT_FALSE(stopForced) << "the run did not end within the bound";
        return samples;
    }

    void ExpectRunTidiedUp(const QString& captionBefore) {
        const Sample after = Take();
        EXPECT_FALSE(after.processing);
        EXPECT_EQ(after.outputs, kNone);
        EXPECT_EQ(after.lamps, kNone);
        EXPECT_TRUE(after.lampsValid);
        EXPECT_EQ(after.caption, captionBefore);
        EXPECT_TRUE(after.scanEnabled);
        EXPECT_FALSE(device->IsOpen());
        EXPECT_TRUE(window->State().ModuleFound) << "a run never forgets the module";
    }

    platform::testing::TempFolder folder;
    // What the Ports table would map each number to.
    std::map<std::string, std::string> ports{{"COM1", folder.File("com1")},
                                             {"COM3", folder.File("com3")}};
    test::VxsimProcess sim;
    std::unique_ptr<platform::SettingsStore> store;
    std::unique_ptr<doubles::FrameCountingDevice> device;
    platform::InstallableEventPump events;
    doubles::RecordingTone tone{platform::SystemClock()};
    std::unique_ptr<TfrmModule> window;
};

TEST_F(WindowOnVxsim, ScanFindsTheModuleOnTheThirdPortAndStoresWhereItWas) {
    ASSERT_TRUE(window->chkLock->isChecked());
    ASSERT_EQ(window->cmbBaudRate->currentIndex(), kModuleLineIndex);

    window->btnScan->click();

    ASSERT_TRUE(window->State().ModuleFound) << window->pnMsg->text().toStdString() << "\n"
                                             << Log();
    EXPECT_EQ(window->pnID->text(), "07");
    EXPECT_EQ(window->sbID->value(), kModuleId);
    EXPECT_EQ(window->pnSerial->text(), QString("S/N : ") + kModuleSerial);
    EXPECT_EQ(window->pnVersion->text(), QString("VER : ") + kModuleVersion);
    EXPECT_EQ(window->cmbMode->currentIndex(), kNormalModeIndex);
    EXPECT_EQ(window->cmbBaudRate->currentText(), kModuleLine);
    EXPECT_EQ(window->shComm->Brush(), kYellow);
    EXPECT_EQ(window->pnMsg->text(), "Get Module Info Ok. (COM : #3)");
    EXPECT_EQ(LastBeepHz(), kSuccessHz);
    EXPECT_FALSE(device->IsOpen());

    // With the lock ticked the silent port hears both attempts at the one
    // line setting, and nothing else.
    const std::string log = Log();
    EXPECT_EQ(CountLines(log, {folder.File("com1"), "command=B00B", "silent port"}), 2) << log;
    EXPECT_EQ(CountLines(log, {folder.File("com1")}), 2) << log;

    // Read back from the file, as the next start of the program would.
    const auto key =
        platform::OpenFileSettingsStore(StorePath())->OpenKey(platform::kProgramKeyPath);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->ReadInteger("ScanCommNo"), std::optional<std::uint32_t>(kModulePort));
    EXPECT_EQ(key->ReadText("ScanBaudRate"), std::optional<std::string>(kModuleLine));
    EXPECT_EQ(key->ReadInteger("ScanBaudRateNo"), std::optional<std::uint32_t>(kModuleLineIndex));
}

TEST_F(WindowOnVxsim, SetIdReachesTheModuleAndTheNextScanReadsItBack) {
    ASSERT_NO_FATAL_FAILURE(ScanFindsTheModule());
    constexpr int kNewId = 12;
    constexpr int kAnyOtherId = 40;
    window->sbID->setValue(kNewId);
    ASSERT_EQ(window->pnID->text(), "12");

    window->btnID->click();

    EXPECT_EQ(window->pnMsg->text(), "Set Module ID Ok");
    EXPECT_EQ(window->shComm->Brush(), kYellow);
    EXPECT_EQ(LastBeepHz(), kSuccessHz);
    EXPECT_TRUE(window->isEnabled());
    EXPECT_FALSE(device->IsOpen());
    const std::string setId = std::string("command=B00C") + kModuleSerial + "12 checksum=ok";
    EXPECT_EQ(CountLines(Log(), {folder.File("com3"), setId, "answered"}), 1) << Log();

    // The second scan finds the module at once on the stored port.
    window->sbID->setValue(kAnyOtherId);
    ASSERT_NO_FATAL_FAILURE(ScanFindsTheModule());
    EXPECT_EQ(window->pnID->text(), "12");
    EXPECT_EQ(window->sbID->value(), kNewId);
    EXPECT_EQ(CountLines(Log(), {folder.File("com1")}), 2) << "the quick attempt needs no search";
}

// The module takes the new line settings right after its acknowledgement; the
// next operation reaches it only if the tool has adopted them too.
TEST_F(WindowOnVxsim, BaudRateChangeIsUsedByTheNextOperation) {
    ASSERT_NO_FATAL_FAILURE(ScanFindsTheModule());
    constexpr int kNewLineIndex = 7;  // "38400,e,8,1"
    window->cmbBaudRate->setCurrentIndex(kNewLineIndex);

    window->btnBaudRate->click();

    EXPECT_EQ(window->pnMsg->text(), "Set Module BaudRate Ok");
    EXPECT_EQ(window->State().ScanBaudRate, "38400,e,8,1");
    EXPECT_EQ(window->State().ScanBaudRateNo, kNewLineIndex);
    EXPECT_EQ(CountLines(Log(), {"command=B00E7 checksum=ok", "answered"}), 1) << Log();

    window->btnID->click();

    EXPECT_EQ(window->pnMsg->text(), "Set Module ID Ok") << Log();
    EXPECT_EQ(CountLines(Log(), {"baud=38400", "command=B00C", "answered"}), 1) << Log();
    // Memory only: the store keeps where the search found the module.
    const auto key =
        platform::OpenFileSettingsStore(StorePath())->OpenKey(platform::kProgramKeyPath);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->ReadText("ScanBaudRate"), std::optional<std::string>(kModuleLine));
}

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

TEST_F(WindowOnVxsim, KeyboardAloneScansAndSetsTheNextId) {
    ASSERT_NO_FATAL_FAILURE(EnterScansTheModule());
    EXPECT_EQ(window->focusWidget(), window->btnScan) << "the scan keeps the focus where it was";
    EXPECT_TRUE(window->btnScan->isDefault());

    Press(Qt::Key_Tab);
    Press(Qt::Key_Right);
    Press(Qt::Key_Tab);
    ASSERT_EQ(window->focusWidget(), window->btnID);
    EXPECT_FALSE(window->btnScan->isDefault()) << "the focused button is the default one";
    Press(Qt::Key_Space);

    EXPECT_EQ(window->pnMsg->text(), "Set Module ID Ok") << Log();
    const std::string setNextId = std::string("command=B00C") + kModuleSerial + "08 checksum=ok";
    EXPECT_EQ(CountLines(Log(), {setNextId, "answered"}), 1) << Log();
    EXPECT_EQ(window->focusWidget(), window->btnID);

    // Enter presses the focused button, not the scan.
    Press(Qt::Key_Return);
    EXPECT_EQ(CountLines(Log(), {setNextId, "answered"}), 2) << Log();
    EXPECT_EQ(window->focusWidget(), window->btnID);
}

// The module behind a device server that starts at a rate it does not hear:
// found only if the scan's line settings reach the server's port.
TEST_F(WindowOnVxsim, KeyboardScanFindsAModuleBehindADeviceServer) {
    test::Ser2net server(folder.Path(), {{folder.File("com3"), "9600n81", true}});
    ASSERT_TRUE(server.Ready());
    ports["COM3"] = server.Url(0);

    ASSERT_NO_FATAL_FAILURE(EnterScansTheModule());

    EXPECT_EQ(window->pnMsg->text(), "Get Module Info Ok. (COM : #3)");
    EXPECT_EQ(window->pnSerial->text(), QString("S/N : ") + kModuleSerial);
    EXPECT_EQ(window->shComm->Brush(), kYellow);
    EXPECT_GE(CountLines(Log(), {folder.File("com3"), "baud=19200 command=B00B", "answered"}), 1)
        << Log();
    EXPECT_FALSE(device->IsOpen());
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
}  // namespace vx::ui

int main(int argc, char** argv) {
    // The module must answer within 150 ms of a command, on a machine that may
    // be busy building. Where allowed, this process and the vxsim it starts
    // get the processor ahead of ordinary jobs; elsewhere they run as they are.
    constexpr int kAheadOfOrdinaryJobs = -10;
    setpriority(PRIO_PROCESS, 0, kAheadOfOrdinaryJobs);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    std::vector<QString> reported;
    vx::ui::VxApplication application(argc, argv,
                                      [&reported](const QString& m) { reported.push_back(m); });
    const int result = RUN_ALL_TESTS();
    if (!reported.empty()) {
        std::fprintf(stderr, "an exception escaped a handler: %s\n",
                     reported.front().toStdString().c_str());
        return 1;
    }
    return result;
}
