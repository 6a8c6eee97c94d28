#include "vxctl/output.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <iomanip>
#include <system_error>

namespace vx::ctl {

namespace {

constexpr int kFieldColumn = 10;
constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kDelete = 0x7F;
constexpr const char* kClearLine = "\r\033[K";
constexpr const char* kLitLamp = "\033[33m\u25CF\033[0m";
constexpr const char* kPlainLitLamp = "\u25CF";
constexpr const char* kDarkLamp = "\u25CB";
constexpr char kShownForControl = '?';

// Every key a JSON record has, in this order, after command, ok, exit,
// message and error: one schema for every command.
constexpr const char* kSchemaFields[] = {"port",    "device", "line", "id",     "serial",
                                         "version", "mode",   "nonc", "inputs", "outputs"};

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// The length of the UTF-8 sequence at `at` and its code point; length 0 when
// the byte there starts none (a stray, overlong, surrogate or too large one).
std::pair<std::size_t, char32_t> DecodeUtf8(const std::string& text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80)
        return {1, lead};
    std::size_t length = 0;
    char32_t point = 0;
    char32_t least = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, point = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, point = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, point = lead & 0x07, least = 0x10000;
    } else {
        return {0, 0};
    }
    if (at + length > text.size())
        return {0, 0};
    for (std::size_t k = 1; k < length; ++k) {
        const auto byte = static_cast<unsigned char>(text[at + k]);
        if (!IsContinuation(byte))
            return {0, 0};
        point = (point << 6) | (byte & 0x3F);
    }
    const bool surrogate = point >= 0xD800 && point <= 0xDFFF;
    if (point < least || surrogate || point > 0x10FFFF)
        return {0, 0};
    return {length, point};
}

bool IsControl(char32_t point) {
    return point < kFirstPrintable || (point >= kDelete && point <= 0x9F);
}

std::string UnicodeEscape(unsigned value) {
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\u%04x", value);
    return escaped;
}

std::string FieldJson(const Field& field) {
    if (const auto* text = std::get_if<std::string>(&field))
        return JsonString(*text);
    if (const auto* number = std::get_if<int>(&field))
        return std::to_string(*number);
    return std::get<bool>(field) ? "true" : "false";
}

std::string FieldText(const Field& field) {
    if (const auto* text = std::get_if<std::string>(&field))
        return Printable(*text);
    if (const auto* number = std::get_if<int>(&field))
        return std::to_string(*number);
    return std::get<bool>(field) ? "yes" : "no";
}

std::string OrNull(const std::string& text) {
    return text.empty() ? "null" : JsonString(text);
}

std::string FailureJson(const Failure& f) {
    return "{\"kind\":" + JsonString(f.kind) + ",\"text\":" + JsonString(f.text) +
           ",\"reason\":" + OrNull(f.reason) + ",\"device\":" + OrNull(f.device) +
           ",\"pid\":" + (f.pid > 0 ? std::to_string(f.pid) : "null") +
           ",\"program\":" + OrNull(f.program) + ",\"group\":" + OrNull(f.group) + "}";
}

}  // namespace

std::string Printable(const std::string& text) {
    std::string shown;
    for (std::size_t at = 0; at < text.size();) {
        const auto [length, point] = DecodeUtf8(text, at);
        if (length == 0 || IsControl(point)) {
            shown += kShownForControl;
            at += std::max<std::size_t>(length, 1);
        } else {
            shown.append(text, at, length);
            at += length;
        }
    }
    return shown;
}

std::string JsonString(const std::string& text) {
    std::string quoted = "\"";
    for (std::size_t at = 0; at < text.size();) {
        const auto [length, point] = DecodeUtf8(text, at);
        if (length == 0) {
            quoted += UnicodeEscape(static_cast<unsigned char>(text[at]));
            ++at;
            continue;
        }
        if (point == '"' || point == '\\') {
            quoted += '\\';
            quoted += static_cast<char>(point);
        } else if (IsControl(point)) {
            quoted += UnicodeEscape(static_cast<unsigned>(point));
        } else {
            quoted.append(text, at, length);
        }
        at += length;
    }
    return quoted + "\"";
}

std::string ToJson(const Record& record) {
    std::string json =
        "{\"command\":" + OrNull(record.command) + ",\"ok\":" + (record.ok ? "true" : "false") +
        ",\"exit\":" + (record.exit ? std::to_string(*record.exit) : std::string{"null"}) +
        ",\"message\":" + JsonString(record.message) +
        ",\"error\":" + (record.failure ? FailureJson(*record.failure) : std::string{"null"});
    for (const char* key : kSchemaFields) {
        const auto field = std::find_if(record.fields.begin(), record.fields.end(),
                                        [key](const auto& named) { return named.first == key; });
        json += ",\"" + std::string{key} +
                "\":" + (field == record.fields.end() ? "null" : FieldJson(field->second));
    }
    return json + "}";
}

