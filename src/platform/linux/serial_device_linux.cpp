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
#include "platform/network/network_serial_device.h"
#include "platform/serial_device.h"
#include "protocol/line_settings.h"

namespace vx::platform {
namespace {

using protocol::LineSettings;
using protocol::Parity;
using protocol::StopBits;

constexpr long kNanosPerMs = 1'000'000;
constexpr long kNanosPerSecond = 1'000'000'000;
constexpr long kReadWaitNs = kNanosPerMs;
// A write that makes no progress for this long is abandoned: with flow
// control off only a peer that stops reading (a pseudo-terminal) can stall it.
constexpr long kWriteStallNs = 1000 * kNanosPerMs;
// Drivers round a rate to what their clock divider can make.
constexpr unsigned kBaudTolerancePercent = 3;
constexpr unsigned kPercent = 100;

struct StandardRate {
    std::uint32_t rate;
    tcflag_t code;
};

constexpr std::array<StandardRate, 30> kStandardRates{{
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
}};

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

void MakeRaw(termios2& t) {
    t.c_iflag &=
        ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
}

void NoFlowControl(termios2& t) {
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    t.c_cflag &= ~CRTSCTS;
    t.c_cflag |= CLOCAL | CREAD;
}

void SetBaudRate(termios2& t, std::uint32_t rate) {
    tcflag_t code = BOTHER;
    for (const auto& standard : kStandardRates) {
        if (standard.rate == rate)
            code = standard.code;
    }
    // CIBAUD cleared: the input rate follows the output rate.
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= code;
    t.c_ispeed = rate;
    t.c_ospeed = rate;
}

tcflag_t CharacterSizeFlag(unsigned dataBits) {
    constexpr std::array<tcflag_t, 4> kSizes{CS5, CS6, CS7, CS8};
    constexpr unsigned kSmallestSize = 5;
    return kSizes.at(dataBits - kSmallestSize);
}

tcflag_t ParityFlags(Parity parity) {
    switch (parity) {
        case Parity::Even:
            return PARENB;
        case Parity::Odd:
            return PARENB | PARODD;
        case Parity::Mark:
            return PARENB | PARODD | CMSPAR;
        case Parity::Space:
            return PARENB | CMSPAR;
        case Parity::None:
            break;
    }
    return 0;
}

constexpr tcflag_t kFramingFlags = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;

void SetFraming(termios2& t, const LineSettings& settings) {
    t.c_cflag &= ~kFramingFlags;
    t.c_cflag |= CharacterSizeFlag(settings.dataBits) | ParityFlags(settings.parity);
    // With 5 data bits the UART turns this flag into 1.5 stop bits.
    if (settings.stopBits != StopBits::One)
        t.c_cflag |= CSTOPB;
}

bool RateClose(std::uint32_t actual, std::uint32_t wanted) {
    const auto difference = actual > wanted ? actual - wanted : wanted - actual;
    return std::uint64_t{difference} * kPercent <= std::uint64_t{wanted} * kBaudTolerancePercent;
}

constexpr tcflag_t kParityFlags = PARENB | PARODD | CMSPAR;

// A pseudo-terminal moves bytes, not bits: it has no parity to set, and the
// kernel always reports none. Simulated modules live on them, so there the
// parity of a text is taken as given rather than refusing every text that
// names one.
bool IsPseudoTerminal(int fd) {
    constexpr unsigned kFirstPtySlaveMajor = 136;  // UNIX98_PTY_SLAVE_MAJOR
    constexpr unsigned kPtySlaveMajors = 8;        // UNIX98_PTY_MAJOR_COUNT
    struct stat st {};
    return fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= kFirstPtySlaveMajor &&
           major(st.st_rdev) < kFirstPtySlaveMajor + kPtySlaveMajors;
}

// A driver that cannot do what was asked quietly changes the flags instead
// of failing, so the settings are read back to see whether they were taken.
bool TookSettings(const termios2& wanted, const termios2& actual, bool pseudoTerminal) {
    const tcflag_t checked = pseudoTerminal ? kFramingFlags & ~kParityFlags : kFramingFlags;
    return (actual.c_cflag & checked) == (wanted.c_cflag & checked) &&
           RateClose(actual.c_ospeed, wanted.c_ospeed);
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

    std::optional<std::uint8_t> ReadByte() override {
        const timespec deadline = After(Now(), kReadWaitNs);
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

private:
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
