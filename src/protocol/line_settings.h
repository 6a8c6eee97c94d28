#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vx::protocol {

inline constexpr int kLineSettingsCount = 12;
inline constexpr int kDefaultLineSettingsIndex = 5;

// The twelve line settings the tool offers, in the order of the baud-rate
// list; the module names them by index (see LineSettingsCode).
extern const std::array<std::string, kLineSettingsCount> LineSettingsList;

bool IsLineSettingsIndex(int index);
// The index of a text that is exactly one of the list's entries.
std::optional<int> LineSettingsIndex(std::string_view text);
// The entries separated by `separator`, for help texts.
std::string JoinedLineSettings(std::string_view separator);

// One uppercase hexadecimal digit naming a list index; an index outside the
// list is sent as the default one.
char LineSettingsCode(int index);
std::optional<int> ParseLineSettingsCode(char code);

enum class Parity { None, Even, Odd, Mark, Space };
enum class StopBits { One, OneAndHalf, Two };

// The fields of a line-settings text such as "19200,e,8,1".
struct LineSettings {
    std::uint32_t baudRate = 0;
    Parity parity = Parity::None;
    unsigned dataBits = 0;
    StopBits stopBits = StopBits::One;

    bool operator==(const LineSettings&) const = default;
};

// Reads "baud,parity,data,stop" the way the Windows comm API builds its
// device-control block from such a text: parity letter n/e/o/m/s in either
// case, 5 to 8 data bits, stop bits 1, 1.5 or 2 (1.5 only with 5 data bits,
// 2 not with 5), any positive baud rate, with the two-digit shorthands
// 11, 15, 30, 60, 12, 24, 48, 96 and 19 standing for the classic rates.
// Blanks around a field are ignored. Nothing when the text breaks any rule.
std::optional<LineSettings> ParseLineSettings(std::string_view text);

}  // namespace vx::protocol
