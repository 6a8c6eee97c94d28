#include "platform/network/network_url.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <vector>

namespace vx::platform {
namespace {

constexpr std::string_view kSchemeEnd = "://";
constexpr std::string_view kRfc2217Scheme = "rfc2217";
constexpr std::string_view kSocketScheme = "socket";
constexpr std::string_view kSecureSuffix = "+tls";
constexpr char kQueryStart = '?';
constexpr std::size_t kMaxNameLength = 253;
constexpr std::size_t kMaxLabelLength = 63;
constexpr std::size_t kMaxPortDigits = 5;
constexpr unsigned kMaxPort = 65535;
constexpr std::size_t kIpv4Parts = 4;
constexpr unsigned kMaxIpv4Part = 255;
constexpr std::size_t kMaxIpv4PartDigits = 3;
constexpr std::size_t kIpv6Groups = 8;
constexpr std::size_t kMaxGroupDigits = 4;
constexpr int kHexBase = 16;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string_view::npos)
            return parts;
        start = end + 1;
    }
}

// Decimal without sign or leading zeros, at most `maxDigits` digits.
std::optional<unsigned> Decimal(std::string_view text, std::size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits || (text.size() > 1 && text.front() == '0') ||
        !std::all_of(text.begin(), text.end(), IsDigit)) {
        return std::nullopt;
    }
    unsigned value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

bool IsIpv4(std::string_view text) {
    const auto parts = Split(text, '.');
    return parts.size() == kIpv4Parts && std::all_of(parts.begin(), parts.end(), [](auto part) {
               const auto value = Decimal(part, kMaxIpv4PartDigits);
               return value && *value <= kMaxIpv4Part;
           });
}

bool IsLabel(std::string_view label) {
    return !label.empty() && label.size() <= kMaxLabelLength && label.front() != '-' &&
           label.back() != '-' && std::all_of(label.begin(), label.end(), [](char c) {
               return IsLetter(c) || IsDigit(c) || c == '-';
           });
}

// Letters, digits and hyphens in dot-separated labels. A name whose last
// label is all digits would be read as a numeric address by the resolver
// ("10.1" is 10.0.0.1), so it must be a proper dotted address instead.
bool IsHostName(std::string_view text) {
    if (text.empty() || text.size() > kMaxNameLength)
        return false;
    const auto labels = Split(text, '.');
    const std::string_view last = labels.back();
    return std::all_of(labels.begin(), labels.end(), IsLabel) &&
           !std::all_of(last.begin(), last.end(), IsDigit);
}

using Ipv6Groups = std::array<std::uint16_t, kIpv6Groups>;

std::optional<std::uint16_t> HexGroup(std::string_view text) {
    if (text.empty() || text.size() > kMaxGroupDigits)
        return std::nullopt;
    unsigned value = 0;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), value, kHexBase);
    if (error != std::errc{} || end != text.data() + text.size())
        return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

// Groups of one side of a "::", the last of them possibly a dotted IPv4
// address (two groups' worth).
std::optional<std::vector<std::uint16_t>> Ipv6Side(std::string_view text, bool mayEndInIpv4) {
    std::vector<std::uint16_t> groups;
    if (text.empty())
        return groups;
    const auto parts = Split(text, ':');
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (mayEndInIpv4 && i + 1 == parts.size() && IsIpv4(parts[i])) {
            std::array<unsigned, kIpv4Parts> bytes{};
            const auto quads = Split(parts[i], '.');
            for (std::size_t k = 0; k < kIpv4Parts; ++k) bytes[k] = *Decimal(quads[k], 3);
            groups.push_back(static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]));
            groups.push_back(static_cast<std::uint16_t>(bytes[2] << 8 | bytes[3]));
            continue;
        }
        const auto group = HexGroup(parts[i]);
        if (!group)
            return std::nullopt;
        groups.push_back(*group);
    }
    return groups;
}

std::optional<Ipv6Groups> ParseIpv6(std::string_view text) {
    const std::size_t gap = text.find("::");
    Ipv6Groups address{};
    if (gap == std::string_view::npos) {
        const auto groups = Ipv6Side(text, true);
        if (!groups || groups->size() != kIpv6Groups)
            return std::nullopt;
        std::copy(groups->begin(), groups->end(), address.begin());
        return address;
    }
    if (text.find("::", gap + 1) != std::string_view::npos)
        return std::nullopt;
    const auto head = Ipv6Side(text.substr(0, gap), false);
    const auto tail = Ipv6Side(text.substr(gap + 2), true);
    if (!head || !tail || head->size() + tail->size() >= kIpv6Groups)
        return std::nullopt;
    std::copy(head->begin(), head->end(), address.begin());
    std::copy(tail->begin(), tail->end(), address.end() - static_cast<long>(tail->size()));
    return address;
}

