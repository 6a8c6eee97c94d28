#include "platform/network/tls_connection.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <array>
#include <functional>
#include <string>

#include "platform/network/tls_system.h"

namespace vx::platform {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kChunkSize = 16 * 1024;
constexpr auto kEventSlice = std::chrono::milliseconds(10);
constexpr int kWantsNoPassphrase = 0;
constexpr const char* kClientCertificateAsked =
    "the server asks for a client certificate: name one with client-cert= in the URL";

struct SslContextFree {
    void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};
struct SslFree {
    void operator()(SSL* ssl) const { SSL_free(ssl); }
};
struct X509Free {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
using SslContextPtr = std::unique_ptr<SSL_CTX, SslContextFree>;
using SslPtr = std::unique_ptr<SSL, SslFree>;
using X509Ptr = std::unique_ptr<X509, X509Free>;
using BioPtr = std::unique_ptr<BIO, BioFree>;

PortOpen Failed(std::string reason) {
    return {PortFailure::Other, 0, std::move(reason)};
}

// The library's queued errors, oldest first, as one line.
std::string LibraryErrors() {
    std::string text;
    while (const unsigned long code = ERR_get_error()) {
        std::array<char, 256> line{};
        ERR_error_string_n(code, line.data(), line.size());
        text += (text.empty() ? "" : "; ") + std::string{line.data()};
    }
    return text.empty() ? "no further detail" : text;
}

TlsSettings::Sha256 CertificateDigest(X509* certificate, TlsSettings::Pin pin) {
    TlsSettings::Sha256 digest{};
    unsigned length = 0;
    if (pin == TlsSettings::Pin::PublicKey) {
        // The hash of the whole SubjectPublicKeyInfo, as key pins are made.
        unsigned char* der = nullptr;
        const int size = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(certificate), &der);
        if (size > 0)
            EVP_Digest(der, static_cast<std::size_t>(size), digest.data(), &length, EVP_sha256(),
                       nullptr);
        OPENSSL_free(der);
    } else
        X509_digest(certificate, EVP_sha256(), digest.data(), &length);
    return digest;
}

std::string SubjectText(X509* certificate) {
    const BioPtr out(BIO_new(BIO_s_mem()));
    X509_NAME_print_ex(out.get(), X509_get_subject_name(certificate), 0, XN_FLAG_RFC2253);
    char* data = nullptr;
    const long length = BIO_get_mem_data(out.get(), &data);
    return std::string(data, static_cast<std::size_t>(length));
}

// What a person needs to check a certificate and, if it is the right one,
// to pin it.
std::string Describe(X509* certificate) {
    if (certificate == nullptr)
        return "the server sent no certificate";
    return "certificate \"" + SubjectText(certificate) + "\", SHA-256 fingerprint " +
           FingerprintText(CertificateDigest(certificate, TlsSettings::Pin::Certificate));
}

// What the handshake learned besides its result.
struct HandshakeNotes {
    X509Ptr serverCertificate;  // as received, before any check
    bool clientCertificateAsked = false;
};

HandshakeNotes& Notes(const SSL* ssl) {
    return *static_cast<HandshakeNotes*>(SSL_get_app_data(ssl));
}

int RememberServerCertificate(int verified, X509_STORE_CTX* store) {
    auto* ssl =
        static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    HandshakeNotes& notes = Notes(ssl);
    if (!notes.serverCertificate) {
        X509* leaf = X509_STORE_CTX_get0_cert(store);
        if (leaf != nullptr && X509_up_ref(leaf) == 1)
            notes.serverCertificate.reset(leaf);
    }
    return verified;
}

int NoteClientCertificateAsked(SSL* ssl, X509**, EVP_PKEY**) {
    Notes(ssl).clientCertificateAsked = true;
    return 0;  // none to give: the server decides whether it goes on
}

int NoPassphrase(char*, int, int, void*) {
    return kWantsNoPassphrase;
}

// This client's certificate, any chain after it, and its key.
std::string LoadClientIdentity(SSL_CTX* context, const TlsSettings& tls) {
    const TlsFile certificates = ReadTlsFile(tls.clientCertificate, false);
    if (!certificates.failure.empty())
        return certificates.failure;
    const std::string& keyPath = tls.clientKey.empty() ? tls.clientCertificate : tls.clientKey;
    const TlsFile key = ReadTlsFile(keyPath, true);
    if (!key.failure.empty())
        return key.failure;
    const BioPtr certificateText(BIO_new_mem_buf(certificates.content.data(),
                                                 static_cast<int>(certificates.content.size())));
    X509Ptr leaf(PEM_read_bio_X509(certificateText.get(), nullptr, NoPassphrase, nullptr));
    if (!leaf || SSL_CTX_use_certificate(context, leaf.get()) != 1)
        return tls.clientCertificate + ": no PEM certificate (" + LibraryErrors() + ")";
    while (X509* chain = PEM_read_bio_X509(certificateText.get(), nullptr, NoPassphrase, nullptr)) {
        if (SSL_CTX_add0_chain_cert(context, chain) != 1)
            X509_free(chain);
    }
    ERR_clear_error();  // the end of the chain reads as an error
    const BioPtr keyText(BIO_new_mem_buf(key.content.data(), static_cast<int>(key.content.size())));
    EVP_PKEY* privateKey = PEM_read_bio_PrivateKey(keyText.get(), nullptr, NoPassphrase, nullptr);
    const bool used = privateKey != nullptr && SSL_CTX_use_PrivateKey(context, privateKey) == 1;
    EVP_PKEY_free(privateKey);
    if (!used)
        return keyPath + ": no unencrypted PEM private key (" + LibraryErrors() + ")";
    if (SSL_CTX_check_private_key(context) != 1)
        return keyPath + ": the key does not belong to the certificate";
    return {};
}

// TLS over another connection: the library works on two buffers, and this
// class moves their bytes to and from the connection, so that the deadlines
// stay those of the connection's own waits.
class TlsConnection final : public TcpConnection {
public:
    TlsConnection(std::unique_ptr<TcpConnection> plain, SslContextPtr context, SslPtr ssl,
                  BIO* fromNetwork, BIO* toNetwork)
        : plain_(std::move(plain)),
          context_(std::move(context)),
          ssl_(std::move(ssl)),
          fromNetwork_(fromNetwork),
          toNetwork_(toNetwork) {
        SSL_set_app_data(ssl_.get(), &notes_);
    }

