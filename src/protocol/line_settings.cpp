#include "protocol/line_settings.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string_view>
#include <utility>
#include <vector>

namespace vx::protocol {

const std::array<std::string, kLineSettingsCount> LineSettingsList = {
    "4800,n,8,1",  "4800,e,8,1",  "9600,n,8,1",  "9600,e,8,1",  "19200,n,8,1",  "19200,e,8,1",
    "38400,n,8,1", "38400,e,8,1", "57600,n,8,1", "57600,e,8,1", "115200,n,8,1", "115200,e,8,1",
};

namespace {

constexpr std::string_view kCodeDigits = "0123456789AB";
static_assert(kCodeDigits.size() == kLineSettingsCount);

constexpr std::size_t kFieldCount = 4;
constexpr unsigned kMinDataBits = 5;
constexpr unsigned kMaxDataBits = 8;

// The two-digit forms that the old MODE syntax allows for the classic rates.
constexpr std::array<std::pair<std::uint32_t, std::uint32_t>, 9> kBaudShorthands{{
    {11, 110},
    {15, 150},
    {30, 300},
    {60, 600},
    {12, 1200},
    {24, 2400},
    {48, 4800},
    {96, 9600},
    {19, 19200},
}};

std::string_view Trim(std::string_view field) {
    constexpr std::string_view kBlanks = " \t";
    const auto first = field.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    const auto last = field.find_last_not_of(kBlanks);
    return field.substr(first, last - first + 1);
}

std::vector<std::string_view> SplitFields(std::string_view text) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const auto comma = text.find(',', start);
        fields.push_back(Trim(text.substr(start, comma - start)));
        if (comma == std::string_view::npos)
            return fields;
        start = comma + 1;
    }
}

std::optional<std::uint32_t> ParseDecimal(std::string_view field) {
    std::uint32_t value = 0;
    const auto* end = field.data() + field.size();
    const auto [stop, error] = std::from_chars(field.data(), end, value);
    if (field.empty() || error != std::errc{} || stop != end)
        return std::nullopt;
    return value;
}

std::optional<std::uint32_t> ParseBaudRate(std::string_view field) {
    const auto value = ParseDecimal(field);
    if (!value || *value == 0)
        return std::nullopt;
    for (const auto& [shorthand, rate] : kBaudShorthands) {
        if (*value == shorthand)
            return rate;
    }
    return value;
}

std::optional<Parity> ParseParity(std::string_view field) {
    if (field.size() != 1)
        return std::nullopt;
    switch (field.front()) {
        case 'n':
        case 'N':
            return Parity::None;
        case 'e':
        case 'E':
            return Parity::Even;
        case 'o':
        case 'O':
            return Parity::Odd;
        case 'm':
        case 'M':
            return Parity::Mark;
        case 's':
        case 'S':
            return Parity::Space;
        default:
            return std::nullopt;
    }
}

std::optional<unsigned> ParseDataBits(std::string_view field) {
    const auto value = ParseDecimal(field);
    if (!value || *value < kMinDataBits || *value > kMaxDataBits)
        return std::nullopt;
    return *value;
}

std::optional<StopBits> ParseStopBits(std::string_view field) {
    if (field == "1")
        return StopBits::One;
    if (field == "1.5")
        return StopBits::OneAndHalf;
    if (field == "2")
        return StopBits::Two;
    return std::nullopt;
}

// A UART makes 1.5 stop bits only in 5-bit mode and 2 only above it.
bool StopBitsFitDataBits(StopBits stopBits, unsigned dataBits) {
    if (stopBits == StopBits::OneAndHalf)
        return dataBits == kMinDataBits;
    if (stopBits == StopBits::Two)
        return dataBits != kMinDataBits;
    return true;
}

}  // namespace

bool IsLineSettingsIndex(int index) {
    return index >= 0 && index < kLineSettingsCount;
}

std::optional<int> LineSettingsIndex(std::string_view text) {
    const auto it = std::find(LineSettingsList.begin(), LineSettingsList.end(), text);
    if (it == LineSettingsList.end())
        return std::nullopt;
    return static_cast<int>(it - LineSettingsList.begin());
}

std::string JoinedLineSettings(std::string_view separator) {
    std::string text;
    for (const auto& entry : LineSettingsList) {
        if (!text.empty())
            text += separator;
        text += entry;
    }
    return text;
}

char LineSettingsCode(int index) {
    return kCodeDigits[static_cast<std::size_t>(
        IsLineSettingsIndex(index) ? index : kDefaultLineSettingsIndex)];
}

std::optional<int> ParseLineSettingsCode(char code) {
    const auto at = kCodeDigits.find(code);
    if (at == std::string_view::npos)
        return std::nullopt;
    return static_cast<int>(at);
}

std::optional<LineSettings> ParseLineSettings(std::string_view text) {
    const auto fields = SplitFields(text);
    if (fields.size() != kFieldCount)
        return std::nullopt;
    const auto baudRate = ParseBaudRate(fields[0]);
    const auto parity = ParseParity(fields[1]);
    const auto dataBits = ParseDataBits(fields[2]);
    const auto stopBits = ParseStopBits(fields[3]);
    if (!baudRate || !parity || !dataBits || !stopBits)
        return std::nullopt;
    if (!StopBitsFitDataBits(*stopBits, *dataBits))
        return std::nullopt;
    return LineSettings{*baudRate, *parity, *dataBits, *stopBits};
}

}  // namespace vx::protocol
