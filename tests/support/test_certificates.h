#pragma once

#include <string>

#include "ser2net_process.h"
#include "temp_folder.h"

namespace vx::test {

// Certificates made by the openssl command in a folder of their own: a test
// CA and a stranger's CA; "server" (localhost, by the CA), "expired" and
// "untrusted" (by the stranger) beside it; self-signed "self"
// (device-server) and "client" (technician), the client allowed by ser2net
// through an authdir; and "world-readable.key", the client's key open to all.
class TestCertificates {
public:
    TestCertificates();

    std::string Path(const std::string& file) const { return folder_.File(file); }

    // The SHA-256 of a certificate, and of its public key, in hex.
    std::string CertificatePin(const std::string& name) const;
    std::string KeyPin(const std::string& name) const;

    // A ser2net port in front of `device` showing the certificate `name`
    // (none: in the clear), asking for a client certificate if told to.
    Ser2net::Port ServerPort(const std::string& device, const std::string& name,
                             bool askClient) const;

private:
    void MakeCa(const std::string& name) const;
    void MakeSelfSigned(const std::string& name, const std::string& commonName) const;
    void MakeLeaf(const std::string& name, const std::string& ca, const std::string& alt,
                  const std::string& days) const;
    std::string NewKey(const std::string& name) const;

    platform::testing::TempFolder folder_;
};

}  // namespace vx::test
