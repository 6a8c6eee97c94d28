#include <array>
#include <string>

#include "operations/operation_support.h"
#include "operations/operations.h"
#include "operations/window_texts.h"
#include "protocol/commands.h"

namespace vx::ops {

namespace {

// A run survives one lost link in its whole life; the second ends it.
constexpr int kLinkFailureLimit = 2;
// The pause that paces the cycle and keeps the window responsive.
constexpr int kCyclePauseSteps = 30;
constexpr std::uint32_t kCyclePauseStepMs = 1;

// What a run keeps away from the user, in the order it disables and enables them.
constexpr std::array kLockedControls{
    Control::btnExit,     Control::btnScan, Control::btnFactory, Control::btnID,
    Control::btnBaudRate, Control::btnMode, Control::gbDefault,  Control::btnEng,
    Control::btnGB,       Control::btnBIG5, Control::gbNONC,
};

void SetLockedControlsEnabled(ModuleWindow& w, bool enabled) {
    for (Control c : kLockedControls) w.SetControlEnabled(c, enabled);
}

void ShowInputs(ModuleWindow& w, const protocol::ChannelFlags& inputs) {
    for (int k = protocol::kFirstChannel; k <= protocol::kLastChannel; ++k) {
        const bool on = inputs[protocol::ChannelSlot(k)];
        w.SetInputLamp(k, on ? LampColor::Yellow : LampColor::White);
    }
}

// Cycles until the user stops the run or an exchange is lost.
void Cycle(OperationContext& ctx, ModuleFacts& facts) {
    ModuleWindow& w = ctx.window;
    while (w.State().ProcessFlag) {
        for (int step = 0; step < kCyclePauseSteps; ++step) {
            ctx.events.RunPending();
            ctx.clock.SleepMs(kCyclePauseStepMs);
        }
        const protocol::ChannelFlags outputs = TickedBoxes(w, &ModuleWindow::OutputTicked);
        if (!ctx.link.SendCommand(protocol::ExchangeCommand(outputs)))
            return;
        if (ctx.link.ReplyLength() == protocol::kExchangeReplyLength) {
            facts.inputs = protocol::ReplyChannelFlags(ctx.link.ReplyText());
            ShowInputs(w, *facts.inputs);
        }
    }
}

// Checks the link and cycles, again after a first failure; returns when the
// user stopped the run or the link is lost for good.
Result RunOnOpenPort(OperationContext& ctx, ModuleFacts& facts) {
    ModuleWindow& w = ctx.window;
    int linkFailures = 0;
    for (;;) {
        ctx.clock.SleepMs(kCommandPauseMs);
        if (ModuleAnswersIdentify(ctx.link)) {
            TakeIdentity(ctx.link.ReplyText(), facts);
            ctx.clock.SleepMs(kCommandPauseMs);
            w.SetBusy(kBusyOn);
            // The lamp blinks, but the window must stay usable for the stop
            // click and the output boxes.
            w.SetWindowEnabled(true);
            Cycle(ctx, facts);
        }
        if (!w.State().ProcessFlag)
            return Result::Stopped;
        if (++linkFailures >= kLinkFailureLimit)
            return ctx.link.PortGone() ? Result::PortGone : Result::LinkLost;
    }
}

void EndRun(OperationContext& ctx, Result result) {
    ModuleWindow& w = ctx.window;
    w.SetBusy(kBusyOff);
    if (result == Result::LinkLost || result == Result::PortGone) {
        w.SetCommLamp(LampColor::Red);
        BeepFailure(ctx);
    } else {
        w.SetCommLamp(LampColor::Yellow);
        BeepSuccess(ctx);
    }
    // Only the window is tidied: the module keeps its last outputs.
    for (int k = protocol::kFirstChannel; k <= protocol::kLastChannel; ++k) {
        w.SetInputLamp(k, LampColor::White);
    }
    for (int k = protocol::kFirstChannel; k <= protocol::kLastChannel; ++k) w.SetOutput(k, false);
    ctx.link.CloseCommPort();
}

void ShowPortError(OperationContext& ctx) {
    ModuleWindow& w = ctx.window;
    w.SetCommLamp(LampColor::Red);
    w.SetStatus(PortErrorText(w, w.State().ScanCommNo));
    BeepFailure(ctx);
}

}  // namespace

Outcome btnProcessClick(OperationContext& ctx) {
    ModuleWindow& w = ctx.window;
    SharedState& s = w.State();
    if (!s.ModuleFound) {
        w.SetStatus(w.Text(Msg::StartScanModule));
        BeepFailure(ctx);
        return Outcome::Of(Result::Refused);
    }
    if (s.ProcessFlag) {
        // The stop click, nested inside the running call, which notices the
        // flag after its current transaction and tidies up.
        s.ProcessFlag = false;
        return Outcome::Of(Result::Stopped);
    }
    s.ProcessFlag = true;
    const std::string savedCaption = w.ProcessCaption();
    w.SetProcessCaption(w.Text(Msg::CancelProcessModule));
    SetLockedControlsEnabled(w, false);

    Outcome outcome = Outcome::Of(Result::Failed, LinkFacts(s));
    if (ctx.link.OpenCommPort(s.ScanCommNo, s.ScanBaudRate)) {
        outcome.result = RunOnOpenPort(ctx, outcome.module);
        EndRun(ctx, outcome.result);
    } else {
        outcome.failedAt = Step::OpenPort;
        ShowPortError(ctx);
    }

    s.ProcessFlag = false;
    SetLockedControlsEnabled(w, true);
    w.SetProcessCaption(savedCaption);
    return outcome;
}

void btnAllClick(OperationContext& ctx) {
    ModuleWindow& w = ctx.window;
    const bool tick = !w.OutputTicked(protocol::kFirstChannel);
    for (int k = protocol::kFirstChannel; k <= protocol::kLastChannel; ++k) w.SetOutput(k, tick);
}

}  // namespace vx::ops
