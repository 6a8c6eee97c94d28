#include "platform/linux/reg_value_data.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdio>

namespace vx::platform::regfile::detail {
namespace {

constexpr std::string_view kDwordPrefix = "dword:";
constexpr std::string_view kHexPrefix = "hex";
constexpr std::size_t kDwordDigits = 8;
constexpr std::size_t kByteDigits = 2;
constexpr int kHexBase = 16;

// Type numbers of the registry as they appear in hex(n).
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegDword = 4;

std::optional<std::uint32_t> ReadHex(std::string_view digits, std::size_t maxDigits) {
    std::uint32_t value = 0;
    const auto* end = digits.data() + digits.size();
    const auto [stop, error] = std::from_chars(digits.data(), end, value, kHexBase);
    if (digits.empty() || digits.size() > maxDigits || error != std::errc{} || stop != end) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::vector<std::uint8_t>> ReadBytes(std::string_view list) {
    std::vector<std::uint8_t> bytes;
    if (TrimStart(list).empty())
        return bytes;
    for (;;) {
        const auto comma = list.find(',');
        const auto byte = ReadHex(TrimEnd(TrimStart(list.substr(0, comma))), kByteDigits);
        if (!byte)
            return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(*byte));
        if (comma == std::string_view::npos)
            return bytes;
        list.remove_prefix(comma + 1);
    }
}

void AppendUtf8(std::string& out, std::uint32_t codePoint) {
    struct Form {
        std::uint32_t limit;
        std::uint32_t leadMark;
        int tailBytes;
    };
    constexpr std::array<Form, 4> kForms{{
        {0x80, 0x00, 0},
        {0x800, 0xC0, 1},
        {0x10000, 0xE0, 2},
        {0x110000, 0xF0, 3},
    }};
    constexpr int kTailBits = 6;
    constexpr std::uint32_t kTailMask = 0x3F;
    constexpr std::uint32_t kTailMark = 0x80;
    const auto form = std::find_if(kForms.begin(), kForms.end(),
                                   [&](const Form& f) { return codePoint < f.limit; });
    out += static_cast<char>(form->leadMark | (codePoint >> (kTailBits * form->tailBytes)));
    for (int shift = kTailBits * (form->tailBytes - 1); shift >= 0; shift -= kTailBits) {
        out += static_cast<char>(kTailMark | ((codePoint >> shift) & kTailMask));
    }
}

// The registry keeps texts as UTF-16LE; a text ends at its first zero unit.
std::optional<std::string> DecodeUtf16(const std::vector<std::uint8_t>& bytes) {
    constexpr std::uint32_t kHighFirst = 0xD800;
    constexpr std::uint32_t kLowFirst = 0xDC00;
    constexpr std::uint32_t kLowEnd = 0xE000;
    constexpr std::uint32_t kSupplementaryBase = 0x10000;
    constexpr int kSurrogateBits = 10;
    if (bytes.size() % 2 != 0)
        return std::nullopt;
    std::string text;
    std::uint32_t pendingHigh = 0;
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        const std::uint32_t unit = bytes[i] | (std::uint32_t{bytes[i + 1]} << 8);
        const bool isHigh = unit >= kHighFirst && unit < kLowFirst;
        const bool isLow = unit >= kLowFirst && unit < kLowEnd;
        if (pendingHigh != 0) {
            if (!isLow)
                return std::nullopt;
            AppendUtf8(text, kSupplementaryBase + ((pendingHigh - kHighFirst) << kSurrogateBits) +
                                 (unit - kLowFirst));
            pendingHigh = 0;
        } else if (isHigh) {
            pendingHigh = unit;
        } else if (isLow) {
            return std::nullopt;
        } else if (unit == 0) {
            return text;
        } else {
            AppendUtf8(text, unit);
        }
    }
    if (pendingHigh != 0)
        return std::nullopt;
    return text;
}

// hex:..., hex(n):... as the registry editor writes values it has no plainer
// form for. Texts and integers written that way read as texts and integers.
void ReadHexData(std::string_view data, Entry& entry) {
    data.remove_prefix(kHexPrefix.size());
    std::uint32_t type = kRegBinary;
    if (data.starts_with('(')) {
        const auto close = data.find(')');
        const auto number = close == std::string_view::npos
                                ? std::nullopt
                                : ReadHex(data.substr(1, close - 1), kDwordDigits);
        if (!number)
            return;
        type = *number;
        data.remove_prefix(close + 1);
    }
    if (!data.starts_with(':'))
        return;
    const auto bytes = ReadBytes(data.substr(1));
    if (!bytes)
        return;
    if (bytes->empty()) {
        // A value of zero size reads as the empty text, whatever its type.
        SetText(entry, {});
    } else if (type == kRegSz || type == kRegExpandSz) {
        if (auto text = DecodeUtf16(*bytes))
            SetText(entry, std::move(*text));
    } else if (type == kRegDword && bytes->size() == sizeof(std::uint32_t)) {
        SetInteger(entry, (*bytes)[0] | (std::uint32_t{(*bytes)[1]} << 8) |
                              (std::uint32_t{(*bytes)[2]} << 16) |
                              (std::uint32_t{(*bytes)[3]} << 24));
    }
}

}  // namespace

bool SameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && SameName(text.substr(0, prefix.size()), prefix);
}

std::string_view TrimEnd(std::string_view text) {
    const auto last = text.find_last_not_of(kBlanks);
    return last == std::string_view::npos ? std::string_view{} : text.substr(0, last + 1);
}

std::string_view TrimStart(std::string_view text) {
    const auto first = text.find_first_not_of(kBlanks);
    return first == std::string_view::npos ? std::string_view{} : text.substr(first);
}

// Reads a quoted text with the two escapes the format has, \\ and \".
// `text` starts at the opening quote; `end` receives the position after the
// closing one. Nothing when the quote is not closed or an escape is unknown.
std::optional<std::string> ReadQuoted(std::string_view text, std::size_t& end) {
    std::string value;
    for (std::size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            end = i + 1;
            return value;
        }
        if (c == '\\') {
            if (++i == text.size() || (text[i] != '\\' && text[i] != '"'))
                return std::nullopt;
        }
        value += text[i];
    }
    return std::nullopt;
}

std::string Quote(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '\\' || c == '"')
            quoted += '\\';
        quoted += c;
    }
    return quoted + '"';
}

void SetText(Entry& entry, std::string text) {
    entry.kind = ValueKind::Text;
    entry.text = std::move(text);
}

void SetInteger(Entry& entry, std::uint32_t value) {
    entry.kind = ValueKind::Integer;
    entry.integer = value;
}

bool IsHexData(std::string_view data) {
    return StartsWithNoCase(data, kHexPrefix);
}

void ReadData(std::string_view data, Entry& entry) {
    if (data.starts_with('"')) {
        std::size_t end = 0;
        auto text = ReadQuoted(data, end);
        if (text && end == data.size())
            SetText(entry, std::move(*text));
    } else if (StartsWithNoCase(data, kDwordPrefix)) {
        if (const auto value = ReadHex(data.substr(kDwordPrefix.size()), kDwordDigits)) {
            SetInteger(entry, *value);
        }
    } else if (StartsWithNoCase(data, kHexPrefix)) {
        ReadHexData(data, entry);
    }
}

std::string FormatData(const Entry& entry) {
    if (entry.kind == ValueKind::Integer) {
        std::array<char, kDwordDigits + 1> digits{};
        std::snprintf(digits.data(), digits.size(), "%08x", entry.integer);
        return std::string{kDwordPrefix} + digits.data();
    }
    return Quote(entry.text);
}

}  // namespace vx::platform::regfile::detail
