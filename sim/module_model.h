#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "link/commands.h"

namespace vx::sim {

// How the module's inputs are wired on the simulated bench.
enum class InputWiring {
    OutputsThroughNoNc,  // input k reads output k, inverted where its NO/NC flag is set
    Fixed,               // inputs stay at ModuleState::fixedInputs
};

struct ModuleState {
    int id = 1;                        // bus ID 1..99
    std::string serial = "12345678";   // 8 characters
    std::string version = "03.20-01";  // 8 characters
    char mode = 'H';                   // 'H' Hold, 'S' Normal
    link::ChannelFlags noNc{};
    int lineIndex = 5;  // index into LineSettingsList
    link::ChannelFlags outputs{};
    InputWiring wiring = InputWiring::OutputsThroughNoNc;
    link::ChannelFlags fixedInputs{};
};

// A command frame as it arrived: TAB, text, two checksum digits, CR.
struct CommandFrame {
    std::string command;  // the text between TAB and the checksum digits
    bool checksumOk;      // digits are the uppercase hex of 9 XOR the text
};

// Collects command frames from a byte stream. Bytes outside a frame are
// dropped; a TAB always starts a new frame, so garbage before it is harmless.
class CommandFrameReader {
public:
    std::optional<CommandFrame> Feed(std::uint8_t byte);

private:
    std::string pending_;
    bool inFrame_ = false;
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
    ModuleState& MutableState() { return state_; }
    link::ChannelFlags Inputs() const;
    std::string LineSettings() const;  // LineSettingsList[lineIndex]

private:
    std::optional<ModuleReply> AnswerOwn(const std::string& letterAndArgs);
    std::string Head() const;

    ModuleState state_;
    CommandFrameReader reader_;
};

// LF + text + checksum digits + CR, as the module frames a reply.
std::string FrameReply(const std::string& text);

}  // namespace vx::sim
