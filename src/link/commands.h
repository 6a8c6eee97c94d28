#pragma once

#include <array>
#include <string>

namespace vx::link {

inline constexpr int kChannelCount = 16;
using ChannelFlags = std::array<bool, kChannelCount>;

// Reply lengths (LF and CR included) the operations test against.
inline constexpr int kIdentifyReplyLength = 16;
inline constexpr int kExchangeReplyLength = 24;

// Command texts, built fresh for every exchange.
namespace cmd {
inline constexpr const char* Identify = "B00B";
inline constexpr const char* ReadVersion = "B00V";
inline constexpr const char* ReadMode = "B00G";
inline constexpr const char* SetModeHold = "B00GH";
inline constexpr const char* SetModeNormal = "B00GS";
inline constexpr const char* ReadNoNc = "B00A";
}  // namespace cmd

// "1"/"0" per channel, channel 1 first.
std::string FlagString(const ChannelFlags& flags);
// Channel k is on only where the character is "1"; missing characters are off.
ChannelFlags ParseFlags(const std::string& text);

std::string WriteNoNcCommand(const ChannelFlags& flags);                     // "B00A" + 16 flags
std::string SetIdCommand(const std::string& serial, const std::string& id);  // "B00C" + serial + id
std::string SetLineSettingsCommand(int index);                               // "B00E" + code
std::string ExchangeCommand(const ChannelFlags& outputs);                    // "B00I" + 16 flags

// One uppercase hexadecimal digit naming a LineSettingsList index.
char LineSettingsCode(int index);

// The characters at positions first..first+count-1 of a reply, counted from 1
// at the LF; positions beyond the end yield nothing.
std::string ReplyField(const std::string& reply, int first, int count);

// Reply fields the operations read.
std::string ReplyModuleId(const std::string& reply);       // positions 3..4
std::string ReplySerial(const std::string& reply);         // positions 6..13
std::string ReplyVersion(const std::string& reply);        // positions 6..13
bool ReplyModeIsHold(const std::string& reply);            // position 6 == 'H'
ChannelFlags ReplyChannelFlags(const std::string& reply);  // positions 6..21

}  // namespace vx::link
