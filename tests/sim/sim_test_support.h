#pragma once

#include <algorithm>
#include <string>

#include "link/link.h"
#include "link/transaction.h"
#include "platform/event_pump.h"
#include "sim/faults.h"
#include "sim/timed_port.h"

namespace vx::sim::test {

// The bytes the tool writes for a command.
inline std::string CommandFrameBytes(const std::string& command) {
    const auto sum = link::CommandChecksum(command, static_cast<int>(command.size()));
    return static_cast<char>(link::kCommandLead) + command + link::ByteToHex(sum) +
           static_cast<char>(link::kFrameEnd);
}

// Whether the link takes these bytes, arriving as the reply to a command,
// for one good reply frame that is all of them.
inline bool LinkAcceptsFrame(const std::string& bytes) {
    constexpr std::uint64_t kByteGapUs = 100;
    VirtualClock clock;
    TimedPort port(clock);
    platform::InstallableEventPump events;
    link::Link link(port, clock, events);
    port.ReplyAfterCr(bytes, 1, kByteGapUs);
    link.OpenCommPort(1, "115200,n,8,1");
    return link.SendCommand("B00B") && link.ReplyLength() == static_cast<int>(bytes.size());
}

// A test case name for a fault: its own name with '-' not allowed there.
inline std::string FaultCaseName(Fault fault) {
    std::string name = FaultName(fault);
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

}  // namespace vx::sim::test
