#include <algorithm>
#include <chrono>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/commands.h"
#include "vxctl/provision.h"

namespace vx::ctl {

namespace {

constexpr std::size_t kIdColumn = 2;
constexpr std::size_t kSerialColumn = 1;
// Far beyond any row the loop writes: a time, a serial number, an ID, a line
// setting, a mode, sixteen flags and a status message.
constexpr std::size_t kMaxRowBytes = 4096;

// A spreadsheet takes a cell that starts with one of these for a formula; the
// serial number comes from the line and may start with anything, so such a
// field is written behind an apostrophe, which reading takes off again.
constexpr std::string_view kFormulaStarts = "=+-@\t\r";
constexpr char kTextMark = '\'';

bool StartsLikeFormula(std::string_view text) {
    return !text.empty() && kFormulaStarts.find(text.front()) != std::string_view::npos;
}

void DropTextMark(std::string& field) {
    if (field.size() > 1 && field[0] == kTextMark &&
        kFormulaStarts.find(field[1]) != std::string_view::npos) {
        field.erase(0, 1);
    }
}

std::vector<std::string> SplitCsvLine(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            fields.back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    for (std::string& field : fields) DropTextMark(field);
    return fields;
}

}  // namespace

void ProvisionLog::Take(const std::string& text) {
    std::string row = text;
    if (!row.empty() && row.back() == '\r')
        row.pop_back();
    const auto fields = SplitCsvLine(row);
    if (fields.size() <= kIdColumn)
        return;
    const std::string& serial = fields[kSerialColumn];
    const std::string& result = fields.back();
    if (result != "ok" && result != kReservedResult) {
        Release(serial);
        return;
    }
    if (const auto id = protocol::ParseIdText(fields[kIdColumn]))
        Note(serial, *id, result == kReservedResult);
}

void ProvisionLog::Note(const std::string& serial, int id, bool reserved) {
    Holder& holder = holders_[id];
    // A module that comes back reserves the ID it already has; a failure now
    // must not take that ID from it.
    const bool alreadyItsOwn = holder.row > 0 && !holder.reserved && holder.serial == serial;
    holder = {serial, ++rows_, reserved && !alreadyItsOwn};
}

void ProvisionLog::Release(const std::string& serial) {
    std::erase_if(holders_, [&](const auto& entry) {
        return entry.second.reserved && entry.second.serial == serial;
    });
}

// The latest row wins when one serial number got several IDs.
int ProvisionLog::IdOf(const std::string& serial) const {
    int id = 0;
    std::uint64_t latest = 0;
    for (const auto& [held, holder] : holders_) {
        if (holder.serial == serial && holder.row > latest) {
            id = held;
            latest = holder.row;
        }
    }
    return id;
}

void ProvisionLog::Feed(std::string_view bytes) {
    for (const char c : bytes) {
        if (c == '\n') {
            if (!tooLong_)
                Take(partial_);
            partial_.clear();
            tooLong_ = false;
        } else if (partial_.size() < kMaxRowBytes) {
            partial_ += c;
        } else {
            tooLong_ = true;
        }
    }
}

void ProvisionLog::Finish() {
    if (!tooLong_ && !partial_.empty())
        Take(partial_);
    partial_.clear();
    tooLong_ = false;
}

ProvisionLog ParseProvisionLog(const std::string& text) {
    ProvisionLog log;
    log.Feed(text);
    log.Finish();
    return log;
}

int ChooseId(const ProvisionLog& log, const std::string& serial, int idFrom) {
    if (const int known = log.IdOf(serial); known != 0)
        return known;
    for (int id = idFrom; id <= protocol::kMaxModuleId; ++id) {
        if (!log.Used(id))
            return id;
    }
    return 0;
}

std::string UtcNow() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &now);
#else
    gmtime_r(&now, &utc);
#endif
    char text[sizeof "2000-01-01T00:00:00Z"];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::string CsvField(const std::string& text) {
    const std::string cell = StartsLikeFormula(text) ? kTextMark + text : text;
    if (cell.find_first_of(",\"\r\n") == std::string::npos)
        return cell;
    std::string quoted = "\"";
    for (const char c : cell) quoted += c == '"' ? std::string{"\"\""} : std::string{c};
    return quoted + "\"";
}

}  // namespace vx::ctl
