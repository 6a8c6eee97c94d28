// Arbitrary bytes from the line, through the reply wait on virtual time: the
// first input byte sets the delay of the reply, the rest arrive at wire speed
// as the module's whole answer to two commands in a row.
#include <cstddef>
#include <cstdint>
#include <string>

#include "link/comm_port.h"
#include "link/transaction.h"
#include "platform/event_pump.h"
#include "sim/sim_bus.h"

namespace {

constexpr int kCom = 1;
// Write pauses, the reply window, the last read and one tick of rounding.
constexpr std::uint32_t kLongestTransactionMs = 9 + vx::link::kReplyWindowMs + 2;

void Check(bool holds) {
    if (!holds)
        __builtin_trap();
}

void Transact(vx::sim::VirtualClock& clock, const std::string& command) {
    const std::uint32_t start = clock.TickMs();
    const bool accepted = vx::link::SendCommand(command);
    Check(clock.TickMs() - start <= kLongestTransactionMs);
    Check(vx::link::ReplyLength >= 0 && vx::link::ReplyLength < vx::link::kRecvBufferSize);
    if (accepted) {
        Check(vx::link::CheckReplyChecksum());
        Check(!vx::link::ReplyText.empty() && vx::link::ReplyText.front() == '\n');
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    vx::sim::VirtualClock clock;
    vx::sim::SimBus bus(clock);
    vx::platform::InstallableEventPump events;
    const std::uint32_t delayMs = data[0];
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    bus.AddScriptedPort(kCom, [&](const std::string&) {
        return std::vector<vx::sim::TimedBytes>{{delayMs, bytes}};
    });
    vx::link::AttachPlatform(bus, clock, events);
    Check(vx::link::OpenCommPort(kCom, "115200,n,8,1"));
    Transact(clock, "B00B");
    Transact(clock, "B00V");
    vx::link::CloseCommPort();
    return 0;
}
