#include "operations/module_setting.h"

#include "operations/operation_support.h"
#include "protocol/commands.h"

namespace vx::ops {

namespace {

constexpr int kSettingAttempts = 2;

// Identification, then every step; the first command that goes unanswered
// ends the attempt, and the outcome keeps where.
bool AttemptOnce(OperationContext& ctx, const ModuleSetting& setting, Outcome& outcome) {
    ctx.clock.SleepMs(kCommandPauseMs);
    if (!ModuleAnswersIdentify(ctx.link)) {
        outcome.failedAt = Step::Identify;
        outcome.failedCommand = 0;
        return false;
    }
    const std::string identifyReply = ctx.link.ReplyText();
    TakeIdentity(identifyReply, outcome.module);
    for (std::size_t i = 0; i < setting.steps.size(); ++i) {
        ctx.clock.SleepMs(kCommandPauseMs);
        if (!ctx.link.SendCommand(setting.steps[i](identifyReply))) {
            outcome.failedAt = Step::Command;
            outcome.failedCommand = static_cast<int>(i) + 1;
            return false;
        }
    }
    if (setting.successAction)
        setting.successAction();
    return true;
}

Outcome Perform(OperationContext& ctx, const ModuleSetting& setting) {
    ModuleWindow& w = ctx.window;
    const SharedState& s = w.State();
    if (!s.ModuleFound)
        return Outcome::Of(Result::Refused);
    if (setting.preparation)
        setting.preparation();
    if (setting.progressText)
        w.SetStatus(*setting.progressText);
    Outcome outcome = Outcome::Of(Result::Failed, LinkFacts(s));
    if (!ctx.link.OpenCommPort(s.ScanCommNo, s.ScanBaudRate)) {
        outcome.failedAt = Step::OpenPort;
        return outcome;
    }
    bool done = false;
    for (int attempt = 0; attempt < kSettingAttempts && !done; ++attempt) {
        done = AttemptOnce(ctx, setting, outcome);
    }
    ctx.link.CloseCommPort();
    if (done) {
        // What an earlier attempt failed at no longer matters.
        outcome.result = Result::Succeeded;
        outcome.failedAt = Step::None;
        outcome.failedCommand = 0;
    }
    return outcome;
}

void Report(OperationContext& ctx, const ModuleSetting& setting, Result result) {
    ModuleWindow& w = ctx.window;
    if (result == Result::Succeeded) {
        w.SetCommLamp(LampColor::Yellow);
        w.SetStatus(w.Text(setting.okMessage));
        BeepSuccess(ctx);
        return;
    }
    w.SetCommLamp(LampColor::Red);
    w.SetStatus(w.Text(result == Result::Refused ? Msg::StartScanModule : setting.errorMessage));
    BeepFailure(ctx);
}

}  // namespace

Outcome RunModuleSetting(OperationContext& ctx, const ModuleSetting& setting) {
    ModuleWindow& w = ctx.window;
    w.SetHourglassCursor(true);
    w.SetWindowEnabled(false);
    ctx.events.RunPending();
    const Outcome outcome = Perform(ctx, setting);
    Report(ctx, setting, outcome.result);
    w.SetWindowEnabled(true);
    w.SetHourglassCursor(false);
    return outcome;
}

Outcome btnIDClick(OperationContext& ctx) {
    ModuleWindow& w = ctx.window;
    ModuleSetting setting;
    setting.progressText = w.Text(Msg::SetModuleId) + " = " + w.IdPanel();
    // The ID sent is the panel's caption, read when the command is built.
    setting.steps = {[&w](const std::string& identifyReply) {
        return protocol::SetIdCommand(protocol::ReplySerial(identifyReply), w.IdPanel());
    }};
    setting.okMessage = Msg::SetModuleIdOk;
    setting.errorMessage = Msg::SetModuleIdError;
    return RunModuleSetting(ctx, setting);
}

}  // namespace vx::ops
