#include "sim/vxsim_options.h"

#include <charconv>
#include <functional>
#include <map>

#include "protocol/commands.h"
#include "protocol/line_settings.h"

namespace vx::sim {

namespace {

constexpr std::size_t kFieldLength = 8;  // serial number and version
constexpr const char* kFixedInputs = "fixed:";
constexpr const char* kWiredInputs = "wired";

template <typename Number>
std::optional<Number> ParseNumber(const std::string& text) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::vector<std::string> SplitColons(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t colon; (colon = text.find(':', start)) != std::string::npos;
         start = colon + 1) {
        parts.push_back(text.substr(start, colon - start));
    }
    parts.push_back(text.substr(start));
    return parts;
}

// Each option that takes a value reads it into the module being described
// (or the global options) and names what is wrong, if anything.
using Setter =
    std::function<std::string(const std::string& value, PortSpec& port, VxsimOptions& all)>;

std::string SetLine(const std::string& value, PortSpec& port, VxsimOptions&) {
    const auto index = protocol::LineSettingsIndex(value);
    if (!index)
        return "--line takes one of the twelve line settings, e.g. 19200,e,8,1";
    port.state.lineIndex = *index;
    return "";
}

std::string SetId(const std::string& value, PortSpec& port, VxsimOptions&) {
    const auto id = protocol::ParseModuleId(value);
    if (!id)
        return "--id takes a number from 1 to 99";
    port.state.id = *id;
    return "";
}

std::string SetSerial(const std::string& value, PortSpec& port, VxsimOptions&) {
    if (value.size() != kFieldLength)
        return "--serial takes 8 characters";
    port.state.serial = value;
    return "";
}

std::string SetVersion(const std::string& value, PortSpec& port, VxsimOptions&) {
    if (value.size() != kFieldLength)
        return "--version takes 8 characters, e.g. 03.20-01";
    port.state.version = value;
    return "";
}

std::string SetMode(const std::string& value, PortSpec& port, VxsimOptions&) {
    if (value != "H" && value != "S")
        return "--mode takes H (Hold) or S (Normal)";
    port.state.mode = value[0];
    return "";
}

std::string SetNoNc(const std::string& value, PortSpec& port, VxsimOptions&) {
    const auto flags = protocol::ParseFlagString(value);
    if (!flags)
        return "--nonc takes 16 characters 0/1";
    port.state.noNc = *flags;
    return "";
}

std::string SetOutputs(const std::string& value, PortSpec& port, VxsimOptions&) {
    const auto flags = protocol::ParseFlagString(value);
    if (!flags)
        return "--outputs takes 16 characters 0/1";
    port.state.outputs = *flags;
    return "";
}

std::string SetInputs(const std::string& value, PortSpec& port, VxsimOptions&) {
    if (value == kWiredInputs) {
        port.state.wiring = InputWiring::OutputsThroughNoNc;
        return "";
    }
    const std::string prefix = kFixedInputs;
    const auto flags =
        value.starts_with(prefix)
            ? protocol::ParseFlagString(std::string_view{value}.substr(prefix.size()))
            : std::nullopt;
    if (!flags)
        return "--inputs takes wired or fixed: and 16 characters 0/1";
    port.state.wiring = InputWiring::Fixed;
    port.state.fixedInputs = *flags;
    return "";
}

std::string AddFault(const std::string& value, PortSpec& port, VxsimOptions&) {
    const auto parts = SplitColons(value);
    constexpr const char* kUsage = "--fault takes COMMAND:KIND[:COUNT], e.g. B00B:no-reply:2";
    if (parts.size() < 2 || parts.size() > 3 || parts[0].empty())
        return kUsage;
    const auto fault = FaultFromName(parts[1]);
    const auto times = parts.size() == 3 ? ParseNumber<int>(parts[2]) : std::optional<int>(1);
    if (!fault || !times || *times < 1)
        return kUsage;
    port.faults.push_back({parts[0], *fault, *times});
    return "";
}

std::string SetRandomFaults(const std::string& value, PortSpec& port, VxsimOptions&) {
    const auto probability = ParseNumber<double>(value);
    if (!probability || *probability < 0.0 || *probability > 1.0) {
        return "--random-faults takes a probability from 0 to 1";
    }
    port.randomFaultProbability = *probability;
    return "";
}

std::string SetSeed(const std::string& value, PortSpec& port, VxsimOptions&) {
    const auto seed = ParseNumber<std::uint32_t>(value);
    if (!seed)
        return "--seed takes a whole number";
    port.randomFaultSeed = *seed;
    return "";
}

std::string SetLog(const std::string& value, PortSpec&, VxsimOptions& all) {
    all.logPath = value;
    return "";
}

std::string SetUnplugAfter(const std::string& value, PortSpec&, VxsimOptions& all) {
    const auto ms = ParseNumber<std::uint32_t>(value);
    if (!ms)
        return "--unplug-after takes milliseconds";
    all.unplugAfterMs = *ms;
    return "";
}

const std::map<std::string, Setter>& ValueOptions() {
    static const std::map<std::string, Setter> options = {
        {"--line", SetLine},
        {"--id", SetId},
        {"--serial", SetSerial},
        {"--version", SetVersion},
        {"--mode", SetMode},
        {"--nonc", SetNoNc},
        {"--outputs", SetOutputs},
        {"--inputs", SetInputs},
        {"--fault", AddFault},
        {"--random-faults", SetRandomFaults},
        {"--seed", SetSeed},
        {"--log", SetLog},
        {"--unplug-after", SetUnplugAfter},
    };
    return options;
}

const std::map<std::string, PortKind>& PortOptions() {
    static const std::map<std::string, PortKind> options = {
        {"--link", PortKind::Pty},
        {"--device", PortKind::Device},
        {"--silent", PortKind::Silent},
    };
    return options;
}

bool IsModuleOption(const std::string& name) {
    return name != "--log" && name != "--unplug-after";
}

}  // namespace

