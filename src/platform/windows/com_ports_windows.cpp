#include "platform/com_ports.h"
#include "platform/network/network_port_table.h"
#include "platform/network/network_url.h"

#include <string_view>

#include "protocol/com_names.h"

namespace vx::platform {

// Windows numbers its serial ports itself: the name is the device, unless
// the program's table maps it to a network port.
std::string ResolveComPort(const std::string& comName, SettingsStore& store) {
    const std::string networkPort = NetworkPortOf(comName, store);
    return networkPort.empty() ? comName : networkPort;
}

DeviceNumber ComNumberForDevice(const std::string& device, SettingsStore& store,
                                const std::set<int>& inUse) {
    if (IsNetworkPortText(device))
        return ComNumberForNetworkPort(device, store, inUse);
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
