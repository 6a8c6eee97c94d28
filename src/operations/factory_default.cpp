#include <string>

#include "link/commands.h"
#include "operations/module_setting.h"
#include "operations/operation_support.h"

namespace vx::ops {

namespace {

constexpr int kFactoryIdPosition = 1;
constexpr const char* kFactoryId = "01";

void ShowFactoryValues(ModuleWindow& w) {
    w.SetIdPosition(kFactoryIdPosition);
    w.SelectBaudRate(link::kDefaultLineSettingsIndex);
    w.SelectMode(kModeHold);
    for (int k = kFirstChannel; k <= kLastChannel; ++k) w.SetNoNc(k, false);
}

}  // namespace

void btnFactoryClick(OperationContext& ctx) {
    ModuleWindow& w = ctx.window;
    ModuleSetting setting;
    setting.preparation = [&w] { ShowFactoryValues(w); };
    setting.progressText = w.Text(Msg::SetFactoryDefault);
    // The ID is fixed here, not read from the panel. The line settings in use
    // are not adopted: the module is told the default, the tool keeps its own.
    setting.steps = {
        [](const std::string& identifyReply) {
            return link::SetIdCommand(link::ReplySerial(identifyReply), kFactoryId);
        },
        [](const std::string&) { return link::WriteNoNcCommand(link::ChannelFlags{}); },
        [](const std::string&) { return std::string(link::cmd::SetModeHold); },
        [](const std::string&) {
            return link::SetLineSettingsCommand(link::kDefaultLineSettingsIndex);
        },
    };
    setting.okMessage = Msg::SetFactoryDefaultOk;
    setting.errorMessage = Msg::SetFactoryDefaultError;
    RunModuleSetting(ctx, setting);
}

}  // namespace vx::ops
