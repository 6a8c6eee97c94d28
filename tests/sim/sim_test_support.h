#pragma once

#include <algorithm>
#include <string>

#include "link/transaction.h"
#include "sim/faults.h"

namespace vx::sim::test {

// The bytes the tool writes for a command.
inline std::string CommandFrameBytes(const std::string& command) {
    const auto sum = link::CommandChecksum(command, static_cast<int>(command.size()));
    return static_cast<char>(link::kCommandLead) + command + link::ByteToHex(sum) +
           static_cast<char>(link::kFrameEnd);
}

// Whether the link's own check takes these bytes as one good reply frame.
inline bool LinkAcceptsFrame(const std::string& bytes) {
    if (bytes.size() >= link::RecvBuffer.size())
        return false;
    link::RecvBuffer.fill(0);
    std::copy(bytes.begin(), bytes.end(), link::RecvBuffer.begin());
    link::ReplyLength = static_cast<int>(bytes.size());
    return bytes.front() == static_cast<char>(link::kReplyLead) &&
           bytes.back() == static_cast<char>(link::kFrameEnd) && link::CheckReplyChecksum();
}

// A test case name for a fault: its own name with '-' not allowed there.
inline std::string FaultCaseName(Fault fault) {
    std::string name = FaultName(fault);
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

}  // namespace vx::sim::test
