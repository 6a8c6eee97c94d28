#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vx::protocol {

// The ports a search walks through, COM1 to COM16.
inline constexpr int kFirstScanPort = 1;
inline constexpr int kLastScanPort = 16;
inline constexpr int kScanPortCount = kLastScanPort - kFirstScanPort + 1;
// The largest number a port name may carry anywhere else.
inline constexpr int kMaxComNumber = 9999;

bool IsScanPort(int number);

// "COM" and the number in decimal: port 3 is "COM3".
std::string ComName(int number);

// The number of "COMn": the prefix in any case, as the system's own device
// names take it, then 1 to kMaxComNumber without leading zeros or signs.
std::optional<int> ParseComName(std::string_view name);

}  // namespace vx::protocol
