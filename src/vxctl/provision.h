#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "vxctl/output.h"

namespace vx::ctl {

class Session;
class StationLog;

// What one station of the production line did.
struct StationTally {
    int modules = 0;
    int failures = 0;
    // The log or stdout could no longer be written.
    std::optional<Failure> broken;
};

// One station: a run of the loop on one device, on the log all stations share.
struct Station {
    std::string device;
    StationLog& log;
    StationTally tally;
};

// The production-line loop, one station per device at once when several are
// given; answers the exit code.
int RunProvision(Session& session);

// What the log already says: for each ID, the serial number of the module
// that got it last, or that a station reserved it for. At most one entry per
// ID, so that a log of any length takes little memory.
class ProvisionLog {
public:
    // One row of the log, without its line end. A row that tells of a
    // success gives its ID to its serial number; a reserving row does too,
    // until a failure of the same serial number gives the reserved ID back.
    // A row that does not parse is skipped.
    void Take(const std::string& row);
    // Bytes of the log as they come, rows split across calls: rows longer
    // than any the loop writes are skipped unread, so memory stays bounded
    // whatever the file holds.
    void Feed(std::string_view bytes);
    // The last row, when the log does not end with a line end.
    void Finish();
    void Note(const std::string& serial, int id, bool reserved = false);
    // The ID that the log gives this serial number; 0 when it gives none.
    int IdOf(const std::string& serial) const;
    bool Used(int id) const { return holders_.contains(id); }

private:
    void Release(const std::string& serial);

    struct Holder {
        std::string serial;
        std::uint64_t row = 0;
        bool reserved = false;
    };
    std::map<int, Holder> holders_;
    std::uint64_t rows_ = 0;
    std::string partial_;
    bool tooLong_ = false;
};

// Reads a log written by the loop. The file may hold anything.
ProvisionLog ParseProvisionLog(const std::string& text);

// The ID the module with this serial number gets: its ID from the log, else
// the lowest unused one from `idFrom` on; 0 when none is left.
int ChooseId(const ProvisionLog& log, const std::string& serial, int idFrom);

// The time of a row: UTC, to the second, in ISO 8601.
std::string UtcNow();

// One CSV field, quoted when it needs to be.
std::string CsvField(const std::string& text);

inline constexpr const char* kProvisionLogHeader = "time,serial,id,line,mode,nonc,result";
// The result of a row that takes an ID for a module before it is set up, so
// that no other station gives it out meanwhile, nor after a crash.
inline constexpr const char* kReservedResult = "reserved";

}  // namespace vx::ctl
