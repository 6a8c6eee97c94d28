// The window end to end: its real controls on the offscreen display, the
// machine's serial device on pseudo-terminals that vxsim publishes, a
// settings file in a temporary folder and the real clock. Bounds on time are
// generous sanity limits; exact timing is asserted on virtual time elsewhere.
#pragma once

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
#include "fake_device_server.h"
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

namespace vx::ui::e2e {

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

inline const QColor kRed(255, 0, 0);
inline const QColor kYellow(255, 255, 0);
inline const QColor kWhite(255, 255, 255);

using Channels = std::array<bool, protocol::kChannelCount>;

inline Channels FromFlags(const std::string& flags) {
    Channels channels{};
    for (int i = 0; i < protocol::kChannelCount; ++i) channels[i] = flags.at(i) == '1';
    return channels;
}

inline const Channels kNone{};
// Channels far apart and on every row, so that a shifted or mirrored
// channel order cannot pass.
inline const Channels kFirstOutputs = FromFlags("1010000000000001");
inline const Channels kSecondOutputs = FromFlags("0100001000010100");

inline double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

inline int CountLines(const std::string& text, const std::vector<std::string>& parts) {
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
        for (int i = 0; i < protocol::kChannelCount; ++i) window->chkDO[i]->setChecked(outputs[i]);
    }

    Sample Take() const {
        Sample sample;
        for (int i = 0; i < protocol::kChannelCount; ++i) {
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

}  // namespace vx::ui::e2e
