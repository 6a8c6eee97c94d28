#pragma once

#include <unistd.h>

#include <utility>

namespace vx::platform {

// Closes a descriptor when it goes out of scope.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() { Reset(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        Reset(std::exchange(other.fd_, -1));
        return *this;
    }

    int Get() const { return fd_; }
    void Reset(int fd = -1) {
        if (fd_ >= 0)
            close(fd_);
        fd_ = fd;
    }
    // Closes now, reporting whether the data made it out.
    bool CloseChecked() { return close(std::exchange(fd_, -1)) == 0; }

private:
    int fd_;
};

}  // namespace vx::platform
