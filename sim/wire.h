#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/faults.h"

namespace vx::sim {

// A line-settings text taken apart ("19200,e,8,1").
struct LineFormat {
    int baud = 0;
    char parity = 'n';     // n, e, o, m or s
    int dataBits = 8;      // 5..8
    int stopHalfBits = 2;  // 2 = one stop bit, 3 = one and a half, 4 = two
};

// Nothing when the text is malformed; the parity letter may be of either case.
std::optional<LineFormat> ParseLineSettings(const std::string& text);
// Whether both texts name the same line; a malformed text matches nothing.
bool SameLine(const std::string& a, const std::string& b);

// The module starts working on a reply this long after the frame's CR.
inline constexpr std::uint64_t kTurnaroundUs = 1000;

// A byte and the moment its stop bit has arrived.
struct TimedByte {
    std::uint64_t atUs;
    std::uint8_t byte;
};

// Puts `bytes` on the wire back to back from `startUs`, at the line's speed
// (start bit, data bits, parity bit, stop bits per character), appending them
// to `out`. Returns the moment the last one has arrived.
std::uint64_t PutOnWire(std::uint64_t startUs, const std::string& bytes, const LineFormat& line,
                        std::vector<TimedByte>& out);

// The bytes of a (possibly faulted) reply that starts at `startUs`.
std::vector<TimedByte> TimeReply(const std::vector<ReplyPart>& parts, std::uint64_t startUs,
                                 const LineFormat& line);

}  // namespace vx::sim
