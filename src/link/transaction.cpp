#include "link/transaction.h"

#include <algorithm>

#include "link/link.h"

namespace vx::link {

namespace {

// The length of a command travels as one byte.
constexpr std::size_t kMaxCommandLength = 255;
// LF, two checksum digits and CR: the shortest frame there is.
constexpr int kMinReplyFrame = 4;
constexpr int kChecksumDigits = 3;  // offset of the first digit from the end
// While bytes stream in, window events still run at least this often.
constexpr std::uint32_t kEventsEveryMs = 1;
// A frame fits the receive buffer, so once more bytes than that have come in
// after the reply window closed, no frame that began in time can still end:
// the line is noise that never falls silent.
constexpr int kMaxBytesPastWindow = kRecvBufferSize;

char HexDigit(std::uint8_t nibble) {
    constexpr std::uint8_t kDigitBase = 0x30;   // '0'
    constexpr std::uint8_t kLetterBase = 0x37;  // 'A' - 10
    return static_cast<char>(nibble + (nibble < 10 ? kDigitBase : kLetterBase));
}

}  // namespace

std::uint8_t CommandChecksum(const std::string& text, int count) {
    std::uint8_t sum = kCommandLead;
    const int n = std::min(count, static_cast<int>(text.size()));
    for (int i = 0; i < n; ++i) sum ^= static_cast<std::uint8_t>(text[static_cast<std::size_t>(i)]);
    return sum;
}

std::string ByteToHex(std::uint8_t value) {
    return {HexDigit(static_cast<std::uint8_t>(value >> 4)),
            HexDigit(static_cast<std::uint8_t>(value & 0x0F))};
}

void Link::WriteFrame(const std::string& command) {
    const int n = static_cast<int>(command.size());
    const std::string digits = ByteToHex(CommandChecksum(command, n));
    CommWriteByte(kCommandLead);
    CommWriteBlock(reinterpret_cast<const std::uint8_t*>(command.data()), n);
    CommWriteByte(static_cast<std::uint8_t>(digits[0]));
    CommWriteByte(static_cast<std::uint8_t>(digits[1]));
    // Until the CR is out the module has no command to answer: whatever came
    // in so far is a late reply to an earlier one, which would otherwise be
    // read as the reply to this command and shift every later reply by one.
    // Dropped this late, it includes a reply still arriving while the frame
    // was being written. A late reply to the same command is the exception:
    // it answers this one just as well, and from a module that answers just
    // after the window it is the only answer there is.
    if (command != previousCommand_)
        port_.DiscardInput();
    previousCommand_ = command;
    CommWriteByte(kFrameEnd);
}

// Stores one received byte; true when it completes a frame that starts at
// the head of the buffer.
bool Link::StoreByte(std::uint8_t byte) {
    recvBuffer_[static_cast<std::size_t>(replyLength_)] = byte;
    if (++replyLength_ == kRecvBufferSize)
        replyLength_ = 0;
    return byte == kFrameEnd && recvBuffer_[0] == kReplyLead;
}

void Link::KeepFrame() {
    recvBuffer_[static_cast<std::size_t>(replyLength_)] = 0;
    const auto end = std::find(recvBuffer_.begin(), recvBuffer_.end(), std::uint8_t{0});
    replyText_.assign(recvBuffer_.begin(), end);
}

bool Link::CheckReplyChecksum() const {
    if (replyLength_ < kMinReplyFrame)
        return false;
    const int covered = replyLength_ - kChecksumDigits;
    std::uint8_t sum = 0;
    for (int i = 0; i < covered; ++i) sum ^= recvBuffer_[static_cast<std::size_t>(i)];
    const std::string digits = ByteToHex(sum);
    return recvBuffer_[static_cast<std::size_t>(covered)] == static_cast<std::uint8_t>(digits[0]) &&
           recvBuffer_[static_cast<std::size_t>(covered + 1)] ==
               static_cast<std::uint8_t>(digits[1]);
}

// Waiting on the device asks for just the time that makes the next empty
// read the one that finds the window closed; past it, a line still sending
// gets the window's own 1 ms reads.
std::optional<std::uint8_t> Link::ReadNext(std::uint32_t elapsedMs, std::uint32_t windowMs) {
    if (wait_ == ReplyWait::WithEvents)
        return port_.ReadByte();
    const std::uint32_t closedAtMs = windowMs + 1;
    return port_.ReadByteWithin(elapsedMs < closedAtMs ? closedAtMs - elapsedMs : kEventsEveryMs);
}

// Only an empty read lets the clock end the wait, so a reply that is still
// streaming in when the window closes is collected to its end. Unsigned
// subtraction is the difference modulo 2^32, so the tick counter's
// wrap-around does no harm.
bool Link::AwaitReply() {
    replyLength_ = 0;
    const std::uint32_t t0 = clock_.TickMs();
    std::uint32_t eventsRunAt = t0;
    std::uint32_t now = t0;
    int bytesPastWindow = 0;
    // The module keeps its own window wherever it is; a network's round trip
    // comes on top.
    const std::uint32_t window = kReplyWindowMs + port_.ReplyAllowanceMs();
    for (;;) {
        const auto byte = ReadNext(now - t0, window);
        if (!byte) {
            events_.RunPending();
            eventsRunAt = now = clock_.TickMs();
            if (now - t0 > window)
                return false;
            continue;
        }
        if (StoreByte(*byte)) {
            KeepFrame();
            return CheckReplyChecksum();
        }
        now = clock_.TickMs();
        if (now - t0 > window && ++bytesPastWindow > kMaxBytesPastWindow)
            return false;
        // A line that keeps sending must not keep the window's events waiting.
        if (now - eventsRunAt >= kEventsEveryMs) {
            events_.RunPending();
            eventsRunAt = clock_.TickMs();
        }
    }
}

bool Link::SendCommand(const std::string& command) {
    // A longer text could not be framed faithfully; refusing it sends nothing.
    if (command.size() > kMaxCommandLength)
        return false;
    recvBuffer_.fill(0);
    WriteFrame(command);
    return AwaitReply();
}

}  // namespace vx::link
