#include "test_certificates.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdio>

namespace vx::test {
namespace {

std::string Shell(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    for (char chunk[256]; pipe != nullptr && fgets(chunk, sizeof chunk, pipe) != nullptr;)
        output += chunk;
    EXPECT_EQ(pipe != nullptr ? pclose(pipe) : -1, 0) << command;
    while (!output.empty() && output.back() == '\n') output.pop_back();
    return output;
}

std::string Openssl(const std::string& arguments) {
    return "openssl " + arguments + " 2>/dev/null";
}

}  // namespace

TestCertificates::TestCertificates() {
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

std::string TestCertificates::CertificatePin(const std::string& name) const {
    const std::string out =
        Shell(Openssl("x509 -noout -fingerprint -sha256 -in " + Path(name + ".pem")));
    return out.substr(out.find('=') + 1);
}

std::string TestCertificates::KeyPin(const std::string& name) const {
    return Shell(Openssl("x509 -pubkey -noout -in " + Path(name + ".pem")) + " | " +
                 Openssl("pkey -pubin -outform der") + " | " + Openssl("dgst -sha256 -r") +
                 " | cut -d' ' -f1");
}

Ser2net::Port TestCertificates::ServerPort(const std::string& device, const std::string& name,
                                           bool askClient) const {
    if (name.empty())
        return {device};
    return {device, "9600n81", true,
            "key=" + Path(name + ".key") + ",cert=" + Path(name + ".pem") +
                (askClient ? ",clientauth" : ""),
            askClient ? Path("auth") : ""};
}

std::string TestCertificates::NewKey(const std::string& name) const {
    return "-newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout " + Path(name + ".key");
}

void TestCertificates::MakeCa(const std::string& name) const {
    Shell(Openssl("req -x509 " + NewKey(name) + " -days 3 -subj /CN=" + name + " -out " +
                  Path(name + ".pem")));
}

void TestCertificates::MakeSelfSigned(const std::string& name,
                                      const std::string& commonName) const {
    Shell(Openssl("req -x509 " + NewKey(name) + " -days 3 -subj /CN=" + commonName +
                  " -addext subjectAltName=DNS:" + commonName + " -out " + Path(name + ".pem")));
    chmod(Path(name + ".key").c_str(), 0600);
}

void TestCertificates::MakeLeaf(const std::string& name, const std::string& ca,
                                const std::string& alt, const std::string& days) const {
    platform::testing::WriteFileText(Path(name + ".ext"), "subjectAltName=" + alt + "\n");
    Shell(Openssl("req -new " + NewKey(name) + " -subj /CN=" + name + " -out " +
                  Path(name + ".csr")));
    Shell(Openssl("x509 -req -in " + Path(name + ".csr") + " -CA " + Path(ca + ".pem") +
                  " -CAkey " + Path(ca + ".key") + " -days " + days + " -extfile " +
                  Path(name + ".ext") + " -out " + Path(name + ".pem")));
    chmod(Path(name + ".key").c_str(), 0600);
}

}  // namespace vx::test
