#include "operations/operation_support.h"

#include "link/commands.h"

namespace vx::ops {

void BeepSuccess(OperationContext& ctx) {
    ctx.tone.Beep(kSuccessToneHz, kToneMs);
}

void BeepFailure(OperationContext& ctx) {
    ctx.tone.Beep(kFailureToneHz, kToneMs);
}

bool ModuleAnswersIdentify(link::Link& link) {
    return link.SendCommand(link::cmd::Identify) &&
           link.ReplyLength() == link::kIdentifyReplyLength;
}

std::string PortSuffix(int portNumber) {
    return " : #" + std::to_string(portNumber);
}

int SafeLineSettingsIndex(int index) {
    return link::IsLineSettingsIndex(index) ? index : link::kDefaultLineSettingsIndex;
}

}  // namespace vx::ops
