// vxconfig: finds, sets up and tests the 16-in/16-out I/O module.
#include <QCoreApplication>
#include <QEventLoop>
#include <exception>
#include <memory>

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
    int ownArgc = argc > 0 ? 1 : 0;
    char* ownArgv[] = {argc > 0 ? argv[0] : nullptr, nullptr};
    ui::VxApplication application(ownArgc, ownArgv);
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
