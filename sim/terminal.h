#pragma once

#include <cstdint>
#include <string>

#include "protocol/line_settings.h"

namespace vx::sim {

// The speed of a new pseudo-terminal: none of the line settings uses it.
inline constexpr std::uint32_t kRestingBaud = 1200;

// Raw bytes at the given line settings, no flow control. False when the
// terminal refuses them or the baud rate has no terminal speed.
bool ApplyLine(int fd, const protocol::LineSettings& line);

// The baud rate the terminal's output is set to (0 if unknown). On a
// pseudo-terminal's master this is what its client has set.
std::uint32_t TerminalBaud(int fd);

// A new pseudo-terminal's master in `fd`, its slave's path in `slavePath`,
// published as the symbolic link `linkPath`. Returns what went wrong, or an
// empty text.
std::string OpenPty(const std::string& linkPath, int& fd, std::string& slavePath);

// Removes the symbolic link `linkPath` if it still leads to `target`, and
// so is still the one OpenPty made.
void RemoveLinkTo(const std::string& linkPath, const std::string& target);

// `what` and `path` with the reason the last system call gave.
std::string Describe(const std::string& what, const std::string& path);

}  // namespace vx::sim