// The recommended text form: lowercase, no leading zeros, the longest run
// of two or more zero groups (the first of equals) as "::".
std::string FormatIpv6(const Ipv6Groups& groups) {
    std::size_t bestStart = kIpv6Groups;
    std::size_t bestLength = 1;
    for (std::size_t i = 0; i < kIpv6Groups;) {
        std::size_t j = i;
        while (j < kIpv6Groups && groups[j] == 0) ++j;
        if (j - i > bestLength) {
            bestStart = i;
            bestLength = j - i;
        }
        i = j == i ? i + 1 : j;
    }
    std::string text;
    for (std::size_t i = 0; i < kIpv6Groups; ++i) {
        if (i == bestStart) {
            text += "::";
            i += bestLength - 1;
            continue;
        }
        if (!text.empty() && text.back() != ':')
            text += ':';
        std::array<char, kMaxGroupDigits + 1> digits{};
        std::snprintf(digits.data(), digits.size(), "%x", groups[i]);
        text += digits.data();
    }
    return text;
}

// The host part, with the form it takes; nothing when it is none of them.
std::optional<std::pair<NetworkUrl::HostForm, std::string>> ParseHost(std::string_view text) {
    using HostForm = NetworkUrl::HostForm;
    if (text.size() >= 2 && text.front() == '[' && text.back() == ']') {
        const auto address = ParseIpv6(text.substr(1, text.size() - 2));
        if (!address)
            return std::nullopt;
        return std::pair{HostForm::Ipv6, FormatIpv6(*address)};
    }
    if (IsIpv4(text))
        return std::pair{HostForm::Ipv4, std::string{text}};
    if (!IsHostName(text))
        return std::nullopt;
    std::string name{text};
    std::transform(name.begin(), name.end(), name.begin(), Lower);
    return std::pair{HostForm::Name, name};
}

}  // namespace

std::string NetworkUrl::Canonical() const {
    const std::string_view scheme = kind == Kind::Rfc2217 ? kRfc2217Scheme : kSocketScheme;
    const std::string shownHost = hostForm == HostForm::Ipv6 ? "[" + host + "]" : host;
    const std::string query = secure ? FormatTlsQuery(tls) : std::string{};
    return std::string{scheme} + std::string{secure ? kSecureSuffix : ""} +
           std::string{kSchemeEnd} + shownHost + ":" + std::to_string(port) +
           (query.empty() ? "" : kQueryStart + query);
}

bool IsNetworkPortText(std::string_view text) {
    return text.find(kSchemeEnd) != std::string_view::npos;
}

std::optional<NetworkUrl> ParseNetworkUrl(std::string_view text) {
    const std::size_t schemeEnd = text.find(kSchemeEnd);
    if (schemeEnd == std::string_view::npos)
        return std::nullopt;
    NetworkUrl url;
    std::string_view scheme = text.substr(0, schemeEnd);
    url.secure = scheme.ends_with(kSecureSuffix);
    if (url.secure)
        scheme.remove_suffix(kSecureSuffix.size());
    if (scheme == kRfc2217Scheme) {
        url.kind = NetworkUrl::Kind::Rfc2217;
    } else if (scheme == kSocketScheme) {
        url.kind = NetworkUrl::Kind::Socket;
    } else {
        return std::nullopt;
    }
    std::string_view rest = text.substr(schemeEnd + kSchemeEnd.size());
    const std::size_t queryStart = rest.find(kQueryStart);
    if (queryStart != std::string_view::npos) {
        const auto tls = ParseTlsQuery(rest.substr(queryStart + 1));
        if (!url.secure || !tls || *tls == TlsSettings{})
            return std::nullopt;
        url.tls = *tls;
        rest = rest.substr(0, queryStart);
    }
    const std::size_t portColon = rest.rfind(':');
    if (portColon == std::string_view::npos)
        return std::nullopt;
    const auto port = Decimal(rest.substr(portColon + 1), kMaxPortDigits);
    const auto host = ParseHost(rest.substr(0, portColon));
    if (!port || *port == 0 || *port > kMaxPort || !host)
        return std::nullopt;
    url.hostForm = host->first;
    url.host = host->second;
    url.port = static_cast<std::uint16_t>(*port);
    return url;
}

}  // namespace vx::platform
