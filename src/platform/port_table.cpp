#include "platform/port_table.h"

#include <algorithm>

#include "platform/network/network_url.h"
#include "platform/settings_store.h"
#include "protocol/com_names.h"

namespace vx::platform {

std::string PortsKeyPath() {
    return std::string{kProgramKeyPath} + "\\Ports";
}

std::vector<PortEntry> ReadPortTable(SettingsStore& store) {
    std::vector<PortEntry> entries;
    const auto ports = store.OpenKeyToRead(PortsKeyPath());
    if (!ports)
        return entries;
    for (const std::string& name : ports->ValueNames()) {
        const auto number = protocol::ParseComName(name);
        const auto value = number ? ports->ReadText(name) : std::nullopt;
        if (value)
            entries.push_back({*number, *value});
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const PortEntry& a, const PortEntry& b) { return a.number < b.number; });
    return entries;
}

std::optional<std::string> PortEntryOf(const std::string& comName, SettingsStore& store) {
    const auto ports = store.OpenKeyToRead(PortsKeyPath());
    return ports ? ports->ReadText(comName) : std::nullopt;
}

std::optional<std::string> NetworkEntryProblem(const std::string& value) {
    if (!IsNetworkPortText(value))
        return std::nullopt;
    return ParseNetworkUrl(value) ? ""
                                  : "a network port is rfc2217://HOST:PORT or socket://HOST:PORT, "
                                    "HOST a name, an IPv4 address or an IPv6 address in brackets";
}

TableChange SetPortEntry(SettingsStore& store, int number, const std::string& value) {
    const auto ports = store.CreateKey(PortsKeyPath());
    return ports && ports->WriteText(protocol::ComName(number), value) ? TableChange::Done
                                                                       : TableChange::Refused;
}

TableChange RemovePortEntry(SettingsStore& store, int number) {
    const std::string name = protocol::ComName(number);
    const auto read = [&] {
        const auto ports = store.OpenKeyToRead(PortsKeyPath());
        return ports && ports->Exists(name);
    };
    if (!read())
        return TableChange::NotThere;
    const auto ports = store.CreateKey(PortsKeyPath());
    if (!ports || !ports->DeleteValue(name))
        return TableChange::Refused;
    return read() ? TableChange::Shadowed : TableChange::Done;
}

}  // namespace vx::platform
