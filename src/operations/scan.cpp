#include <algorithm>
#include <cctype>
#include <optional>
#include <string>

#include "link/commands.h"
#include "operations/operation_support.h"
#include "operations/operations.h"

namespace vx::ops {

namespace {

constexpr int kFirstScanPort = 1;
constexpr int kLastScanPort = 16;
// The remembered port gets one more try than each combination of the search,
// since it is by far the likeliest place of the module.
constexpr int kQuickAttempts = 3;
constexpr int kSearchAttempts = 2;
constexpr int kInfoAttempts = 2;

constexpr const char* kSerialPlaceholder = "________";
constexpr const char* kVersionPlaceholder = "__.__-__";
constexpr const char* kIdPlaceholder = "__";
constexpr const char* kPanelJoint = " : ";

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
    w.SetSerialPanel(w.Text(Msg::SerialNo) + kPanelJoint + kSerialPlaceholder);
    w.SetVersionPanel(w.Text(Msg::Version) + kPanelJoint + kVersionPlaceholder);
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
    const std::string& settings = link::LineSettingsList[static_cast<std::size_t>(lineIndex)];
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
    for (int j = 0; j < link::kLineSettingsCount; ++j) {
        const std::optional<bool> found = TryCombination(ctx, portNumber, j);
        if (!found.has_value())
            return false;
        if (*found)
            return true;
    }
    return false;
}

bool Search(OperationContext& ctx) {
    for (int p = kFirstScanPort; p <= kLastScanPort; ++p) {
        if (SearchPort(ctx, p))
            return true;
    }
    return false;
}

bool IsDecimal(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

// Shows what the "B00B" reply held in ReplyText says of the module.
void ShowIdentity(OperationContext& ctx) {
    ModuleWindow& w = ctx.window;
    w.SelectBaudRate(SafeLineSettingsIndex(w.State().ScanBaudRateNo));
    w.SetSerialPanel(w.Text(Msg::SerialNo) + kPanelJoint + link::ReplySerial(ctx.link.ReplyText()));
    const std::string id = link::ReplyModuleId(ctx.link.ReplyText());
    w.SetIdPanel(id);
    // An ID that is not a number is shown as the module sent it; the scroll
    // bar then keeps its position rather than jump to a made-up value.
    if (IsDecimal(id))
        w.SetIdPosition(std::stoi(id));
}

enum class InfoAttempt { Read, Repeat, GiveUp };

InfoAttempt ReadInfoOnce(OperationContext& ctx) {
    ModuleWindow& w = ctx.window;
    ctx.clock.SleepMs(kCommandPauseMs);
    if (!ctx.link.SendCommand(link::cmd::ReadVersion))
        return InfoAttempt::Repeat;
    ctx.clock.SleepMs(kCommandPauseMs);
    w.SetVersionPanel(w.Text(Msg::Version) + kPanelJoint +
                      link::ReplyVersion(ctx.link.ReplyText()));
    if (!ctx.link.SendCommand(link::cmd::ReadMode))
        return InfoAttempt::GiveUp;
    w.SelectMode(link::ReplyModeIsHold(ctx.link.ReplyText()) ? kModeHold : kModeNormal);
    ctx.clock.SleepMs(kCommandPauseMs);
    if (!ctx.link.SendCommand(link::cmd::ReadNoNc))
        return InfoAttempt::GiveUp;
    const link::ChannelFlags flags = link::ReplyChannelFlags(ctx.link.ReplyText());
    for (int k = kFirstChannel; k <= kLastChannel; ++k) {
        w.SetNoNc(k, flags[static_cast<std::size_t>(k - kFirstChannel)]);
    }
    ShowInfoOutcome(ctx, Msg::GetModuleInfoOk);
    w.State().ModuleFound = true;
    return InfoAttempt::Read;
}

bool ReadModuleInfo(OperationContext& ctx) {
    const SharedState& s = ctx.window.State();
    if (!ctx.link.OpenCommPort(s.ScanCommNo, s.ScanBaudRate))
        return false;
    InfoAttempt outcome = InfoAttempt::Repeat;
    for (int attempt = 0; attempt < kInfoAttempts && outcome == InfoAttempt::Repeat; ++attempt) {
        outcome = ReadInfoOnce(ctx);
    }
    ctx.link.CloseCommPort();
    return outcome == InfoAttempt::Read;
}

enum class ScanOutcome { Complete, InfoIncomplete, NotFound };

void Finish(OperationContext& ctx, ScanOutcome outcome) {
    ModuleWindow& w = ctx.window;
    switch (outcome) {
        case ScanOutcome::Complete:
            w.SetBusy(kBusyOff);
            w.SetCommLamp(LampColor::Yellow);
            BeepSuccess(ctx);
            break;
        case ScanOutcome::InfoIncomplete:
            ShowInfoOutcome(ctx, Msg::GetModuleInfoError);
            w.SetBusy(kBusyOff);
            w.SetCommLamp(LampColor::Red);
            BeepFailure(ctx);
            break;
        case ScanOutcome::NotFound:
            w.SetBusy(kBusyOff);
            w.SetCommLamp(LampColor::Red);
            w.SelectBaudRate(link::kDefaultLineSettingsIndex);
            w.SetStatus(w.Text(Msg::ModuleNotFind));
            BeepFailure(ctx);
            break;
    }
    w.SetHourglassCursor(false);
}

ScanOutcome Scan(OperationContext& ctx) {
    const bool found = QuickAttempt(ctx) || Search(ctx);
    if (!found)
        return ScanOutcome::NotFound;
    ShowIdentity(ctx);
    return ReadModuleInfo(ctx) ? ScanOutcome::Complete : ScanOutcome::InfoIncomplete;
}

}  // namespace

void btnScanClick(OperationContext& ctx) {
    PrepareScan(ctx);
    Finish(ctx, Scan(ctx));
}

}  // namespace vx::ops
