#pragma once

#include <mutex>
#include <ostream>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "vxctl/options.h"

namespace vx::ctl {

using Field = std::variant<std::string, int, bool>;

// One result: what happened ("ok" and the status message) and its fields, in
// the order they are printed.
struct Record {
    std::string command;
    bool ok = false;
    std::string message;
    std::vector<std::pair<std::string, Field>> fields;
};

// Where everything the command line says goes: results on stdout, as text
// or JSON; progress on stderr while a person watches (or with -v); problems
// on stderr always. Safe to call from the search's worker threads.
class Printer {
public:
    Printer(const Options& options, std::ostream& out, std::ostream& err, bool errIsTerminal,
            bool outIsTerminal);
    ~Printer();

    void Progress(const std::string& status);
    // A block of "field value" lines after the message, or one JSON object.
    void Result(const Record& record);
    // One line per result (a live reading, a provisioned module).
    void Line(const Record& record);
    // Sixteen lamps redrawn in place on a terminal; a line otherwise.
    void Lamps(const Record& record, const std::string& lamps);
    void Problem(const std::string& text);

    bool OutIsTerminal() const { return outIsTerminal_; }

private:
    void EndProgressLine();
    // Ends a progress line and prints the record as JSON when asked to;
    // true when the caller is to print it as text.
    bool StartResult(const Record& record);

    bool json_;
    Verbosity verbosity_;
    std::ostream& out_;
    std::ostream& err_;
    bool errIsTerminal_;
    bool outIsTerminal_;
    bool progressOpen_ = false;
    bool lampsOpen_ = false;
    std::mutex mutex_;
};

// The JSON form of a record, on one line.
std::string ToJson(const Record& record);

}  // namespace vx::ctl
