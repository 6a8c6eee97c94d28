#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "operations/operations.h"

namespace vx::ops {

// Builds one command of a setting from the identification reply of the same
// attempt (the whole frame, LF first), which carries the serial number.
using SettingStep = std::function<std::string(const std::string& identifyReply)>;

// One setting operation: what it does beyond what every setting shares.
struct ModuleSetting {
    std::function<void()> preparation;        // runs once a module is known; may be empty
    std::optional<std::string> progressText;  // shown before the port opens; may be absent
    std::vector<SettingStep> steps;           // sent in order after the identification
    Msg okMessage = Msg::StartScanModule;
    Msg errorMessage = Msg::StartScanModule;
    std::function<void()> successAction;  // runs after the last step; may be empty
};

// The frame every setting operation shares: hourglass and disabled window,
// the module-found gate, the port, two attempts of identification and steps,
// and the lamp, message and beep of the outcome. The outcome's module facts
// are the port and line settings used and what the identification told.
Outcome RunModuleSetting(OperationContext& ctx, const ModuleSetting& setting);

}  // namespace vx::ops
