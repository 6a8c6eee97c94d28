// vxconfig-demo: the tool's window on simulated modules, for trying it without
// hardware. Its settings live in a temporary folder and its COM ports are
// pseudo-terminals served by vxsim, which it starts and stops itself:
//   COM1  a port that opens but never answers
//   COM2  nothing (the port cannot be opened)
//   COM3  a module at 19200,e,8,1 with ID 07, inputs wired to its outputs
// The machine's own serial ports are never touched.
//
// Usage: vxconfig-demo [--scan-and-shoot FILE]
//   With the option it scans once, pictures the window into FILE, runs the
//   live test for a moment, prints what it measured and exits (0 when the
//   module was found).
#include <sys/prctl.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/event_pump.h"
#include "platform/serial_device.h"
#include "platform/settings_store.h"
#include "platform/tone.h"
#include "protocol/commands.h"
#include "sim/frame_events.h"
#include "ui/frm_module.h"
#include "ui/shell/text_table.h"
#include "ui/vx_application.h"

namespace {

using namespace vx;

constexpr int kVxsimStartBoundMs = 10000;
constexpr int kLiveRunMs = 2000;
constexpr int kLivePictureAtMs = 1500;
constexpr int kOutputsTicked[] = {1, 3, 6, 16};
constexpr const char* kScanAndShoot = "--scan-and-shoot";

// Beside the demo once installed; in the build tree where CMake put it.
QString VxsimPath() {
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/vxsim");
    if (QFileInfo(beside).isExecutable())
        return beside;
    return QStringLiteral(VXSIM_BUILD_PATH);
}

// The simulated ports, one vxsim process for all of them.
class SimulatedModules {
public:
    explicit SimulatedModules(const QDir& folder)
        : com1_(folder.filePath(QStringLiteral("com1"))),
          com3_(folder.filePath(QStringLiteral("com3"))),
          events_(folder.filePath(QStringLiteral("vxsim.events"))) {
        process_.setProgram(VxsimPath());
        process_.setArguments({QStringLiteral("--events"), events_, QStringLiteral("--silent"),
                               com1_, QStringLiteral("--line"), QStringLiteral("19200,e,8,1"),
                               QStringLiteral("--id"), QStringLiteral("7"),
                               QStringLiteral("--serial"), QStringLiteral("20261208"),
                               QStringLiteral("--link"), com3_});
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // The simulator must not outlive the demo, however the demo ends.
        process_.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
    }

    ~SimulatedModules() {
        process_.kill();
        process_.waitForFinished();
    }
    SimulatedModules(const SimulatedModules&) = delete;
    SimulatedModules& operator=(const SimulatedModules&) = delete;

    // False (with a message) when vxsim did not come up.
    bool Start() {
        process_.start();
        QElapsedTimer waited;
        waited.start();
        QByteArray said;
        while (!said.contains("ready") && waited.elapsed() < kVxsimStartBoundMs) {
            if (!process_.waitForReadyRead(kVxsimStartBoundMs))
                break;
            said += process_.readAllStandardOutput();
        }
        if (!said.contains("ready")) {
            std::fprintf(stderr, "vxconfig-demo: the simulator %s did not start\n",
                         qPrintable(process_.program()));
            return false;
        }
        return true;
    }

    std::string Resolve(const std::string& comName) const {
        const std::map<std::string, QString> table{{"COM1", com1_}, {"COM3", com3_}};
        const auto found = table.find(comName);
        return found == table.end() ? std::string{} : found->second.toStdString();
    }

    // Every command frame the modules have received so far.
    std::vector<sim::FrameEvent> Events() const {
        std::vector<sim::FrameEvent> events;
        QFile file(events_);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return events;
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (const auto event = sim::ParseEventLine(line.toStdString()))
                events.push_back(*event);
        }
        return events;
    }

private:
    QProcess process_;
    QString com1_;
    QString com3_;
    QString events_;
};

// Mean milliseconds between consecutive exchange frames, the length of one
// live cycle.
double MeanCycleMs(const std::vector<sim::FrameEvent>& events) {
    constexpr double kUsPerMs = 1000.0;
    std::vector<std::uint64_t> at;
    for (const sim::FrameEvent& event : events) {
        if (event.command.starts_with(protocol::cmd::Exchange))
            at.push_back(event.atUs);
    }
    if (at.size() < 2)
        return 0.0;
    return static_cast<double>(at.back() - at.front()) / kUsPerMs /
           static_cast<double>(at.size() - 1);
}

bool Picture(ui::TfrmModule& window, const QString& path) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    const bool saved = window.grab().save(path, "PNG");
    std::printf("%s %s\n", saved ? "picture" : "could not write", qPrintable(path));
    return saved;
}

// Scan, picture, a short live run: what a newcomer would do first.
int ScanAndShoot(ui::TfrmModule& window, const SimulatedModules& modules, const QString& path) {
    QElapsedTimer scan;
    scan.start();
    window.btnScan->click();
    std::printf("scan took %lld ms: %s\n", static_cast<long long>(scan.elapsed()),
                qPrintable(window.pnMsg->text()));
    if (!window.State().ModuleFound)
        return 1;
    Picture(window, path);

    for (const int channel : kOutputsTicked) window.chkDO[channel - 1]->setChecked(true);
    const QString livePath = QFileInfo(path).dir().filePath(QFileInfo(path).completeBaseName() +
                                                            QStringLiteral("-live.png"));
    QTimer::singleShot(kLivePictureAtMs, &window, [&] { Picture(window, livePath); });
    // The second click, nested in the running first one, asks it to stop.
    QTimer::singleShot(kLiveRunMs, &window, [&] { window.btnProcess->click(); });
    window.btnProcess->click();
    std::printf("live cycle %.1f ms (mean over the run)\n", MeanCycleMs(modules.Events()));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    ui::Texts();
    ui::VxApplication application(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const qsizetype option = args.indexOf(QString::fromLatin1(kScanAndShoot));
    const QString picturePath =
        option > 0 && option + 1 < args.size() ? args[option + 1] : QString();

    QTemporaryDir folder;
    if (!folder.isValid()) {
        std::fprintf(stderr, "vxconfig-demo: no temporary folder\n");
        return 1;
    }
    SimulatedModules modules(QDir(folder.path()));
    if (!modules.Start())
        return 1;

    const std::unique_ptr<platform::SettingsStore> store = platform::OpenFileSettingsStore(
        folder.filePath(QStringLiteral("VXConfig.reg")).toStdString());
    const std::unique_ptr<platform::SerialDevice> port = platform::CreateSystemSerialDevice(
        [&modules](const std::string& comName) { return modules.Resolve(comName); });
    platform::InstallableEventPump events;
    events.Install([] { QCoreApplication::processEvents(QEventLoop::AllEvents); });

    ui::TfrmModule frmModule(
        {*store, platform::SystemClock(), events, platform::SystemTone(), *port});
    frmModule.show();
    if (!picturePath.isEmpty()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return ScanAndShoot(frmModule, modules, picturePath);
    }
    return QApplication::exec();
}
