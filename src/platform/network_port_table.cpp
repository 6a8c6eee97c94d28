#include "platform/network_port_table.h"

#include <charconv>
#include <set>
#include <string_view>

#include "platform/network_url.h"
#include "platform/settings_store.h"

namespace vx::platform {
namespace {

constexpr const char* kPortsSubkey = "\\Ports";
constexpr std::string_view kComPrefix = "COM";

std::string PortsPath() {
    return std::string{kProgramKeyPath} + kPortsSubkey;
}

// The n of a "COMn" value name; 0 for any other name.
int NumberOf(std::string_view name) {
    if (!name.starts_with(kComPrefix))
        return 0;
    name.remove_prefix(kComPrefix.size());
    int number = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), number);
    const bool plain =
        error == std::errc{} && end == name.data() + name.size() && !name.starts_with('0');
    return plain && number > 0 ? number : 0;
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
    int number = 1;
    while (used.contains(number)) ++number;
    if (!ports)
        ports = store.CreateKey(PortsPath());
    if (!ports || !ports->WriteText("COM" + std::to_string(number), url))
        return 0;
    return number;
}

}  // namespace vx::platform
