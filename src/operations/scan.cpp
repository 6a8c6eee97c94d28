#include <optional>
#include <string>

#include "operations/operation_support.h"
#include "operations/operations.h"
#include "operations/window_texts.h"
#include "protocol/com_names.h"
#include "protocol/commands.h"
#include "protocol/line_settings.h"

namespace vx::ops {

namespace {

// The remembered port gets one more try than each combination of the search,
// since it is by far the likeliest place of the module.
constexpr int kQuickAttempts = 3;
constexpr int kSearchAttempts = 2;
constexpr int kInfoAttempts = 2;

bool IdentifyWithin(OperationContext& ctx, int attempts) {
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (ModuleAnswersIdentify(ctx.link))
            return true;
    }
    return false;
}

void ShowScanningPort(OperationContext& ctx, int portNumber) {
    ctx.window.SetStatus(ctx.window.Text(Msg::ScanCom) + PortSuffix(portNumber));
}

void ShowInfoOutcome(OperationContext& ctx, Msg message) {
    ctx.window.SetStatus(ctx.window.Text(message) + PortSuffix(ctx.window.State().ScanCommNo) +
                         ")");
}

void PrepareScan(OperationContext& ctx) {
    ModuleWindow& w = ctx.window;
    w.SetHourglassCursor(true);
    ctx.events.RunPending();
    w.SetBusy(kBusyOn);
    w.SetStatus(w.Text(Msg::ScanModule) + " ....");
    w.SetSerialPanel(SerialPanelText(w, kSerialPlaceholder));
    w.SetVersionPanel(VersionPanelText(w, kVersionPlaceholder));
    w.SetIdPanel(kIdPlaceholder);
    // Lets the cleared panels be drawn before the window freezes on the search.
    ctx.events.RunPending();
    w.State().ModuleFound = false;
}

// The remembered port and line settings; deliberately leaves the store alone.
bool QuickAttempt(OperationContext& ctx) {
    SharedState& s = ctx.window.State();
    if (s.ScanCommNo <= 0)
        return false;
    ctx.window.SelectBaudRate(SafeLineSettingsIndex(s.ScanBaudRateNo));
    if (!ctx.link.OpenCommPort(s.ScanCommNo, s.ScanBaudRate))
        return false;
    ShowScanningPort(ctx, s.ScanCommNo);
    const bool found = IdentifyWithin(ctx, kQuickAttempts);
    ctx.link.CloseCommPort();
    return found;
}

// One port at one line setting. Nullopt when the port would not open, so the
// caller skips the port's remaining settings.
std::optional<bool> TryCombination(OperationContext& ctx, int portNumber, int lineIndex) {
    ctx.window.SelectBaudRate(lineIndex);
    const std::string& settings = protocol::LineSettingsList[static_cast<std::size_t>(lineIndex)];
    if (!ctx.link.OpenCommPort(portNumber, settings))
        return std::nullopt;
    ShowScanningPort(ctx, portNumber);
    const bool found = IdentifyWithin(ctx, kSearchAttempts);
    if (found) {
        SharedState& s = ctx.window.State();
        s.ScanCommNo = portNumber;
        s.ScanBaudRate = settings;
        s.ScanBaudRateNo = lineIndex;
        // Stored before the information is read, so a later failure keeps it.
        ctx.window.SaveScanSettings();
    }
    ctx.link.CloseCommPort();
    return found;
}

bool SearchPort(OperationContext& ctx, int portNumber) {
    if (ctx.window.LockTicked()) {
        const int locked = SafeLineSettingsIndex(ctx.window.State().ScanBaudRateNo);
        return TryCombination(ctx, portNumber, locked).value_or(false);
    }
    for (int j = 0; j < protocol::kLineSettingsCount; ++j) {
        const std::optional<bool> found = TryCombination(ctx, portNumber, j);
        if (!found.has_value())
            return false;
        if (*found)
            return true;
    }
    return false;
}

bool Search(OperationContext& ctx) {
    for (int p = protocol::kFirstScanPort; p <= protocol::kLastScanPort; ++p) {
        if (SearchPort(ctx, p))
            return true;
    }
    return false;
}

// Shows what the "B00B" reply held in ReplyText says of the module.
void ShowIdentity(OperationContext& ctx, ModuleFacts& facts) {
    ModuleWindow& w = ctx.window;
    w.SelectBaudRate(SafeLineSettingsIndex(w.State().ScanBaudRateNo));
    TakeIdentity(ctx.link.ReplyText(), facts);
    w.SetSerialPanel(SerialPanelText(w, facts.serial));
    w.SetIdPanel(facts.idText);
    // An ID that is not a number is shown as the module sent it; the scroll
    // bar then keeps its position rather than jump to a made-up value.
    if (const auto value = protocol::ParseIdDigits(facts.idText))
        w.SetIdPosition(*value);
}

// One attempt at the information; answers the step it failed at, or None.
Step ReadInfoOnce(OperationContext& ctx, ModuleFacts& facts) {
    ModuleWindow& w = ctx.window;
    ctx.clock.SleepMs(kCommandPauseMs);
    if (!ctx.link.SendCommand(protocol::cmd::ReadVersion))
        return Step::ReadVersion;
    ctx.clock.SleepMs(kCommandPauseMs);
    facts.version = protocol::ReplyVersion(ctx.link.ReplyText());
    w.SetVersionPanel(VersionPanelText(w, facts.version));
    if (!ctx.link.SendCommand(protocol::cmd::ReadMode))
        return Step::ReadMode;
    facts.mode = protocol::ReplyModeIsHold(ctx.link.ReplyText()) ? kModeHold : kModeNormal;
    w.SelectMode(*facts.mode);
    ctx.clock.SleepMs(kCommandPauseMs);
    if (!ctx.link.SendCommand(protocol::cmd::ReadNoNc))
        return Step::ReadNoNc;
    facts.noNc = protocol::ReplyChannelFlags(ctx.link.ReplyText());
    for (int k = protocol::kFirstChannel; k <= protocol::kLastChannel; ++k) {
        w.SetNoNc(k, (*facts.noNc)[protocol::ChannelSlot(k)]);
    }
    ShowInfoOutcome(ctx, Msg::GetModuleInfoOk);
    w.State().ModuleFound = true;
    return Step::None;
}

// Only an attempt that fails at its first command is repeated.
Step ReadModuleInfo(OperationContext& ctx, ModuleFacts& facts) {
    const SharedState& s = ctx.window.State();
    if (!ctx.link.OpenCommPort(s.ScanCommNo, s.ScanBaudRate))
        return Step::OpenPort;
    Step failedAt = Step::ReadVersion;
    for (int attempt = 0; attempt < kInfoAttempts && failedAt == Step::ReadVersion; ++attempt) {
        failedAt = ReadInfoOnce(ctx, facts);
    }
    ctx.link.CloseCommPort();
    return failedAt;
}

void Finish(OperationContext& ctx, Result result) {
    ModuleWindow& w = ctx.window;
    if (result == Result::Succeeded) {
        w.SetBusy(kBusyOff);
        w.SetCommLamp(LampColor::Yellow);
        BeepSuccess(ctx);
    } else if (result == Result::Failed) {
        ShowInfoOutcome(ctx, Msg::GetModuleInfoError);
        w.SetBusy(kBusyOff);
        w.SetCommLamp(LampColor::Red);
        BeepFailure(ctx);
    } else {
        w.SetBusy(kBusyOff);
        ShowModuleNotFound(ctx);
    }
    w.SetHourglassCursor(false);
}

// Found means the identification answered; the information may still fail.
Outcome Scan(OperationContext& ctx) {
    // A network port changes its line settings through the server rather
    // than reconnect and negotiate for each of them.
    const link::ConnectionHold hold(ctx.link);
    const bool found = QuickAttempt(ctx) || Search(ctx);
    if (!found)
        return Outcome::Of(Result::NotFound);
    Outcome outcome = Outcome::Of(Result::Failed, LinkFacts(ctx.window.State()));
    ShowIdentity(ctx, outcome.module);
    outcome.failedAt = ReadModuleInfo(ctx, outcome.module);
    outcome.result = outcome.failedAt == Step::None ? Result::Succeeded : Result::Failed;
    return outcome;
}

}  // namespace

void ShowModuleNotFound(OperationContext& ctx) {
    ModuleWindow& w = ctx.window;
    w.SetCommLamp(LampColor::Red);
    w.SelectBaudRate(protocol::kDefaultLineSettingsIndex);
    w.SetStatus(w.Text(Msg::ModuleNotFind));
    BeepFailure(ctx);
}

Outcome btnScanClick(OperationContext& ctx) {
    PrepareScan(ctx);
    const Outcome outcome = Scan(ctx);
    Finish(ctx, outcome.result);
    return outcome;
}

}  // namespace vx::ops
