// The pieces of network ports that need no network: the URL rules, the
// Telnet client codec fed as a network might split its bytes, and the lock
// file names.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "case_names.h"
#include "doubles/telnet_transcript.h"
#include "platform/linux/port_lock.h"
#include "platform/network/network_url.h"
#include "platform/network/telnet_codec.h"

namespace vx::platform {
namespace {

using Bytes = std::vector<std::uint8_t>;

// "ff fb 03" -> the three bytes.
Bytes Hex(const std::string& text) {
    std::istringstream in(text);
    Bytes bytes;
    for (unsigned value = 0; in >> std::hex >> value;)
        bytes.push_back(static_cast<std::uint8_t>(value));
    return bytes;
}

std::string HexOf(const Bytes& bytes) {
    std::string text;
    for (const std::uint8_t b : bytes) {
        char digits[4];
        std::snprintf(digits, sizeof digits, "%02x", b);
        text += (text.empty() ? "" : " ") + std::string{digits};
    }
    return text;
}

struct UrlCase {
    std::string text;
    std::string canonical;  // empty: refused
};

void PrintTo(const UrlCase& c, std::ostream* os) {
    *os << c.text;
}

class NetworkUrlRules : public ::testing::TestWithParam<UrlCase> {};

TEST_P(NetworkUrlRules, AcceptOnlyTheirFormsAndSpellThemOneWay) {
    const auto url = ParseNetworkUrl(GetParam().text);
    EXPECT_EQ(url ? url->Canonical() : "", GetParam().canonical);
}

const std::string kLongLabel(64, 'a');
const std::string kPinBare = "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff";
const std::string kPinColons =
    "00:11:22:33:44:55:66:77:88:99:AA:BB:CC:DD:EE:FF:00:11:22:33:44:55:66:77:88:99:Aa:bB:cc:dd:ee:"
    "ff";
const std::string kLongestName = [] {
    std::string name;
    while (name.size() + 64 <= 253) name += std::string(63, 'b') + ".";
    return name + std::string(253 - name.size(), 'c');
}();

INSTANTIATE_TEST_SUITE_P(
    Texts, NetworkUrlRules,
    ::testing::Values(
        UrlCase{"rfc2217://127.0.0.1:7301", "rfc2217://127.0.0.1:7301"},
        UrlCase{"socket://Device-Server.Plant.example:4001",
                "socket://device-server.plant.example:4001"},
        UrlCase{"rfc2217://a:1", "rfc2217://a:1"},
        UrlCase{"rfc2217://[::1]:65535", "rfc2217://[::1]:65535"},
        UrlCase{"rfc2217://[2001:DB8:0:0:0:0:0:1]:2217", "rfc2217://[2001:db8::1]:2217"},
        UrlCase{"socket://[1:0:0:2:0:0:0:3]:9", "socket://[1:0:0:2::3]:9"},
        UrlCase{"socket://[0:0:0:0:0:0:0:0]:9", "socket://[::]:9"},
        UrlCase{"rfc2217://[::ffff:192.0.2.1]:80", "rfc2217://[::ffff:c000:201]:80"},
        UrlCase{"rfc2217://" + kLongestName + ":1", "rfc2217://" + kLongestName + ":1"},
        UrlCase{"", ""}, UrlCase{"rfc2217://", ""}, UrlCase{"rfc2217://host", ""},
        UrlCase{"rfc2217://host:", ""}, UrlCase{"rfc2217://host:0", ""},
        UrlCase{"rfc2217://host:65536", ""}, UrlCase{"rfc2217://host:080", ""},
        UrlCase{"rfc2217://host:+80", ""}, UrlCase{"RFC2217://host:80", ""},
        UrlCase{"telnet://host:80", ""}, UrlCase{"rfc2217:/host:80", ""},
        UrlCase{"rfc2217://host:80/", ""}, UrlCase{"rfc2217://user@host:80", ""},
        UrlCase{"rfc2217://host:80?baud=9600", ""}, UrlCase{" rfc2217://host:80", ""},
        UrlCase{"rfc2217://host:80\n", ""}, UrlCase{"rfc2217://ho st:80", ""},
        UrlCase{"rfc2217://-host:80", ""}, UrlCase{"rfc2217://host-.example:80", ""},
        UrlCase{"rfc2217://ho_st:80", ""}, UrlCase{"rfc2217://host.:80", ""},
        UrlCase{"rfc2217://a..b:80", ""}, UrlCase{"rfc2217://10.1:80", ""},
        UrlCase{"rfc2217://256.1.1.1:80", ""}, UrlCase{"rfc2217://01.1.1.1:80", ""},
        UrlCase{"rfc2217://::1:80", ""}, UrlCase{"rfc2217://[::1%eth0]:80", ""},
        UrlCase{"rfc2217://[1::2::3]:80", ""}, UrlCase{"rfc2217://[12345::]:80", ""},
        UrlCase{"rfc2217://[1:2:3:4:5:6:7:8:9]:80", ""},
        UrlCase{"rfc2217://[1:2:3:4:5:6:7::8]:80", ""}, UrlCase{"rfc2217://[::1]", ""},
        UrlCase{"rfc2217://[127.0.0.1]:80", ""}, UrlCase{"rfc2217://" + kLongLabel + ":80", ""},
        UrlCase{"rfc2217://" + kLongestName + "d:1", ""},
        // Over TLS: the settings in the query, spelt one way.
        UrlCase{"rfc2217+tls://Server.example:4001", "rfc2217+tls://server.example:4001"},
        UrlCase{"socket+tls://[::1]:9?client-key=k.pem&client-cert=/etc/a%20b.pem",
                "socket+tls://[::1]:9?client-cert=/etc/a%20b.pem&client-key=k.pem"},
        UrlCase{"rfc2217+tls://h:1?cert-sha256=" + kPinColons,
                "rfc2217+tls://h:1?cert-sha256=" + kPinBare},
        UrlCase{"rfc2217+tls://h:1?key-sha256=" + kPinBare + "&client-cert=C:\\a.pem",
                "rfc2217+tls://h:1?key-sha256=" + kPinBare + "&client-cert=C:\\a.pem"},
        UrlCase{"rfc2217://h:1?cert-sha256=" + kPinBare, ""}, UrlCase{"RFC2217+TLS://h:1", ""},
        UrlCase{"rfc2217+ssl://h:1", ""}, UrlCase{"rfc2217+tls://h:1?", ""},
        UrlCase{"rfc2217+tls://h:1?verify=none", ""},
        UrlCase{"rfc2217+tls://h:1?cert-sha256=" + kPinBare.substr(1), ""},
        UrlCase{"rfc2217+tls://h:1?cert-sha256=" + kPinBare + "&key-sha256=" + kPinBare, ""},
        UrlCase{"rfc2217+tls://h:1?client-cert=a&client-cert=b", ""},
        UrlCase{"rfc2217+tls://h:1?client-key=k.pem", ""},
        UrlCase{"rfc2217+tls://h:1?client-cert=a b", ""},
        UrlCase{"rfc2217+tls://h:1?client-cert=a%0Ab", ""},
        UrlCase{"rfc2217+tls://h:1?client-cert=", ""}),
    vx::testing::PrintedCaseName{});

TEST(NetworkPortText, IsAnythingWithASchemeAndNoDevicePath) {
    EXPECT_TRUE(IsNetworkPortText("telnet://host:80"));
    EXPECT_TRUE(IsNetworkPortText("rfc2217://"));
    EXPECT_FALSE(IsNetworkPortText("/dev/serial/by-id/usb-FTDI:port0"));
    EXPECT_FALSE(IsNetworkPortText("COM3"));
}

TEST(NetworkLockName, IsAFileNameInTheSharedFormatEvenForTheLongestHost) {
    EXPECT_EQ(NetworkLockName("rfc2217://[::1]:2217"), "LCK..rfc2217______1__2217");
    const std::string first = NetworkLockName("rfc2217://" + kLongestName + ":1");
    const std::string second = NetworkLockName("rfc2217://" + kLongestName + ":2");
    EXPECT_LE(first.size(), 255u);
    EXPECT_EQ(first.find('/'), std::string::npos);
    EXPECT_NE(first, second);
}

struct CodecCase {
    std::string name;
    std::vector<std::string> reads;  // the received bytes, as the network split them
    std::string transcript;
    std::string answers;  // what the client owes the server afterwards
    bool comPortAgreed;
};

void PrintTo(const CodecCase& c, std::ostream* os) {
    *os << c.name;
}

class ClientCodecReads : public ::testing::TestWithParam<CodecCase> {};

TEST_P(ClientCodecReads, SeparateSerialBytesFromTelnetAndAnswerOnlyChanges) {
    telnet::ClientCodec codec;
    EXPECT_EQ(HexOf(codec.Greeting()), "ff fb 2c ff fb 00 ff fb 03 ff fd 00 ff fd 03");
    doubles::TelnetTranscript transcript;
    for (const auto& read : GetParam().reads) {
        const Bytes bytes = Hex(read);
        codec.Feed(bytes.data(), bytes.size(), transcript);
    }
    EXPECT_EQ(transcript.text, GetParam().transcript);
    EXPECT_EQ(HexOf(codec.TakeAnswers()), GetParam().answers);
    EXPECT_EQ(codec.ComPortAgreed(), GetParam().comPortAgreed);
}

std::string Repeated(const std::string& hex, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += hex + " ";
    return text;
}

INSTANTIATE_TEST_SUITE_P(
    Streams, ClientCodecReads,
    ::testing::Values(
        CodecCase{"ser2net greeting",
                  {"ff fb 03 ff fd 03 ff fb 01 ff fe 01 ff fd 00 ff fb 00 ff fd 2c ff fa 2c 6b 00 "
                   "ff f0 ff fd 03"},
                  "C107:00",
                  "ff fe 01",
                  true},
        CodecCase{"doubled IAC split", {"41 ff", "ff 42"}, "D41 Dff D42", "", false},
        CodecCase{"IAC alone at the end of a read", {"41 ff", "fd", "2c 42"}, "D41 D42", "", true},
        CodecCase{"subnegotiation split everywhere",
                  {"ff", "fa", "2c 65 00", "00 96", "00 ff", "f0 41"},
                  "C101:00009600 D41",
                  "",
                  false},
        CodecCase{"doubled IAC inside a subnegotiation",
                  {"ff fa 2c 65 00 00 ff", "ff ff ff 00 ff f0"},
                  "C101:0000ffff00",
                  "",
                  false},
        CodecCase{"unknown options refused whenever offered",
                  {"ff fd 18 ff fb 01 ff fd 18 ff fc 01 ff fe 18"},
                  "",
                  "ff fc 18 ff fe 01 ff fc 18",
                  false},
        CodecCase{"agreed options not answered again",
                  {"ff fd 00 ff fb 00 ff fd 00 ff fb 00 ff fd 2c ff fd 2c"},
                  "",
                  "",
                  true},
        CodecCase{"an option withdrawn after agreement",
                  {"ff fb 00 ff fc 00 ff fd 03 ff fe 03"},
                  "",
                  "ff fe 00 ff fc 03",
                  false},
        CodecCase{"com port refused", {"ff fe 2c 41"}, "D41", "", false},
        CodecCase{"other commands and subnegotiations dropped",
                  {"41 ff f1 ff f9 ff fa 18 01 ff f0 42 ff 07 43"},
                  "D41 D42 D43",
                  "",
                  false},
        CodecCase{"a negotiation verb ends a subnegotiation and keeps its option",
                  {"ff fa 2c 65 01 ff fb 03 41 ff fa 2c 69 ff fd 2c 42"},
                  "C101:01 D41 C105: D42",
                  "",
                  true},
        CodecCase{"overlong subnegotiation dropped whole",
                  {"ff fa 2c " + Repeated("65", 200) + "ff f0 41 ff fa 2c 66 08 ff f0"},
                  "D41 C102:08",
                  "",
                  false}),
    vx::testing::PrintedCaseName{});

TEST(ClientCodecBinary, RefusedInEitherDirectionIsTold) {
    for (const char* refusal : {"ff fc 00", "ff fe 00"}) {
        telnet::ClientCodec codec;
        codec.Greeting();
        doubles::TelnetTranscript transcript;
        const Bytes agreed = Hex("ff fb 00 ff fd 00");
        codec.Feed(agreed.data(), agreed.size(), transcript);
        EXPECT_FALSE(codec.BinaryRefused());
        const Bytes refused = Hex(refusal);
        codec.Feed(refused.data(), refused.size(), transcript);
        EXPECT_TRUE(codec.BinaryRefused()) << refusal;
    }
}

TEST(ClientCodecSends, DoubledIacsInDataAndInCommandValues) {
    Bytes out;
    const Bytes data = Hex("41 ff 0d ff ff");
    telnet::ClientCodec::AppendData(out, data.data(), data.size());
    EXPECT_EQ(HexOf(out), "41 ff ff 0d ff ff ff ff");
    EXPECT_EQ(HexOf(telnet::ClientCodec::ComPortCommand(telnet::kSetBaudRate, Hex("00 00 ff 00"))),
              "ff fa 2c 01 00 00 ff ff 00 ff f0");
}

}  // namespace
}  // namespace vx::platform
