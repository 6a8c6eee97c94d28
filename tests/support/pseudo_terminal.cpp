#include "pseudo_terminal.h"

#include <asm/ioctls.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

namespace vx::platform::testing {

PseudoTerminal::PseudoTerminal() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        throw std::runtime_error("no pseudo-terminal available");
    }
    slavePath_ = ptsname(master_);
}

PseudoTerminal::~PseudoTerminal() {
    CloseMaster();
}

termios2 PseudoTerminal::Settings() const {
    termios2 settings{};
    ioctl(master_, TCGETS2, &settings);
    return settings;
}

void PseudoTerminal::SetSettings(const termios2& settings) {
    ioctl(master_, TCSETS2, &settings);
}

void PseudoTerminal::Send(const std::vector<std::uint8_t>& bytes) {
    if (write(master_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
        throw std::runtime_error("pseudo-terminal master refused bytes");
    }
}

std::vector<std::uint8_t> PseudoTerminal::Receive(std::size_t count, int waitMs) {
    std::vector<std::uint8_t> received;
    pollfd entry{master_, POLLIN, 0};
    while (received.size() < count && poll(&entry, 1, waitMs) > 0) {
        std::uint8_t byte = 0;
        if (read(master_, &byte, 1) != 1)
            break;
        received.push_back(byte);
    }
    return received;
}

void PseudoTerminal::CloseMaster() {
    if (master_ >= 0)
        close(master_);
    master_ = -1;
}

}  // namespace vx::platform::testing
