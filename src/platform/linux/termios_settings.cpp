// Line settings through the kernel's termios2 interface; see
// serial_device_linux.cpp for why the glibc <termios.h> is not used.
#include "platform/linux/termios_settings.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <array>
#include <cstdint>

namespace vx::platform {
namespace {

using protocol::LineSettings;
using protocol::Parity;
using protocol::StopBits;

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

bool RateClose(std::uint32_t actual, std::uint32_t wanted) {
    const auto difference = actual > wanted ? actual - wanted : wanted - actual;
    return std::uint64_t{difference} * kPercent <= std::uint64_t{wanted} * kBaudTolerancePercent;
}

constexpr tcflag_t kParityFlags = PARENB | PARODD | CMSPAR;

}  // namespace

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

void SetFraming(termios2& t, const LineSettings& settings) {
    t.c_cflag &= ~kFramingFlags;
    t.c_cflag |= CharacterSizeFlag(settings.dataBits) | ParityFlags(settings.parity);
    // With 5 data bits the UART turns this flag into 1.5 stop bits.
    if (settings.stopBits != StopBits::One)
        t.c_cflag |= CSTOPB;
}

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

}  // namespace vx::platform
