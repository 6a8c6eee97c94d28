#pragma once

#include <optional>
#include <string>
#include <vector>

#include "protocol/commands.h"

namespace vx::ctl {

enum class Command { Scan, SetId, SetBaud, SetMode, Factory, Io, Provision, Ports, Inventory };

// What `ports` does to the Ports table.
enum class PortsAction { List, Set, Remove };

enum class Verbosity { Quiet, Normal, Verbose };

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitPortError = 3;
// An inventory that found a module on some of its ports, not on all.
inline constexpr int kExitSomeEmpty = 4;

// How many ports an inventory works on at once: each holds one open device
// and one thread, so the bound keeps both within what a process may have.
inline constexpr int kDefaultJobs = 32;
inline constexpr int kMaxJobs = 512;

struct Options {
    Command command = Command::Scan;
    bool help = false;
    bool version = false;

    // Where to look: COM numbers and device paths; none means every port.
    std::vector<int> ports;
    std::vector<std::string> devices;
    std::optional<int> lockIndex;  // --lock
    bool allSettings = false;      // --all-settings
    bool parallel = false;
    bool noScan = false;

    // The store: the machine's, another file (--store), or none at all.
    bool noStore = false;
    std::string storePath;

    int id = 0;               // set-id
    int lineIndex = -1;       // set-baud, provision --baud
    std::optional<int> mode;  // set-mode, provision --mode
    std::optional<protocol::ChannelFlags> noNc;
    std::optional<protocol::ChannelFlags> outputs;  // io --out
    bool watch = false;
    int idFrom = 0;  // provision
    std::string logPath;
    std::string portsFile;  // inventory
    int jobs = 0;           // inventory; 0 = its default
    bool csv = false;

    PortsAction portsAction = PortsAction::List;  // ports
    int tablePort = 0;                            // ports set|remove COMn
    std::string tableValue;                       // ports set COMn VALUE

    bool json = false;
    std::optional<int> languageNo;
    Verbosity verbosity = Verbosity::Normal;
};

struct ParsedCommandLine {
    Options options;
    std::string error;  // one line; empty when the command line made sense
    bool generalHelp = false;
};

// The arguments after the program name. The common options may stand before
// the command as well as after it.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args);

// "vxctl --help" and "vxctl CMD --help".
std::string GeneralUsage();
std::string CommandUsage(Command command);
// The usage line alone, for a usage error.
std::string UsageLine(Command command);
std::string CommandName(Command command);
// "vxctl 1.2.3".
std::string VersionText();

}  // namespace vx::ctl
