#pragma once

#include <asm/termbits.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vx::platform::testing {

// A pseudo-terminal pair: the test holds the master side and plays the far
// end of the line; the code under test opens the slave like a serial port.
class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    const std::string& SlavePath() const { return slavePath_; }

    // The slave's settings, as the master side sees and sets them.
    termios2 Settings() const;
    void SetSettings(const termios2& settings);

    void Send(const std::vector<std::uint8_t>& bytes);
    // What arrived from the slave within `waitMs`, at most `count` bytes.
    std::vector<std::uint8_t> Receive(std::size_t count, int waitMs);

    // Hangs the line up, as a pulled USB adapter does.
    void CloseMaster();

private:
    int master_ = -1;
    std::string slavePath_;
};

}  // namespace vx::platform::testing