namespace {

// The East Asian wide characters, which a terminal gives two columns.
constexpr std::pair<char32_t, char32_t> kWideRanges[] = {
    {0x1100, 0x115F}, {0x2E80, 0xA4CF}, {0xAC00, 0xD7A3}, {0xF900, 0xFAFF},
    {0xFE30, 0xFE4F}, {0xFF00, 0xFF60}, {0xFFE0, 0xFFE6}};

bool IsWide(char32_t point) {
    return std::any_of(std::begin(kWideRanges), std::end(kWideRanges), [point](const auto& range) {
        return point >= range.first && point <= range.second;
    });
}

// The columns a text for a terminal takes (one where not UTF-8).
std::size_t Columns(const std::string& text) {
    std::size_t columns = 0;
    for (std::size_t at = 0; at < text.size();) {
        const auto [length, point] = DecodeUtf8(text, at);
        columns += IsWide(point) ? 2 : 1;
        at += std::max<std::size_t>(length, 1);
    }
    return columns;
}

}  // namespace

Printer::Printer(const Options& options, std::ostream& out, std::ostream& err, StreamKind errKind,
                 StreamKind outKind)
    : json_(options.json),
      verbosity_(options.verbosity),
      out_(out),
      err_(err),
      errKind_(errKind),
      outKind_(outKind) {}

Printer::~Printer() {
    const std::lock_guard lock(mutex_);
    EndProgressLine();
    if (lampsOpen_) {
        out_ << "\n";
        Flush();
    }
}

bool Printer::OutputFailed() const {
    const std::lock_guard lock(mutex_);
    return outFailed_;
}

// A full disk or a closed pipe: said once, and nothing more is written, so
// that nothing piles up in the stream's buffer.
void Printer::Flush() {
    if (outFailed_)
        return;
    errno = 0;
    out_.flush();
    if (out_.good())
        return;
    const int error = errno;
    outFailed_ = true;
    ProblemLine("cannot write the output: " +
                (error != 0 ? std::generic_category().message(error) : std::string{"write error"}));
}

// Without escapes the line is blanked by spaces over what it showed.
void Printer::ClearProgressLine() {
    if (errKind_.escapes)
        err_ << kClearLine;
    else
        err_ << '\r' << std::string(progressColumns_, ' ') << '\r';
    progressColumns_ = 0;
}

void Printer::EndProgressLine() {
    if (progressOpen_) {
        ClearProgressLine();
        err_ << std::flush;
    }
    progressOpen_ = false;
}

void Printer::Progress(const std::string& status) {
    const std::lock_guard lock(mutex_);
    if (verbosity_ == Verbosity::Verbose) {
        err_ << Printable(status) << "\n" << std::flush;
    } else if (verbosity_ == Verbosity::Normal && errKind_.terminal) {
        const std::string shown = Printable(status);
        ClearProgressLine();
        err_ << shown << std::flush;
        progressColumns_ = Columns(shown);
        progressOpen_ = true;
    }
}

bool Printer::StartResult(const Record& record) {
    EndProgressLine();
    if (verbosity_ == Verbosity::Quiet || outFailed_)
        return false;
    if (json_) {
        out_ << ToJson(record) << "\n";
        Flush();
    }
    return !json_;
}

void Printer::Result(const Record& record) {
    const std::lock_guard lock(mutex_);
    if (!StartResult(record))
        return;
    if (!record.message.empty())
        out_ << Printable(record.message) << "\n";
    for (const auto& [name, value] : record.fields) {
        out_ << std::left << std::setw(kFieldColumn) << name << FieldText(value) << "\n";
    }
    Flush();
}

void Printer::Line(const Record& record) {
    const std::lock_guard lock(mutex_);
    if (!StartResult(record))
        return;
    std::vector<std::string> words;
    for (const auto& [name, value] : record.fields) words.push_back(name + "=" + FieldText(value));
    if (!record.message.empty())
        words.push_back(Printable(record.message));
    for (std::size_t k = 0; k < words.size(); ++k) out_ << (k == 0 ? "" : " ") << words[k];
    out_ << "\n";
    Flush();
}

void Printer::Closing(const Record& record) {
    const std::lock_guard lock(mutex_);
    if (json_)
        StartResult(record);
}

void Printer::Plain(const std::string& text) {
    const std::lock_guard lock(mutex_);
    out_ << text;
    Flush();
}

void Printer::Lamps(const Record& record, const protocol::ChannelFlags& inputs) {
    if (json_ || !outKind_.terminal) {
        Line(record);
        return;
    }
    const std::lock_guard lock(mutex_);
    if (verbosity_ == Verbosity::Quiet || outFailed_)
        return;
    // The row keeps its width, so a return alone puts the next one over it.
    out_ << (outKind_.escapes ? kClearLine : "\r") << "DI ";
    for (const bool on : inputs)
        out_ << (on ? (outKind_.escapes ? kLitLamp : kPlainLitLamp) : kDarkLamp);
    Flush();
    lampsOpen_ = true;
}

void Printer::ProblemLine(const std::string& text) {
    if (verbosity_ == Verbosity::Quiet)
        return;
    EndProgressLine();
    err_ << "vxctl: " << Printable(text) << "\n" << std::flush;
}

void Printer::Problem(const std::string& text) {
    const std::lock_guard lock(mutex_);
    ProblemLine(text);
}

void Printer::UsageError(const std::string& command, const std::string& reason,
                         const std::string& usage) {
    {
        const std::lock_guard lock(mutex_);
        if (verbosity_ != Verbosity::Quiet)
            err_ << "vxctl: " << Printable(reason) << "\n" << usage << "\nTry 'vxctl --help'.\n";
        err_ << std::flush;
    }
    if (json_)
        Result({command, false, reason, {}, kExitUsage, Failure{"usage", reason}});
}

}  // namespace vx::ctl
