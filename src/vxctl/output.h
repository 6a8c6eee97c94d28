#pragma once

#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "protocol/commands.h"
#include "vxctl/options.h"

namespace vx::ctl {

using Field = std::variant<std::string, int, bool>;

// Why a run failed, beyond the window's own status message.
struct Failure {
    std::string kind;  // "usage", "port", "store", "log" or "output"
    std::string text;  // one line
    // A port that would not open: "missing", "permission-denied", "busy",
    // "not-serial" or "other", the device, and what the system told of it.
    std::string reason = {};
    std::string device = {};
    long pid = 0;
    std::string program = {};
    std::string group = {};
};

// One result: what happened ("ok" and the status message) and its fields, in
// the order they are printed. The last record of a run carries its exit code.
struct Record {
    std::string command;
    bool ok = false;
    std::string message;
    std::vector<std::pair<std::string, Field>> fields;
    std::optional<int> exit = std::nullopt;
    std::optional<Failure> failure = std::nullopt;
};

// What a stream is: a terminal a person watches, and whether it draws
// colour and clears lines from escape sequences.
struct StreamKind {
    bool terminal = false;
    bool escapes = false;
};

// Where everything the command line says goes: results on stdout, as text
// or JSON; progress on stderr while a person watches (or with -v); problems
// on stderr always, unless -q asks for the exit code alone. Safe to call
// from the search's worker threads. Memory stays bounded when stdout fails:
// the first failed write is reported once and the stream is left alone.
class Printer {
public:
    Printer(const Options& options, std::ostream& out, std::ostream& err, StreamKind errKind,
            StreamKind outKind);
    ~Printer();

    void Progress(const std::string& status);
    // A block of "field value" lines after the message, or one JSON object.
    void Result(const Record& record);
    // One line per result (a live reading, a provisioned module).
    void Line(const Record& record);
    // The last record of a run whose results came line by line: JSON only,
    // as the lines have said everything a person reads.
    void Closing(const Record& record);
    // Sixteen lamps redrawn in place on a terminal, the lit ones in colour
    // where it takes escapes; a line otherwise.
    void Lamps(const Record& record, const protocol::ChannelFlags& inputs);
    void Problem(const std::string& text);
    // Help and version texts, asked for: printed even with -q.
    void Plain(const std::string& text);
    // A usage error: its reason and the usage on stderr, or a JSON record.
    void UsageError(const std::string& command, const std::string& reason,
                    const std::string& usage);

    bool OutIsTerminal() const { return outKind_.terminal; }
    // True once a write to stdout failed; the run is to end with exit 1.
    bool OutputFailed() const;

private:
    void ClearProgressLine();
    void EndProgressLine();
    // Ends a progress line and prints the record as JSON when asked to;
    // true when the caller is to print it as text.
    bool StartResult(const Record& record);
    void Flush();
    void ProblemLine(const std::string& text);

    bool json_;
    Verbosity verbosity_;
    std::ostream& out_;
    std::ostream& err_;
    StreamKind errKind_;
    StreamKind outKind_;
    // The columns of the progress line shown, to blank without escapes.
    std::size_t progressColumns_ = 0;
    bool progressOpen_ = false;
    bool lampsOpen_ = false;
    bool outFailed_ = false;
    mutable std::mutex mutex_;
};

// The JSON form of a record, on one line: every key of the one schema, null
// where the record has nothing.
std::string ToJson(const Record& record);

// A text for a terminal: control characters (C0, DEL, C1) and bytes that are
// not UTF-8 become '?'.
std::string Printable(const std::string& text);
// A JSON string: controls escaped, and each byte that is not UTF-8 written as
// the character of its number (\u00XX), so the document is always valid.
std::string JsonString(const std::string& text);

}  // namespace vx::ctl
