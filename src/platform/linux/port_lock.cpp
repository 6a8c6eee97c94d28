#include "platform/linux/port_lock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace vx::platform {
namespace {

constexpr std::string_view kLockPrefix = "LCK..";
constexpr std::string_view kDeviceFolder = "/dev/";
constexpr int kLockPidWidth = 10;
constexpr std::size_t kMaxLockFileBytes = 64;
// A stale lock removed, someone else may take the name first: a few rounds.
constexpr int kLockAttempts = 3;

// The process ID a lock file names; nothing when it names none.
std::optional<pid_t> LockOwner(const std::string& lockPath) {
    const int fd = open(lockPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::array<char, kMaxLockFileBytes + 1> text{};
    const ssize_t got = read(fd, text.data(), kMaxLockFileBytes);
    close(fd);
    if (got <= 0)
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long pid = std::strtol(text.data(), &end, 10);
    const bool wellFormed = end != text.data() && (*end == '\n' || *end == '\0');
    if (!wellFormed || errno != 0 || pid <= 0 || pid > INT_MAX)
        return std::nullopt;
    return static_cast<pid_t>(pid);
}

bool ProcessAlive(pid_t pid) {
    return kill(pid, 0) == 0 || errno == EPERM;
}

// The live process that a lock file names; 0 when the lock is stale or absent.
pid_t LiveOwner(const std::string& lockPath) {
    const auto owner = LockOwner(lockPath);
    return owner && ProcessAlive(*owner) ? *owner : 0;
}

// A complete lock file under a temporary name, so that the real name appears
// with its contents in one step (link fails if the name is taken).
std::string WriteTemporaryLock(const std::string& folder) {
    std::string name = folder + "/LCK.tmp.XXXXXX";
    const int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0)
        return {};
    std::array<char, kLockPidWidth + 2> text{};
    const int length =
        std::snprintf(text.data(), text.size(), "%*d\n", kLockPidWidth, static_cast<int>(getpid()));
    const bool written = fchmod(fd, S_IRUSR | S_IWUSR | S_IRGRP | S_IROTH) == 0 &&
                         write(fd, text.data(), static_cast<std::size_t>(length)) == length;
    close(fd);
    if (!written) {
        unlink(name.c_str());
        return {};
    }
    return name;
}

// Lock file names must fit a file name however long the host name is.
constexpr std::size_t kMaxLockNameLength = 200;
constexpr std::uint64_t kFnvOffset = 14695981039346656037ull;
constexpr std::uint64_t kFnvPrime = 1099511628211ull;
constexpr std::size_t kHashDigits = 16;

}  // namespace

std::string DeviceLockName(const std::string& devicePath) {
    char* real = realpath(devicePath.c_str(), nullptr);
    if (real == nullptr)
        return {};
    std::string name = real;
    free(real);
    name = name.starts_with(kDeviceFolder) ? name.substr(kDeviceFolder.size())
                                           : name.substr(name.rfind('/') + 1);
    std::replace(name.begin(), name.end(), '/', '_');
    return std::string{kLockPrefix} + name;
}

std::string NetworkLockName(const std::string& canonicalUrl) {
    std::string name = canonicalUrl;
    std::replace_if(
        name.begin(), name.end(),
        [](char c) {
            const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                               (c >= '0' && c <= '9') || c == '.' || c == '-';
            return !plain;
        },
        '_');
    if (name.size() > kMaxLockNameLength) {
        std::uint64_t hash = kFnvOffset;
        for (const char c : canonicalUrl) hash = (hash ^ static_cast<unsigned char>(c)) * kFnvPrime;
        std::array<char, kHashDigits + 1> digits{};
        std::snprintf(digits.data(), digits.size(), "%016llx",
                      static_cast<unsigned long long>(hash));
        name = name.substr(0, kMaxLockNameLength - kHashDigits - 1) + "_" + digits.data();
    }
    return std::string{kLockPrefix} + name;
}

pid_t PortLock::Take(const std::string& lockName) {
    Release();
    if (lockName.empty())
        return 0;
    const std::string path = folder_ + "/" + lockName;
    const std::string temporary = WriteTemporaryLock(folder_);
    if (temporary.empty())
        return LiveOwner(path);
    bool taken = false;
    for (int attempt = 0; attempt < kLockAttempts && !taken; ++attempt) {
        if (link(temporary.c_str(), path.c_str()) == 0) {
            taken = true;
        } else if (errno != EEXIST || LiveOwner(path) != 0) {
            break;
        } else {
            unlink(path.c_str());  // stale: its owner is gone
        }
    }
    unlink(temporary.c_str());
    if (taken)
        path_ = path;
    return taken ? 0 : LiveOwner(path);
}

void PortLock::Release() {
    if (path_.empty())
        return;
    // Only our own lock goes, even if someone replaced it meanwhile.
    if (LockOwner(path_) == getpid())
        unlink(path_.c_str());
    path_.clear();
}

}  // namespace vx::platform
