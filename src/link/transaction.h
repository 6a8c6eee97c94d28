#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace vx::link {

inline constexpr int kRecvBufferSize = 1024;
inline constexpr std::uint32_t kReplyWindowMs = 150;
inline constexpr std::uint8_t kCommandLead = 0x09;
inline constexpr std::uint8_t kReplyLead = 0x0A;
inline constexpr std::uint8_t kFrameEnd = 0x0D;

// The link's one receive buffer and the last reply frame (LF through CR).
// One set per thread: the window has one thread and so one link, while a
// parallel search gives each port's worker thread a link of its own.
extern thread_local std::array<std::uint8_t, kRecvBufferSize> RecvBuffer;
extern thread_local std::string ReplyText;
extern thread_local int ReplyLength;

// Frames and sends the command, then collects and verifies the reply within
// the reply window. True only for a complete frame with a matching checksum.
bool SendCommand(const std::string& command);

// 9 XOR each of the first `count` bytes of `text`.
std::uint8_t CommandChecksum(const std::string& text, int count);

// Two uppercase hexadecimal digits, high nibble first.
std::string ByteToHex(std::uint8_t value);

// Verifies the frame held in RecvBuffer, ReplyLength bytes long.
bool CheckReplyChecksum();

}  // namespace vx::link
