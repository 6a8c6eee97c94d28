#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "platform/passthrough_device.h"

namespace vx::ctl {

// A port that did not open, what it stands for, and why.
struct RefusedOpen {
    std::string comName;
    std::string device;  // empty for a number that names nothing
    platform::PortOpen open;
};

// The machine's serial device, with what the command line wants to know of
// it: how many opens succeeded (none at all means exit code 3) and why one
// failed, how many live exchanges were sent, and a way to stop a search
// worker early.
class WatchedDevice final : public platform::PassThroughDevice {
public:
    // `resolve` tells what each port number stands for, as the inner
    // device's own resolver does.
    WatchedDevice(std::unique_ptr<platform::SerialDevice> inner, platform::PortResolver resolve)
        : PassThroughDevice(std::move(inner)), resolve_(std::move(resolve)) {}

    platform::PortOpen Open(const std::string& comName) override;
    void Write(const std::uint8_t* data, std::size_t count) override;

    int Opened() const { return opened_; }
    // Takes in the opens that another device made on this one's behalf.
    void Absorb(const WatchedDevice& other);
    void ResetCounts() {
        opensTried_ = opened_ = exchangesSent_ = 0;
        refused_.reset();
    }
    // The most telling refusal since the counts were reset: one that names a
    // reason (busy, permission, not serial) before a port that is missing,
    // and a missing port that stands for something (a port asked for, or one
    // the table maps) before a number that names nothing.
    const std::optional<RefusedOpen>& Refused() const { return refused_; }
    int ExchangesSent() const { return exchangesSent_; }
    int OpensTried() const { return opensTried_; }
    // From now on every open fails, and a network port's connect gives up
    // at once, so a search ends within its current combination; may be
    // called from another thread.
    void Abandon() override {
        abandoned_ = true;
        PassThroughDevice::Abandon();
    }

private:
    void Note(const RefusedOpen& refused);

    platform::PortResolver resolve_;
    std::atomic<bool> abandoned_{false};
    std::atomic<int> opensTried_{0};
    int opened_ = 0;
    int exchangesSent_ = 0;
    std::optional<RefusedOpen> refused_;
};

}  // namespace vx::ctl