    bool Send(const std::uint8_t* data, std::size_t count) override {
        std::size_t written = 0;
        return SSL_write_ex(ssl_.get(), data, count, &written) == 1 && Flush();
    }

    std::string Endpoint() const override { return plain_->Endpoint(); }

    std::optional<std::size_t> Receive(std::uint8_t* buffer, std::size_t capacity,
                                       SteadyTime deadline) override {
        for (;;) {
            std::size_t got = 0;
            if (SSL_read_ex(ssl_.get(), buffer, capacity, &got) == 1)
                return got;
            // A close alert ends the connection as a closed socket would;
            // a forged or broken record ends it too, and never reaches the
            // link as data.
            if (SSL_get_error(ssl_.get(), 0) != SSL_ERROR_WANT_READ || !Flush())
                return std::nullopt;
            const auto arrived = Feed(deadline);
            if (!arrived || *arrived == 0)
                return arrived;
        }
    }

    // The handshake, whose failure `Failure` then explains.
    enum class Handshake { Done, Broke, TimedOut, Closed };
    // The window's events run between slices of the wait, as during the
    // connect before it.
    Handshake Run(SteadyTime deadline, const KeepWaiting& whileWaiting) {
        for (;;) {
            const int result = SSL_do_handshake(ssl_.get());
            if (result == 1)
                return Flush() ? Handshake::Done : Handshake::Closed;
            if (SSL_get_error(ssl_.get(), result) != SSL_ERROR_WANT_READ) {
                Flush();  // the alert tells the server why
                return Handshake::Broke;
            }
            if (!Flush())
                return Handshake::Closed;
            std::optional<std::size_t> arrived = 0;
            while (arrived && *arrived == 0 && Clock::now() < deadline) {
                arrived = Feed(std::min(deadline, Clock::now() + kEventSlice));
                if (!whileWaiting())
                    break;
            }
            if (!arrived)
                return Handshake::Closed;
            if (*arrived == 0)
                return Handshake::TimedOut;
        }
    }

