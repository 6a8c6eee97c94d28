// Serial ports through the kernel's termios2 interface, which carries the
// exact baud rate (BOTHER) next to the classic Bxxx codes. The glibc
// <termios.h> is deliberately not used: its struct termios clashes with the
// kernel's, and it cannot express a rate outside the Bxxx table.
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>
#include <utility>

#include "platform/linux/port_lock.h"
#include "platform/linux/serial_device_linux.h"
#include "platform/linux/termios_settings.h"
#include "platform/network/network_serial_device.h"
#include "platform/serial_device.h"
#include "protocol/line_settings.h"

namespace vx::platform {
namespace {

constexpr long kNanosPerMs = 1'000'000;
constexpr long kNanosPerSecond = 1'000'000'000;
constexpr long kReadWaitNs = kNanosPerMs;
// A write that makes no progress for this long is abandoned: with flow
// control off only a peer that stops reading (a pseudo-terminal) can stall it.
constexpr long kWriteStallNs = 1000 * kNanosPerMs;

timespec Now() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now;
}

timespec After(timespec start, long nanos) {
    start.tv_nsec += nanos;
    start.tv_sec += start.tv_nsec / kNanosPerSecond;
    start.tv_nsec %= kNanosPerSecond;
    return start;
}

long NanosUntil(timespec deadline) {
    const timespec now = Now();
    const long nanos =
        (deadline.tv_sec - now.tv_sec) * kNanosPerSecond + (deadline.tv_nsec - now.tv_nsec);
    return nanos > 0 ? nanos : 0;
}

void SleepUntil(timespec deadline) {
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
}

// Waits for `events` until the deadline; the revents, or 0 on timeout.
short WaitFor(int fd, short events, timespec deadline) {
    for (;;) {
        pollfd entry{fd, events, 0};
        const long nanos = NanosUntil(deadline);
        const timespec timeout{nanos / kNanosPerSecond, nanos % kNanosPerSecond};
        const int ready = ppoll(&entry, 1, &timeout, nullptr);
        if (ready > 0)
            return entry.revents;
        if (ready == 0)
            return 0;
        if (errno != EINTR)
            return POLLERR;
    }
}

bool SignalsHangUp(short revents) {
    return (revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

// The group that owns the device, which is the one a user must belong to.
std::string GroupOf(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0)
        return {};
    std::array<char, 1024> buffer{};
    group entry{};
    group* found = nullptr;
    if (getgrgid_r(status.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return {};
    return found->gr_name;
}

PortOpen FailedOpen(int error, const std::string& path) {
    switch (error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case EIO:  // a serial node with no UART behind it
            return {PortFailure::Missing};
        case EACCES:
        case EPERM:
            return {PortFailure::PermissionDenied, 0, GroupOf(path)};
        case EBUSY:
            return {PortFailure::Busy};
        case ENOTTY:
        case EINVAL:
            return {PortFailure::NotSerial};
        default:
            return {PortFailure::Other, 0, std::strerror(error)};
    }
}

// Only a character device can be a serial port. Anything else is turned away
// before it is opened: opening a pipe, say, could wait for its writer.
PortOpen CheckNode(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0)
        return FailedOpen(errno, path);
    if (!S_ISCHR(status.st_mode))
        return {PortFailure::NotSerial};
    return {};
}

class LinuxSerialDevice final : public SerialDevice {
public:
    LinuxSerialDevice(PortResolver resolve, std::string lockFolder)
        : resolve_(std::move(resolve)), lock_(std::move(lockFolder)) {}
    ~LinuxSerialDevice() override { Close(); }

    PortOpen Open(const std::string& comName) override {
        Close();
        const std::string path = resolve_ ? resolve_(comName) : std::string{};
        if (path.empty())
            return {PortFailure::Missing};
        if (PortOpen node = CheckNode(path); !node.Opened())
            return node;
        if (const pid_t holder = lock_.Take(DeviceLockName(path)); holder != 0)
            return {PortFailure::Busy, holder};
        const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            const PortOpen failed = FailedOpen(errno, path);
            lock_.Release();
            return failed;
        }
        // flock, not TIOCEXCL alone: the superuser passes TIOCEXCL unhindered.
        PortOpen claimed;
        if (ioctl(fd, TCGETS2, &savedTermios_) != 0)
            claimed = FailedOpen(errno, path);
        else if (flock(fd, LOCK_EX | LOCK_NB) != 0)
            claimed = {PortFailure::Busy};
        if (!claimed.Opened()) {
            close(fd);
            lock_.Release();
            return claimed;
        }
        fd_ = fd;
        gone_ = false;
        pseudoTerminal_ = IsPseudoTerminal(fd);
        ioctl(fd_, TIOCEXCL);
        termios2 raw = savedTermios_;
        MakeRaw(raw);
        NoFlowControl(raw);
        ioctl(fd_, TCSETS2, &raw);
        RequestLowLatency();
        return {};
    }

    bool ApplyLineSettings(const std::string& text) override {
        const auto settings = protocol::ParseLineSettings(text);
        termios2 before{};
        if (!settings || !IsOpen() || ioctl(fd_, TCGETS2, &before) != 0)
            return false;
        termios2 wanted = before;
        SetBaudRate(wanted, settings->baudRate);
        SetFraming(wanted, *settings);
        NoFlowControl(wanted);
        termios2 actual{};
        if (ioctl(fd_, TCSETS2, &wanted) == 0 && ioctl(fd_, TCGETS2, &actual) == 0 &&
            TookSettings(wanted, actual, pseudoTerminal_)) {
            return true;
        }
        ioctl(fd_, TCSETS2, &before);
        return false;
    }

    void Write(const std::uint8_t* data, std::size_t count) override {
        timespec stallDeadline = After(Now(), kWriteStallNs);
        while (count > 0 && IsOpen() && !gone_) {
            const ssize_t written = write(fd_, data, count);
            if (written > 0) {
                data += written;
                count -= static_cast<std::size_t>(written);
                stallDeadline = After(Now(), kWriteStallNs);
            } else if (written < 0 && (errno == EAGAIN || errno == EINTR)) {
                const short revents = WaitFor(fd_, POLLOUT, stallDeadline);
                if (revents == 0)
                    return;
                gone_ = SignalsHangUp(revents);
            } else {
                gone_ = true;
            }
        }
    }

    std::optional<std::uint8_t> ReadByte() override { return ReadUntil(After(Now(), kReadWaitNs)); }

    std::optional<std::uint8_t> ReadByteWithin(std::uint32_t waitMs) override {
        return ReadUntil(After(Now(), static_cast<long>(waitMs) * kNanosPerMs));
    }

    void DiscardInput() override {
        if (IsOpen())
            ioctl(fd_, TCFLSH, TCIFLUSH);
    }

    void Close() override {
        if (!IsOpen())
            return;
        ioctl(fd_, TCSETS2, &savedTermios_);
        if (lowLatencySet_)
            ioctl(fd_, TIOCSSERIAL, &savedSerial_);
        lowLatencySet_ = false;
        ioctl(fd_, TIOCNXCL);
        close(fd_);
        fd_ = -1;
        lock_.Release();
    }

    bool IsOpen() const override { return fd_ >= 0; }
    bool Gone() const override { return IsOpen() && gone_; }

private:
    // A vanished port still waits out its time, so a polling caller can never spin.
    std::optional<std::uint8_t> ReadUntil(timespec deadline) {
        if (IsOpen() && !gone_) {
            const short revents = WaitFor(fd_, POLLIN, deadline);
            if ((revents & POLLIN) != 0) {
                if (const auto byte = ReadReadyByte())
                    return byte;
            } else {
                gone_ = SignalsHangUp(revents);
            }
        }
        SleepUntil(deadline);
        return std::nullopt;
    }

    // Some USB adapters hold received bytes back for up to 16 ms unless asked
    // not to; ports without the request simply refuse it.
    void RequestLowLatency() {
        if (ioctl(fd_, TIOCGSERIAL, &savedSerial_) != 0)
            return;
        serial_struct lowLatency = savedSerial_;
        lowLatency.flags |= ASYNC_LOW_LATENCY;
        lowLatencySet_ = ioctl(fd_, TIOCSSERIAL, &lowLatency) == 0;
    }

    // Readiness followed by end-of-file or an I/O error is how the kernel
    // reports a port whose device has gone (an adapter pulled out).
    std::optional<std::uint8_t> ReadReadyByte() {
        std::uint8_t byte = 0;
        const ssize_t got = read(fd_, &byte, 1);
        if (got == 1)
            return byte;
        gone_ = got == 0 || (errno != EAGAIN && errno != EINTR);
        return std::nullopt;
    }

    PortResolver resolve_;
    PortLock lock_;
    int fd_ = -1;
    bool gone_ = false;
    bool pseudoTerminal_ = false;
    termios2 savedTermios_{};
    serial_struct savedSerial_{};
    bool lowLatencySet_ = false;
};

// Network ports take their lock files beside those of the devices.
class NetworkPortLock final : public PortClaim {
public:
    explicit NetworkPortLock(std::string folder) : lock_(std::move(folder)) {}
    long Take(const std::string& endpoint) override {
        return lock_.Take(NetworkLockName(endpoint));
    }
    void Release() override { lock_.Release(); }

private:
    PortLock lock_;
};

}  // namespace

std::unique_ptr<SerialDevice> CreateLinuxSerialDevice(PortResolver resolve,
                                                      std::string lockFolder) {
    auto network = CreateNetworkSerialDevice(std::make_unique<NetworkPortLock>(lockFolder));
    return CreateRoutingSerialDevice(
        std::move(resolve),
        [&lockFolder](PortResolver local) {
            return std::make_unique<LinuxSerialDevice>(std::move(local), lockFolder);
        },
        std::move(network));
}

std::unique_ptr<SerialDevice> CreateSystemSerialDevice(PortResolver resolve) {
    return CreateLinuxSerialDevice(std::move(resolve), kSystemLockFolder);
}

}  // namespace vx::platform
