#pragma once

#include <set>
#include <string>

#include "platform/com_ports.h"

namespace vx::platform {

class SettingsStore;

// The Ports table under the program key maps "COMn" names to what they
// open. On Windows its only entries are network ports, which stand in for
// the native port of the same number; a number without one is the native
// port.

// The network port that the table names for `comName`; empty when it names
// none (no entry, or an entry that is not meant as a URL).
std::string NetworkPortOf(const std::string& comName, SettingsStore& store);

// The number under which the table names `url`, kept; or else, for this run
// only, the lowest number from 1 to 16 that neither the table nor `inUse`
// holds (0 when there is none). As with devices, only an entry written by
// hand holds a number for good: a typed URL may be a typo.
DeviceNumber ComNumberForNetworkPort(const std::string& url, SettingsStore& store,
                                     const std::set<int>& inUse);

}  // namespace vx::platform
