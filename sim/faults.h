#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <string>

namespace vx::sim {

enum class Fault {
    None,
    NoReply,         // the command is swallowed
    LateReply,       // the reply comes after the tool's reply window
    BadChecksum,     // one checksum digit is wrong
    LowercaseChecksum,
    WrongLength,     // one text character more than due, checksum still right
    LeadingNoise,    // a stray byte before the LF
    SplitReply,      // the reply arrives in two parts with a pause between
    HangUp,          // the port vanishes instead of answering
};

// Which faults to apply: a queue per command letter(s), or at random with a
// seed. A per-command fault is used once, in the order queued.
class FaultPlan {
public:
    // `command` is matched as a prefix of the command text ("B00B", "B00I").
    void Queue(const std::string& command, Fault fault, int times = 1);
    void SetRandom(double probability, std::uint32_t seed);

    // The fault for the next reply to this command (None if none applies).
    Fault Next(const std::string& command);

private:
    std::multimap<std::string, Fault> queued_;
    double probability_ = 0.0;
    std::mt19937 random_;
};

inline constexpr std::uint32_t kLateReplyDelayMs = 200;
inline constexpr std::uint32_t kSplitReplyPauseMs = 40;

}  // namespace vx::sim
