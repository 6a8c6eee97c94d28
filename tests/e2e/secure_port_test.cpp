// Secure network ports against ser2net's TLS layer, with certificates made
// here by the openssl command: a test CA that the client trusts through
// SSL_CERT_FILE, as it would trust a site's own CA, and the certificates a
// plant meets, good and bad.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "delaying_proxy.h"
#include "link/link.h"
#include "platform/clock.h"
#include "platform/com_ports.h"
#include "platform/event_pump.h"
#include "platform/linux/serial_device_linux.h"
#include "platform/settings_store.h"
#include "ser2net_process.h"
#include "temp_folder.h"
#include "test_certificates.h"
#include "vxsim_process.h"

namespace vx {
namespace {

using platform::testing::ReadFileText;
using platform::testing::TempFolder;
using test::Ser2net;
using test::VxsimProcess;

constexpr const char* kModuleLine = "19200,e,8,1";
constexpr int kIdentityReplyLength = 16;
constexpr int kPort = 1;

struct SecureCase {
    std::string name;
    std::string serverCertificate;  // empty: the server speaks in the clear
    bool serverAsksClient;
    std::string url;     // with {port}, {pin:NAME}, {keypin:NAME} and {file:NAME}
    std::string reason;  // empty: the module answers through the port
};

void PrintTo(const SecureCase& c, std::ostream* os) {
    *os << c.name;
}

class SecurePort : public ::testing::TestWithParam<SecureCase> {
protected:
    static void SetUpTestSuite() {
        certificates = new test::TestCertificates();
        // The client's trust store: the test CA alone, as a site's own CA
        // would be added to the system's.
        setenv("SSL_CERT_FILE", certificates->Path("ca.pem").c_str(), 1);
    }
    static void TearDownTestSuite() {
        delete certificates;
        certificates = nullptr;
    }

    void SetUp() override {
        store = platform::OpenFileSettingsStore(folder.File("VXConfig.reg"));
        ASSERT_EQ(system(("mkdir -p " + folder.File("locks")).c_str()), 0);
        device = platform::CreateLinuxSerialDevice(
            [this](const std::string& name) { return platform::ResolveComPort(name, *store); },
            folder.File("locks"));
        link = std::make_unique<link::Link>(*device, platform::SystemClock(), events);
    }
    void TearDown() override { link->CloseCommPort(); }

    // The case's URL with its placeholders filled in.
    std::string Url(std::string text, int tcpPort) const {
        const std::map<std::string, std::function<std::string(const std::string&)>> fills{
            {"port", [&](const std::string&) { return std::to_string(tcpPort); }},
            {"pin", [](const std::string& n) { return certificates->CertificatePin(n); }},
            {"keypin", [](const std::string& n) { return certificates->KeyPin(n); }},
            {"file", [](const std::string& n) { return certificates->Path(n); }}};
        for (std::size_t open; (open = text.find('{')) != std::string::npos;) {
            const std::size_t close = text.find('}', open);
            const std::string field = text.substr(open + 1, close - open - 1);
            const std::size_t colon = field.find(':');
            const std::string value = fills.at(field.substr(0, colon))(
                colon == std::string::npos ? "" : field.substr(colon + 1));
            text.replace(open, close - open + 1, value);
        }
        return text;
    }

    static test::TestCertificates* certificates;
    TempFolder folder;
    std::unique_ptr<platform::SettingsStore> store;
    std::unique_ptr<platform::SerialDevice> device;
    platform::InstallableEventPump events;
    std::unique_ptr<link::Link> link;
};

test::TestCertificates* SecurePort::certificates = nullptr;

TEST_P(SecurePort, OpensOnlyAVerifiedServerAndSaysWhyNot) {
    const SecureCase& c = GetParam();
    VxsimProcess sim({"--line", kModuleLine, "--link", folder.File("com")});
    ASSERT_NE(sim.OutputThrough(folder.File("com")).find("ready"), std::string::npos);
    Ser2net server(folder.Path(), {certificates->ServerPort(folder.File("com"), c.serverCertificate,
                                                            c.serverAsksClient)});
    ASSERT_TRUE(server.Ready()) << ReadFileText(folder.File("ser2net.log"));
    // Counts the connections, and so the handshakes.
    test::DelayingProxy proxy(server.TcpPort(0), std::chrono::milliseconds{0});
    auto ports = store->CreateKey(std::string(platform::kProgramKeyPath) + "\\Ports");
    ASSERT_TRUE(ports && ports->WriteText("COM1", Url(c.url, proxy.Port())));

    // One operation: its reopens, at another setting and back, keep the
    // connection.
    const link::ConnectionHold operation(*link);
    const bool opened = link->OpenCommPort(kPort, kModuleLine);
    if (!c.reason.empty()) {
        EXPECT_FALSE(opened);
        EXPECT_NE(link->LastOpen().detail.find(c.reason), std::string::npos)
            << link->LastOpen().detail;
        return;
    }
    ASSERT_TRUE(opened) << link->LastOpen().detail;
    ASSERT_TRUE(link->SendCommand("B00B"));
    EXPECT_EQ(link->ReplyLength(), kIdentityReplyLength);
    link->CloseCommPort();
    for (const char* line : {"9600,n,8,1", kModuleLine}) {
        ASSERT_TRUE(link->OpenCommPort(kPort, line)) << link->LastOpen().detail;
        EXPECT_EQ(link->SendCommand("B00B"), line == kModuleLine) << line;
        link->CloseCommPort();
    }
    EXPECT_EQ(proxy.Accepted(), 1) << "one handshake for the operation";
}

INSTANTIATE_TEST_SUITE_P(
    Servers, SecurePort,
    ::testing::Values(
        SecureCase{"TrustedChain", "server", false, "rfc2217+tls://localhost:{port}", ""},
        SecureCase{"PinnedCertificate", "self", false,
                   "rfc2217+tls://127.0.0.1:{port}?cert-sha256={pin:self}", ""},
        SecureCase{"PinnedKey", "self", false,
                   "rfc2217+tls://localhost:{port}?key-sha256={keypin:self}", ""},
        SecureCase{"ClientCertificate", "server", true,
                   "rfc2217+tls://localhost:{port}?client-cert={file:client.pem}&client-key={file:"
                   "client.key}",
                   ""},
        SecureCase{"UnknownCa", "untrusted", false, "rfc2217+tls://localhost:{port}",
                   "is not trusted"},
        SecureCase{"SelfSignedUnpinned", "self", false, "rfc2217+tls://localhost:{port}",
                   "SHA-256 fingerprint"},
        SecureCase{"WrongHostName", "server", false, "rfc2217+tls://127.0.0.1:{port}",
                   "is not for 127.0.0.1"},
        SecureCase{"Expired", "expired", false, "rfc2217+tls://localhost:{port}", "has expired"},
        SecureCase{"WrongPin", "server", false,
                   "rfc2217+tls://localhost:{port}?cert-sha256={pin:self}",
                   "does not match the pin"},
        SecureCase{"NoClientCertificate", "server", true, "rfc2217+tls://localhost:{port}",
                   "asks for a client certificate"},
        SecureCase{"KeyReadableByOthers", "server", true,
                   "rfc2217+tls://localhost:{port}?client-cert={file:client.pem}&client-key={file:"
                   "world-readable.key}",
                   "other users may read"},
        SecureCase{"PlaintextServer", "", false, "rfc2217+tls://localhost:{port}",
                   "does not speak TLS"},
        SecureCase{"TlsServerOnAPlainUrl", "server", false, "rfc2217://localhost:{port}",
                   "if the port is secure"}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace vx
