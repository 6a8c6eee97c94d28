#pragma once

#include <set>
#include <string>

namespace vx::platform {

class SettingsStore;

// Resolves a port name "COMn" to the device that the serial device opens.
// Windows: the network port or the native port ("COM23") that the table
// under the subkey "Ports" of the program key names for it, else the name
// itself. Linux: the explicit table under the subkey
// "Ports" of the program key first; numbers not in the table go, lowest free
// number first, to the serial devices present, named by their stable path,
// and each such assignment is written back so that it survives replug and
// reboot. Empty when the name cannot be resolved.
std::string ResolveComPort(const std::string& comName, SettingsStore& store);

// The number under which a program that is handed a device by its path
// names it "COMn".
struct DeviceNumber {
    int number = 0;     // 1 to 16; 0 when `inUse` holds all sixteen
    bool kept = false;  // the table names the device by this number
};

// Linux: the device's entry in the table above, which is read even where the
// store cannot be written. Otherwise the lowest number from 1 to 16 that
// neither the table nor `inUse` holds; it is written to the table only when
// the device opens as a serial port now, since an entry holds its number for
// good and a typo or a file must not. A device that does not open, a store
// that cannot be written, or a table already full (then the lowest number
// not in `inUse`) give a number for this run only. Windows: the number
// under which the table names the native port of a "COMn" or "\\.\COMn"
// name, else its own number from 1 to 16, else a number for this run only.
DeviceNumber ComNumberForDevice(const std::string& device, SettingsStore& store,
                                const std::set<int>& inUse);

// Why the reader of the table would not take `value` as what a number opens;
// empty when it would. A network port (rfc2217:// or socket://) anywhere; on
// Linux a device by its absolute path, on Windows a native port by its
// "COMn" name.
std::string PortEntryProblem(const std::string& value);

}  // namespace vx::platform
