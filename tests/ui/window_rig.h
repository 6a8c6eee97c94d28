#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QString>
#include <functional>
#include <memory>
#include <ostream>
#include <vector>

#include "doubles/recording_settings_store.h"
#include "doubles/recording_tone.h"
#include "platform/event_pump.h"
#include "sim/sim_bus.h"
#include "ui/frm_module.h"

// Readable QString values in test failures.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace vx::ui::testing {

using doubles::OtherValue;
using doubles::StoredValue;

// Messages the application object reported instead of showing an error box.
std::vector<QString>& ReportedErrors();

// Lets events run until `done` holds or a generous real-time bound passes.
inline bool RunEventsUntil(const std::function<bool()>& done, int boundMs = 5000) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done() && elapsed.elapsed() < boundMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return done();
}

// The window over doubles: a store in memory, the simulated COM ports on
// virtual time, silent beeps and the toolkit's own event pump.
struct WindowRig {
    doubles::RecordingSettingsStore store;
    sim::VirtualClock clock;
    sim::SimBus bus{clock};
    doubles::RecordingTone tone{clock};
    platform::InstallableEventPump events;
    std::unique_ptr<TfrmModule> window;

    WindowRig() {
        events.Install([] { QCoreApplication::processEvents(QEventLoop::AllEvents); });
    }
    TfrmModule& Create() {
        window = std::make_unique<TfrmModule>(WindowServices{store, clock, events, tone, bus});
        return *window;
    }
    TfrmModule& Show() {
        Create().show();
        QCoreApplication::processEvents();
        return *window;
    }
};

}  // namespace vx::ui::testing
