#pragma once

#include <fstream>
#include <string>

namespace vx::bench {

// The resident memory of a process in KiB, from /proc ("self" or a process
// ID); -1 when it cannot be read.
inline long ResidentKiB(const std::string& process = "self") {
    constexpr std::streamsize kLineLimit = 1 << 12;
    std::ifstream status("/proc/" + process + "/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmRSS:" && status >> value)
            return value;
        status.ignore(kLineLimit, '\n');
    }
    return -1;
}

}  // namespace vx::bench
