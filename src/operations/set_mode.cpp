#include <string>

#include "operations/module_setting.h"
#include "operations/operation_support.h"
#include "protocol/commands.h"

namespace vx::ops {

Outcome btnModeClick(OperationContext& ctx) {
    ModuleWindow& w = ctx.window;
    ModuleSetting setting;
    // No progress text: the panel keeps the last outcome until this one's.
    setting.steps = {
        [&w](const std::string&) {
            return std::string(w.ModeIndex() == kModeHold ? protocol::cmd::SetModeHold
                                                          : protocol::cmd::SetModeNormal);
        },
        [&w](const std::string&) {
            return protocol::WriteNoNcCommand(TickedBoxes(w, &ModuleWindow::NoNcTicked));
        },
    };
    setting.okMessage = Msg::SetModuleModeOk;
    setting.errorMessage = Msg::SetModuleModeError;
    return RunModuleSetting(ctx, setting);
}

}  // namespace vx::ops
