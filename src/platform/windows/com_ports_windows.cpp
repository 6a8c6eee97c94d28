#include "platform/com_ports.h"

#include <charconv>
#include <string_view>

namespace vx::platform {

// Windows numbers its serial ports itself: the name is the device.
std::string ResolveComPort(const std::string& comName, SettingsStore&) {
    return comName;
}

DeviceNumber ComNumberForDevice(const std::string& device, SettingsStore&, const std::set<int>&) {
    constexpr std::string_view kDevicePrefix = "\\\\.\\";
    constexpr std::string_view kComPrefix = "COM";
    std::string_view name = device;
    if (name.starts_with(kDevicePrefix))
        name.remove_prefix(kDevicePrefix.size());
    if (!name.starts_with(kComPrefix))
        return {};
    name.remove_prefix(kComPrefix.size());
    int number = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), number);
    if (error != std::errc{} || end != name.data() + name.size() || number <= 0)
        return {};
    return {number, true};
}

}  // namespace vx::platform
