#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace vx::protocol {

// Flag strings: one character per channel, channel 1 first, "1" on, "0" off.
inline constexpr int kChannelCount = 16;
using ChannelFlags = std::array<bool, kChannelCount>;
// Channels are numbered from 1, as the module's inputs and outputs are.
inline constexpr int kFirstChannel = 1;
inline constexpr int kLastChannel = kChannelCount;
// The place of channel k in a ChannelFlags.
constexpr std::size_t ChannelSlot(int channel) {
    return static_cast<std::size_t>(channel - kFirstChannel);
}

std::string FlagString(const ChannelFlags& flags);
// As a reply is read: channel k is on only where the character is "1";
// missing characters are off.
ChannelFlags ParseFlags(std::string_view text);
// As a command argument or a user's value is taken: exactly 16 characters,
// each "0" or "1", or nothing.
std::optional<ChannelFlags> ParseFlagString(std::string_view text);

// Module IDs, and their two-digit form in the "B00C" command and the replies.
inline constexpr int kMinModuleId = 1;
inline constexpr int kMaxModuleId = 99;

bool IsModuleId(int id);
// Decimal digits only (no sign, no blanks) naming an ID in range.
std::optional<int> ParseModuleId(std::string_view text);
// "07" for 7, as "%02d" writes it.
std::string IdText(int id);
// The value of exactly two decimal digits, 0 to 99, whether an ID or not:
// what a module sent in its ID field.
std::optional<int> ParseIdDigits(std::string_view text);
// Exactly the two digits of an ID in range.
std::optional<int> ParseIdText(std::string_view text);

// Reply lengths (LF and CR included) the operations test against.
inline constexpr int kIdentifyReplyLength = 16;
inline constexpr int kExchangeReplyLength = 24;

// Command texts, built fresh for every exchange. Every command goes to
// address "00", so it reaches whichever module answers on the open port.
namespace cmd {
inline constexpr const char* Identify = "B00B";
inline constexpr const char* ReadVersion = "B00V";
inline constexpr const char* ReadMode = "B00G";
inline constexpr const char* SetModeHold = "B00GH";
inline constexpr const char* SetModeNormal = "B00GS";
inline constexpr const char* ReadNoNc = "B00A";
// The heads of the commands that carry arguments.
inline constexpr const char* WriteNoNc = ReadNoNc;
inline constexpr const char* SetId = "B00C";
inline constexpr const char* SetLineSettings = "B00E";
inline constexpr const char* Exchange = "B00I";
}  // namespace cmd

inline constexpr char kCommandMark = 'B';
inline constexpr std::string_view kBroadcastAddress = "00";
inline constexpr std::size_t kCommandHeadLength = 4;  // mark, address, letter
inline constexpr std::size_t kSerialLength = 8;
inline constexpr std::size_t kVersionLength = 8;
inline constexpr char kHoldLetter = 'H';
inline constexpr char kNormalLetter = 'S';

std::string WriteNoNcCommand(const ChannelFlags& flags);                     // "B00A" + 16 flags
std::string SetIdCommand(const std::string& serial, const std::string& id);  // "B00C" + serial + id
std::string SetLineSettingsCommand(int index);                               // "B00E" + code
std::string ExchangeCommand(const ChannelFlags& outputs);                    // "B00I" + 16 flags

// Reply positions count from 1 at the LF; the module's own head fills
// positions 2 to 5 and the data fields begin at position 6.
inline constexpr int kIdPosition = 3;
inline constexpr int kFieldPosition = 6;

// The characters at positions first..first+count-1 of a reply; positions
// beyond the end yield nothing.
std::string ReplyField(const std::string& reply, int first, int count);

// Reply fields the operations read.
std::string ReplyModuleId(const std::string& reply);       // positions 3..4
std::string ReplySerial(const std::string& reply);         // positions 6..13
std::string ReplyVersion(const std::string& reply);        // positions 6..13
bool ReplyModeIsHold(const std::string& reply);            // position 6 == 'H'
ChannelFlags ReplyChannelFlags(const std::string& reply);  // positions 6..21

}  // namespace vx::protocol
