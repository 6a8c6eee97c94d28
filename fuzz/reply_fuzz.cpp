// Arbitrary bytes from the line through the reply wait, on virtual time. The
// first input byte is the delay in milliseconds from the first frame's CR to
// the first byte, the second the gap between bytes in tens of microseconds;
// the rest arrive one after the other while two commands are sent in a row.
#include <cstddef>
#include <cstdint>
#include <string>

#include "link/link.h"
#include "link/transaction.h"
#include "platform/event_pump.h"
#include "sim/sim_bus.h"
#include "sim/timed_port.h"

namespace {

constexpr std::uint64_t kGapUnitUs = 10;
constexpr std::size_t kHeaderBytes = 2;
// Write pauses, the reply window, the last read, one tick of rounding, and a
// stream that never falls silent: it is read for at most one receive buffer
// past the window, each byte within the 1 ms read limit.
constexpr std::uint32_t kLongestTransactionMs =
    9 + vx::link::kReplyWindowMs + 2 + vx::link::kRecvBufferSize + 1;

void Check(bool holds) {
    if (!holds)
        __builtin_trap();
}

void Transact(vx::sim::VirtualClock& clock, vx::link::Link& link, const std::string& command) {
    const std::uint32_t start = clock.TickMs();
    const bool accepted = link.SendCommand(command);
    Check(clock.TickMs() - start <= kLongestTransactionMs);
    Check(link.ReplyLength() >= 0 && link.ReplyLength() < vx::link::kRecvBufferSize);
    if (accepted) {
        Check(link.CheckReplyChecksum());
        Check(!link.ReplyText().empty() && link.ReplyText().front() == '\n');
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kHeaderBytes)
        return 0;
    vx::sim::VirtualClock clock;
    vx::sim::TimedPort port(clock);
    port.ReplyAfterCr(
        std::string(reinterpret_cast<const char*>(data + kHeaderBytes), size - kHeaderBytes),
        data[0], data[1] * kGapUnitUs);
    vx::platform::InstallableEventPump events;
    vx::link::Link link(port, clock, events);
    Check(link.OpenCommPort(1, "115200,n,8,1"));
    Transact(clock, link, "B00B");
    Transact(clock, link, "B00V");
    link.CloseCommPort();
    return 0;
}
