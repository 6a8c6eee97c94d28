#pragma once

#include <atomic>
#include <memory>

#include "platform/passthrough_device.h"

namespace vx::ctl {

// The machine's serial device, with what the command line wants to know of
// it: how many opens succeeded (none at all means exit code 3), how many
// live exchanges were sent, and a way to stop a search worker early.
class WatchedDevice final : public platform::PassThroughDevice {
public:
    using PassThroughDevice::PassThroughDevice;

    platform::PortOpen Open(const std::string& comName) override;
    void Write(const std::uint8_t* data, std::size_t count) override;

    int Opened() const { return opened_; }
    // Counts the opens that other devices made on this one's behalf.
    void CountOpens(int tried, int opened) {
        opensTried_ += tried;
        opened_ += opened;
    }
    void ResetCounts() { opensTried_ = opened_ = exchangesSent_ = 0; }
    int ExchangesSent() const { return exchangesSent_; }
    int OpensTried() const { return opensTried_; }
    // From now on every open fails, so a search ends after its current
    // combination; may be called from another thread.
    void Abandon() { abandoned_ = true; }

private:
    std::atomic<bool> abandoned_{false};
    std::atomic<int> opensTried_{0};
    int opened_ = 0;
    int exchangesSent_ = 0;
};

}  // namespace vx::ctl
