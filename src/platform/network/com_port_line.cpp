#include "platform/network/com_port_line.h"

#include "platform/network/telnet_codec.h"

namespace vx::platform::telnet {
namespace {

using protocol::Parity;
using protocol::StopBits;

// Servers round a rate to what their clock divider can make.
constexpr unsigned kBaudTolerancePercent = 3;
constexpr unsigned kPercent = 100;
constexpr int kBitsPerByte = 8;
constexpr std::size_t kBaudBytes = 4;

std::uint8_t ParityCode(Parity parity) {
    switch (parity) {
        case Parity::Odd:
            return 2;
        case Parity::Even:
            return 3;
        case Parity::Mark:
            return 4;
        case Parity::Space:
            return 5;
        case Parity::None:
            break;
    }
    return 1;
}

std::uint8_t StopSizeCode(StopBits stopBits) {
    switch (stopBits) {
        case StopBits::Two:
            return 2;
        case StopBits::OneAndHalf:
            return 3;
        case StopBits::One:
            break;
    }
    return 1;
}

std::vector<std::uint8_t> BigEndian(std::uint32_t value) {
    std::vector<std::uint8_t> bytes(kBaudBytes);
    for (std::size_t i = 0; i < kBaudBytes; ++i) {
        bytes[kBaudBytes - 1 - i] = static_cast<std::uint8_t>(value >> (kBitsPerByte * i));
    }
    return bytes;
}

std::uint32_t RateOf(const std::vector<std::uint8_t>& value) {
    std::uint32_t rate = 0;
    for (const std::uint8_t byte : value) rate = rate << kBitsPerByte | byte;
    return value.size() == kBaudBytes ? rate : 0;
}

bool RateClose(std::uint32_t actual, std::uint32_t wanted) {
    const auto difference = actual > wanted ? actual - wanted : wanted - actual;
    return std::uint64_t{difference} * kPercent <= std::uint64_t{wanted} * kBaudTolerancePercent;
}

}  // namespace

std::array<LineCommand, kLineCommandCount> LineCommands(const protocol::LineSettings& settings) {
    return {LineCommand{kSetBaudRate, BigEndian(settings.baudRate)},
            LineCommand{kSetDataSize, {static_cast<std::uint8_t>(settings.dataBits)}},
            LineCommand{kSetParity, {ParityCode(settings.parity)}},
            LineCommand{kSetStopSize, {StopSizeCode(settings.stopBits)}}};
}

bool AnswerMatches(const LineCommand& asked, const std::vector<std::uint8_t>& answer) {
    if (asked.command == kSetBaudRate)
        return RateClose(RateOf(answer), RateOf(asked.value));
    return answer == asked.value;
}

}  // namespace vx::platform::telnet
