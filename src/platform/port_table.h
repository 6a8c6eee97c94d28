#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vx::platform {

class SettingsStore;

// The Ports table below the program key: "COMn" value names, each with the
// text of what that number opens (com_ports.h says what a text may be on
// each system).
std::string PortsKeyPath();

struct PortEntry {
    int number = 0;
    std::string value;
};

// The entries with a "COMn" name and a text, by number; what the reader
// would pass over (another name, another type) is not listed.
std::vector<PortEntry> ReadPortTable(SettingsStore& store);

// The text the table holds for `comName`; nothing without one.
std::optional<std::string> PortEntryOf(const std::string& comName, SettingsStore& store);

// For a value meant as a network port: why it is none (empty when it is
// one). Nothing for a value not meant as one, which each system checks in
// its own way (PortEntryProblem).
std::optional<std::string> NetworkEntryProblem(const std::string& value);

enum class TableChange {
    Done,
    NotThere,  // a removal of an entry the table does not have
    Refused,   // the store could not be written
    Shadowed,  // removed where this user may write, but still read from
               // where only an administrator may
};

// Checks nothing: the caller checks the value with PortEntryProblem first.
TableChange SetPortEntry(SettingsStore& store, int number, const std::string& value);
TableChange RemovePortEntry(SettingsStore& store, int number);

}  // namespace vx::platform
