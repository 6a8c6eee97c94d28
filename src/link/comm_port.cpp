#include "link/comm_port.h"

#include <chrono>
#include <string>
#include <thread>

namespace vx::link {

namespace {

constexpr std::uint32_t kByteWritePauseMs = 1;
constexpr std::uint32_t kBlockWritePauseMs = 5;

// Until the program attaches the real pieces the link talks to nothing: no
// port opens, time stands still and no events run. Calling it then is a
// programming error, so the defaults only keep it from crashing.
class NoPort final : public platform::SerialDevice {
public:
    bool Open(const std::string&) override { return false; }
    bool ApplyLineSettings(const std::string&) override { return false; }
    void Write(const std::uint8_t*, std::size_t) override {}
    std::optional<std::uint8_t> ReadByte() override { return std::nullopt; }
    void DiscardInput() override {}
    void Close() override {}
    bool IsOpen() const override { return false; }
};

// Standard C++ time, so that an unattached link still ends its waits.
class StandardClock final : public platform::Clock {
public:
    std::uint32_t TickMs() override {
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        return static_cast<std::uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
    }
    void SleepMs(std::uint32_t ms) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
};

NoPort noPort;
StandardClock standardClock;
platform::InstallableEventPump noEvents;

// Attached per thread, like the transaction's buffers.
thread_local platform::SerialDevice* port = &noPort;
thread_local platform::Clock* clock = &standardClock;
thread_local platform::EventPump* events = &noEvents;

}  // namespace

void AttachPlatform(platform::SerialDevice& serialPort, platform::Clock& linkClock,
                    platform::EventPump& eventPump) {
    port = &serialPort;
    clock = &linkClock;
    events = &eventPump;
}

platform::SerialDevice& Port() {
    return *port;
}
platform::Clock& LinkClock() {
    return *clock;
}
platform::EventPump& LinkEvents() {
    return *events;
}

bool OpenCommPort(int portNumber, const std::string& lineSettings) {
    if (!port->Open("COM" + std::to_string(portNumber)))
        return false;
    // A refused text is deliberately not a failure: the port stays open with
    // the settings it had, and the missing reply tells the caller the rest.
    port->ApplyLineSettings(lineSettings);
    return true;
}

void CloseCommPort() {
    port->Close();
}

void CommWriteByte(int value) {
    const auto byte = static_cast<std::uint8_t>(value & 0xFF);
    port->Write(&byte, 1);
    clock->SleepMs(kByteWritePauseMs);
}

void CommWriteBlock(const std::uint8_t* data, int count) {
    if (count > 0)
        port->Write(data, static_cast<std::size_t>(count));
    clock->SleepMs(kBlockWritePauseMs);
}

}  // namespace vx::link
