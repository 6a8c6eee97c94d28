#include <string>

#include "operations/module_setting.h"
#include "operations/operation_support.h"
#include "protocol/commands.h"
#include "protocol/line_settings.h"

namespace vx::ops {

namespace {

constexpr int kFactoryId = 1;

void ShowFactoryValues(ModuleWindow& w) {
    w.SetIdPosition(kFactoryId);
    w.SelectBaudRate(protocol::kDefaultLineSettingsIndex);
    w.SelectMode(kModeHold);
    for (int k = protocol::kFirstChannel; k <= protocol::kLastChannel; ++k) w.SetNoNc(k, false);
}

}  // namespace

Outcome btnFactoryClick(OperationContext& ctx) {
    ModuleWindow& w = ctx.window;
    ModuleSetting setting;
    setting.preparation = [&w] { ShowFactoryValues(w); };
    setting.progressText = w.Text(Msg::SetFactoryDefault);
    // The ID is fixed here, not read from the panel. The line settings in use
    // are not adopted: the module is told the default, the tool keeps its own.
    setting.steps = {
        [](const std::string& identifyReply) {
            return protocol::SetIdCommand(protocol::ReplySerial(identifyReply),
                                          protocol::IdText(kFactoryId));
        },
        [](const std::string&) { return protocol::WriteNoNcCommand(protocol::ChannelFlags{}); },
        [](const std::string&) { return std::string(protocol::cmd::SetModeHold); },
        [](const std::string&) {
            return protocol::SetLineSettingsCommand(protocol::kDefaultLineSettingsIndex);
        },
    };
    setting.okMessage = Msg::SetFactoryDefaultOk;
    setting.errorMessage = Msg::SetFactoryDefaultError;
    return RunModuleSetting(ctx, setting);
}

}  // namespace vx::ops
