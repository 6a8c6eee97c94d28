#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

namespace vx::ctl {

class Session;

// The production-line loop; answers the exit code.
int RunProvision(Session& session);

// What the log already says: the ID of each serial number, and the IDs used.
struct ProvisionLog {
    std::map<std::string, int> idOfSerial;
    std::set<int> usedIds;
};

// Reads a log written by the loop. The file may hold anything: rows that do
// not parse are skipped.
ProvisionLog ParseProvisionLog(const std::string& text);

// The ID the module with this serial number gets: its ID from the log, else
// the lowest unused one from `idFrom` on; 0 when none is left.
int ChooseId(const ProvisionLog& log, const std::string& serial, int idFrom);

// One CSV field, quoted when it needs to be.
std::string CsvField(const std::string& text);

inline constexpr const char* kProvisionLogHeader = "time,serial,id,line,mode,nonc,result";

}  // namespace vx::ctl
