#pragma once

#include "platform/clock.h"
#include "platform/event_pump.h"
#include "platform/serial_device.h"
#include "platform/settings_store.h"
#include "platform/tone.h"

namespace vx::ui {

// What the window works with besides its controls. The program passes the
// machine's own; tests pass doubles. All of them outlive the window.
struct WindowServices {
    platform::SettingsStore& store;
    platform::Clock& clock;
    platform::EventPump& events;
    platform::Tone& tone;
    platform::SerialDevice& port;
};

}  // namespace vx::ui
