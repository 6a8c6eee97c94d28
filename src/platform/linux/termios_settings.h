#pragma once

#include <asm/termbits.h>

#include <cstdint>

#include "protocol/line_settings.h"

namespace vx::platform {

// No echo, no line editing, no translation: every byte as it comes.
void MakeRaw(termios2& t);
void NoFlowControl(termios2& t);
// A rate of the classic table by its code, any other as BOTHER.
void SetBaudRate(termios2& t, std::uint32_t rate);
void SetFraming(termios2& t, const protocol::LineSettings& settings);
bool IsPseudoTerminal(int fd);
// Whether the driver took what was asked: the framing, and the rate within
// what a clock divider rounds it to.
bool TookSettings(const termios2& wanted, const termios2& actual, bool pseudoTerminal);

}  // namespace vx::platform
