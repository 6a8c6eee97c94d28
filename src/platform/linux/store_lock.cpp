#include "platform/linux/store_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/linux/store_file.h"

namespace vx::platform {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

constexpr const char* kLockSuffix = ".lock";
constexpr auto kLockWait = 1000ms;
constexpr auto kLockRetry = 250us;

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}
// Byte 0 of the lock file carries a shared record lock for every writer
// waiting for the flock (the two kinds of lock do not meet). Waiters poll, so
// a writer that locked again the moment it let go would starve them: a
// newcomer first lets those already waiting have their turn, up to a bound
// so that a stuck waiter costs a delay, not the write.
constexpr auto kWaitersTurnLimit = 100ms;

bool SetQueueLock(int fd, short type) {
    struct flock record {};
    record.l_type = type;
    record.l_whence = SEEK_SET;
    record.l_len = 1;
    return fcntl(fd, F_OFD_SETLK, &record) == 0;
}

bool OthersWaiting(int fd) {
    struct flock record {};
    record.l_type = F_WRLCK;
    record.l_whence = SEEK_SET;
    record.l_len = 1;
    return fcntl(fd, F_OFD_GETLK, &record) == 0 && record.l_type != F_UNLCK;
}

// Polls for the flock until the deadline; false on time-out or an error.
bool WaitForFlock(int fd, SteadyClock::time_point deadline) {
    for (;;) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if ((errno != EWOULDBLOCK && errno != EINTR) || SteadyClock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(kLockRetry);
    }
}

}  // namespace

StoreLock::StoreLock(const std::string& path) {
    const std::string lockPath = path + kLockSuffix;
    const auto start = SteadyClock::now();
    while (SteadyClock::now() < start + kLockWait) {
        FileDescriptor lock(open(lockPath.c_str(),
                                 O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                                 kNewFileMode));
        struct stat held {};
        if (lock.Get() < 0 || fstat(lock.Get(), &held) != 0 || !S_ISREG(held.st_mode))
            return;
        while (OthersWaiting(lock.Get()) && SteadyClock::now() < start + kWaitersTurnLimit)
            std::this_thread::sleep_for(kLockRetry);
        SetQueueLock(lock.Get(), F_RDLCK);
        if (!WaitForFlock(lock.Get(), start + kLockWait))
            return;
        struct stat named {};
        if (lstat(lockPath.c_str(), &named) == 0 && SameFile(held, named)) {
            SetQueueLock(lock.Get(), F_UNLCK);
            fd_ = std::move(lock);
            return;
        }
    }
}

}  // namespace vx::platform
