#pragma once

#include <string>

#include "platform/linux/file_descriptor.h"

namespace vx::platform {

// The advisory lock file beside a file that several processes change (the
// settings store), held with flock for one read-modify-write, and waited for
// for at most a second. Someone may swap the lock file while we wait; the
// lock counts only on the file that still bears the name.
class StoreLock {
public:
    StoreLock() = default;
    explicit StoreLock(const std::string& path);

    bool Held() const { return fd_.Get() >= 0; }

private:
    FileDescriptor fd_;
};

}  // namespace vx::platform
