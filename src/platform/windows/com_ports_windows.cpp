#include "platform/com_ports.h"

#include <string_view>

#include "protocol/com_names.h"

namespace vx::platform {

// Windows numbers its serial ports itself: the name is the device.
std::string ResolveComPort(const std::string& comName, SettingsStore&) {
    return comName;
}

DeviceNumber ComNumberForDevice(const std::string& device, SettingsStore&, const std::set<int>&) {
    constexpr std::string_view kDevicePrefix = "\\\\.\\";
    std::string_view name = device;
    if (name.starts_with(kDevicePrefix))
        name.remove_prefix(kDevicePrefix.size());
    const auto number = protocol::ParseComName(name);
    if (!number)
        return {};
    return {*number, true};
}

}  // namespace vx::platform
