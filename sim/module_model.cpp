#include "sim/module_model.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "link/comm_port.h"
#include "link/transaction.h"

namespace vx::sim {

namespace {

constexpr std::size_t kMaxFrameText = 255 + 2;  // longest text plus its checksum digits
constexpr std::size_t kChecksumDigits = 2;
constexpr std::size_t kCommandHeadLength = 4;  // "B", two address digits, the letter
constexpr char kCommandMark = 'B';
constexpr const char* kBroadcastAddress = "00";
constexpr char kReplyMark = '!';
constexpr char kReplyHeadEnd = ',';
constexpr std::size_t kSerialLength = 8;
constexpr std::size_t kIdLength = 2;
constexpr int kMinId = 1;
constexpr int kMaxId = 99;
constexpr char kHold = 'H';
constexpr char kNormal = 'S';

std::string TwoDigits(int value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d", value);
    return text;
}

bool IsFlagString(const std::string& text) {
    return text.size() == static_cast<std::size_t>(link::kChannelCount) &&
           std::all_of(text.begin(), text.end(), [](char c) { return c == '0' || c == '1'; });
}

std::optional<int> ParseId(const std::string& text) {
    if (text.size() != kIdLength ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    const int id = std::stoi(text);
    if (id < kMinId || id > kMaxId)
        return std::nullopt;
    return id;
}

std::optional<int> ParseLineCode(const std::string& text) {
    if (text.size() != 1)
        return std::nullopt;
    for (int index = 0; index < link::kLineSettingsCount; ++index) {
        if (link::LineSettingsCode(index) == text[0])
            return index;
    }
    return std::nullopt;
}

}  // namespace

std::optional<CommandFrame> CommandFrameReader::Feed(std::uint8_t byte) {
    if (byte == link::kCommandLead) {
        pending_.clear();
        inFrame_ = true;
        return std::nullopt;
    }
    if (!inFrame_)
        return std::nullopt;
    if (byte != link::kFrameEnd) {
        pending_ += static_cast<char>(byte);
        // An overlong run without a CR is line noise, not a command.
        if (pending_.size() > kMaxFrameText)
            inFrame_ = false;
        return std::nullopt;
    }
    inFrame_ = false;
    if (pending_.size() < kChecksumDigits)
        return CommandFrame{pending_, false};
    const std::size_t textLength = pending_.size() - kChecksumDigits;
    CommandFrame frame{pending_.substr(0, textLength), false};
    const std::uint8_t sum = link::CommandChecksum(frame.command, static_cast<int>(textLength));
    frame.checksumOk = pending_.substr(textLength) == link::ByteToHex(sum);
    return frame;
}

std::string FrameReply(const std::string& text) {
    // The command checksum starts from the TAB's value; a reply's starts from
    // zero and covers the LF, so swap the one lead for the other.
    const std::uint8_t sum = link::CommandChecksum(text, static_cast<int>(text.size())) ^
                             link::kCommandLead ^ link::kReplyLead;
    return static_cast<char>(link::kReplyLead) + text + link::ByteToHex(sum) +
           static_cast<char>(link::kFrameEnd);
}

ModuleModel::ModuleModel(ModuleState state) : state_(std::move(state)) {}

std::optional<ModuleReply> ModuleModel::Receive(std::uint8_t byte) {
    const auto frame = reader_.Feed(byte);
    if (!frame || !frame->checksumOk)
        return std::nullopt;
    return Answer(frame->command);
}

std::optional<ModuleReply> ModuleModel::Answer(const std::string& command) {
    if (command.size() < kCommandHeadLength || command[0] != kCommandMark)
        return std::nullopt;
    const std::string address = command.substr(1, 2);
    if (address != kBroadcastAddress && address != TwoDigits(state_.id))
        return std::nullopt;
    return AnswerOwn(command.substr(kCommandHeadLength - 1));
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
            if (args == std::string(1, kHold) || args == std::string(1, kNormal)) {
                state_.mode = args[0];
                return reply("");
            }
            break;
        case 'A':
            if (args.empty())
                return reply(link::FlagString(state_.noNc));
            if (IsFlagString(args)) {
                state_.noNc = link::ParseFlags(args);
                return reply("");
            }
            break;
        case 'C': {
            if (args.size() != kSerialLength + kIdLength)
                break;
            const auto id = ParseId(args.substr(kSerialLength));
            // Only the module with that serial number takes the new ID; the
            // others keep quiet so that a shared bus stays silent.
            if (!id || args.substr(0, kSerialLength) != state_.serial)
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
        case 'I':
            if (!IsFlagString(args))
                break;
            state_.outputs = link::ParseFlags(args);
            return reply(link::FlagString(Inputs()));
        default:
            break;
    }
    return std::nullopt;
}

void ModuleModel::ReplySent(const ModuleReply& reply) {
    if (reply.lineIndexAfterReply)
        state_.lineIndex = *reply.lineIndexAfterReply;
}

link::ChannelFlags ModuleModel::Inputs() const {
    if (state_.wiring == InputWiring::Fixed)
        return state_.fixedInputs;
    link::ChannelFlags inputs{};
    for (std::size_t k = 0; k < inputs.size(); ++k) inputs[k] = state_.outputs[k] != state_.noNc[k];
    return inputs;
}

std::string ModuleModel::LineSettings() const {
    const bool known = state_.lineIndex >= 0 && state_.lineIndex < link::kLineSettingsCount;
    return known ? link::LineSettingsList[static_cast<std::size_t>(state_.lineIndex)] : "";
}

std::string ModuleModel::Head() const {
    return kReplyMark + TwoDigits(state_.id) + kReplyHeadEnd;
}

}  // namespace vx::sim
