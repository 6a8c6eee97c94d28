#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "protocol/line_settings.h"

namespace vx::platform::telnet {

// One com port command that sets part of a line (RFC 2217), with its value.
struct LineCommand {
    std::uint8_t command = 0;
    std::vector<std::uint8_t> value;
};

inline constexpr std::size_t kLineCommandCount = 4;

// Baud rate, data size, parity and stop size, in the order they are sent.
std::array<LineCommand, kLineCommandCount> LineCommands(const protocol::LineSettings& settings);

// Whether the server's answer sets what was asked: a rate within what a
// server's clock divider rounds it to, the rest exactly.
bool AnswerMatches(const LineCommand& asked, const std::vector<std::uint8_t>& answer);

}  // namespace vx::platform::telnet
