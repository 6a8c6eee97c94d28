#include "platform/com_ports.h"

namespace vx::platform {

// Windows numbers its serial ports itself: the name is the device.
std::string ResolveComPort(const std::string& comName, SettingsStore&) {
    return comName;
}

}  // namespace vx::platform
