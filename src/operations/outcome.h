#pragma once

#include <optional>
#include <string>
#include <utility>

#include "protocol/commands.h"

namespace vx::ops {

// How an operation ended. The window shows the same through its lamp,
// status and beep; callers without a window read it here.
enum class Result {
    Succeeded,  // scan: found and read completely; setting: every command answered
    NotFound,   // scan: nothing answered on any port and line setting tried
    Refused,    // a setting or a live run while no scan has found the module
    Failed,     // gave up at Outcome::failedAt
    Stopped,    // live run: the user's stop (the stop click itself answers it too)
    LinkLost,   // live run: the module stopped answering
    PortGone,   // live run: the port itself went (a pulled adapter, a dropped connection)
};

// Where a failed operation gave up; for the settings, in their last attempt.
enum class Step {
    None,
    OpenPort,     // the port would not open
    Identify,     // "B00B" unanswered, or answered at another length
    Command,      // a command of the setting unanswered: Outcome::failedCommand
    ReadVersion,  // the scan's information: "B00V" unanswered in every attempt
    ReadMode,     // "B00G" unanswered
    ReadNoNc,     // "B00A" unanswered
};

// What an operation learned of the module, as far as it got: a field it did
// not reach stays empty.
struct ModuleFacts {
    int port = 0;                  // the COM number it reached the module at, or tried to
    std::optional<int> lineIndex;  // that line setting's index in LineSettingsList
    std::string lineSettings;      // and its text
    std::string idText;            // the ID field as the module sent it
    std::optional<int> id;         // that field as an ID, when it is one in range
    std::string serial;            // the serial number field
    std::string version;           // the version field
    std::optional<int> mode;       // kModeHold or kModeNormal
    std::optional<protocol::ChannelFlags> noNc;
    std::optional<protocol::ChannelFlags> inputs;  // a live run's last reading

    bool operator==(const ModuleFacts&) const = default;
};

struct Outcome {
    Result result = Result::Failed;
    Step failedAt = Step::None;
    int failedCommand = 0;  // with Step::Command: the setting's command, counted from 1
    ModuleFacts module;

    // An outcome that failed nowhere in particular, with what was learned.
    static Outcome Of(Result result, ModuleFacts module = {}) {
        Outcome outcome;
        outcome.result = result;
        outcome.module = std::move(module);
        return outcome;
    }

    // What the window reports with the yellow lamp and the high tone.
    bool Ok() const { return result == Result::Succeeded || result == Result::Stopped; }
    bool operator==(const Outcome&) const = default;
};

}  // namespace vx::ops
