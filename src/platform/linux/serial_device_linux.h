#pragma once

#include <memory>
#include <string>

#include "platform/serial_device.h"

namespace vx::platform {

// The Linux serial device, network ports included, with its lock files in
// `lockFolder` instead of the system's /run/lock (for tests).
std::unique_ptr<SerialDevice> CreateLinuxSerialDevice(PortResolver resolve, std::string lockFolder);

}  // namespace vx::platform
