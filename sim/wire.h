#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/line_settings.h"
#include "sim/faults.h"

namespace vx::sim {

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
std::uint64_t PutOnWire(std::uint64_t startUs, const std::string& bytes,
                        const protocol::LineSettings& line, std::vector<TimedByte>& out);

// The bytes of a (possibly faulted) reply that starts at `startUs`.
std::vector<TimedByte> TimeReply(const std::vector<ReplyPart>& parts, std::uint64_t startUs,
                                 const protocol::LineSettings& line);

}  // namespace vx::sim
