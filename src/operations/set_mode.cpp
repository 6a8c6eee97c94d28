#include <string>

#include "link/commands.h"
#include "operations/module_setting.h"
#include "operations/operation_support.h"

namespace vx::ops {

namespace {

link::ChannelFlags NoNcFromWindow(const ModuleWindow& w) {
    link::ChannelFlags flags{};
    for (int k = kFirstChannel; k <= kLastChannel; ++k) {
        flags[static_cast<std::size_t>(k - kFirstChannel)] = w.NoNcTicked(k);
    }
    return flags;
}

}  // namespace

void btnModeClick(OperationContext& ctx) {
    ModuleWindow& w = ctx.window;
    ModuleSetting setting;
    // No progress text: the panel keeps the last outcome until this one's.
    setting.steps = {
        [&w](const std::string&) {
            return std::string(w.ModeIndex() == kModeHold ? link::cmd::SetModeHold
                                                          : link::cmd::SetModeNormal);
        },
        [&w](const std::string&) { return link::WriteNoNcCommand(NoNcFromWindow(w)); },
    };
    setting.okMessage = Msg::SetModuleModeOk;
    setting.errorMessage = Msg::SetModuleModeError;
    RunModuleSetting(ctx, setting);
}

}  // namespace vx::ops