    SSL* Ssl() const { return ssl_.get(); }

private:
    bool Flush() {
        std::array<std::uint8_t, kChunkSize> chunk{};
        while (BIO_ctrl_pending(toNetwork_) > 0) {
            const int count = BIO_read(toNetwork_, chunk.data(), static_cast<int>(chunk.size()));
            if (count <= 0 || !plain_->Send(chunk.data(), static_cast<std::size_t>(count)))
                return false;
        }
        return true;
    }

    std::optional<std::size_t> Feed(SteadyTime deadline) {
        std::array<std::uint8_t, kChunkSize> chunk{};
        const auto arrived = plain_->Receive(chunk.data(), chunk.size(), deadline);
        if (arrived && *arrived > 0)
            BIO_write(fromNetwork_, chunk.data(), static_cast<int>(*arrived));
        return arrived;
    }

    std::unique_ptr<TcpConnection> plain_;
    SslContextPtr context_;
    SslPtr ssl_;
    HandshakeNotes notes_;
    BIO* fromNetwork_;  // owned by ssl_
    BIO* toNetwork_;    // owned by ssl_
};

// The context for one port: TLS 1.2 or newer, the system's roots unless a
// pin replaces them, and the client's identity where the URL names one.
SslContextPtr MakeContext(const TlsSettings& tls, std::string& failure) {
    SslContextPtr context(SSL_CTX_new(TLS_client_method()));
    if (!context || SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION) != 1) {
        failure = "TLS could not be set up: " + LibraryErrors();
        return nullptr;
    }
    SSL_CTX_set_default_passwd_cb(context.get(), NoPassphrase);
    // Everything is checked once, at the start: a renegotiation could bring
    // another certificate that no pin or name check would see.
    SSL_CTX_set_options(context.get(), SSL_OP_NO_RENEGOTIATION);
    if (tls.pin == TlsSettings::Pin::None) {
        LoadTrustedRoots(context.get());
        SSL_CTX_set_verify(context.get(), SSL_VERIFY_PEER, RememberServerCertificate);
    } else {
        // The pin alone decides, after the handshake; the chain is not asked.
        SSL_CTX_set_verify(context.get(), SSL_VERIFY_NONE, nullptr);
    }
    if (tls.clientCertificate.empty()) {
        SSL_CTX_set_client_cert_cb(context.get(), NoteClientCertificateAsked);
    } else if (failure = LoadClientIdentity(context.get(), tls); !failure.empty()) {
        return nullptr;
    }
    return context;
}

// The name the certificate must carry, and the name the server is told.
bool SetServerName(SSL* ssl, const NetworkUrl& url) {
    if (url.hostForm != NetworkUrl::HostForm::Name)
        return X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), url.host.c_str()) == 1;
    return SSL_set_tlsext_host_name(ssl, url.host.c_str()) == 1 &&
           (url.tls.pin != TlsSettings::Pin::None || SSL_set1_host(ssl, url.host.c_str()) == 1);
}

std::string VerifyFailure(const NetworkUrl& url, long result, X509* certificate) {
    const std::string what = Describe(certificate);
    switch (result) {
        case X509_V_ERR_HOSTNAME_MISMATCH:
        case X509_V_ERR_IP_ADDRESS_MISMATCH:
            return "the server's certificate is not for " + url.host + ": " + what;
        case X509_V_ERR_CERT_HAS_EXPIRED:
            return "the server's certificate has expired: " + what;
        case X509_V_ERR_CERT_NOT_YET_VALID:
            return "the server's certificate is not valid yet: " + what;
        default:
            return "the server's certificate is not trusted (" +
                   std::string{X509_verify_cert_error_string(result)} + "): " + what +
                   "; if it is the device server's own, pin it with cert-sha256= in the URL";
    }
}

