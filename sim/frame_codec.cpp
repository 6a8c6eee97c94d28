#include "sim/frame_codec.h"

namespace vx::sim {

namespace {

// The longest command text a frame can carry, plus its checksum digits.
constexpr std::size_t kMaxFrameBody = 255 + kChecksumDigits;
// The lead byte before the text; the checksum digits and the CR behind it.
constexpr std::size_t kFrameOverhead = 1 + kChecksumDigits + 1;
constexpr char kHexDigits[] = "0123456789ABCDEF";

std::uint8_t XorOf(std::uint8_t lead, const std::string& text) {
    std::uint8_t sum = lead;
    for (char c : text) sum ^= static_cast<std::uint8_t>(c);
    return sum;
}

std::string HexDigits(std::uint8_t value) {
    return {kHexDigits[value >> 4], kHexDigits[value & 0x0F]};
}

}  // namespace

std::optional<CommandFrame> CommandFrameReader::Feed(std::uint8_t byte) {
    if (byte == kCommandLeadByte) {
        pending_.clear();
        inFrame_ = true;
        return std::nullopt;
    }
    if (!inFrame_)
        return std::nullopt;
    if (byte != kFrameEndByte) {
        pending_ += static_cast<char>(byte);
        // An overlong run without a CR is line noise, not a command.
        if (pending_.size() > kMaxFrameBody)
            inFrame_ = false;
        return std::nullopt;
    }
    inFrame_ = false;
    if (pending_.size() < kChecksumDigits)
        return CommandFrame{pending_, false};
    const std::size_t textLength = pending_.size() - kChecksumDigits;
    CommandFrame frame{pending_.substr(0, textLength), false};
    frame.checksumOk =
        pending_.substr(textLength) == HexDigits(XorOf(kCommandLeadByte, frame.command));
    return frame;
}

std::string FrameReply(const std::string& text) {
    return static_cast<char>(kReplyLeadByte) + text + HexDigits(ReplyChecksum(text)) +
           static_cast<char>(kFrameEndByte);
}

std::uint8_t ReplyChecksum(const std::string& text) {
    return XorOf(kReplyLeadByte, text);
}

std::string FrameText(const std::string& frame) {
    return frame.size() < kFrameOverhead ? "" : frame.substr(1, frame.size() - kFrameOverhead);
}

std::size_t ChecksumDigitsAt(const std::string& frame) {
    return frame.size() < kFrameOverhead ? 0 : frame.size() - 1 - kChecksumDigits;
}

}  // namespace vx::sim
