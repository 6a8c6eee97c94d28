#pragma once

#include <cstdint>
#include <istream>
#include <map>
#include <string>

namespace vx::ctl {

class Session;

// The production-line loop; answers the exit code.
int RunProvision(Session& session);

// What the log already says: for each ID, the serial number of the module
// that got it last. At most one entry per ID, so that a log of any length
// takes little memory.
class ProvisionLog {
public:
    // One row of the log, without its line end; a row that does not parse,
    // or that tells of a failure, is skipped.
    void Take(const std::string& row);
    void Note(const std::string& serial, int id);
    // The ID that the log gives this serial number; 0 when it gives none.
    int IdOf(const std::string& serial) const;
    bool Used(int id) const { return holders_.contains(id); }

private:
    struct Holder {
        std::string serial;
        std::uint64_t row = 0;
    };
    std::map<int, Holder> holders_;
    std::uint64_t rows_ = 0;
};

// Reads a log written by the loop. The file may hold anything.
ProvisionLog ParseProvisionLog(const std::string& text);
// The same from a stream, a row at a time: rows longer than any the loop
// writes are skipped unread, so memory stays bounded whatever the file holds.
ProvisionLog ReadProvisionLog(std::istream& in);

// The ID the module with this serial number gets: its ID from the log, else
// the lowest unused one from `idFrom` on; 0 when none is left.
int ChooseId(const ProvisionLog& log, const std::string& serial, int idFrom);

// One CSV field, quoted when it needs to be.
std::string CsvField(const std::string& text);

inline constexpr const char* kProvisionLogHeader = "time,serial,id,line,mode,nonc,result";

}  // namespace vx::ctl