// Words for a handshake that did not finish, in the order a person would
// look: the server's certificate, then the client's, then the library's.
std::string HandshakeFailure(const NetworkUrl& url, SSL* ssl, bool closed) {
    const HandshakeNotes& notes = Notes(ssl);
    const long verified = SSL_get_verify_result(ssl);
    if (url.tls.pin == TlsSettings::Pin::None && verified != X509_V_OK)
        return VerifyFailure(url, verified, notes.serverCertificate.get());
    if (notes.clientCertificateAsked)
        return kClientCertificateAsked;
    const unsigned long first = ERR_peek_error();
    if (closed && first == 0)
        return "the server closed the connection during the TLS handshake";
    const std::string library = LibraryErrors();
    if (ERR_GET_LIB(first) == ERR_LIB_SSL &&
        (ERR_GET_REASON(first) == SSL_R_WRONG_VERSION_NUMBER ||
         ERR_GET_REASON(first) == SSL_R_PACKET_LENGTH_TOO_LONG ||
         ERR_GET_REASON(first) == SSL_R_UNEXPECTED_RECORD)) {
        return "the server does not speak TLS on this port (" + library + ")";
    }
    return "the TLS handshake failed: " + library;
}

// A pinned port accepts exactly the pinned certificate or key.
std::string PinFailure(const NetworkUrl& url, SSL* ssl) {
    const X509Ptr certificate(SSL_get1_peer_certificate(ssl));
    if (!certificate)
        return "the server sent no certificate";
    const auto digest = CertificateDigest(certificate.get(), url.tls.pin);
    if (digest == url.tls.fingerprint)
        return {};
    return "the server's certificate does not match the pin: pinned " +
           FingerprintText(url.tls.fingerprint) + ", the server's " + FingerprintText(digest) +
           " (" + Describe(certificate.get()) + ")";
}

std::string AfterHandshake(const NetworkUrl& url, SSL* ssl) {
    if (url.tls.pin != TlsSettings::Pin::None)
        return PinFailure(url, ssl);
    // A server that wanted a certificate and went on without one will close
    // the connection at the first byte, under TLS 1.3 without saying why.
    if (Notes(ssl).clientCertificateAsked)
        return kClientCertificateAsked;
    return {};
}

}  // namespace

TcpConnect StartTls(std::unique_ptr<TcpConnection> plain, const NetworkUrl& url,
                    SteadyTime deadline, const KeepWaiting& whileWaiting) {
    InitTlsLibrary();
    ERR_clear_error();
    std::string failure;
    SslContextPtr context = MakeContext(url.tls, failure);
    if (!context)
        return {nullptr, Failed(failure)};
    SslPtr ssl(SSL_new(context.get()));
    BIO* fromNetwork = BIO_new(BIO_s_mem());
    BIO* toNetwork = BIO_new(BIO_s_mem());
    if (!ssl || fromNetwork == nullptr || toNetwork == nullptr) {
        BIO_free(fromNetwork);
        BIO_free(toNetwork);
        return {nullptr, Failed("TLS could not be set up: " + LibraryErrors())};
    }
    // An empty buffer means "wait for more", not the end of the stream.
    BIO_set_mem_eof_return(fromNetwork, -1);
    SSL_set_bio(ssl.get(), fromNetwork, toNetwork);
    SSL_set_connect_state(ssl.get());
    if (!SetServerName(ssl.get(), url))
        return {nullptr, Failed("TLS could not be set up for " + url.host)};
    auto connection = std::make_unique<TlsConnection>(std::move(plain), std::move(context),
                                                      std::move(ssl), fromNetwork, toNetwork);
    switch (connection->Run(deadline, whileWaiting)) {
        case TlsConnection::Handshake::TimedOut:
            return {nullptr, Failed("the TLS handshake did not finish in time")};
        case TlsConnection::Handshake::Closed:
            return {nullptr, Failed(HandshakeFailure(url, connection->Ssl(), true))};
        case TlsConnection::Handshake::Broke:
            return {nullptr, Failed(HandshakeFailure(url, connection->Ssl(), false))};
        case TlsConnection::Handshake::Done:
            break;
    }
    if (failure = AfterHandshake(url, connection->Ssl()); !failure.empty())
        return {nullptr, Failed(failure)};
    return {std::move(connection), {}};
}

}  // namespace vx::platform
