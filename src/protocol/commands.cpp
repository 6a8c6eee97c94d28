#include "protocol/commands.h"

#include <algorithm>
#include <charconv>

#include "protocol/line_settings.h"

namespace vx::protocol {

namespace {

constexpr char kOn = '1';
constexpr char kOff = '0';
constexpr std::size_t kIdTextLength = 2;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

std::string FlagString(const ChannelFlags& flags) {
    std::string text;
    text.reserve(kChannelCount);
    for (bool on : flags) text += on ? kOn : kOff;
    return text;
}

ChannelFlags ParseFlags(std::string_view text) {
    ChannelFlags flags{};
    for (std::size_t k = 0; k < flags.size() && k < text.size(); ++k) flags[k] = text[k] == kOn;
    return flags;
}

std::optional<ChannelFlags> ParseFlagString(std::string_view text) {
    if (text.size() != static_cast<std::size_t>(kChannelCount) ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c == kOn || c == kOff; })) {
        return std::nullopt;
    }
    return ParseFlags(text);
}

bool IsModuleId(int id) {
    return id >= kMinModuleId && id <= kMaxModuleId;
}

std::optional<int> ParseModuleId(std::string_view text) {
    if (text.empty() || !std::all_of(text.begin(), text.end(), IsDigit))
        return std::nullopt;
    int id = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, id);
    if (error != std::errc{} || stop != end || !IsModuleId(id))
        return std::nullopt;
    return id;
}

std::string IdText(int id) {
    const std::string digits = std::to_string(id);
    return digits.size() < kIdTextLength ? std::string(kIdTextLength - digits.size(), '0') + digits
                                         : digits;
}

std::optional<int> ParseIdDigits(std::string_view text) {
    if (text.size() != kIdTextLength || !std::all_of(text.begin(), text.end(), IsDigit))
        return std::nullopt;
    constexpr int kTens = 10;
    return (text[0] - '0') * kTens + (text[1] - '0');
}

std::optional<int> ParseIdText(std::string_view text) {
    const auto value = ParseIdDigits(text);
    if (!value || !IsModuleId(*value))
        return std::nullopt;
    return value;
}

std::string WriteNoNcCommand(const ChannelFlags& flags) {
    return cmd::WriteNoNc + FlagString(flags);
}

std::string SetIdCommand(const std::string& serial, const std::string& id) {
    return cmd::SetId + serial + id;
}

std::string SetLineSettingsCommand(int index) {
    return cmd::SetLineSettings + std::string(1, LineSettingsCode(index));
}

std::string ExchangeCommand(const ChannelFlags& outputs) {
    return cmd::Exchange + FlagString(outputs);
}

std::string ReplyField(const std::string& reply, int first, int count) {
    const auto start = static_cast<std::size_t>(first - 1);
    if (first < 1 || count <= 0 || start >= reply.size())
        return {};
    return reply.substr(start, static_cast<std::size_t>(count));
}

std::string ReplyModuleId(const std::string& reply) {
    return ReplyField(reply, kIdPosition, static_cast<int>(kIdTextLength));
}

std::string ReplySerial(const std::string& reply) {
    return ReplyField(reply, kFieldPosition, static_cast<int>(kSerialLength));
}

std::string ReplyVersion(const std::string& reply) {
    return ReplyField(reply, kFieldPosition, static_cast<int>(kVersionLength));
}

bool ReplyModeIsHold(const std::string& reply) {
    return ReplyField(reply, kFieldPosition, 1) == std::string(1, kHoldLetter);
}

ChannelFlags ReplyChannelFlags(const std::string& reply) {
    return ParseFlags(ReplyField(reply, kFieldPosition, kChannelCount));
}

}  // namespace vx::protocol
