#pragma once

#include <cstdint>
#include <string>

namespace vx::link {

inline constexpr int kRecvBufferSize = 1024;
inline constexpr std::uint32_t kReplyWindowMs = 150;
inline constexpr std::uint8_t kCommandLead = 0x09;
inline constexpr std::uint8_t kReplyLead = 0x0A;
inline constexpr std::uint8_t kFrameEnd = 0x0D;

// 9 XOR each of the first `count` bytes of `text`.
std::uint8_t CommandChecksum(const std::string& text, int count);

// Two uppercase hexadecimal digits, high nibble first.
std::string ByteToHex(std::uint8_t value);

}  // namespace vx::link
