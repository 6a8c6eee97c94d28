// Secure network ports on Windows, against the ser2net TLS port that
// scripts/wine-tests starts with certificates it makes: the roots come from
// the Windows store and SSL_CERT_FILE, keys are judged by their access lists.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "link/link.h"
#include "platform/clock.h"
#include "platform/com_ports.h"
#include "platform/event_pump.h"
#include "platform/serial_device.h"
#include "platform/settings_store.h"

namespace vx {
namespace {

constexpr int kSecureComNumber = 41;
constexpr const char* kModuleLine = "19200,e,8,1";
constexpr int kIdentityReplyLength = 16;
constexpr const char* kWrongPin =
    "0000000000000000000000000000000000000000000000000000000000000000";

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? "" : value;
}

struct SecureCase {
    std::string name;
    std::string host;
    std::string query;   // with {pin} and {folder}
    std::string reason;  // empty: the module answers through the port
};

void PrintTo(const SecureCase& c, std::ostream* os) {
    *os << c.name;
}

std::string Filled(std::string text) {
    for (const auto& [field, value] :
         {std::pair<std::string, std::string>{"{pin}", Environment("VX_WINE_SECURE_PIN")},
          {"{folder}", Environment("VX_WINE_TLS_FOLDER")}}) {
        for (std::size_t at; (at = text.find(field)) != std::string::npos;)
            text.replace(at, field.size(), value);
    }
    return text;
}

class WineSecurePort : public ::testing::TestWithParam<SecureCase> {};

TEST_P(WineSecurePort, OpensOnlyAVerifiedServer) {
    const std::string port = Environment("VX_WINE_SECURE_PORT");
    ASSERT_FALSE(port.empty()) << "VX_WINE_SECURE_PORT names no TLS port";
    const SecureCase& c = GetParam();
    const auto store = platform::OpenSystemSettingsStore();
    ASSERT_TRUE(store);
    const auto ports = store->CreateKey(std::string(platform::kProgramKeyPath) + "\\Ports");
    ASSERT_TRUE(ports &&
                ports->WriteText("COM" + std::to_string(kSecureComNumber),
                                 "rfc2217+tls://" + c.host + ":" + port + Filled(c.query)));
    const auto device = platform::CreateSystemSerialDevice(
        [&store](const std::string& name) { return platform::ResolveComPort(name, *store); });
    platform::InstallableEventPump events;
    link::Link link{*device, platform::SystemClock(), events};

    const bool opened = link.OpenCommPort(kSecureComNumber, kModuleLine);
    if (!c.reason.empty()) {
        EXPECT_FALSE(opened);
        EXPECT_NE(link.LastOpen().detail.find(c.reason), std::string::npos)
            << link.LastOpen().detail;
        return;
    }
    ASSERT_TRUE(opened) << link.LastOpen().detail;
    EXPECT_TRUE(link.SendCommand("B00B"));
    EXPECT_EQ(link.ReplyLength(), kIdentityReplyLength);
    link.CloseCommPort();
}

INSTANTIATE_TEST_SUITE_P(
    Servers, WineSecurePort,
    ::testing::Values(SecureCase{"TrustedChain", "localhost", "", ""},
                      SecureCase{"Pinned", "127.0.0.1", "?cert-sha256={pin}", ""},
                      SecureCase{"WrongPin", "localhost", std::string{"?cert-sha256="} + kWrongPin,
                                 "does not match the pin"},
                      SecureCase{"WrongHostName", "127.0.0.1", "", "is not for 127.0.0.1"},
                      SecureCase{"ClientKeyOfItsOwnerAlone", "localhost",
                                 "?client-cert={folder}/client.pem&client-key={folder}/owner.key",
                                 ""},
                      SecureCase{"KeyReadableByOthers", "localhost",
                                 "?client-cert={folder}/client.pem&client-key={folder}/open.key",
                                 "other users may read"}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace vx
