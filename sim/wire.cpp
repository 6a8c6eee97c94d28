#include "sim/wire.h"

#include <cctype>
#include <charconv>
#include <sstream>

namespace vx::sim {

namespace {

constexpr std::uint64_t kUsPerSecond = 1'000'000;
constexpr int kMinDataBits = 5;
constexpr int kMaxDataBits = 8;
constexpr std::size_t kFieldCount = 4;
constexpr int kHalfBitsPerBit = 2;

std::optional<int> ParseNumber(const std::string& text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<int> ParseStopHalfBits(const std::string& text) {
    if (text == "1")
        return 2;
    if (text == "1.5")
        return 3;
    if (text == "2")
        return 4;
    return std::nullopt;
}

int HalfBitsPerChar(const LineFormat& line) {
    const int parityBits = line.parity == 'n' ? 0 : 1;
    return kHalfBitsPerBit * (1 + line.dataBits + parityBits) + line.stopHalfBits;
}

}  // namespace

std::optional<LineFormat> ParseLineSettings(const std::string& text) {
    std::vector<std::string> fields;
    std::istringstream stream(text);
    for (std::string field; std::getline(stream, field, ',');) fields.push_back(field);
    if (fields.size() != kFieldCount || fields[1].size() != 1)
        return std::nullopt;

    LineFormat line;
    const auto baud = ParseNumber(fields[0]);
    const auto dataBits = ParseNumber(fields[2]);
    const auto stop = ParseStopHalfBits(fields[3]);
    line.parity = static_cast<char>(std::tolower(static_cast<unsigned char>(fields[1][0])));
    const bool parityKnown = std::string("neoms").find(line.parity) != std::string::npos;
    if (!baud || *baud <= 0 || !dataBits || *dataBits < kMinDataBits || *dataBits > kMaxDataBits ||
        !stop || !parityKnown) {
        return std::nullopt;
    }
    line.baud = *baud;
    line.dataBits = *dataBits;
    line.stopHalfBits = *stop;
    return line;
}

bool SameLine(const std::string& a, const std::string& b) {
    const auto left = ParseLineSettings(a);
    const auto right = ParseLineSettings(b);
    return left && right && left->baud == right->baud && left->parity == right->parity &&
           left->dataBits == right->dataBits && left->stopHalfBits == right->stopHalfBits;
}

std::uint64_t PutOnWire(std::uint64_t startUs, const std::string& bytes, const LineFormat& line,
                        std::vector<TimedByte>& out) {
    // Each byte's time is taken from the start of the run, so that rounding
    // to whole microseconds never accumulates.
    const std::uint64_t halfBits = static_cast<std::uint64_t>(HalfBitsPerChar(line));
    const std::uint64_t halfBitRate = static_cast<std::uint64_t>(line.baud) * kHalfBitsPerBit;
    std::uint64_t at = startUs;
    for (std::size_t k = 0; k < bytes.size(); ++k) {
        const std::uint64_t bits = (k + 1) * halfBits * kUsPerSecond;
        at = startUs + (bits + halfBitRate - 1) / halfBitRate;
        out.push_back({at, static_cast<std::uint8_t>(bytes[k])});
    }
    return at;
}

std::vector<TimedByte> TimeReply(const std::vector<ReplyPart>& parts, std::uint64_t startUs,
                                 const LineFormat& line) {
    std::vector<TimedByte> timed;
    std::uint64_t at = startUs;
    for (const auto& part : parts) {
        at = PutOnWire(at + std::uint64_t{part.pauseMs} * 1000, part.bytes, line, timed);
    }
    return timed;
}

}  // namespace vx::sim
