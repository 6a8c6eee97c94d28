#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "protocol/commands.h"
#include "protocol/line_settings.h"
#include "sim/frame_codec.h"

namespace vx::sim {

// How the module's inputs are wired on the simulated bench.
enum class InputWiring {
    OutputsThroughNoNc,  // input k reads output k, inverted where its NO/NC flag is set
    Fixed,               // inputs stay at ModuleState::fixedInputs
};

struct ModuleState {
    int id = 1;                         // bus ID, as the factory sets it
    std::string serial = "12345678";    // protocol::kSerialLength characters
    std::string version = "03.20-01";   // protocol::kVersionLength characters
    char mode = protocol::kHoldLetter;  // or protocol::kNormalLetter
    protocol::ChannelFlags noNc{};
    int lineIndex = protocol::kDefaultLineSettingsIndex;
    protocol::ChannelFlags outputs{};
    InputWiring wiring = InputWiring::OutputsThroughNoNc;
    protocol::ChannelFlags fixedInputs{};
};

// A reply the module wants to send, and what must happen once it is out.
struct ModuleReply {
    std::string frame;                       // LF, text, checksum digits, CR
    std::optional<int> lineIndexAfterReply;  // "B00E": new line settings after the reply
};

// The pure protocol model of the module: bytes in, reply frames out. It knows
// nothing of time, ports or faults; the front ends add those.
class ModuleModel {
public:
    explicit ModuleModel(ModuleState state = {});

    // Feeds one byte received at the module's own line settings. Returns the
    // reply when the byte completes a well-formed command the module answers.
    std::optional<ModuleReply> Receive(std::uint8_t byte);

    // Answers one command text directly (no framing), as Receive() would.
    std::optional<ModuleReply> Answer(const std::string& command);

    // To be called when the reply has left the wire.
    void ReplySent(const ModuleReply& reply);

    const ModuleState& State() const { return state_; }
    protocol::ChannelFlags Inputs() const;
    std::string LineSettings() const;  // LineSettingsList[lineIndex]

private:
    std::optional<ModuleReply> AnswerOwn(const std::string& letterAndArgs);
    std::string Head() const;

    ModuleState state_;
    CommandFrameReader reader_;
};

}  // namespace vx::sim
