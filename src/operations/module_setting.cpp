#include "operations/module_setting.h"

#include "link/commands.h"
#include "operations/operation_support.h"

namespace vx::ops {

namespace {

constexpr int kSettingAttempts = 2;

enum class SettingOutcome { Success, Failure, NoModule };

// Identification, then every step; the first command that goes unanswered
// ends the attempt.
bool AttemptOnce(OperationContext& ctx, const ModuleSetting& setting) {
    ctx.clock.SleepMs(kCommandPauseMs);
    if (!ModuleAnswersIdentify(ctx.link))
        return false;
    const std::string identifyReply = ctx.link.ReplyText();
    for (const SettingStep& step : setting.steps) {
        ctx.clock.SleepMs(kCommandPauseMs);
        if (!ctx.link.SendCommand(step(identifyReply)))
            return false;
    }
    if (setting.successAction)
        setting.successAction();
    return true;
}

SettingOutcome Perform(OperationContext& ctx, const ModuleSetting& setting) {
    ModuleWindow& w = ctx.window;
    const SharedState& s = w.State();
    if (!s.ModuleFound)
        return SettingOutcome::NoModule;
    if (setting.preparation)
        setting.preparation();
    if (setting.progressText)
        w.SetStatus(*setting.progressText);
    if (!ctx.link.OpenCommPort(s.ScanCommNo, s.ScanBaudRate))
        return SettingOutcome::Failure;
    bool done = false;
    for (int attempt = 0; attempt < kSettingAttempts && !done; ++attempt) {
        done = AttemptOnce(ctx, setting);
    }
    ctx.link.CloseCommPort();
    return done ? SettingOutcome::Success : SettingOutcome::Failure;
}

void Report(OperationContext& ctx, const ModuleSetting& setting, SettingOutcome outcome) {
    ModuleWindow& w = ctx.window;
    switch (outcome) {
        case SettingOutcome::Success:
            w.SetCommLamp(LampColor::Yellow);
            w.SetStatus(w.Text(setting.okMessage));
            BeepSuccess(ctx);
            break;
        case SettingOutcome::Failure:
            w.SetCommLamp(LampColor::Red);
            w.SetStatus(w.Text(setting.errorMessage));
            BeepFailure(ctx);
            break;
        case SettingOutcome::NoModule:
            w.SetCommLamp(LampColor::Red);
            w.SetStatus(w.Text(Msg::StartScanModule));
            BeepFailure(ctx);
            break;
    }
}

}  // namespace

void RunModuleSetting(OperationContext& ctx, const ModuleSetting& setting) {
    ModuleWindow& w = ctx.window;
    w.SetHourglassCursor(true);
    w.SetWindowEnabled(false);
    ctx.events.RunPending();
    Report(ctx, setting, Perform(ctx, setting));
    w.SetWindowEnabled(true);
    w.SetHourglassCursor(false);
}

void btnIDClick(OperationContext& ctx) {
    ModuleWindow& w = ctx.window;
    ModuleSetting setting;
    setting.progressText = w.Text(Msg::SetModuleId) + " = " + w.IdPanel();
    // The ID sent is the panel's caption, read when the command is built.
    setting.steps = {[&w](const std::string& identifyReply) {
        return link::SetIdCommand(link::ReplySerial(identifyReply), w.IdPanel());
    }};
    setting.okMessage = Msg::SetModuleIdOk;
    setting.errorMessage = Msg::SetModuleIdError;
    RunModuleSetting(ctx, setting);
}

}  // namespace vx::ops
