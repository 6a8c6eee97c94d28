#include "platform/network_port_table.h"

#include <set>

#include "platform/network_url.h"
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

int ComNumberForNetworkPort(const std::string& url, SettingsStore& store) {
    auto ports = store.OpenKey(PortsPath());
    std::set<int> used;
    if (ports) {
        for (const auto& name : ports->ValueNames()) {
            const int number = NumberOf(name);
            if (number > 0 && ports->ReadText(name) == url)
                return number;
            used.insert(number);
        }
    }
    int number = protocol::kFirstScanPort;
    while (used.contains(number)) ++number;
    // Only the numbers a search walks through are handed out.
    if (!protocol::IsScanPort(number))
        return 0;
    if (!ports)
        ports = store.CreateKey(PortsPath());
    if (!ports || !ports->WriteText(protocol::ComName(number), url))
        return 0;
    return number;
}

}  // namespace vx::platform
