// vxconfig-shot: pictures of the window for review. For each language it
// starts the window from a store that names that language, pictures it, lets
// it find a simulated module (on virtual time, silently) and pictures it again.
// Usage: vxconfig-shot <output folder>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QGuiApplication>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "doubles/recording_tone.h"
#include "operations/module_window.h"
#include "platform/event_pump.h"
#include "platform/settings_store.h"
#include "protocol/commands.h"
#include "sim/sim_bus.h"
#include "ui/frm_module.h"
#include "ui/shell/stored_settings.h"
#include "ui/vx_application.h"

namespace {

using namespace vx;

constexpr int kModulePort = 3;
constexpr int kSettleRounds = 20;
constexpr int kRunPictureAfterMs = 300;

struct Language {
    const char* flag;
    const char* fileStem;
};
constexpr Language kLanguages[] = {
    {ui::kLanguageFlagEnglish, "english"},
    {ui::kLanguageFlagChineseGB, "chinese-gb"},
    {ui::kLanguageFlagChineseBIG5, "chinese-big5"},
};

void Settle() {
    for (int i = 0; i < kSettleRounds; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool Save(const QPixmap& picture, const QDir& folder, const QString& name) {
    const QString path = folder.filePath(name);
    const bool saved = picture.save(path, "PNG");
    std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(path));
    return saved;
}

// The window's size on the screen: its fixed size in device pixels, however
// the display is scaled.
bool ScaledFully(const ui::TfrmModule& window, QSize onScreen) {
    const QSize expected =
        (QSizeF(ui::kClientWidth, ui::kClientHeight) * window.devicePixelRatio()).toSize();
    const bool whole = window.size() == QSize(ui::kClientWidth, ui::kClientHeight) &&
                       qAbs(onScreen.width() - expected.width()) <= 1 &&
                       qAbs(onScreen.height() - expected.height()) <= 1;
    if (!whole) {
        std::printf("FAILED the window is %dx%d on the screen, not %dx%d\n", onScreen.width(),
                    onScreen.height(), expected.width(), expected.height());
    }
    return whole;
}

// The window as the program draws it and, on a real display server, as the
// server holds it.
bool Picture(ui::TfrmModule& window, const QDir& folder, const QString& stem) {
    Settle();
    bool saved = Save(window.grab(), folder, stem + QStringLiteral(".png"));
    if (QGuiApplication::platformName() == QStringLiteral("xcb") && window.screen()) {
        const QPixmap onScreen = window.screen()->grabWindow(window.winId());
        saved = Save(onScreen, folder, stem + QStringLiteral("-screen.png")) && saved;
        saved = ScaledFully(window, onScreen.size()) && saved;
    }
    return saved;
}

void ShowInputsLit(ui::TfrmModule& window) {
    for (int channel = protocol::kFirstChannel; channel <= protocol::kLastChannel; ++channel) {
        const bool lit = channel % 3 != 0;
        window.SetInputLamp(channel, lit ? ops::LampColor::Yellow : ops::LampColor::White);
        window.SetOutput(channel, lit);
    }
}

bool PictureLanguage(const Language& language, const QDir& folder) {
    QTemporaryDir storeFolder;
    const auto store = platform::OpenFileSettingsStore(
        storeFolder.filePath(QStringLiteral("VXConfig.reg")).toStdString());
    ui::SaveLanguageFlag(*store, language.flag);

    sim::VirtualClock clock;
    sim::SimBus bus(clock);
    sim::ModuleState module;
    module.id = 7;
    module.serial = "20240611";
    module.noNc[2] = module.noNc[9] = true;
    bus.AddModule(kModulePort, module);
    doubles::RecordingTone tone(clock);
    platform::InstallableEventPump events;
    events.Install([] { QCoreApplication::processEvents(QEventLoop::AllEvents); });

    ui::TfrmModule window({*store, clock, events, tone, bus});
    window.show();
    // A virtual display has no window manager to make the window active, and
    // only an active window shows where the keyboard focus is.
    window.activateWindow();
    const QString stem = QString::fromLatin1(language.fileStem);
    bool saved = Picture(window, folder, stem);
    window.btnScan->setFocus(Qt::TabFocusReason);
    window.btnScan->click();
    ShowInputsLit(window);
    saved = Picture(window, folder, stem + QStringLiteral("-scanned")) && saved;

    // During a live run, taken from inside it, which the stop then ends.
    window.btnProcess->setFocus(Qt::TabFocusReason);
    QTimer::singleShot(kRunPictureAfterMs, &window, [&] {
        saved = Picture(window, folder, stem + QStringLiteral("-running")) && saved;
        window.btnProcess->click();
    });
    window.btnProcess->click();
    window.btnExitClick();
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    ui::VxApplication application(argc, argv);
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(QStringLiteral(".")))
        return 1;
    bool saved = true;
    for (const Language& language : kLanguages) saved = PictureLanguage(language, folder) && saved;
    return saved ? 0 : 1;
}
