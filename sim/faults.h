#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace vx::sim {

enum class Fault {
    None,
    NoReply,      // the command is swallowed
    LateReply,    // the reply comes after the tool's reply window
    BadChecksum,  // one checksum digit is wrong
    LowercaseChecksum,
    WrongLength,   // one text character more than due, checksum still right
    LeadingNoise,  // a stray byte before the LF
    SplitReply,    // the reply arrives in two parts with a pause between
    HangUp,        // the port vanishes instead of answering
    HighBytes,     // 0xFF in the two text places the tool never reads, checksum still right
};
// Every fault lies from None to this one; a new one goes last and moves it.
inline constexpr Fault kLastFault = Fault::HighBytes;

// Every fault, None first.
std::vector<Fault> AllFaults();

// The option names of the faults ("no-reply", "late-reply", ...).
std::string FaultName(Fault fault);
std::optional<Fault> FaultFromName(const std::string& name);
// What the fault does to a reply, in a few words for the help; it may run
// over lines ("" for None).
std::string FaultHelp(Fault fault);

// Which faults to apply: a queue per command letter(s), or at random with a
// seed. A per-command fault is used once, in the order queued.
class FaultPlan {
public:
    // `command` is matched as a prefix of the command text ("B00B", "B00I").
    // When several queued prefixes match, the shortest one goes first.
    void Queue(const std::string& command, Fault fault, int times = 1);
    // Each reply without a queued fault gets, with this probability, one of
    // the faults that damage a reply. A hang-up is never chosen at random: it
    // would end the session for good.
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
inline constexpr std::uint8_t kNoiseByte = 0xFF;

// One piece of a reply as it goes out: a pause, then bytes back to back.
struct ReplyPart {
    std::uint32_t pauseMs;  // after the previous part has left (or the reply is ready)
    std::string bytes;
};

// A reply frame after a fault has been applied to it.
struct FaultedReply {
    std::vector<ReplyPart> parts;  // empty: nothing is sent
    bool hangUp = false;           // the port vanishes instead
};

// The one place where a fault changes a reply frame; both front ends send
// what this returns.
FaultedReply ApplyFault(const std::string& frame, Fault fault);

}  // namespace vx::sim
