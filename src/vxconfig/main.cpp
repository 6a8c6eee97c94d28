// vxconfig: finds, sets up and tests the 16-in/16-out I/O module.
#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>
#include <exception>
#include <memory>
#include <vector>

#include "platform/clock.h"
#include "platform/com_ports.h"
#include "platform/event_pump.h"
#include "platform/serial_device.h"
#include "platform/settings_store.h"
#include "platform/tone.h"
#include "ui/frm_module.h"
#include "ui/shell/text_table.h"
#include "ui/vx_application.h"

int main(int argc, char** argv) {
    using namespace vx;
    ui::Texts();

    // The program takes nothing from its command line, not even the
    // toolkit's options: only its own name goes on.
    std::vector<char*> ownArgs(argv, argv + std::min(argc, 1));
#ifdef _WIN32
    // FreeType draws the carried font as on Linux, where the captions were
    // fitted; Windows' own engine, with other metrics, cramps the small ones.
    static char platformOption[] = "-platform";
    static char freeTypeEngine[] = "windows:fontengine=freetype";
    ownArgs.insert(ownArgs.end(), {platformOption, freeTypeEngine});
#endif
    int ownArgc = static_cast<int>(ownArgs.size());
    ownArgs.push_back(nullptr);
    ui::VxApplication application(ownArgc, ownArgs.data());
    try {
        const std::unique_ptr<platform::SettingsStore> store = platform::OpenSystemSettingsStore();
        const std::unique_ptr<platform::SerialDevice> port =
            platform::CreateSystemSerialDevice([&store](const std::string& comName) {
                return platform::ResolveComPort(comName, *store);
            });
        platform::InstallableEventPump events;
        events.Install([] { QCoreApplication::processEvents(QEventLoop::AllEvents); });

        ui::TfrmModule frmModule(
            {*store, platform::SystemClock(), events, platform::SystemTone(), *port});
        frmModule.show();
        QApplication::exec();
    } catch (const std::exception& error) {
        ui::ShowErrorBox(QString::fromUtf8(error.what()));
    }
    return 0;
}
