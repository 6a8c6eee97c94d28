#include "operations/operation_support.h"

#include "protocol/line_settings.h"

namespace vx::ops {

void BeepSuccess(OperationContext& ctx) {
    ctx.tone.Beep(kSuccessToneHz, kToneMs);
}

void BeepFailure(OperationContext& ctx) {
    ctx.tone.Beep(kFailureToneHz, kToneMs);
}

bool ModuleAnswersIdentify(link::Link& link) {
    return link.SendCommand(protocol::cmd::Identify) &&
           link.ReplyLength() == protocol::kIdentifyReplyLength;
}

ModuleFacts LinkFacts(const SharedState& state) {
    ModuleFacts facts;
    facts.port = state.ScanCommNo;
    facts.lineSettings = state.ScanBaudRate;
    facts.lineIndex = protocol::LineSettingsIndex(state.ScanBaudRate);
    return facts;
}

void TakeIdentity(const std::string& identifyReply, ModuleFacts& facts) {
    facts.idText = protocol::ReplyModuleId(identifyReply);
    facts.id = protocol::ParseIdText(facts.idText);
    facts.serial = protocol::ReplySerial(identifyReply);
}

protocol::ChannelFlags TickedBoxes(const ModuleWindow& w, bool (ModuleWindow::*ticked)(int) const) {
    protocol::ChannelFlags flags{};
    for (int k = protocol::kFirstChannel; k <= protocol::kLastChannel; ++k) {
        flags[protocol::ChannelSlot(k)] = (w.*ticked)(k);
    }
    return flags;
}

int SafeLineSettingsIndex(int index) {
    return protocol::IsLineSettingsIndex(index) ? index : protocol::kDefaultLineSettingsIndex;
}

}  // namespace vx::ops
