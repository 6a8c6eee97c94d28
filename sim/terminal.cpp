#include "sim/terminal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <optional>
#include <sstream>
#include <utility>

namespace vx::sim {

namespace {

constexpr std::size_t kPathLength = 128;

constexpr std::array<std::pair<std::uint32_t, speed_t>, 9> kSpeeds = {{
    {1200, B1200},
    {2400, B2400},
    {4800, B4800},
    {9600, B9600},
    {19200, B19200},
    {38400, B38400},
    {57600, B57600},
    {115200, B115200},
    {230400, B230400},
}};

std::optional<speed_t> SpeedOf(std::uint32_t baud) {
    for (const auto& [rate, speed] : kSpeeds) {
        if (rate == baud)
            return speed;
    }
    return std::nullopt;
}

std::uint32_t BaudOf(speed_t speed) {
    for (const auto& [rate, each] : kSpeeds) {
        if (each == speed)
            return rate;
    }
    return 0;
}

tcflag_t DataBitsFlag(unsigned bits) {
    switch (bits) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        default:
            return CS8;
    }
}

}  // namespace

bool ApplyLine(int fd, const protocol::LineSettings& line) {
    using protocol::Parity;
    termios settings{};
    const auto speed = SpeedOf(line.baudRate);
    if (!speed || tcgetattr(fd, &settings) != 0)
        return false;
    cfmakeraw(&settings);
    settings.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    settings.c_cflag |= CLOCAL | CREAD | DataBitsFlag(line.dataBits);
    if (line.parity != Parity::None)
        settings.c_cflag |= PARENB;
    if (line.parity == Parity::Odd || line.parity == Parity::Mark)
        settings.c_cflag |= PARODD;
    if (line.parity == Parity::Mark || line.parity == Parity::Space)
        settings.c_cflag |= CMSPAR;
    if (line.stopBits != protocol::StopBits::One)
        settings.c_cflag |= CSTOPB;
    cfsetispeed(&settings, *speed);
    cfsetospeed(&settings, *speed);
    return tcsetattr(fd, TCSANOW, &settings) == 0;
}

std::string Describe(const std::string& what, const std::string& path) {
    std::ostringstream text;
    text << what << " " << path << ": " << std::strerror(errno);
    return text.str();
}

std::uint32_t TerminalBaud(int fd) {
    termios settings{};
    return fd >= 0 && tcgetattr(fd, &settings) == 0 ? BaudOf(cfgetospeed(&settings)) : 0;
}

std::string OpenPty(const std::string& linkPath, int& fd, std::string& slavePath) {
    fd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    std::array<char, kPathLength> name{};
    if (fd < 0 || grantpt(fd) != 0 || unlockpt(fd) != 0 ||
        ptsname_r(fd, name.data(), name.size()) != 0) {
        return Describe("cannot create a pseudo-terminal for", linkPath);
    }
    slavePath = name.data();
    // Raw, and at a speed none of the twelve line settings uses: a client
    // whose settings the terminal refuses keeps this one and reaches nobody.
    const int slave = open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave >= 0) {
        constexpr unsigned kRestingDataBits = 8;
        ApplyLine(slave, {kRestingBaud, protocol::Parity::None, kRestingDataBits,
                          protocol::StopBits::One});
        close(slave);
    }
    struct stat existing {};
    if (lstat(linkPath.c_str(), &existing) == 0) {
        if (!S_ISLNK(existing.st_mode))
            return linkPath + " exists and is not a symbolic link";
        unlink(linkPath.c_str());
    }
    if (symlink(slavePath.c_str(), linkPath.c_str()) != 0)
        return Describe("cannot create", linkPath);
    return "";
}

void RemoveLinkTo(const std::string& linkPath, const std::string& target) {
    std::array<char, kPathLength> found{};
    const ssize_t length = readlink(linkPath.c_str(), found.data(), found.size() - 1);
    if (length > 0 && std::string(found.data(), static_cast<std::size_t>(length)) == target)
        unlink(linkPath.c_str());
}

}  // namespace vx::sim
