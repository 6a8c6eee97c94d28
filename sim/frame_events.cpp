#include "sim/frame_events.h"

#include <array>
#include <charconv>
#include <utility>
#include <vector>

namespace vx::sim {

namespace {

constexpr std::array<std::pair<Verdict, const char*>, 6> kVerdictNames = {{
    {Verdict::Answered, "answered"},
    {Verdict::Faulted, "faulted"},
    {Verdict::Unanswered, "unanswered"},
    {Verdict::BadChecksum, "bad-checksum"},
    {Verdict::OtherBaud, "other-baud"},
    {Verdict::SilentPort, "silent-port"},
}};

constexpr char kFieldSeparator = ' ';
constexpr std::size_t kFieldCount = 4;
constexpr char kEscape = '\\';
constexpr char kHexMark = 'x';
constexpr std::size_t kEscapeLength = 4;  // \xHH
constexpr int kHexBase = 16;
constexpr int kNibbleBits = 4;
constexpr std::uint8_t kLowNibble = 0x0F;
constexpr char kHexDigits[] = "0123456789ABCDEF";
// Printable ASCII without the blank.
constexpr std::uint8_t kFirstPlain = 0x21;
constexpr std::uint8_t kLastPlain = 0x7E;

std::string Escaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<std::uint8_t>(c);
        if (byte >= kFirstPlain && byte <= kLastPlain && c != kEscape) {
            out += c;
            continue;
        }
        out += {kEscape, kHexMark, kHexDigits[byte >> kNibbleBits], kHexDigits[byte & kLowNibble]};
    }
    return out;
}

std::optional<std::string> Unescaped(std::string_view text) {
    std::string out;
    for (std::size_t k = 0; k < text.size(); ++k) {
        if (text[k] != kEscape) {
            out += text[k];
            continue;
        }
        if (text.size() - k < kEscapeLength || text[k + 1] != kHexMark)
            return std::nullopt;
        const char* digits = text.data() + k + 2;
        const char* end = text.data() + k + kEscapeLength;
        unsigned value = 0;
        const auto [stop, error] = std::from_chars(digits, end, value, kHexBase);
        if (error != std::errc() || stop != end)
            return std::nullopt;
        out += static_cast<char>(value);
        k += kEscapeLength - 1;
    }
    return out;
}

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t blank = line.find(kFieldSeparator, start);
        fields.push_back(line.substr(start, blank - start));
        if (blank == std::string_view::npos)
            return fields;
        start = blank + 1;
    }
}

std::optional<Verdict> VerdictFromName(std::string_view name) {
    for (const auto& [verdict, each] : kVerdictNames) {
        if (name == each)
            return verdict;
    }
    return std::nullopt;
}

}  // namespace

std::string VerdictName(Verdict verdict) {
    for (const auto& [each, name] : kVerdictNames) {
        if (each == verdict)
            return name;
    }
    return "";
}

std::string JoinedVerdictNames(std::string_view separator) {
    std::string joined;
    for (const auto& [verdict, name] : kVerdictNames) {
        joined += (joined.empty() ? "" : std::string(separator)) + name;
    }
    return joined;
}

std::string EventLine(const FrameEvent& event) {
    return std::to_string(event.atUs) + kFieldSeparator + Escaped(event.port) + kFieldSeparator +
           Escaped(event.command) + kFieldSeparator + VerdictName(event.verdict);
}

std::optional<FrameEvent> ParseEventLine(std::string_view line) {
    const auto fields = Fields(line);
    if (fields.size() != kFieldCount)
        return std::nullopt;
    FrameEvent event;
    const auto [stop, error] =
        std::from_chars(fields[0].data(), fields[0].data() + fields[0].size(), event.atUs);
    const auto port = Unescaped(fields[1]);
    const auto command = Unescaped(fields[2]);
    const auto verdict = VerdictFromName(fields[3]);
    if (error != std::errc() || stop != fields[0].data() + fields[0].size() || !port || !command ||
        !verdict) {
        return std::nullopt;
    }
    event.port = *port;
    event.command = *command;
    event.verdict = *verdict;
    return event;
}

}  // namespace vx::sim
