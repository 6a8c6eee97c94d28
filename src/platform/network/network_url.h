#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/network/tls_settings.h"

namespace vx::platform {

// A serial port that a device server offers on the network.
struct NetworkUrl {
    enum class Kind {
        Rfc2217,  // Telnet with com port control: bytes, line settings, purges
        Socket,   // a raw TCP stream: bytes only
    };
    enum class HostForm { Name, Ipv4, Ipv6 };

    Kind kind = Kind::Rfc2217;
    HostForm hostForm = HostForm::Name;
    // A name in lowercase, or an address in its usual text form (IPv6
    // compressed, without brackets).
    std::string host;
    std::uint16_t port = 0;
    // Over TLS, with the server verified as `tls` says; never in the clear.
    bool secure = false;
    TlsSettings tls;

    // The one spelling of this port: the same for every way of writing it.
    std::string Canonical() const;
};

// True when the text is meant as a network port rather than a device: it
// names a scheme. Such a text never falls back to being a device path.
bool IsNetworkPortText(std::string_view text);

// "rfc2217://host:port" or "socket://host:port", the scheme in lowercase;
// host a DNS name, a dotted IPv4 address or a bracketed IPv6 address; port
// 1 to 65535 in decimal without leading zeros. Nothing before, between or
// after (no user, path, query, zone or trailing dot). "rfc2217+tls://" and
// "socket+tls://" are the same over TLS, and only they may carry a query:
// the TlsSettings, as ParseTlsQuery reads them. Nothing when the text breaks
// any rule.
std::optional<NetworkUrl> ParseNetworkUrl(std::string_view text);

}  // namespace vx::platform
