#include "platform/network/tls_settings.h"

#include <cctype>
#include <vector>

namespace vx::platform {
namespace {

constexpr std::string_view kCertificatePin = "cert-sha256";
constexpr std::string_view kPublicKeyPin = "key-sha256";
constexpr std::string_view kClientCertificate = "client-cert";
constexpr std::string_view kClientKey = "client-key";
constexpr std::size_t kHexDigitsPerByte = 2;
constexpr std::size_t kEscapeLength = 3;  // "%XX"
constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kDelete = 0x7f;
constexpr std::string_view kHexDigits = "0123456789abcdef";

int HexValue(char c) {
    const char lower = c >= 'A' && c <= 'F' ? static_cast<char>(c - 'A' + 'a') : c;
    const std::size_t at = kHexDigits.find(lower);
    return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

std::optional<std::uint8_t> HexByte(char high, char low) {
    const int h = HexValue(high), l = HexValue(low);
    if (h < 0 || l < 0)
        return std::nullopt;
    return static_cast<std::uint8_t>(h << 4 | l);
}

// Bare hex, or pairs with a colon between each: nothing else.
std::optional<TlsSettings::Sha256> ParseFingerprint(std::string_view text) {
    TlsSettings::Sha256 digest{};
    const std::size_t bytes = digest.size();
    const bool colons = text.size() == bytes * kEscapeLength - 1;
    if (!colons && text.size() != bytes * kHexDigitsPerByte)
        return std::nullopt;
    const std::size_t stride = colons ? kEscapeLength : kHexDigitsPerByte;
    for (std::size_t i = 0; i < bytes; ++i) {
        const std::size_t at = i * stride;
        const auto byte = HexByte(text[at], text[at + 1]);
        if (!byte || (colons && i + 1 < bytes && text[at + 2] != ':'))
            return std::nullopt;
        digest[i] = *byte;
    }
    return digest;
}

bool IsPlainPathCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view{"-._~/\\:"}.find(c) != std::string_view::npos;
}

std::optional<std::string> DecodePath(std::string_view text) {
    std::string path;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (IsPlainPathCharacter(text[i])) {
            path += text[i];
            continue;
        }
        if (text[i] != '%' || i + kEscapeLength > text.size())
            return std::nullopt;
        const auto byte = HexByte(text[i + 1], text[i + 2]);
        if (!byte || *byte < kFirstPrintable || *byte == kDelete)
            return std::nullopt;
        path += static_cast<char>(*byte);
        i += kEscapeLength - 1;
    }
    if (path.empty())
        return std::nullopt;
    return path;
}

std::string EncodePath(std::string_view path) {
    std::string text;
    for (const char c : path) {
        if (IsPlainPathCharacter(c)) {
            text += c;
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        text += '%';
        text += static_cast<char>(std::toupper(kHexDigits[byte >> 4]));
        text += static_cast<char>(std::toupper(kHexDigits[byte & 0xf]));
    }
    return text;
}

std::vector<std::string_view> Fields(std::string_view query) {
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t end = query.find('&', start);
        fields.push_back(query.substr(start, end - start));
        if (end == std::string_view::npos)
            return fields;
        start = end + 1;
    }
}

// One field into the settings; false when it breaks a rule or repeats one.
bool TakeField(std::string_view name, std::string_view value, TlsSettings& settings) {
    if (name == kCertificatePin || name == kPublicKeyPin) {
        const auto fingerprint = ParseFingerprint(value);
        if (!fingerprint || settings.pin != TlsSettings::Pin::None)
            return false;
        settings.pin =
            name == kCertificatePin ? TlsSettings::Pin::Certificate : TlsSettings::Pin::PublicKey;
        settings.fingerprint = *fingerprint;
        return true;
    }
    std::string* path = name == kClientCertificate ? &settings.clientCertificate
                        : name == kClientKey       ? &settings.clientKey
                                                   : nullptr;
    const auto decoded = DecodePath(value);
    if (path == nullptr || !path->empty() || !decoded)
        return false;
    *path = *decoded;
    return true;
}

std::string HexText(const TlsSettings::Sha256& digest, std::string_view separator, bool upper) {
    std::string text;
    for (const std::uint8_t byte : digest) {
        if (!text.empty())
            text += separator;
        for (const char digit : {kHexDigits[byte >> 4], kHexDigits[byte & 0xf]})
            text += upper ? static_cast<char>(std::toupper(digit)) : digit;
    }
    return text;
}

}  // namespace

std::optional<TlsSettings> ParseTlsQuery(std::string_view query) {
    TlsSettings settings;
    if (query.empty())
        return settings;
    for (const std::string_view field : Fields(query)) {
        const std::size_t equals = field.find('=');
        if (equals == std::string_view::npos ||
            !TakeField(field.substr(0, equals), field.substr(equals + 1), settings)) {
            return std::nullopt;
        }
    }
    if (!settings.clientKey.empty() && settings.clientCertificate.empty())
        return std::nullopt;
    return settings;
}

std::string FormatTlsQuery(const TlsSettings& settings) {
    std::vector<std::string> fields;
    if (settings.pin != TlsSettings::Pin::None) {
        const std::string_view name =
            settings.pin == TlsSettings::Pin::Certificate ? kCertificatePin : kPublicKeyPin;
        fields.push_back(std::string{name} + "=" + HexText(settings.fingerprint, "", false));
    }
    if (!settings.clientCertificate.empty())
        fields.push_back(std::string{kClientCertificate} + "=" +
                         EncodePath(settings.clientCertificate));
    if (!settings.clientKey.empty())
        fields.push_back(std::string{kClientKey} + "=" + EncodePath(settings.clientKey));
    std::string query;
    for (const auto& field : fields) query += (query.empty() ? "" : "&") + field;
    return query;
}

std::string FingerprintText(const TlsSettings::Sha256& fingerprint) {
    return HexText(fingerprint, ":", true);
}

}  // namespace vx::platform
