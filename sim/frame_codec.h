#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace vx::sim {

// The module's side of the frames, written the way its firmware would be:
// from the frame layout alone, sharing no code with the tool's link, so that
// a mistake in either one shows up as a disagreement between the two.
//
// Command frame: TAB, text, two uppercase hex digits, CR.
// Reply frame:   LF,  text, two uppercase hex digits, CR.
// The digits are the XOR of every byte before them, the lead byte included.
inline constexpr std::uint8_t kCommandLeadByte = 0x09;
inline constexpr std::uint8_t kReplyLeadByte = 0x0A;
inline constexpr std::uint8_t kFrameEndByte = 0x0D;
inline constexpr std::size_t kChecksumDigits = 2;

// A command frame as it arrived.
struct CommandFrame {
    std::string command;  // the text between TAB and the checksum digits
    bool checksumOk;      // digits are the uppercase hex of the frame's XOR
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

// LF + text + checksum digits + CR, as the module frames a reply.
std::string FrameReply(const std::string& text);
// The XOR that FrameReply writes as the digits of this text.
std::uint8_t ReplyChecksum(const std::string& text);

// The text of a frame: what stands between its lead byte and its checksum
// digits ("" when the frame is too short to hold any).
std::string FrameText(const std::string& frame);
// Where the checksum digits of a frame begin: they end right before its CR.
std::size_t ChecksumDigitsAt(const std::string& frame);

}  // namespace vx::sim
