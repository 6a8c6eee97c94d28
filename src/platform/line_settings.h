#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vx::platform {

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
std::optional<LineSettings> ParseLineSettings(const std::string& text);

}  // namespace vx::platform
