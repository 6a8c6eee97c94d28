#include "platform/com_ports.h"
#include "platform/network_port_table.h"
#include "platform/network_url.h"

#include <charconv>
#include <string_view>

namespace vx::platform {

// Windows numbers its serial ports itself: the name is the device, unless
// the program's table maps it to a network port.
std::string ResolveComPort(const std::string& comName, SettingsStore& store) {
    const std::string networkPort = NetworkPortOf(comName, store);
    return networkPort.empty() ? comName : networkPort;
}

int ComNumberForDevice(const std::string& device, SettingsStore& store) {
    if (IsNetworkPortText(device))
        return ComNumberForNetworkPort(device, store);
    constexpr std::string_view kDevicePrefix = "\\\\.\\";
    constexpr std::string_view kComPrefix = "COM";
    std::string_view name = device;
    if (name.starts_with(kDevicePrefix))
        name.remove_prefix(kDevicePrefix.size());
    if (!name.starts_with(kComPrefix))
        return 0;
    name.remove_prefix(kComPrefix.size());
    int number = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), number);
    return error == std::errc{} && end == name.data() + name.size() && number > 0 ? number : 0;
}

}  // namespace vx::platform
