#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/serial_device.h"
#include "sim/sim_bus.h"

namespace vx::sim {

// One port whose every byte and millisecond is under a test's control: it
// records what is written, with the virtual time of each write, and hands
// back bytes that arrive at given virtual times, one read at a time, as a
// port read with a 1 ms time limit would.
class TimedPort final : public platform::SerialDevice {
public:
    struct Written {
        std::uint32_t atMs;
        std::string bytes;
    };

    explicit TimedPort(VirtualClock& clock) : clock_(clock) {}

    // `bytes` arrive one per `gapUs`, the first `delayMs` after now.
    void Arrive(const std::string& bytes, std::uint32_t delayMs, std::uint64_t gapUs);
    // The reply to the next frame: its bytes arrive one per `gapUs`, the
    // first `delayMs` after the frame's CR is written.
    void ReplyAfterCr(std::string bytes, std::uint32_t delayMs, std::uint64_t gapUs);

    platform::PortOpen Open(const std::string& comName) override;
    bool ApplyLineSettings(const std::string&) override { return acceptsSettings_; }
    // From now on every line-settings text is refused, as a driver may.
    void RefuseLineSettings() { acceptsSettings_ = false; }
    void Write(const std::uint8_t* data, std::size_t count) override;
    std::optional<std::uint8_t> ReadByte() override;
    std::optional<std::uint8_t> ReadByteWithin(std::uint32_t waitMs) override;
    // How many reads the port was asked for, of either kind.
    int Reads() const { return reads_; }
    // Drops the bytes that have arrived by now; those still on the way come.
    void DiscardInput() override;
    void Close() override { open_ = false; }
    bool IsOpen() const override { return open_; }

    const std::vector<Written>& Writes() const { return written_; }
    std::string AllWritten() const;
    const std::string& OpenedName() const { return openedName_; }

private:
    std::optional<std::uint8_t> ReadWithin(std::uint64_t limitUs);

    struct Arrival {
        std::uint64_t dueUs;
        std::uint8_t byte;
    };
    VirtualClock& clock_;
    std::deque<Arrival> arrivals_;
    int reads_ = 0;
    std::vector<Written> written_;
    std::string pendingReply_;
    std::uint32_t replyDelayMs_ = 0;
    std::uint64_t replyGapUs_ = 0;
    std::string openedName_;
    bool open_ = false;
    bool acceptsSettings_ = true;
};

}  // namespace vx::sim
