#include <string>

#include "operations/module_setting.h"
#include "operations/operation_support.h"
#include "protocol/commands.h"
#include "protocol/line_settings.h"

namespace vx::ops {

Outcome btnBaudRateClick(OperationContext& ctx) {
    ModuleWindow& w = ctx.window;
    // The window is disabled while the setting runs, so the choice made at the
    // click is the one that is sent and adopted.
    const int chosen = SafeLineSettingsIndex(w.BaudRateIndex());
    const std::string& chosenText = protocol::LineSettingsList[static_cast<std::size_t>(chosen)];

    ModuleSetting setting;
    setting.progressText = w.Text(Msg::SetModuleBaudRate) + " = " + chosenText;
    setting.steps = {
        [chosen](const std::string&) { return protocol::SetLineSettingsCommand(chosen); }};
    setting.okMessage = Msg::SetModuleBaudRateOk;
    setting.errorMessage = Msg::SetModuleBaudRateError;
    // In memory only: the store keeps the settings at which a scan last found
    // the module by searching.
    setting.successAction = [&w, chosen, &chosenText] {
        w.State().ScanBaudRateNo = chosen;
        w.State().ScanBaudRate = chosenText;
    };
    return RunModuleSetting(ctx, setting);
}

}  // namespace vx::ops
