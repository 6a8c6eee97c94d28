#include "sim/faults.h"

#include <array>
#include <cctype>
#include <sstream>

#include "sim/frame_codec.h"

namespace vx::sim {

namespace {

// The faults a random plan draws from: all that damage one reply.
constexpr std::array<Fault, 7> kRandomFaults = {
    Fault::NoReply,     Fault::LateReply,    Fault::BadChecksum, Fault::LowercaseChecksum,
    Fault::WrongLength, Fault::LeadingNoise, Fault::SplitReply,
};

constexpr char kExtraTextChar = '0';
// Reply positions count from 1 at the LF, so the text starts at position 2.
constexpr std::size_t kFirstTextPosition = 2;
// The reply mark and the comma after the ID: read by no operation.
constexpr std::array<std::size_t, 2> kUnreadPositions = {2, 5};
constexpr int kNibbleBits = 4;
constexpr std::uint8_t kLowNibble = 0x0F;
constexpr std::uint8_t kFirstLetterNibble = 0xA;

bool IsLetterDigit(std::uint8_t nibble) {
    return nibble >= kFirstLetterNibble;
}

std::string WithBadChecksum(std::string frame) {
    char& digit = frame[ChecksumDigitsAt(frame) + kChecksumDigits - 1];
    digit = digit == '0' ? '1' : '0';
    return frame;
}

// Lowercase digits look like uppercase ones unless one of them is a letter.
// When neither is, the first text character (a head character the tool does
// not read) is changed so that the low digit becomes 'A'.
std::string WithLowercaseChecksum(const std::string& frame) {
    std::string text = FrameText(frame);
    const std::uint8_t sum = ReplyChecksum(text);
    if (!text.empty() && !IsLetterDigit(sum >> kNibbleBits) && !IsLetterDigit(sum & kLowNibble)) {
        text[0] = static_cast<char>(text[0] ^ ((sum & kLowNibble) ^ kFirstLetterNibble));
    }
    std::string framed = FrameReply(text);
    const std::size_t first = ChecksumDigitsAt(framed);
    for (std::size_t k = first; k < first + kChecksumDigits; ++k) {
        framed[k] = static_cast<char>(std::tolower(static_cast<unsigned char>(framed[k])));
    }
    return framed;
}

// A byte that Telnet must escape, where it changes nothing the tool reads.
std::string WithHighBytes(const std::string& frame) {
    std::string text = FrameText(frame);
    for (const std::size_t position : kUnreadPositions) {
        if (position - kFirstTextPosition < text.size())
            text[position - kFirstTextPosition] = static_cast<char>(kNoiseByte);
    }
    return FrameReply(text);
}

std::string HexByte(std::uint8_t byte) {
    std::ostringstream text;
    text << "0x" << std::uppercase << std::hex << int{byte};
    return text.str();
}

}  // namespace

std::vector<Fault> AllFaults() {
    std::vector<Fault> faults;
    for (int k = 0; k <= static_cast<int>(kLastFault); ++k) faults.push_back(static_cast<Fault>(k));
    return faults;
}

std::string FaultName(Fault fault) {
    switch (fault) {
        case Fault::None:
            return "none";
        case Fault::NoReply:
            return "no-reply";
        case Fault::LateReply:
            return "late-reply";
        case Fault::BadChecksum:
            return "bad-checksum";
        case Fault::LowercaseChecksum:
            return "lowercase-checksum";
        case Fault::WrongLength:
            return "wrong-length";
        case Fault::LeadingNoise:
            return "leading-noise";
        case Fault::SplitReply:
            return "split-reply";
        case Fault::HangUp:
            return "hang-up";
        case Fault::HighBytes:
            return "high-bytes";
    }
    return "none";
}

std::optional<Fault> FaultFromName(const std::string& name) {
    for (const Fault fault : AllFaults()) {
        if (name == FaultName(fault))
            return fault;
    }
    return std::nullopt;
}

std::string FaultHelp(Fault fault) {
    switch (fault) {
        case Fault::None:
            return "";
        case Fault::NoReply:
            return "the command is swallowed";
        case Fault::LateReply:
            return "the reply comes " + std::to_string(kLateReplyDelayMs) + " ms late";
        case Fault::BadChecksum:
            return "one checksum digit is wrong";
        case Fault::LowercaseChecksum:
            return "the checksum is in lowercase";
        case Fault::WrongLength:
            return "one text character too many";
        case Fault::LeadingNoise:
            return "a stray " + HexByte(kNoiseByte) + " byte before the LF";
        case Fault::SplitReply:
            return "two halves, " + std::to_string(kSplitReplyPauseMs) + " ms apart";
        case Fault::HangUp:
            return "the port hangs up instead";
        case Fault::HighBytes:
            return HexByte(kNoiseByte) + " at reply positions " +
                   std::to_string(kUnreadPositions[0]) + " and " +
                   std::to_string(kUnreadPositions[1]) + ",\nwhich no operation reads";
    }
    return "";
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
            return {{{0, FrameReply(FrameText(frame) + kExtraTextChar)}}};
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
