// Writes vxctl's bash completion: its template with the words vxctl takes
// written in from the protocol's own lists, so that the two cannot drift.
//   vx_bash_completion TEMPLATE OUTPUT
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "protocol/com_names.h"
#include "protocol/line_settings.h"

namespace {

constexpr int kUsageError = 2;
constexpr int kFailed = 1;

std::string ScanPorts() {
    std::string ports;
    for (int number = vx::protocol::kFirstScanPort; number <= vx::protocol::kLastScanPort;
         ++number) {
        ports += (ports.empty() ? "" : " ") + vx::protocol::ComName(number);
    }
    return ports;
}

// False when the template lacks the placeholder: it has been changed, and the
// words would be missing.
bool Fill(std::string& text, const std::string& placeholder, const std::string& words) {
    const std::size_t at = text.find(placeholder);
    if (at == std::string::npos)
        return false;
    text.replace(at, placeholder.size(), words);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: vx_bash_completion TEMPLATE OUTPUT\n";
        return kUsageError;
    }
    std::ifstream in(argv[1]);
    std::ostringstream read;
    read << in.rdbuf();
    std::string text = read.str();
    if (!in || !Fill(text, "@LINE_SETTINGS@", vx::protocol::JoinedLineSettings(" ")) ||
        !Fill(text, "@SCAN_PORTS@", ScanPorts())) {
        std::cerr << "vx_bash_completion: " << argv[1] << " is not the completion's template\n";
        return kFailed;
    }
    std::ofstream out(argv[2]);
    out << text;
    return out ? 0 : kFailed;
}
