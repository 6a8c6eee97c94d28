#pragma once

#include <sys/types.h>

#include <string>
#include <utility>

namespace vx::platform {

// Where the lock files of serial ports live on this machine.
inline constexpr const char* kSystemLockFolder = "/run/lock";

// "LCK..ttyUSB0" for /dev/ttyUSB0 and any link to it; "LCK..pts_3" for
// /dev/pts/3. Empty when the device cannot be resolved.
std::string DeviceLockName(const std::string& devicePath);

// The lock file name of a network port, from its canonical URL: every
// character but letters, digits, dots and hyphens becomes an underscore.
std::string NetworkLockName(const std::string& canonicalUrl);

// A port's lock file while it is open, in the format that terminal programs
// on Linux share: the owner's process ID as ten right-aligned ASCII digits
// and a newline. Programs that open a port without flock or TIOCEXCL still
// honour these.
class PortLock {
public:
    explicit PortLock(std::string folder) : folder_(std::move(folder)) {}
    ~PortLock() { Release(); }
    PortLock(const PortLock&) = delete;
    PortLock& operator=(const PortLock&) = delete;

    // 0 when the port may be opened; otherwise the live process that holds
    // it. An empty name takes no lock. A lock folder we may not write still
    // keeps us off a port that others hold, but leaves no lock.
    pid_t Take(const std::string& lockName);
    void Release();

private:
    std::string folder_;
    std::string path_;
};

}  // namespace vx::platform