ParsedOptions ParseVxsimOptions(const std::vector<std::string>& args) {
    ParsedOptions parsed;
    PortSpec next;
    bool nextTouched = false;
    for (std::size_t k = 0; k < args.size(); ++k) {
        const std::string& name = args[k];
        if (name == "--help" || name == "-h") {
            parsed.options.help = true;
            return parsed;
        }
        const auto port = PortOptions().find(name);
        const auto option = ValueOptions().find(name);
        if (port == PortOptions().end() && option == ValueOptions().end()) {
            parsed.error = "unknown option " + name;
            return parsed;
        }
        if (k + 1 == args.size()) {
            parsed.error = name + " needs a value";
            return parsed;
        }
        const std::string& value = args[++k];
        if (port != PortOptions().end()) {
            next.kind = port->second;
            next.path = value;
            parsed.options.ports.push_back(next);
            next = PortSpec{};
            nextTouched = false;
            continue;
        }
        parsed.error = option->second(value, next, parsed.options);
        if (!parsed.error.empty())
            return parsed;
        nextTouched = nextTouched || IsModuleOption(name);
    }
    if (nextTouched) {
        parsed.error =
            "module options must come before the --link, --device or --silent they describe";
    } else if (parsed.options.ports.empty()) {
        parsed.error = "no port: give at least one --link, --device or --silent";
    }
    return parsed;
}

std::string VxsimHelp() {
    return R"(Usage: vxsim [OPTIONS] PORT [[MODULE OPTIONS] PORT ...]

Simulates the serial I/O module on pseudo-terminals (or a real serial device),
so that vxconfig can be run and tested without the hardware.

Ports (at least one). Each port takes the module options given since the
previous port; after each port they start again from the defaults.
  --link PATH            a new pseudo-terminal with a module, published as the
                         symbolic link PATH (an existing symlink is replaced)
  --silent PATH          a pseudo-terminal that opens but never answers
  --device DEV           a real serial device, e.g. /dev/ttyUSB1, opened at the
                         module's line settings (and re-set when they change)

Module options:
  --line TEXT            line settings, one of 4800..115200 with n or e parity:
                         4800,n,8,1 ... 115200,e,8,1 (default 19200,e,8,1)
  --id N                 bus ID, 1..99 (default 1)
  --serial TEXT          serial number, 8 characters (default 12345678)
  --version TEXT         firmware version, 8 characters (default 03.20-01)
  --mode H|S             output mode: H Hold, S Normal (default H)
  --nonc FLAGS           NO/NC setting of the 16 inputs, 16 characters 0/1,
                         input 1 first (default all 0)
  --outputs FLAGS        output states at start (default all 0)
  --inputs wired         inputs read their outputs, inverted where NO/NC is set
                         (default)
  --inputs fixed:FLAGS   inputs stay at these 16 states
  --fault CMD:KIND[:N]   damage the next N (default 1) replies to commands that
                         begin with CMD (e.g. B00B, B00I). KIND is one of:
                           no-reply            the command is swallowed
                           late-reply          the reply comes 200 ms late
                           bad-checksum        one checksum digit is wrong
                           lowercase-checksum  the checksum is in lowercase
                           wrong-length        one text character too many
                           leading-noise       a stray 0xFF byte before the LF
                           split-reply         two halves, 40 ms apart
                           hang-up             the port hangs up instead
                         Repeat --fault to queue more; for a command matched by
                         several, shorter prefixes are used first.
  --random-faults P      damage each other reply with probability P (0..1),
                         with any kind but hang-up
  --seed N               seed of the random faults (default 1)

Other options:
  --log FILE             append a line for every command frame received: time
                         since start, port, the client's baud rate, command,
                         checksum verdict and what the module did
  --unplug-after MS      hang up every port MS milliseconds after start
  -h, --help             this text

Behaviour:
  - Replies go out at the speed of the module's line settings (start, data,
    parity and stop bits per character), 1 ms after the command's CR.
  - On a pseudo-terminal only the baud rate the client has set can be seen;
    its parity, data and stop bits cannot. A module there answers whenever
    the client's baud rate equals its own; parity is not checked, so a
    module set to "B,e,8,1" answers at "B,n,8,1" as well. Each
    pseudo-terminal starts at 1200 baud, which no module uses. On a real
    device the line itself decides: a client at other settings sends
    garbage, which the module ignores.
  - A client may open and close the port any number of times. Bytes still on
    their way when it closes are dropped, as on a real port.
  - When all ports are up, vxsim prints one line per port,
      ready PATH -> /dev/pts/N
    and flushes its output, so a script can wait for the first "ready".
  - SIGUSR1 (or --unplug-after, or a hang-up fault) hangs up every port (the
    fault: just its own): the pseudo-terminal is closed, so its client sees a
    hang-up and its reads fail, the symlink is removed and "hangup PATH" is
    printed. vxsim keeps running until it is told to end.
  - SIGTERM or SIGINT end vxsim; it removes its symlinks first.
)";
}

}  // namespace vx::sim
