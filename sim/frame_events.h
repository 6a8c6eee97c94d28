#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vx::sim {

// What the module made of a command frame it received.
enum class Verdict {
    Answered,
    Faulted,      // answered, with a fault applied to the reply
    Unanswered,   // a good frame the module does not answer
    BadChecksum,  // ignored
    OtherBaud,    // sent at a baud rate the module does not listen at
    SilentPort,   // nobody there
};

// One command frame as vxsim saw it: for programs that follow a run, where
// the log is for people and may change its wording.
struct FrameEvent {
    std::uint64_t atUs = 0;  // since vxsim started
    std::string port;        // the path the port was given as
    std::string command;     // the text between TAB and the checksum digits
    Verdict verdict = Verdict::Answered;

    bool operator==(const FrameEvent&) const = default;
};

// "MICROSECONDS PORT COMMAND VERDICT", no line end. In PORT and COMMAND every
// byte that is not printable ASCII, a blank or a backslash stands as \xHH,
// so the four fields always split at the blanks.
std::string EventLine(const FrameEvent& event);
std::optional<FrameEvent> ParseEventLine(std::string_view line);

// The verdicts as EventLine writes them ("answered", "bad-checksum", ...).
std::string VerdictName(Verdict verdict);
// All of them, separated by `separator`, for the help.
std::string JoinedVerdictNames(std::string_view separator);

}  // namespace vx::sim
