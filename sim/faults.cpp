#include "sim/faults.h"

#include <array>
#include <cctype>
#include <utility>

#include "sim/module_model.h"

namespace vx::sim {

namespace {

constexpr std::array<std::pair<Fault, const char*>, 10> kFaultNames = {{
    {Fault::None, "none"},
    {Fault::NoReply, "no-reply"},
    {Fault::LateReply, "late-reply"},
    {Fault::BadChecksum, "bad-checksum"},
    {Fault::LowercaseChecksum, "lowercase-checksum"},
    {Fault::WrongLength, "wrong-length"},
    {Fault::LeadingNoise, "leading-noise"},
    {Fault::SplitReply, "split-reply"},
    {Fault::HangUp, "hang-up"},
    {Fault::HighBytes, "high-bytes"},
}};

// The faults a random plan draws from: all that damage one reply.
constexpr std::array<Fault, 7> kRandomFaults = {
    Fault::NoReply,     Fault::LateReply,    Fault::BadChecksum, Fault::LowercaseChecksum,
    Fault::WrongLength, Fault::LeadingNoise, Fault::SplitReply,
};

// LF in front; two checksum digits and the CR behind.
constexpr std::size_t kFrameOverhead = 4;
constexpr std::size_t kDigitsFromEnd = 3;  // offset of the first checksum digit from the end
constexpr char kExtraTextChar = '0';
// Positions 2 and 5 of a reply (text offsets 0 and 3): read by no operation.
constexpr std::array<std::size_t, 2> kUnreadTextOffsets = {0, 3};
constexpr std::uint8_t kFirstLetterNibble = 0xA;

std::string ReplyTextOf(const std::string& frame) {
    return frame.size() < kFrameOverhead ? "" : frame.substr(1, frame.size() - kFrameOverhead);
}

std::uint8_t HexValue(char digit) {
    return static_cast<std::uint8_t>(std::isdigit(static_cast<unsigned char>(digit))
                                         ? digit - '0'
                                         : digit - 'A' + kFirstLetterNibble);
}

std::string WithBadChecksum(std::string frame) {
    char& digit = frame[frame.size() - 2];
    digit = digit == '0' ? '1' : '0';
    return frame;
}

// Lowercase digits look like uppercase ones unless one of them is a letter.
// When neither is, the first text character (a head character the tool does
// not read) is changed so that the low digit becomes 'A'.
std::string WithLowercaseChecksum(const std::string& frame) {
    std::string text = ReplyTextOf(frame);
    std::string framed = frame;
    const std::size_t first = framed.size() - kDigitsFromEnd;
    const auto isLetter = [](char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; };
    if (!isLetter(framed[first]) && !isLetter(framed[first + 1]) && !text.empty()) {
        text[0] = static_cast<char>(text[0] ^ (HexValue(framed[first + 1]) ^ kFirstLetterNibble));
        framed = FrameReply(text);
    }
    for (std::size_t k = first; k < first + 2; ++k) {
        framed[k] = static_cast<char>(std::tolower(static_cast<unsigned char>(framed[k])));
    }
    return framed;
}

// A byte that Telnet must escape, where it changes nothing the tool reads.
std::string WithHighBytes(const std::string& frame) {
    std::string text = ReplyTextOf(frame);
    for (const std::size_t offset : kUnreadTextOffsets) {
        if (offset < text.size())
            text[offset] = static_cast<char>(kNoiseByte);
    }
    return FrameReply(text);
}

}  // namespace

std::string FaultName(Fault fault) {
    for (const auto& [each, name] : kFaultNames) {
        if (each == fault)
            return name;
    }
    return "none";
}

std::optional<Fault> FaultFromName(const std::string& name) {
    for (const auto& [fault, each] : kFaultNames) {
        if (name == each)
            return fault;
    }
    return std::nullopt;
}

void FaultPlan::Queue(const std::string& command, Fault fault, int times) {
    for (int k = 0; k < times; ++k) queued_.emplace(command, fault);
}

void FaultPlan::SetRandom(double probability, std::uint32_t seed) {
    probability_ = probability;
    random_.seed(seed);
}

Fault FaultPlan::Next(const std::string& command) {
    for (auto it = queued_.begin(); it != queued_.end(); ++it) {
        if (command.starts_with(it->first)) {
            const Fault fault = it->second;
            queued_.erase(it);
            return fault;
        }
    }
    if (probability_ <= 0.0)
        return Fault::None;
    if (std::uniform_real_distribution<double>(0.0, 1.0)(random_) >= probability_) {
        return Fault::None;
    }
    std::uniform_int_distribution<std::size_t> pick(0, kRandomFaults.size() - 1);
    return kRandomFaults[pick(random_)];
}

FaultedReply ApplyFault(const std::string& frame, Fault fault) {
    switch (fault) {
        case Fault::None:
            return {{{0, frame}}};
        case Fault::NoReply:
            return {};
        case Fault::LateReply:
            return {{{kLateReplyDelayMs, frame}}};
        case Fault::BadChecksum:
            return {{{0, WithBadChecksum(frame)}}};
        case Fault::LowercaseChecksum:
            return {{{0, WithLowercaseChecksum(frame)}}};
        case Fault::WrongLength:
            return {{{0, FrameReply(ReplyTextOf(frame) + kExtraTextChar)}}};
        case Fault::LeadingNoise:
            return {{{0, static_cast<char>(kNoiseByte) + frame}}};
        case Fault::SplitReply: {
            const std::size_t half = frame.size() / 2;
            return {{{0, frame.substr(0, half)}, {kSplitReplyPauseMs, frame.substr(half)}}};
        }
        case Fault::HangUp:
            return {{}, true};
        case Fault::HighBytes:
            return {{{0, WithHighBytes(frame)}}};
    }
    return {};
}

}  // namespace vx::sim
