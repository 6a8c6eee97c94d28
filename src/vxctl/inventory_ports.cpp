#include <cctype>
#include <fstream>

#include "platform/com_ports.h"
#include "platform/network/network_url.h"
#include "platform/port_table.h"
#include "protocol/com_names.h"
#include "vxctl/inventory.h"

namespace vx::ctl {

namespace {

// Far beyond any device path or URL with its label; a longer line is not a
// port, and reading stops taking its bytes.
constexpr std::size_t kMaxLineBytes = 4096;
// A plant's worth and then some: a file that names more is a mistake, and
// its list must not grow without end.
constexpr std::size_t kMaxPorts = 65536;
constexpr char kComment = '#';

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string Trimmed(const std::string& text) {
    std::size_t from = 0;
    std::size_t to = text.size();
    while (from < to && IsBlank(text[from])) ++from;
    while (to > from && IsBlank(text[to - 1])) --to;
    return text.substr(from, to - from);
}

bool HasControl(const std::string& text) {
    for (const unsigned char c : text) {
        if (std::iscntrl(c) && c != '\t')
            return true;
    }
    return false;
}

// Why the text names no port; empty when it names one.
std::string DeviceProblem(const std::string& device) {
    if (platform::IsNetworkPortText(device))
        return platform::ParseNetworkUrl(device) ? "" : "not a valid network port";
#ifdef _WIN32
    return protocol::ParseComName(device) || device.starts_with("\\\\.\\") ? "" : "not a COM port";
#else
    return device.starts_with("/") ? "" : "not an absolute device path";
#endif
}

std::string TakeLine(const std::string& raw, std::size_t number, PortsFile& file) {
    const std::string line = Trimmed(raw.substr(0, raw.find(kComment)));
    if (line.empty())
        return "";
    if (HasControl(line))
        return "line " + std::to_string(number) + " holds control characters";
    const std::size_t blank = line.find_first_of(" \t");
    InventoryPort port{line.substr(0, blank),
                       blank == std::string::npos ? "" : Trimmed(line.substr(blank))};
    if (const std::string problem = DeviceProblem(port.device); !problem.empty())
        return "line " + std::to_string(number) + ": '" + port.device + "' is " + problem;
    if (file.ports.size() == kMaxPorts)
        return "more than " + std::to_string(kMaxPorts) + " ports";
    file.ports.push_back(std::move(port));
    return "";
}

}  // namespace

PortsFile ReadPortsFile(std::istream& in) {
    PortsFile file;
    std::string line;
    std::size_t number = 1;
    bool tooLong = false;
    const auto end = [&] {
        file.error = tooLong ? "line " + std::to_string(number) + " is too long"
                             : TakeLine(line, number, file);
        line.clear();
        tooLong = false;
        ++number;
        return file.error.empty();
    };
    for (char c; in.get(c);) {
        if (c != '\n') {
            tooLong = tooLong || line.size() == kMaxLineBytes;
            if (!tooLong)
                line += c;
        } else if (!end()) {
            return file;
        }
    }
    if (!line.empty() || tooLong)
        end();
    return file;
}

std::string InventoryPorts(const Options& options, platform::SettingsStore& table,
                           std::vector<InventoryPort>& ports) {
    for (const std::string& device : options.devices) {
        if (const std::string problem = DeviceProblem(device); !problem.empty())
            return "--device '" + device + "' is " + problem;
        ports.push_back({device, ""});
    }
    if (!options.portsFile.empty()) {
        std::ifstream in(options.portsFile, std::ios::binary);
        if (!in)
            return "cannot read the ports file '" + options.portsFile + "'";
        PortsFile file = ReadPortsFile(in);
        if (!file.error.empty())
            return options.portsFile + ": " + file.error;
        ports.insert(ports.end(), file.ports.begin(), file.ports.end());
    }
    if (options.devices.empty() && options.portsFile.empty()) {
        for (const platform::PortEntry& entry : platform::ReadPortTable(table)) {
            const std::string com = protocol::ComName(entry.number);
            const std::string device = platform::ResolveComPort(com, table);
            if (!device.empty())
                ports.push_back({device, com});
        }
    }
    return ports.empty() ? "no ports: name them with --device or --ports-file, or fill the "
                           "Ports table (vxctl ports set)"
                         : "";
}

}  // namespace vx::ctl
