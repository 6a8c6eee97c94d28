#include "sim/module_model.h"

#include <utility>

namespace vx::sim {

namespace {

constexpr char kReplyMark = '!';
constexpr char kReplyHeadEnd = ',';

std::optional<int> ParseLineCode(const std::string& args) {
    if (args.size() != 1)
        return std::nullopt;
    return protocol::ParseLineSettingsCode(args[0]);
}

}  // namespace

ModuleModel::ModuleModel(ModuleState state) : state_(std::move(state)) {}

std::optional<ModuleReply> ModuleModel::Receive(std::uint8_t byte) {
    const auto frame = reader_.Feed(byte);
    if (!frame || !frame->checksumOk)
        return std::nullopt;
    return Answer(frame->command);
}

std::optional<ModuleReply> ModuleModel::Answer(const std::string& command) {
    if (command.size() < protocol::kCommandHeadLength || command[0] != protocol::kCommandMark)
        return std::nullopt;
    const std::string address = command.substr(1, 2);
    if (address != protocol::kBroadcastAddress && address != protocol::IdText(state_.id))
        return std::nullopt;
    return AnswerOwn(command.substr(protocol::kCommandHeadLength - 1));
}

std::optional<ModuleReply> ModuleModel::AnswerOwn(const std::string& letterAndArgs) {
    const char letter = letterAndArgs[0];
    const std::string args = letterAndArgs.substr(1);
    const auto reply = [this](const std::string& data) {
        return ModuleReply{FrameReply(Head() + data), std::nullopt};
    };
    switch (letter) {
        case 'B':
            if (args.empty())
                return reply(state_.serial);
            break;
        case 'V':
            if (args.empty())
                return reply(state_.version);
            break;
        case 'G':
            if (args.empty())
                return reply(std::string(1, state_.mode));
            if (args == std::string(1, protocol::kHoldLetter) ||
                args == std::string(1, protocol::kNormalLetter)) {
                state_.mode = args[0];
                return reply("");
            }
            break;
        case 'A':
            if (args.empty())
                return reply(protocol::FlagString(state_.noNc));
            if (const auto flags = protocol::ParseFlagString(args)) {
                state_.noNc = *flags;
                return reply("");
            }
            break;
        case 'C': {
            if (args.size() < protocol::kSerialLength)
                break;
            const auto id = protocol::ParseIdText(args.substr(protocol::kSerialLength));
            // Only the module with that serial number takes the new ID; the
            // others keep quiet so that a shared bus stays silent.
            if (!id || args.substr(0, protocol::kSerialLength) != state_.serial)
                break;
            state_.id = *id;
            return reply("");
        }
        case 'E': {
            const auto index = ParseLineCode(args);
            if (!index)
                break;
            // The acknowledgement still goes out at the old settings.
            return ModuleReply{FrameReply(Head()), index};
        }
        case 'I': {
            const auto outputs = protocol::ParseFlagString(args);
            if (!outputs)
                break;
            state_.outputs = *outputs;
            return reply(protocol::FlagString(Inputs()));
        }
        default:
            break;
    }
    return std::nullopt;
}

void ModuleModel::ReplySent(const ModuleReply& reply) {
    if (reply.lineIndexAfterReply)
        state_.lineIndex = *reply.lineIndexAfterReply;
}

protocol::ChannelFlags ModuleModel::Inputs() const {
    if (state_.wiring == InputWiring::Fixed)
        return state_.fixedInputs;
    protocol::ChannelFlags inputs{};
    for (std::size_t k = 0; k < inputs.size(); ++k) inputs[k] = state_.outputs[k] != state_.noNc[k];
    return inputs;
}

std::string ModuleModel::LineSettings() const {
    return protocol::IsLineSettingsIndex(state_.lineIndex)
               ? protocol::LineSettingsList[static_cast<std::size_t>(state_.lineIndex)]
               : "";
}

std::string ModuleModel::Head() const {
    return kReplyMark + protocol::IdText(state_.id) + kReplyHeadEnd;
}

}  // namespace vx::sim
