#pragma once

#include <string>

namespace vx::platform {

class SettingsStore;

// The Ports table under the program key maps "COMn" names to what they
// open. On Windows its only entries are network ports, which stand in for
// the native port of the same number; a number without one is the native
// port.

// The network port that the table names for `comName`; empty when it names
// none (no entry, or an entry that is not meant as a URL).
std::string NetworkPortOf(const std::string& comName, SettingsStore& store);

// The number under which the table names `url`, or else the lowest number
// the table does not use yet, written down at once. 0 when it cannot be
// written.
int ComNumberForNetworkPort(const std::string& url, SettingsStore& store);

}  // namespace vx::platform
