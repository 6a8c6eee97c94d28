#pragma once

#include <istream>
#include <string>
#include <vector>

#include "vxctl/options.h"
#include "vxctl/output.h"
#include "vxctl/session.h"

namespace vx::ctl {

// One port of an inventory: what opens it, and what the reports call it.
struct InventoryPort {
    std::string device;
    std::string label;  // empty: the device names it
};

// The ports of a ports file: one a line, a device path or a network URL and
// an optional label after a blank; blank lines and "#" comments are passed
// over. The file may hold anything: a line that names no port, or one
// longer than any port text, is an error with its line number.
struct PortsFile {
    std::vector<InventoryPort> ports;
    std::string error;  // empty when every line was a port or nothing
};
PortsFile ReadPortsFile(std::istream& in);

// The ports an inventory covers: --device and --ports-file, else every
// entry of the Ports table; an error text when there are none or one is bad.
std::string InventoryPorts(const Options& options, platform::SettingsStore& table,
                           std::vector<InventoryPort>& ports);

// Reads every module on the ports, at most `--jobs` at once, and writes
// nothing to a module or to the store; answers the exit code.
int RunInventory(const Options& options, Machine& machine, Printer& printer);

}  // namespace vx::ctl
