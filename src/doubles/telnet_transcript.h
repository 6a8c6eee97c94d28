#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/network/telnet_codec.h"

namespace vx::doubles {

// What a Telnet codec handed on, in order, as one line of text: "D41" for
// the serial byte 0x41, "C101:0000" for a com port subnegotiation 101 with
// the value 00 00.
class TelnetTranscript final : public platform::telnet::Receiver {
public:
    void Data(std::uint8_t byte) override { Add("D" + Hex(byte)); }
    void ComPort(std::uint8_t command, const std::vector<std::uint8_t>& value) override {
        std::string entry = "C" + std::to_string(command) + ":";
        for (const std::uint8_t byte : value) entry += Hex(byte);
        Add(entry);
    }

    std::string text;

private:
    static std::string Hex(std::uint8_t byte) {
        constexpr char kDigits[] = "0123456789abcdef";
        constexpr int kNibble = 4;
        return {kDigits[byte >> kNibble], kDigits[byte & 0xF]};
    }
    void Add(const std::string& entry) { text += (text.empty() ? "" : " ") + entry; }
};

}  // namespace vx::doubles
