#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string_view>

#include "platform/linux/com_port_numbering.h"
#include "platform/network/network_port_table.h"
#include "platform/network/network_url.h"
#include "platform/port_table.h"
#include "platform/serial_device.h"
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

int ListedNumber(const ComTable& table, const std::string& device) {
    for (const auto& [number, listed] : table) {
        if (listed == device && protocol::IsScanPort(number))
            return number;
    }
    return 0;
}

// The lowest number from 1 to 16 free in the table and this run; with
// `orShadow`, when the table holds them all, the lowest free in this run.
int FreeNumber(const ComTable& table, const std::set<int>& inUse, bool orShadow) {
    for (int pass = 0; pass < (orShadow ? 2 : 1); ++pass) {
        for (int number = protocol::kFirstScanPort; number <= protocol::kLastScanPort; ++number) {
            const bool inTable = pass == 0 && table.contains(number);
            if (!inTable && !inUse.contains(number))
                return number;
        }
    }
    return 0;
}

// Whether the device opens as a serial port at this moment: not a file, a
// folder, a pipe or another kind of device, not missing, nor busy.
bool OpensAsSerialPort(const std::string& device) {
    const auto port = CreateSystemSerialDevice([device](const std::string&) { return device; });
    const bool opened = port->Open("COM1").Opened();
    port->Close();
    return opened;
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
        auto ports = store.OpenKeyToRead(portsPath);
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
                    ports = store.OpenKeyToRead(portsPath);
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

DeviceNumber ComNumberForDevice(const std::string& device, SettingsStore& store,
                                const std::set<int>& inUse) {
    // A network port is neither probed (a connection of its own) nor written.
    if (IsNetworkPortText(device))
        return ComNumberForNetworkPort(device, store, inUse);
    try {
        const std::string portsPath = std::string{kProgramKeyPath} + kPortsSubkey;
        const auto readTable = [&] {
            const auto ports = store.OpenKeyToRead(portsPath);
            return ports ? ReadTable(*ports) : ComTable{};
        };
        if (const int listed = ListedNumber(readTable(), device); listed > 0)
            return {listed, true};
        if (!OpensAsSerialPort(device))
            return {FreeNumber(readTable(), inUse, true), false};
        DeviceNumber result;
        // Another instance may be numbering devices too: the table is read
        // again and extended with nobody writing in between.
        store.Exclusively([&] {
            const ComTable table = readTable();
            if (const int listed = ListedNumber(table, device); listed > 0) {
                result = {listed, true};
                return;
            }
            const int number = FreeNumber(table, inUse, false);
            if (number > 0) {
                auto ports = store.OpenKeyToRead(portsPath);
                if (!ports)
                    ports = store.CreateKey(portsPath);
                if (ports && ports->WriteText(protocol::ComName(number), device)) {
                    result = {number, true};
                    return;
                }
            }
            result = {FreeNumber(table, inUse, true), false};
        });
        return result;
    } catch (...) {
        return {};
    }
}

std::string ResolveComPort(const std::string& comName, SettingsStore& store) {
    return ResolveComPort(comName, store, [] { return PresentSerialDevices(); });
}

// The serial device opens whatever path the table gives; a relative one
// would depend on the folder each program happens to start in.
std::string PortEntryProblem(const std::string& value) {
    if (auto problem = NetworkEntryProblem(value))
        return *problem;
    return value.starts_with('/') ? ""
                                  : "a device is named by its absolute path, such as "
                                    "/dev/serial/by-id/... or /dev/ttyUSB0";
}

}  // namespace vx::platform
