// Secure network ports against ser2net's TLS layer, with certificates made
// here by the openssl command: a test CA that the client trusts through
// SSL_CERT_FILE, as it would trust a site's own CA, and the certificates a
// plant meets, good and bad.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "link/link.h"
#include "platform/clock.h"
#include "platform/com_ports.h"
#include "platform/event_pump.h"
#include "platform/linux/serial_device_linux.h"
#include "platform/settings_store.h"
#include "ser2net_process.h"
#include "temp_folder.h"
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

std::string Shell(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    for (char chunk[256]; pipe != nullptr && fgets(chunk, sizeof chunk, pipe) != nullptr;)
        output += chunk;
    EXPECT_EQ(pipe != nullptr ? pclose(pipe) : -1, 0) << command;
    while (!output.empty() && output.back() == '\n') output.pop_back();
    return output;
}

// The certificates, made once for every case.
class Certificates {
public:
    Certificates() {
        MakeCa("ca");
        MakeCa("stranger-ca");
        MakeLeaf("server", "ca", "DNS:localhost", "3");
        MakeLeaf("expired", "ca", "DNS:localhost", "-1");
        MakeLeaf("untrusted", "stranger-ca", "DNS:localhost", "3");
        MakeSelfSigned("self", "device-server");
        // ser2net allows a client by its certificate's common name: the
        // certificate must be in that user's folder of allowed certificates.
        MakeSelfSigned("client", "technician");
        const std::string allowed = Path("auth/technician/allowed_certs");
        Shell("mkdir -p " + allowed + " && cp " + Path("client.pem") + " " + allowed +
              " && openssl rehash " + allowed);
        Shell("cp " + Path("client.key") + " " + Path("world-readable.key") + " && chmod 644 " +
              Path("world-readable.key"));
    }

    std::string Path(const std::string& file) const { return folder_.File(file); }

    // The SHA-256 of a certificate, and of its public key, in hex.
    std::string CertificatePin(const std::string& name) const {
        const std::string out =
            Shell(Openssl("x509 -noout -fingerprint -sha256 -in " + Path(name + ".pem")));
        return out.substr(out.find('=') + 1);
    }
    std::string KeyPin(const std::string& name) const {
        return Shell(Openssl("x509 -pubkey -noout -in " + Path(name + ".pem")) + " | " +
                     Openssl("pkey -pubin -outform der") + " | " + Openssl("dgst -sha256 -r") +
                     " | cut -d' ' -f1");
    }

    // A ser2net port in front of `device` showing the certificate `name`.
    Ser2net::Port ServerPort(const std::string& device, const std::string& name,
                             bool askClient) const {
        if (name.empty())
            return {device};
        return {device, "9600n81", true,
                "key=" + Path(name + ".key") + ",cert=" + Path(name + ".pem") +
                    (askClient ? ",clientauth" : ""),
                askClient ? Path("auth") : ""};
    }

private:
    static std::string Openssl(const std::string& arguments) {
        return "openssl " + arguments + " 2>/dev/null";
    }
    std::string NewKey(const std::string& name) const {
        return "-newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout " + Path(name + ".key");
    }
    void MakeCa(const std::string& name) const {
        Shell(Openssl("req -x509 " + NewKey(name) + " -days 3 -subj /CN=" + name + " -out " +
                      Path(name + ".pem")));
    }
    void MakeSelfSigned(const std::string& name, const std::string& commonName) const {
        Shell(Openssl("req -x509 " + NewKey(name) + " -days 3 -subj /CN=" + commonName +
                      " -addext subjectAltName=DNS:" + commonName + " -out " +
                      Path(name + ".pem")));
        chmod(Path(name + ".key").c_str(), 0600);
    }
    void MakeLeaf(const std::string& name, const std::string& ca, const std::string& alt,
                  const std::string& days) const {
        WriteFileText(Path(name + ".ext"), "subjectAltName=" + alt + "\n");
        Shell(Openssl("req -new " + NewKey(name) + " -subj /CN=" + name + " -out " +
                      Path(name + ".csr")));
        Shell(Openssl("x509 -req -in " + Path(name + ".csr") + " -CA " + Path(ca + ".pem") +
                      " -CAkey " + Path(ca + ".key") + " -days " + days + " -extfile " +
                      Path(name + ".ext") + " -out " + Path(name + ".pem")));
        chmod(Path(name + ".key").c_str(), 0600);
    }
    static void WriteFileText(const std::string& path, const std::string& text) {
        platform::testing::WriteFileText(path, text);
    }

    TempFolder folder_;
};

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
        certificates = new Certificates();
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

    static Certificates* certificates;
    TempFolder folder;
    std::unique_ptr<platform::SettingsStore> store;
    std::unique_ptr<platform::SerialDevice> device;
    platform::InstallableEventPump events;
    std::unique_ptr<link::Link> link;
};

Certificates* SecurePort::certificates = nullptr;

TEST_P(SecurePort, OpensOnlyAVerifiedServerAndSaysWhyNot) {
    const SecureCase& c = GetParam();
    VxsimProcess sim({"--line", kModuleLine, "--link", folder.File("com")});
    ASSERT_NE(sim.OutputThrough(folder.File("com")).find("ready"), std::string::npos);
    Ser2net server(folder.Path(), {certificates->ServerPort(folder.File("com"), c.serverCertificate,
                                                            c.serverAsksClient)});
    ASSERT_TRUE(server.Ready()) << ReadFileText(folder.File("ser2net.log"));
    auto ports = store->CreateKey(std::string(platform::kProgramKeyPath) + "\\Ports");
    ASSERT_TRUE(ports && ports->WriteText("COM1", Url(c.url, server.TcpPort(0))));

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
