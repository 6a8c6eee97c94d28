#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/faults.h"
#include "sim/module_model.h"

namespace vx::sim {

enum class PortKind {
    Pty,     // a new pseudo-terminal behind a symlink
    Device,  // a real serial device
    Silent,  // a pseudo-terminal with no module: it opens and never answers
};

struct QueuedFault {
    std::string command;  // prefix of the command text
    Fault fault;
    int times;
};

struct PortSpec {
    PortKind kind = PortKind::Pty;
    std::string path;
    ModuleState state;
    std::vector<QueuedFault> faults;
    double randomFaultProbability = 0.0;
    std::uint32_t randomFaultSeed = 1;
};

struct VxsimOptions {
    std::vector<PortSpec> ports;
    std::string logPath;
    std::string eventsPath;
    std::optional<std::uint32_t> unplugAfterMs;
    bool help = false;
};

struct ParsedOptions {
    VxsimOptions options;
    std::string error;  // empty when the command line made sense
};

// The command line without the program name.
ParsedOptions ParseVxsimOptions(const std::vector<std::string>& args);
std::string VxsimHelp();

}  // namespace vx::sim
