#pragma once

#include <string>

namespace vx::platform {

class SettingsStore;

// Resolves a port name "COMn" to the device that the serial device opens.
// Windows: the name itself. Linux: the explicit table under the subkey
// "Ports" of the program key first; numbers not in the table go, lowest free
// number first, to the serial devices present, named by their stable path,
// and each such assignment is written back so that it survives replug and
// reboot. Empty when the name cannot be resolved.
std::string ResolveComPort(const std::string& comName, SettingsStore& store);

// The number n under which "COMn" resolves to `device`, for a program that is
// handed a device by its path. Linux: its entry in the table above, or else
// the lowest free number, written down at once. Windows: the number of a
// "COMn" or "\\.\COMn" name. 0 when there is none.
int ComNumberForDevice(const std::string& device, SettingsStore& store);

}  // namespace vx::platform
