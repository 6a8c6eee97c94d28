#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string_view>

#include "platform/linux/com_port_numbering.h"
#include "platform/settings_store.h"
#include "protocol/com_names.h"

namespace vx::platform {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPortsSubkey = "\\Ports";
// The serial core's PORT_UNKNOWN: a ttyS node with no UART behind it.
constexpr int kUnknownUartType = 0;

constexpr std::string_view kUartPrefix = "ttyS";
constexpr std::string_view kAlwaysRealPrefixes[] = {"ttyUSB", "ttyACM", "ttyAMA", "rfcomm"};
// Where udev names devices by what they are, most telling first.
constexpr std::string_view kStableNameFolders[] = {"/dev/serial/by-id", "/dev/serial/by-path"};

using ComTable = std::map<int, std::string>;

bool IsDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool HasNumberedPrefix(std::string_view name, std::string_view prefix) {
    return name.starts_with(prefix) && IsDigits(name.substr(prefix.size()));
}

// The UART type that TIOCGSERIAL would report, read from sysfs so that the
// port need not be opened (opening raises its modem lines).
bool HasRealUart(const fs::path& sysEntry) {
    std::error_code error;
    if (!fs::exists(sysEntry / "device", error))
        return false;
    std::ifstream typeFile(sysEntry / "type");
    int type = kUnknownUartType;
    return static_cast<bool>(typeFile >> type) && type != kUnknownUartType;
}

bool IsSerialPort(const fs::path& sysEntry) {
    const std::string name = sysEntry.filename().string();
    if (HasNumberedPrefix(name, kUartPrefix))
        return HasRealUart(sysEntry);
    return std::any_of(std::begin(kAlwaysRealPrefixes), std::end(kAlwaysRealPrefixes),
                       [&](std::string_view prefix) { return HasNumberedPrefix(name, prefix); });
}

// The entries of a folder, sorted; none when it cannot be read.
std::vector<fs::path> SortedEntries(const fs::path& folder) {
    std::vector<fs::path> entries;
    std::error_code error;
    for (fs::directory_iterator it(folder, error); !error && it != fs::directory_iterator{};
         it.increment(error)) {
        entries.push_back(it->path());
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

// Device node (canonical) -> the first stable link that points at it.
std::map<fs::path, fs::path> StableLinks(const std::string& rootDir) {
    std::map<fs::path, fs::path> links;
    for (const auto folder : kStableNameFolders) {
        for (const auto& link : SortedEntries(rootDir + std::string{folder})) {
            std::error_code error;
            const fs::path target = fs::canonical(link, error);
            if (!error)
                links.emplace(target, link);
        }
    }
    return links;
}

ComTable ReadTable(const SettingsKey& ports) {
    ComTable table;
    for (const auto& name : ports.ValueNames()) {
        if (const auto number = protocol::ParseComName(name)) {
            table[*number] = ports.ReadText(name).value_or(std::string{});
        }
    }
    return table;
}

bool Listed(const ComTable& table, const std::string& device) {
    return std::any_of(table.begin(), table.end(),
                       [&](const auto& numbered) { return numbered.second == device; });
}

int LowestFreeNumber(const ComTable& table) {
    int number = 1;
    while (table.contains(number)) ++number;
    return number;
}

// Gives every present device that has no number yet the lowest free one and
// writes it down, so that the number stays with the device.
void NumberNewDevices(ComTable& table, std::vector<std::string> present,
                      std::unique_ptr<SettingsKey>& ports, SettingsStore& store,
                      const std::string& portsPath) {
    std::sort(present.begin(), present.end());
    for (const auto& device : present) {
        if (Listed(table, device))
            continue;
        const int number = LowestFreeNumber(table);
        table[number] = device;
        if (!ports)
            ports = store.CreateKey(portsPath);
        if (ports)
            ports->WriteText(protocol::ComName(number), device);
    }
}

}  // namespace

std::vector<std::string> PresentSerialDevices(const std::string& rootDir) {
    const auto links = StableLinks(rootDir);
    std::vector<std::string> devices;
    for (const auto& sysEntry : SortedEntries(rootDir + "/sys/class/tty")) {
        if (!IsSerialPort(sysEntry))
            continue;
        const fs::path node = rootDir + "/dev/" + sysEntry.filename().string();
        std::error_code missing;
        const fs::path canonicalNode = fs::canonical(node, missing);
        if (missing)
            continue;
        const auto link = links.find(canonicalNode);
        devices.push_back((link == links.end() ? node : link->second).string());
    }
    std::sort(devices.begin(), devices.end());
    return devices;
}

std::string ResolveComPort(const std::string& comName, SettingsStore& store,
                           const SerialDeviceLister& listPresent) {
    const auto number = protocol::ParseComName(comName);
    if (!number)
        return {};
    try {
        const std::string portsPath = std::string{kProgramKeyPath} + kPortsSubkey;
        auto ports = store.OpenKey(portsPath);
        ComTable table = ports ? ReadTable(*ports) : ComTable{};
        if (!table.contains(*number)) {
            const auto present = listPresent();
            const bool anyNew =
                std::any_of(present.begin(), present.end(),
                            [&](const auto& device) { return !Listed(table, device); });
            // Another instance may be numbering devices too: the table is
            // read again and extended with nobody writing in between.
            if (anyNew) {
                store.Exclusively([&] {
                    ports = store.OpenKey(portsPath);
                    table = ports ? ReadTable(*ports) : ComTable{};
                    NumberNewDevices(table, present, ports, store, portsPath);
                });
            }
        }
        const auto entry = table.find(*number);
        return entry == table.end() ? std::string{} : entry->second;
    } catch (...) {
        // Out of memory on a hostile table, for instance: the name stays
        // unresolved, as the interface promises values only.
        return {};
    }
}

int ComNumberForDevice(const std::string& device, SettingsStore& store) {
    const std::string portsPath = std::string{kProgramKeyPath} + kPortsSubkey;
    auto ports = store.OpenKey(portsPath);
    const ComTable table = ports ? ReadTable(*ports) : ComTable{};
    for (const auto& [number, listed] : table) {
        if (listed == device)
            return number;
    }
    const int number = LowestFreeNumber(table);
    if (!ports)
        ports = store.CreateKey(portsPath);
    if (!ports || !ports->WriteText(protocol::ComName(number), device))
        return 0;
    return number;
}

std::string ResolveComPort(const std::string& comName, SettingsStore& store) {
    return ResolveComPort(comName, store, [] { return PresentSerialDevices(); });
}

}  // namespace vx::platform
