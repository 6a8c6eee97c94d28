#include "platform/linux/reg_file.h"

#include <algorithm>
#include <iterator>
#include <unordered_map>

#include "platform/linux/reg_value_data.h"

namespace vx::platform::regfile {
namespace {

using namespace detail;

constexpr std::string_view kFormatLine = "Windows Registry Editor Version 5.00";
constexpr std::string_view kOldFormatLine = "REGEDIT4";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kMachineRoot = "HKEY_LOCAL_MACHINE";
constexpr char kKeySeparator = '\\';
constexpr char kContinuation = '\\';

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

bool StartsHexValue(std::string_view line, const std::optional<NamePart>& name) {
    return name && name->dataStart != std::string_view::npos &&
           detail::IsHexData(TrimStart(line.substr(name->dataStart)));
}

// One value, taking in the continuation lines of a long hex value.
Entry ReadEntry(const std::vector<std::string_view>& lines, std::size_t& index) {
    Entry entry;
    entry.lines.emplace_back(lines[index]);
    const auto name = ReadName(lines[index]);
    std::string logical = std::string{TrimEnd(lines[index])};
    if (StartsHexValue(logical, name)) {
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
    return name + "=" + FormatData(entry) + '\n';
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
