#pragma once

#include <functional>
#include <memory>

#include "platform/serial_device.h"

namespace vx::platform {

// The machine's serial device that also reaches network ports: a "COMn" that
// `resolve` maps to a URL opens through `network`, any other through `local`
// (which is handed the same resolution). A URL that breaks the rules of
// ParseNetworkUrl names no port at all.
std::unique_ptr<SerialDevice> CreateRoutingSerialDevice(
    PortResolver resolve, const std::function<std::unique_ptr<SerialDevice>(PortResolver)>& local,
    std::unique_ptr<SerialDevice> network);

}  // namespace vx::platform
