#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/settings_store.h"

// The per-machine settings as a text file in the export format of the
// Windows registry editor, so that a technician can read, edit, copy and
// import it with tools they already know.
namespace vx::platform::regfile {

// One value line (or a line that could not be read as one).
struct Entry {
    // None for a line that names no value: a comment or unreadable text.
    std::optional<std::string> name;
    // Other for every value that reads as neither: binary data, unknown
    // types, malformed data.
    ValueKind kind = ValueKind::Other;
    std::uint32_t integer = 0;
    std::string text;
    // The lines as they were read; a value written since has none and is
    // formatted afresh.
    std::vector<std::string> lines;
};

struct Section {
    std::string header;
    // The path below HKEY_LOCAL_MACHINE; none for sections of other roots
    // and broken headers, which are kept but cannot be reached.
    std::optional<std::string> keyPath;
    std::vector<Entry> entries;
};

struct Document {
    // Lines before the first section that are not the format's first line.
    std::vector<std::string> preamble;
    std::vector<Section> sections;
};

// Never fails: whatever cannot be understood is kept, line for line, so that
// writing the document back loses nothing.
Document Parse(std::string_view text);
std::string Format(const Document& document);

// True when the text fits on one line of the file.
bool Representable(std::string_view text);

std::string NormalizeKeyPath(std::string_view path);
bool KeyExists(const Document& document, std::string_view keyPath);
const Section* FindSection(const Document& document, std::string_view keyPath);
Section& FindOrAddSection(Document& document, std::string_view keyPath);

const Entry* FindValue(const Section& section, std::string_view name);
// Replaces the value of the same name where it stands, or appends it.
void SetValue(Section& section, Entry entry);

Entry IntegerEntry(std::string name, std::uint32_t value);
Entry TextEntry(std::string name, std::string text);

}  // namespace vx::platform::regfile
