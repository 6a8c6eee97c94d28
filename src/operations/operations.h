#pragma once

#include "link/link.h"
#include "operations/module_window.h"
#include "platform/clock.h"
#include "platform/event_pump.h"
#include "platform/tone.h"

namespace vx::ops {

// What every operation works with: the window, the link to the module (on
// the same clock and event pump), and the tone.
struct OperationContext {
    ModuleWindow& window;
    link::Link& link;
    platform::Clock& clock;
    platform::EventPump& events;
    platform::Tone& tone;
};

void btnScanClick(OperationContext& ctx);
void btnProcessClick(OperationContext& ctx);
void btnAllClick(OperationContext& ctx);
void btnIDClick(OperationContext& ctx);
void btnBaudRateClick(OperationContext& ctx);
void btnModeClick(OperationContext& ctx);
void btnFactoryClick(OperationContext& ctx);

}  // namespace vx::ops
