#include "vxctl/output.h"

#include <cstdio>
#include <iomanip>
#include <sstream>

namespace vx::ctl {

namespace {

constexpr int kFieldColumn = 10;
constexpr unsigned char kFirstPrintable = 0x20;
constexpr const char* kClearLine = "\r\033[K";

// Texts can come from the module (serial number, version): every control
// character is escaped, so a hostile reply cannot break the JSON.
std::string JsonString(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (byte < kFirstPrintable || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            quoted += escaped;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

// On a terminal the module's bytes are shown, but never as control codes.
std::string Printable(const std::string& text) {
    std::string shown;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        shown += byte < kFirstPrintable || byte == 0x7F ? '?' : c;
    }
    return shown;
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

}  // namespace

std::string ToJson(const Record& record) {
    std::string json =
        "{\"command\":" + JsonString(record.command) + ",\"ok\":" + (record.ok ? "true" : "false");
    if (!record.message.empty())
        json += ",\"message\":" + JsonString(record.message);
    for (const auto& [name, value] : record.fields)
        json += "," + JsonString(name) + ":" + FieldJson(value);
    return json + "}";
}

Printer::Printer(const Options& options, std::ostream& out, std::ostream& err, bool errIsTerminal,
                 bool outIsTerminal)
    : json_(options.json),
      verbosity_(options.verbosity),
      out_(out),
      err_(err),
      errIsTerminal_(errIsTerminal),
      outIsTerminal_(outIsTerminal) {}

Printer::~Printer() {
    const std::lock_guard lock(mutex_);
    EndProgressLine();
    if (lampsOpen_)
        out_ << "\n";
}

void Printer::EndProgressLine() {
    if (progressOpen_)
        err_ << kClearLine << std::flush;
    progressOpen_ = false;
}

void Printer::Progress(const std::string& status) {
    const std::lock_guard lock(mutex_);
    if (verbosity_ == Verbosity::Verbose) {
        err_ << Printable(status) << "\n" << std::flush;
    } else if (verbosity_ == Verbosity::Normal && errIsTerminal_) {
        err_ << kClearLine << Printable(status) << std::flush;
        progressOpen_ = true;
    }
}

bool Printer::StartResult(const Record& record) {
    EndProgressLine();
    if (json_)
        out_ << ToJson(record) << "\n" << std::flush;
    return !json_ && verbosity_ != Verbosity::Quiet;
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
    out_ << std::flush;
}

void Printer::Line(const Record& record) {
    const std::lock_guard lock(mutex_);
    if (!StartResult(record))
        return;
    std::string line;
    for (const auto& [name, value] : record.fields) {
        line += (line.empty() ? "" : " ") + name + "=" + FieldText(value);
    }
    if (!record.message.empty())
        line += (line.empty() ? "" : " ") + Printable(record.message);
    out_ << line << "\n" << std::flush;
}

void Printer::Lamps(const Record& record, const std::string& lamps) {
    if (json_ || !outIsTerminal_) {
        Line(record);
        return;
    }
    const std::lock_guard lock(mutex_);
    if (verbosity_ == Verbosity::Quiet)
        return;
    out_ << kClearLine << "DI " << lamps << std::flush;
    lampsOpen_ = true;
}

void Printer::Problem(const std::string& text) {
    const std::lock_guard lock(mutex_);
    EndProgressLine();
    err_ << "vxctl: " << Printable(text) << "\n" << std::flush;
}

}  // namespace vx::ctl
