#pragma once

#include "link/link.h"
#include "operations/module_window.h"
#include "operations/outcome.h"
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

// Each operation drives the window as its button does and answers what came
// of it and what it learned of the module.
using Operation = Outcome (*)(OperationContext& ctx);

Outcome btnScanClick(OperationContext& ctx);
Outcome btnProcessClick(OperationContext& ctx);
Outcome btnIDClick(OperationContext& ctx);
Outcome btnBaudRateClick(OperationContext& ctx);
Outcome btnModeClick(OperationContext& ctx);
Outcome btnFactoryClick(OperationContext& ctx);
// Only the window's boxes change: there is nothing to answer.
void btnAllClick(OperationContext& ctx);

}  // namespace vx::ops
