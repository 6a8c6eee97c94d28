#include "link/link.h"
#include "protocol/com_names.h"

namespace vx::link {

namespace {

constexpr std::uint32_t kByteWritePauseMs = 1;
constexpr std::uint32_t kBlockWritePauseMs = 5;

}  // namespace

Link::Link(platform::SerialDevice& port, platform::Clock& clock, platform::EventPump& events)
    : port_(port), clock_(clock), events_(events) {
    port_.WhileWaiting([&events] { events.RunPending(); });
}

bool Link::OpenCommPort(int portNumber, const std::string& lineSettings) {
    previousCommand_.clear();
    lastOpen_ = port_.Open(protocol::ComName(portNumber));
    if (!lastOpen_.Opened())
        return false;
    // A refused text is deliberately not a failure: the port stays open with
    // the settings it had, and the missing reply tells the caller the rest.
    port_.ApplyLineSettings(lineSettings);
    return true;
}

void Link::CloseCommPort() {
    previousCommand_.clear();
    port_.Close();
}

void Link::CommWriteByte(int value) {
    const auto byte = static_cast<std::uint8_t>(value & 0xFF);
    port_.Write(&byte, 1);
    clock_.SleepMs(kByteWritePauseMs);
}

void Link::CommWriteBlock(const std::uint8_t* data, int count) {
    if (count > 0)
        port_.Write(data, static_cast<std::size_t>(count));
    clock_.SleepMs(kBlockWritePauseMs);
}

}  // namespace vx::link
