#pragma once

// The command set as the operations speak it: the texts themselves and the
// reply fields are the protocol's, shared with the platform and the simulator.
#include "protocol/commands.h"
#include "protocol/line_settings.h"

namespace vx::link {

using protocol::ChannelFlags;
using protocol::kChannelCount;
using protocol::kExchangeReplyLength;
using protocol::kIdentifyReplyLength;
namespace cmd = protocol::cmd;

using protocol::IsLineSettingsIndex;
using protocol::kDefaultLineSettingsIndex;
using protocol::kLineSettingsCount;
using protocol::LineSettingsList;

using protocol::ExchangeCommand;
using protocol::FlagString;
using protocol::ParseFlags;
using protocol::SetIdCommand;
using protocol::SetLineSettingsCommand;
using protocol::WriteNoNcCommand;

using protocol::ReplyChannelFlags;
using protocol::ReplyField;
using protocol::ReplyModeIsHold;
using protocol::ReplyModuleId;
using protocol::ReplySerial;
using protocol::ReplyVersion;

}  // namespace vx::link
