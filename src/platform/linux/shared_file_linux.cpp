#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "platform/linux/file_descriptor.h"
#include "platform/shared_file.h"

namespace vx::platform {
namespace {

// How often a lock held by another program is tried again: far shorter than
// the few milliseconds it is ever held.
constexpr auto kLockRetry = std::chrono::milliseconds(2);
constexpr mode_t kLogMode = 0644;

std::string ErrorText(int error) {
    return std::strerror(error);
}

class LinuxSharedFile final : public SharedFile {
public:
    explicit LinuxSharedFile(int fd) : fd_(fd) {}
    ~LinuxSharedFile() override { Unlock(); }

    bool Lock(std::chrono::milliseconds limit) override {
        const auto giveUp = std::chrono::steady_clock::now() + limit;
        for (;;) {
            if (flock(fd_.Get(), LOCK_EX | LOCK_NB) == 0)
                return locked_ = true;
            if (errno != EWOULDBLOCK && errno != EINTR)
                return Failed(errno);
            if (std::chrono::steady_clock::now() >= giveUp) {
                error_ = "another program holds its lock";
                return false;
            }
            std::this_thread::sleep_for(kLockRetry);
        }
    }

    void Unlock() override {
        if (locked_)
            flock(fd_.Get(), LOCK_UN);
        locked_ = false;
    }

    std::optional<std::size_t> ReadAt(std::uint64_t offset, char* buffer,
                                      std::size_t capacity) override {
        for (;;) {
            const ssize_t got = pread(fd_.Get(), buffer, capacity, static_cast<off_t>(offset));
            if (got >= 0)
                return static_cast<std::size_t>(got);
            if (errno != EINTR) {
                Failed(errno);
                return std::nullopt;
            }
        }
    }

    bool Append(std::string_view bytes) override {
        while (!bytes.empty()) {
            const ssize_t put = write(fd_.Get(), bytes.data(), bytes.size());
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0)
                return Failed(put < 0 ? errno : ENOSPC);
            bytes.remove_prefix(static_cast<std::size_t>(put));
        }
        // A device such as /dev/null has no disk to reach.
        return fdatasync(fd_.Get()) == 0 || errno == EINVAL || Failed(errno);
    }

    std::string Error() const override { return error_; }

private:
    bool Failed(int error) {
        error_ = ErrorText(error);
        return false;
    }

    FileDescriptor fd_;
    bool locked_ = false;
    std::string error_;
};

}  // namespace

std::unique_ptr<SharedFile> OpenSharedFile(const std::string& path, std::string& error) {
    const int fd = open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, kLogMode);
    if (fd < 0) {
        error = ErrorText(errno);
        return nullptr;
    }
    return std::make_unique<LinuxSharedFile>(fd);
}

}  // namespace vx::platform
