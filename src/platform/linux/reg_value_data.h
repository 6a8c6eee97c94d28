#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/linux/reg_file.h"

// The small grammar of the export format below the line: names compared as
// the registry compares them, quoted texts, and the data of one value.
namespace vx::platform::regfile::detail {

inline constexpr std::string_view kBlanks = " \t";

// Registry names compare without regard to case.
bool SameName(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
std::string_view TrimEnd(std::string_view text);
std::string_view TrimStart(std::string_view text);

// Reads a quoted text with the two escapes the format has, \\ and \".
// `text` starts at the opening quote; `end` receives the position after the
// closing one. Nothing when the quote is not closed or an escape is unknown.
std::optional<std::string> ReadQuoted(std::string_view text, std::size_t& end);
std::string Quote(std::string_view text);

void SetText(Entry& entry, std::string text);
void SetInteger(Entry& entry, std::uint32_t value);

// True for data in one of the hex forms, which may go on over several lines.
bool IsHexData(std::string_view data);
// Fills in the entry's kind and value; data that reads as neither a text
// nor an integer leaves it Other.
void ReadData(std::string_view data, Entry& entry);
// The data of a text or integer value as the registry editor writes it.
std::string FormatData(const Entry& entry);

}  // namespace vx::platform::regfile::detail
