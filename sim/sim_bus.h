#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/serial_device.h"
#include "sim/faults.h"
#include "sim/module_model.h"

namespace vx::sim {

// Virtual time for tests: sleeping and empty reads advance it, nothing else
// does, so a full scan runs in milliseconds and every pause can be asserted.
class VirtualClock final : public platform::Clock {
public:
    // Starts with the tick counter at `startMs`, so wrap-around can be tested.
    explicit VirtualClock(std::uint32_t startMs = 0);
    std::uint32_t TickMs() override;          // NowUs() / 1000, wrapping at 2^32
    void SleepMs(std::uint32_t ms) override;  // advances
    std::uint64_t NowUs() const;
    void AdvanceUs(std::uint64_t us);

private:
    std::uint64_t nowUs_;
};

// A command frame as the simulated bus saw it arrive.
struct WireFrame {
    std::uint32_t atMs;  // virtual tick when its CR was written
    int comNumber;
    std::string lineSettings;  // settings the port was open with
    std::string command;       // the text between TAB and the checksum digits
    bool checksumOk;
};

// Reply bytes a scripted endpoint sends, at a delay after the frame's CR. They
// travel at the speed of the settings the port is open with, so a part starts
// no earlier than the previous one has ended.
struct TimedBytes {
    std::uint32_t delayMs;
    std::string bytes;
};
// Called for every complete command frame written to the port, whatever its
// checksum and line settings.
using Responder = std::function<std::vector<TimedBytes>(const std::string& command)>;

// The COM ports of a simulated machine, on virtual time, as one SerialDevice.
// Bytes travel at wire speed for the line settings in use; a module answers
// only when the port is open at its own line settings. Like real ports, each
// keeps its line settings across opens, starting at "9600,n,8,1".
class SimBus final : public platform::SerialDevice {
public:
    explicit SimBus(VirtualClock& clock);
    ~SimBus() override;

    // Port set-up. A COM number with nothing added is absent (Open fails).
    ModuleModel& AddModule(int comNumber, ModuleState state = {});
    FaultPlan& Faults(int comNumber);
    void AddSilentPort(int comNumber);  // opens, never answers
    void AddBusyPort(int comNumber);    // present, held by another program
    void AddScriptedPort(int comNumber, Responder responder);
    // Queues raw bytes to arrive on a port at a virtual delay from now, all at
    // once. Like every byte waiting at a port, they are lost when it closes.
    void InjectBytes(int comNumber, const std::string& bytes, std::uint32_t delayMs = 0);
    // The adapter is pulled: reads yield nothing, writes vanish, opens fail.
    void Unplug(int comNumber);

    // What the tool did, for assertions.
    const std::vector<WireFrame>& Frames() const;
    std::vector<std::string> Commands() const;  // just the command texts
    int OpenCount() const;                      // successful opens
    int CloseCount() const;                     // every Close() call, even with nothing open

    // platform::SerialDevice
    platform::PortOpen Open(const std::string& comName) override;
    bool ApplyLineSettings(const std::string& text) override;
    void Write(const std::uint8_t* data, std::size_t count) override;
    std::optional<std::uint8_t> ReadByte() override;
    // Drops the bytes that have arrived by now; those still on the wire come.
    void DiscardInput() override;
    void Close() override;
    bool IsOpen() const override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace vx::sim
