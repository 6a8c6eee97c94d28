#include "operations/operation_support.h"

#include "link/comm_port.h"
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
    return index >= 0 && index < link::kLineSettingsCount ? index : link::kDefaultLineSettingsIndex;
}

}  // namespace vx::ops
