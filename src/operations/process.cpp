#include <array>
#include <string>

#include "link/commands.h"
#include "operations/operation_support.h"
#include "operations/operations.h"

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

link::ChannelFlags OutputsFromWindow(const ModuleWindow& w) {
    link::ChannelFlags outputs{};
    for (int k = kFirstChannel; k <= kLastChannel; ++k) {
        outputs[static_cast<std::size_t>(k - kFirstChannel)] = w.OutputTicked(k);
    }
    return outputs;
}

void ShowInputs(ModuleWindow& w, const link::ChannelFlags& inputs) {
    for (int k = kFirstChannel; k <= kLastChannel; ++k) {
        const bool on = inputs[static_cast<std::size_t>(k - kFirstChannel)];
        w.SetInputLamp(k, on ? LampColor::Yellow : LampColor::White);
    }
}

// Cycles until the user stops the run or an exchange is lost.
void Cycle(OperationContext& ctx) {
    ModuleWindow& w = ctx.window;
    while (w.State().ProcessFlag) {
        for (int step = 0; step < kCyclePauseSteps; ++step) {
            ctx.events.RunPending();
            ctx.clock.SleepMs(kCyclePauseStepMs);
        }
        if (!ctx.link.SendCommand(link::ExchangeCommand(OutputsFromWindow(w))))
            return;
        if (ctx.link.ReplyLength() == link::kExchangeReplyLength) {
            ShowInputs(w, link::ReplyChannelFlags(ctx.link.ReplyText()));
        }
    }
}

// Checks the link and cycles, again after a first failure; returns when the
// user stopped the run or the link is lost for good.
void RunOnOpenPort(OperationContext& ctx) {
    ModuleWindow& w = ctx.window;
    int linkFailures = 0;
    for (;;) {
        ctx.clock.SleepMs(kCommandPauseMs);
        if (ModuleAnswersIdentify(ctx.link)) {
            ctx.clock.SleepMs(kCommandPauseMs);
            w.SetBusy(kBusyOn);
            // The lamp blinks, but the window must stay usable for the stop
            // click and the output boxes.
            w.SetWindowEnabled(true);
            Cycle(ctx);
        }
        if (!w.State().ProcessFlag)
            return;
        if (++linkFailures >= kLinkFailureLimit)
            return;
    }
}

void EndRun(OperationContext& ctx) {
    ModuleWindow& w = ctx.window;
    w.SetBusy(kBusyOff);
    if (w.State().ProcessFlag) {
        w.SetCommLamp(LampColor::Red);
        BeepFailure(ctx);
    } else {
        w.SetCommLamp(LampColor::Yellow);
        BeepSuccess(ctx);
    }
    // Only the window is tidied: the module keeps its last outputs.
    for (int k = kFirstChannel; k <= kLastChannel; ++k) w.SetInputLamp(k, LampColor::White);
    for (int k = kFirstChannel; k <= kLastChannel; ++k) w.SetOutput(k, false);
    ctx.link.CloseCommPort();
}

void ShowPortError(OperationContext& ctx) {
    ModuleWindow& w = ctx.window;
    w.SetCommLamp(LampColor::Red);
    w.SetStatus(w.Text(Msg::OpenCom) + " : " + std::to_string(w.State().ScanCommNo) + " " +
                w.Text(Msg::Error));
    BeepFailure(ctx);
}

}  // namespace

void btnProcessClick(OperationContext& ctx) {
    ModuleWindow& w = ctx.window;
    SharedState& s = w.State();
    if (!s.ModuleFound) {
        w.SetStatus(w.Text(Msg::StartScanModule));
        BeepFailure(ctx);
        return;
    }
    if (s.ProcessFlag) {
        // The stop click, nested inside the running call, which notices the
        // flag after its current transaction and tidies up.
        s.ProcessFlag = false;
        return;
    }
    s.ProcessFlag = true;
    const std::string savedCaption = w.ProcessCaption();
    w.SetProcessCaption(w.Text(Msg::CancelProcessModule));
    SetLockedControlsEnabled(w, false);

    if (ctx.link.OpenCommPort(s.ScanCommNo, s.ScanBaudRate)) {
        RunOnOpenPort(ctx);
        EndRun(ctx);
    } else {
        ShowPortError(ctx);
    }

    s.ProcessFlag = false;
    SetLockedControlsEnabled(w, true);
    w.SetProcessCaption(savedCaption);
}

void btnAllClick(OperationContext& ctx) {
    ModuleWindow& w = ctx.window;
    const bool tick = !w.OutputTicked(kFirstChannel);
    for (int k = kFirstChannel; k <= kLastChannel; ++k) w.SetOutput(k, tick);
}

}  // namespace vx::ops
