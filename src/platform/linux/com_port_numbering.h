#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/com_ports.h"

namespace vx::platform {

// The serial devices present under `rootDir` (empty for this machine's own
// /dev and /sys), each named by its stable path, sorted: a USB adapter by its
// /dev/serial/by-id link, else by its /dev/serial/by-path link, else by its
// /dev node. Counted are ttyUSB, ttyACM, ttyAMA and rfcomm devices, and ttyS
// nodes only where a real UART stands behind them.
std::vector<std::string> PresentSerialDevices(const std::string& rootDir = {});

using SerialDeviceLister = std::function<std::vector<std::string>()>;

// ResolveComPort with the present devices given by `listPresent`, which is
// asked only when the name is not in the table yet.
std::string ResolveComPort(const std::string& comName, SettingsStore& store,
                           const SerialDeviceLister& listPresent);

}  // namespace vx::platform
