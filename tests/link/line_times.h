#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "link/transaction.h"

namespace vx::link {

// Byte times on a real line: 11 bits a byte with even parity at 19200 baud,
// 10 without at 115200, as the module sends them.
inline constexpr std::uint64_t k19200eByteUs = 573;
inline constexpr std::uint64_t k115200ByteUs = 95;
// Spacing for tests where it does not matter.
inline constexpr std::uint64_t kQuickByteUs = 100;
// The write pauses of one frame: 1 + 5 + 1 + 1 + 1 ms.
inline constexpr std::uint32_t kFramePausesMs = 9;
// A reply delay counts from the CR's write; the window from its pause's end.
inline constexpr std::uint32_t kMarkAfterCrMs = kReplyWindowMs + 1;

// LF + text + checksum + CR, computed independently of the link's own code.
inline std::string Reply(const std::string& text, bool lowercase = false) {
    unsigned sum = 0x0A;
    for (unsigned char c : text) sum ^= c;
    char digits[3];
    std::snprintf(digits, sizeof digits, lowercase ? "%02x" : "%02X", sum);
    return "\n" + text + digits + "\r";
}

inline const std::string kIdentify = Reply("!07,12345678");

}  // namespace vx::link
