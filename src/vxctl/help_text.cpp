#include <sstream>

#include "protocol/commands.h"
#include "protocol/line_settings.h"
#include "vxctl/option_table.h"
#include "vxctl/options.h"

namespace vx::ctl {

namespace {

std::string CommonOptions() {
    return "Common options (before or after the command):\n"
           "  --port COMn       look only at this port (" +
           PortRange() +
           "): a real serial\n"
           "                    port of this machine, numbered as the store says;\n"
           "                    repeatable\n"
           "  --device PATH|URL look only at this serial device, or at the network port\n"
           "                    rfc2217://HOST:PORT or socket://HOST:PORT, over TLS\n"
           "                    rfc2217+tls:// or socket+tls://; repeatable\n"
           "  --lock SETTING    search at this line setting only (the default is the\n"
           "                    remembered one, as the window's lock box)\n"
           "  --all-settings    search at all twelve line settings\n"
           "  --parallel        search all ports at once\n"
           "  --no-scan         (set-id, set-baud, set-mode, factory, io) no scan first:\n"
           "                    the module is taken to be at the stored port and setting\n"
           "  --no-store        neither read nor write the settings store\n"
           "  --store FILE      use this settings file instead of the machine's (Linux\n"
           "                    only; refused on Windows, where the registry holds them);\n"
           "                    its folder must exist\n"
           "  --json            JSON on stdout, one object per line, errors included\n"
           "  --lang en|gb|big5 message language (default: the stored one)\n"
           "  -q, -v            quiet: nothing printed, the exit code only; verbose:\n"
           "                    every message on stderr\n"
           "  -h, --help        this help\n"
           "  --version         the program's version\n"
           "A socket:// port carries bytes only: the module is reached at the line\n"
           "settings of the device server, so neither the search over line settings\n"
           "nor set-baud can work through it.\n"
           "Exit codes: 0 success, 1 module not found, operation failed or output not\n"
           "written, 2 usage error (nothing touched), 3 port could not be opened.\n";
}

constexpr std::size_t kHelpWidth = 79;

// The paragraph broken at blanks into lines of at most kHelpWidth characters.
std::string Wrapped(const std::string& paragraph) {
    std::istringstream words(paragraph);
    std::string text;
    std::size_t lineLength = 0;
    for (std::string word; words >> word;) {
        if (lineLength > 0 && lineLength + 1 + word.size() > kHelpWidth) {
            text += '\n';
            lineLength = 0;
        } else if (lineLength > 0) {
            text += ' ';
            ++lineLength;
        }
        text += word;
        lineLength += word.size();
    }
    return text + '\n';
}

std::string SettingsHint() {
    return Wrapped("SETTING is one of " + protocol::JoinedLineSettings(" ") + ". FLAGS are " +
                   FlagsForm() + ", channel 1 first.");
}

}  // namespace

std::string GeneralUsage() {
    const std::string channels = std::to_string(protocol::kChannelCount);
    std::string text = "Usage: vxctl COMMAND [OPTIONS]\nFinds, sets up and tests the " + channels +
                       "-in/" + channels +
                       "-out I/O module from a terminal.\n\n"
                       "Commands:\n";
    for (const auto& info : Commands()) text += std::string{"  vxctl "} + info.synopsis + "\n";
    text += "\n";
    text += CommonOptions();
    text += "\n'vxctl COMMAND --help' tells more of each command.\n";
    return text;
}

std::string CommandUsage(Command command) {
    const CommandInfo& info = InfoOf(command);
    return std::string{"Usage: vxctl "} + info.synopsis + " [OPTIONS]\n" + info.summary + "\n\n" +
           SettingsHint() + "\n" + CommonOptions();
}

std::string UsageLine(Command command) {
    return std::string{"Usage: vxctl "} + InfoOf(command).synopsis + " [OPTIONS]";
}

std::string CommandName(Command command) {
    return InfoOf(command).name;
}

std::string VersionText() {
    return std::string{"vxctl "} + VX_VERSION;
}

}  // namespace vx::ctl
