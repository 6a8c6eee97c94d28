#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vx::platform {

// How a secure network port proves the server and, where asked, this client.
// It travels in the URL's query, so that the Ports table keeps one value per
// COM number.
struct TlsSettings {
    using Sha256 = std::array<std::uint8_t, 32>;
    enum class Pin {
        None,         // the chain must lead to a trusted root and name the host
        Certificate,  // exactly this certificate, whoever signed it
        PublicKey,    // any certificate of exactly this key
    };

    Pin pin = Pin::None;
    Sha256 fingerprint{};
    // Files of this client's certificate (with any chain after it) and key,
    // both PEM; empty when the server asks for none. The key may sit in the
    // certificate's file.
    std::string clientCertificate;
    std::string clientKey;

    bool operator==(const TlsSettings&) const = default;
};

// "cert-sha256=HEX", "key-sha256=HEX", "client-cert=PATH", "client-key=PATH",
// joined by '&', each at most once, at most one pin, a key only beside a
// certificate. HEX is 64 hex digits, bare or in colon-separated pairs as
// certificate tools print them. A PATH is written with letters, digits and
// -._~/\: only, anything else as %XX; it must decode to a name without
// control characters. Nothing when the text breaks any rule.
std::optional<TlsSettings> ParseTlsQuery(std::string_view query);

// The one spelling of the settings: names in the order above, the
// fingerprint in lowercase without colons, paths escaped as the parser wants.
// Empty when nothing is set.
std::string FormatTlsQuery(const TlsSettings& settings);

// "AB:CD:…", as certificate tools show a fingerprint, so that a person can
// compare it with what the device server's own page shows.
std::string FingerprintText(const TlsSettings::Sha256& fingerprint);

}  // namespace vx::platform
