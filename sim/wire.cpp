#include "sim/wire.h"

namespace vx::sim {

namespace {

constexpr std::uint64_t kUsPerSecond = 1'000'000;
constexpr std::uint64_t kUsPerMs = 1000;
constexpr std::uint64_t kHalfBitsPerBit = 2;

std::uint64_t StopHalfBits(protocol::StopBits stopBits) {
    switch (stopBits) {
        case protocol::StopBits::OneAndHalf:
            return 3;
        case protocol::StopBits::Two:
            return 4;
        case protocol::StopBits::One:
            break;
    }
    return 2;
}

// Start bit, data bits, parity bit if any, stop bits.
std::uint64_t HalfBitsPerChar(const protocol::LineSettings& line) {
    const std::uint64_t parityBits = line.parity == protocol::Parity::None ? 0 : 1;
    return kHalfBitsPerBit * (1 + line.dataBits + parityBits) + StopHalfBits(line.stopBits);
}

}  // namespace

bool SameLine(const std::string& a, const std::string& b) {
    const auto left = protocol::ParseLineSettings(a);
    const auto right = protocol::ParseLineSettings(b);
    return left && right && *left == *right;
}

std::uint64_t PutOnWire(std::uint64_t startUs, const std::string& bytes,
                        const protocol::LineSettings& line, std::vector<TimedByte>& out) {
    // Each byte's time is taken from the start of the run, so that rounding
    // to whole microseconds never accumulates.
    const std::uint64_t halfBits = HalfBitsPerChar(line);
    const std::uint64_t halfBitRate = std::uint64_t{line.baudRate} * kHalfBitsPerBit;
    std::uint64_t at = startUs;
    for (std::size_t k = 0; k < bytes.size(); ++k) {
        const std::uint64_t bits = (k + 1) * halfBits * kUsPerSecond;
        at = startUs + (bits + halfBitRate - 1) / halfBitRate;
        out.push_back({at, static_cast<std::uint8_t>(bytes[k])});
    }
    return at;
}

std::vector<TimedByte> TimeReply(const std::vector<ReplyPart>& parts, std::uint64_t startUs,
                                 const protocol::LineSettings& line) {
    std::vector<TimedByte> timed;
    std::uint64_t at = startUs;
    for (const auto& part : parts) {
        at = PutOnWire(at + std::uint64_t{part.pauseMs} * kUsPerMs, part.bytes, line, timed);
    }
    return timed;
}

}  // namespace vx::sim
