#include <string_view>

#include "platform/com_ports.h"
#include "platform/network/network_port_table.h"
#include "platform/network/network_url.h"
#include "platform/port_table.h"
#include "protocol/com_names.h"

namespace vx::platform {
namespace {

// What the table's entry for `comName` opens: a network port, or a native
// port that Windows numbered above the search's range (an adapter on
// COM23 is reached as COM5); empty for no entry, or one that is neither.
std::string MappedPort(const std::string& comName, SettingsStore& store) {
    const auto value = PortEntryOf(comName, store);
    if (!value || !PortEntryProblem(*value).empty())
        return {};
    if (IsNetworkPortText(*value))
        return *value;
    return protocol::ComName(*protocol::ParseComName(*value));
}

// The lowest number from 1 to 16 that neither the table nor `inUse` holds.
int FreeNumber(SettingsStore& store, const std::set<int>& inUse) {
    std::set<int> used = inUse;
    for (const PortEntry& entry : ReadPortTable(store)) used.insert(entry.number);
    for (int number = protocol::kFirstScanPort; protocol::IsScanPort(number); ++number) {
        if (!used.contains(number))
            return number;
    }
    return 0;
}

}  // namespace

// Windows numbers its serial ports itself: the name is the device, unless
// the program's table maps it elsewhere.
std::string ResolveComPort(const std::string& comName, SettingsStore& store) {
    const std::string mapped = MappedPort(comName, store);
    return mapped.empty() ? comName : mapped;
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
    const std::string native = protocol::ComName(*number);
    for (const PortEntry& entry : ReadPortTable(store)) {
        if (protocol::IsScanPort(entry.number) &&
            MappedPort(protocol::ComName(entry.number), store) == native)
            return {entry.number, true};
    }
    if (protocol::IsScanPort(*number) && MappedPort(native, store).empty())
        return {*number, true};
    return {FreeNumber(store, inUse), false};
}

std::string PortEntryProblem(const std::string& value) {
    if (auto problem = NetworkEntryProblem(value))
        return *problem;
    return protocol::ParseComName(value)
               ? ""
               : "on Windows a number opens a native port, named COMn as Device Manager "
                 "shows it (COM23), or a network port";
}

}  // namespace vx::platform
