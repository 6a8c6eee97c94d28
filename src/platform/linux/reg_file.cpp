#include "platform/linux/reg_file.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <iterator>
#include <unordered_map>

namespace vx::platform::regfile {
namespace {

constexpr std::string_view kFormatLine = "Windows Registry Editor Version 5.00";
constexpr std::string_view kOldFormatLine = "REGEDIT4";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kMachineRoot = "HKEY_LOCAL_MACHINE";
constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kDwordPrefix = "dword:";
constexpr std::string_view kHexPrefix = "hex";
constexpr char kKeySeparator = '\\';
constexpr char kContinuation = '\\';
constexpr std::size_t kDwordDigits = 8;
constexpr std::size_t kByteDigits = 2;
constexpr int kHexBase = 16;

// Type numbers of the registry as they appear in hex(n).
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegDword = 4;

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

std::vector<std::string_view> SplitLines(std::string_view text) {
    if (text.starts_with(kByteOrderMark))
        text.remove_prefix(kByteOrderMark.size());
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        // Every carriage return at the end goes, so that a file written back
        // reads as it was read.
        while (line.ends_with('\r')) line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    return lines;
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

void SetText(Entry& entry, std::string text) {
    entry.kind = ValueKind::Text;
    entry.text = std::move(text);
}

void SetInteger(Entry& entry, std::uint32_t value) {
    entry.kind = ValueKind::Integer;
    entry.integer = value;
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

// The value's name and where its "=" ends; nothing when no name can be made
// out of the line.
struct NamePart {
    std::string name;
    std::size_t dataStart;
};

std::optional<NamePart> ReadName(std::string_view line) {
    std::size_t end = 0;
    std::optional<std::string> name;
    if (line.starts_with('@')) {
        name = std::string{};
        end = 1;
    } else if (line.starts_with('"')) {
        name = ReadQuoted(line, end);
    }
    if (!name)
        return std::nullopt;
    const auto equals = line.find_first_not_of(kBlanks, end);
    const bool hasData = equals != std::string_view::npos && line[equals] == '=';
    return NamePart{std::move(*name), hasData ? equals + 1 : std::string_view::npos};
}

bool IsHexData(std::string_view line, const std::optional<NamePart>& name) {
    return name && name->dataStart != std::string_view::npos &&
           StartsWithNoCase(TrimStart(line.substr(name->dataStart)), kHexPrefix);
}

// One value, taking in the continuation lines of a long hex value.
Entry ReadEntry(const std::vector<std::string_view>& lines, std::size_t& index) {
    Entry entry;
    entry.lines.emplace_back(lines[index]);
    const auto name = ReadName(lines[index]);
    std::string logical = std::string{TrimEnd(lines[index])};
    if (IsHexData(logical, name)) {
        // A blank line is never a continuation: it ends the value.
        while (logical.ends_with(kContinuation) && index + 1 < lines.size() &&
               !TrimStart(lines[index + 1]).empty()) {
            logical.pop_back();
            logical += TrimEnd(TrimStart(lines[++index]));
            entry.lines.emplace_back(lines[index]);
        }
        // Cut off by the end of the file or a blank line: the value keeps a
        // blank line of its own, so that a value written after it is not
        // taken in as its continuation.
        if (logical.ends_with(kContinuation))
            entry.lines.emplace_back();
    }
    if (!name)
        return entry;
    entry.name = name->name;
    if (name->dataStart != std::string_view::npos) {
        ReadData(TrimStart(std::string_view{logical}.substr(name->dataStart)), entry);
    }
    return entry;
}

std::optional<std::string> MachineKeyPath(std::string_view header) {
    header = TrimEnd(header);
    if (!header.starts_with('[') || !header.ends_with(']'))
        return std::nullopt;
    const std::string_view inside = header.substr(1, header.size() - 2);
    if (!StartsWithNoCase(inside, kMachineRoot))
        return std::nullopt;
    const std::string_view rest = inside.substr(kMachineRoot.size());
    if (!rest.empty() && rest.front() != kKeySeparator)
        return std::nullopt;
    return NormalizeKeyPath(rest);
}

template <typename Sections>
auto FindSectionIn(Sections& sections, std::string_view keyPath) -> decltype(&sections.front()) {
    for (auto& section : sections) {
        if (section.keyPath && SameName(*section.keyPath, keyPath))
            return &section;
    }
    return nullptr;
}

std::string FoldCase(std::string_view text) {
    std::string folded(text);
    for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return folded;
}

// Builds a document line by line with indexes of its keys and values, so
// that reading a file takes time in proportion to its length.
class DocumentBuilder {
public:
    // Sections that name the same key twice are merged, as an import would.
    void StartSection(std::string_view header) {
        auto keyPath = MachineKeyPath(header);
        if (keyPath) {
            const auto [known, added] =
                sectionIndex_.try_emplace(FoldCase(*keyPath), document_.sections.size());
            if (!added) {
                current_ = known->second;
                return;
            }
        }
        current_ = document_.sections.size();
        document_.sections.push_back({std::string{header}, std::move(keyPath), {}});
        valueIndex_.emplace_back();
    }

    void Add(Entry entry) {
        if (!current_) {
            auto& preamble = document_.preamble;
            preamble.insert(preamble.end(), std::make_move_iterator(entry.lines.begin()),
                            std::make_move_iterator(entry.lines.end()));
            return;
        }
        auto& entries = document_.sections[*current_].entries;
        if (!entry.name) {
            // Neighbouring lines that name no value are kept as one piece.
            if (!entries.empty() && !entries.back().name) {
                auto& lines = entries.back().lines;
                lines.insert(lines.end(), std::make_move_iterator(entry.lines.begin()),
                             std::make_move_iterator(entry.lines.end()));
            } else {
                entries.push_back(std::move(entry));
            }
            return;
        }
        // A value named twice keeps its first place and its last data.
        const auto [known, added] =
            valueIndex_[*current_].try_emplace(FoldCase(*entry.name), entries.size());
        if (added)
            entries.push_back(std::move(entry));
        else
            entries[known->second] = std::move(entry);
    }

    Document Take() { return std::move(document_); }

private:
    Document document_;
    std::optional<std::size_t> current_;
    std::unordered_map<std::string, std::size_t> sectionIndex_;
    std::vector<std::unordered_map<std::string, std::size_t>> valueIndex_;
};

std::string FormatEntry(const Entry& entry) {
    if (!entry.lines.empty()) {
        std::string text;
        for (const auto& line : entry.lines) text += line + '\n';
        return text;
    }
    const std::string name = entry.name->empty() ? "@" : Quote(*entry.name);
    if (entry.kind == ValueKind::Integer) {
        std::array<char, kDwordDigits + 1> digits{};
        std::snprintf(digits.data(), digits.size(), "%08x", entry.integer);
        return name + "=" + std::string{kDwordPrefix} + digits.data() + '\n';
    }
    return name + "=" + Quote(entry.text) + '\n';
}

bool IsFormatLine(std::string_view line) {
    line = TrimEnd(line);
    return line == kFormatLine || line == kOldFormatLine;
}

}  // namespace

Document Parse(std::string_view text) {
    const auto lines = SplitLines(text);
    DocumentBuilder builder;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        if (TrimStart(line).empty() || (i == 0 && IsFormatLine(line)))
            continue;
        if (line.starts_with('['))
            builder.StartSection(line);
        else
            builder.Add(ReadEntry(lines, i));
    }
    return builder.Take();
}

std::string Format(const Document& document) {
    std::string text = std::string{kFormatLine} + "\n\n";
    for (const auto& line : document.preamble) text += line + '\n';
    if (!document.preamble.empty())
        text += '\n';
    for (const auto& section : document.sections) {
        text += section.header + '\n';
        for (const auto& entry : section.entries) text += FormatEntry(entry);
        text += '\n';
    }
    return text;
}

bool Representable(std::string_view text) {
    return text.find_first_of(std::string_view{"\r\n\0", 3}) == std::string_view::npos;
}

std::string NormalizeKeyPath(std::string_view path) {
    const auto first = path.find_first_not_of(kKeySeparator);
    if (first == std::string_view::npos)
        return {};
    const auto last = path.find_last_not_of(kKeySeparator);
    return std::string{path.substr(first, last - first + 1)};
}

bool KeyExists(const Document& document, std::string_view keyPath) {
    if (keyPath.empty())
        return true;
    return std::any_of(document.sections.begin(), document.sections.end(), [&](const Section& s) {
        if (!s.keyPath)
            return false;
        const std::string_view path = *s.keyPath;
        return SameName(path, keyPath) ||
               (path.size() > keyPath.size() && path[keyPath.size()] == kKeySeparator &&
                SameName(path.substr(0, keyPath.size()), keyPath));
    });
}

const Section* FindSection(const Document& document, std::string_view keyPath) {
    return FindSectionIn(document.sections, keyPath);
}

Section& FindOrAddSection(Document& document, std::string_view keyPath) {
    if (Section* existing = FindSectionIn(document.sections, keyPath))
        return *existing;
    std::string header = "[" + std::string{kMachineRoot};
    if (!keyPath.empty())
        header += kKeySeparator + std::string{keyPath};
    header += ']';
    document.sections.push_back({header, std::string{keyPath}, {}});
    return document.sections.back();
}

const Entry* FindValue(const Section& section, std::string_view name) {
    for (const auto& entry : section.entries) {
        if (entry.name && SameName(*entry.name, name))
            return &entry;
    }
    return nullptr;
}

void SetValue(Section& section, Entry entry) {
    for (auto& existing : section.entries) {
        if (existing.name && SameName(*existing.name, *entry.name)) {
            existing = std::move(entry);
            return;
        }
    }
    section.entries.push_back(std::move(entry));
}

Entry IntegerEntry(std::string name, std::uint32_t value) {
    Entry entry;
    entry.name = std::move(name);
    SetInteger(entry, value);
    return entry;
}

Entry TextEntry(std::string name, std::string text) {
    Entry entry;
    entry.name = std::move(name);
    SetText(entry, std::move(text));
    return entry;
}

}  // namespace vx::platform::regfile
