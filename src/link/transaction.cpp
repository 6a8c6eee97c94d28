#include "link/transaction.h"

#include <algorithm>

#include "link/comm_port.h"

namespace vx::link {

thread_local std::array<std::uint8_t, kRecvBufferSize> RecvBuffer{};
thread_local std::string ReplyText;
thread_local int ReplyLength = 0;

namespace {

// The length of a command travels as one byte.
constexpr std::size_t kMaxCommandLength = 255;
// LF, two checksum digits and CR: the shortest frame there is.
constexpr int kMinReplyFrame = 4;
constexpr int kChecksumDigits = 3;  // offset of the first digit from the end
// While bytes stream in, window events still run at least this often.
constexpr std::uint32_t kEventsEveryMs = 1;

char HexDigit(std::uint8_t nibble) {
    constexpr std::uint8_t kDigitBase = 0x30;   // '0'
    constexpr std::uint8_t kLetterBase = 0x37;  // 'A' - 10
    return static_cast<char>(nibble + (nibble < 10 ? kDigitBase : kLetterBase));
}

void WriteFrame(const std::string& command) {
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
    // was being written.
    Port().DiscardInput();
    CommWriteByte(kFrameEnd);
}

// Stores one received byte; true when it completes a frame that starts at
// the head of the buffer.
bool StoreByte(std::uint8_t byte) {
    RecvBuffer[static_cast<std::size_t>(ReplyLength)] = byte;
    if (++ReplyLength == kRecvBufferSize)
        ReplyLength = 0;
    return byte == kFrameEnd && RecvBuffer[0] == kReplyLead;
}

void KeepFrame() {
    RecvBuffer[static_cast<std::size_t>(ReplyLength)] = 0;
    const auto end = std::find(RecvBuffer.begin(), RecvBuffer.end(), std::uint8_t{0});
    ReplyText.assign(RecvBuffer.begin(), end);
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

bool CheckReplyChecksum() {
    if (ReplyLength < kMinReplyFrame)
        return false;
    const int covered = ReplyLength - kChecksumDigits;
    std::uint8_t sum = 0;
    for (int i = 0; i < covered; ++i) sum ^= RecvBuffer[static_cast<std::size_t>(i)];
    const std::string digits = ByteToHex(sum);
    return RecvBuffer[static_cast<std::size_t>(covered)] == static_cast<std::uint8_t>(digits[0]) &&
           RecvBuffer[static_cast<std::size_t>(covered + 1)] ==
               static_cast<std::uint8_t>(digits[1]);
}

bool SendCommand(const std::string& command) {
    // A longer text could not be framed faithfully; refusing it sends nothing.
    if (command.size() > kMaxCommandLength)
        return false;
    RecvBuffer.fill(0);
    WriteFrame(command);

    ReplyLength = 0;
    platform::Clock& clock = LinkClock();
    const std::uint32_t t0 = clock.TickMs();
    std::uint32_t eventsRunAt = t0;
    for (;;) {
        const auto byte = Port().ReadByte();
        if (byte && StoreByte(*byte)) {
            KeepFrame();
            return CheckReplyChecksum();
        }
        // Unsigned subtraction is the difference modulo 2^32, so the tick
        // counter's wrap-around does no harm. The clock is read after every
        // byte too: a line that never falls silent must not hold the wait
        // open, nor keep the window's events waiting.
        std::uint32_t now = clock.TickMs();
        if (!byte || now - eventsRunAt >= kEventsEveryMs) {
            LinkEvents().RunPending();
            now = clock.TickMs();
            eventsRunAt = now;
        }
        if (now - t0 > kReplyWindowMs)
            return false;
    }
}

}  // namespace vx::link
