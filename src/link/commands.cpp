#include "link/commands.h"

#include "link/comm_port.h"

namespace vx::link {

namespace {

constexpr int kIdPosition = 3;
constexpr int kIdLength = 2;
constexpr int kFieldPosition = 6;  // every data field starts here
constexpr int kSerialLength = 8;
constexpr int kVersionLength = 8;
constexpr char kOn = '1';
constexpr char kOff = '0';
constexpr char kHoldLetter = 'H';

}  // namespace

std::string FlagString(const ChannelFlags& flags) {
    std::string text;
    text.reserve(kChannelCount);
    for (bool on : flags) text += on ? kOn : kOff;
    return text;
}

ChannelFlags ParseFlags(const std::string& text) {
    ChannelFlags flags{};
    for (std::size_t k = 0; k < flags.size() && k < text.size(); ++k) flags[k] = text[k] == kOn;
    return flags;
}

std::string WriteNoNcCommand(const ChannelFlags& flags) {
    return std::string(cmd::ReadNoNc) + FlagString(flags);
}

std::string SetIdCommand(const std::string& serial, const std::string& id) {
    return "B00C" + serial + id;
}

char LineSettingsCode(int index) {
    constexpr char kDigits[] = "0123456789AB";
    return index >= 0 && index < kLineSettingsCount ? kDigits[index]
                                                    : kDigits[kDefaultLineSettingsIndex];
}

std::string SetLineSettingsCommand(int index) {
    return std::string("B00E") + LineSettingsCode(index);
}

std::string ExchangeCommand(const ChannelFlags& outputs) {
    return "B00I" + FlagString(outputs);
}

std::string ReplyField(const std::string& reply, int first, int count) {
    const auto start = static_cast<std::size_t>(first - 1);
    if (first < 1 || count <= 0 || start >= reply.size())
        return {};
    return reply.substr(start, static_cast<std::size_t>(count));
}

std::string ReplyModuleId(const std::string& reply) {
    return ReplyField(reply, kIdPosition, kIdLength);
}

std::string ReplySerial(const std::string& reply) {
    return ReplyField(reply, kFieldPosition, kSerialLength);
}

std::string ReplyVersion(const std::string& reply) {
    return ReplyField(reply, kFieldPosition, kVersionLength);
}

bool ReplyModeIsHold(const std::string& reply) {
    return ReplyField(reply, kFieldPosition, 1) == std::string(1, kHoldLetter);
}

ChannelFlags ReplyChannelFlags(const std::string& reply) {
    return ParseFlags(ReplyField(reply, kFieldPosition, kChannelCount));
}

}  // namespace vx::link
