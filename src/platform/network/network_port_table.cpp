#include "platform/network/network_port_table.h"

#include <set>

#include "platform/network/network_url.h"
#include "platform/settings_store.h"
#include "protocol/com_names.h"

namespace vx::platform {
namespace {

constexpr const char* kPortsSubkey = "\\Ports";

std::string PortsPath() {
    return std::string{kProgramKeyPath} + kPortsSubkey;
}

// The n of a "COMn" value name; 0 for any other name.
int NumberOf(const std::string& name) {
    return protocol::ParseComName(name).value_or(0);
}

}  // namespace

std::string NetworkPortOf(const std::string& comName, SettingsStore& store) {
    const auto ports = store.OpenKey(PortsPath());
    const auto value = ports ? ports->ReadText(comName) : std::nullopt;
    return value && IsNetworkPortText(*value) ? *value : std::string{};
}

DeviceNumber ComNumberForNetworkPort(const std::string& url, SettingsStore& store,
                                     const std::set<int>& inUse) {
    std::set<int> used = inUse;
    if (const auto ports = store.OpenKey(PortsPath())) {
        for (const auto& name : ports->ValueNames()) {
            const int number = NumberOf(name);
            if (number > 0 && ports->ReadText(name) == url)
                return {number, true};
            used.insert(number);
        }
    }
    for (int number = protocol::kFirstScanPort; protocol::IsScanPort(number); ++number) {
        if (!used.contains(number))
            return {number, false};
    }
    return {};
}

}  // namespace vx::platform
