#include "sim/vxsim_options.h"

#include <algorithm>
#include <functional>

#include "protocol/commands.h"
#include "protocol/line_settings.h"
#include "sim/frame_events.h"
#include "sim/option_values.h"
#include "sim/terminal.h"

namespace vx::sim {

namespace {

// Where the help's descriptions begin, and the fault names' column in them.
constexpr std::size_t kHelpTextColumn = 25;
constexpr std::size_t kOptionIndent = 2;
constexpr std::size_t kFaultNameWidth = 20;

std::uint32_t BaudOf(const std::string& lineSettings) {
    const auto line = protocol::ParseLineSettings(lineSettings);
    return line ? line->baudRate : 0;
}

std::string LineHelp() {
    const std::string& first = protocol::LineSettingsList.front();
    const std::string& last = protocol::LineSettingsList.back();
    return "line settings, one of " + std::to_string(BaudOf(first)) + ".." +
           std::to_string(BaudOf(last)) + " with n or e parity:\n" + first + " ... " + last +
           " (default " + protocol::LineSettingsList[protocol::kDefaultLineSettingsIndex] + ")";
}

std::string Padded(std::string text, std::size_t width) {
    text.resize(std::max(width, text.size() + 1), ' ');
    return text;
}

// Each line after the first of `text` indented by `indent` blanks.
std::string Indented(const std::string& text, std::size_t indent) {
    std::string out;
    for (const char c : text) {
        out += c;
        if (c == '\n')
            out += std::string(indent, ' ');
    }
    return out;
}

std::string FaultKinds() {
    std::string kinds;
    for (const Fault fault : AllFaults()) {
        if (fault == Fault::None)
            continue;
        kinds += Indented(std::string(kOptionIndent, ' ') +
                              Padded(FaultName(fault), kFaultNameWidth) + FaultHelp(fault),
                          kOptionIndent + kFaultNameWidth);
        kinds += "\n";
    }
    return kinds;
}

std::string FaultOptionHelp() {
    return "damage the next N (default " + std::to_string(kDefaultFaultTimes) +
           ") replies to commands that\nbegin with CMD (e.g. " + protocol::cmd::Identify + ", " +
           protocol::cmd::Exchange + "). KIND is one of:\n" + FaultKinds() +
           "Repeat --fault to queue more; for a command matched by\n"
           "several, shorter prefixes are used first.";
}

enum class Scope { Port, Module, Other };

// How an option is shown in the help: its value, and what it does.
struct Form {
    std::string value;
    std::string text;  // may run over lines
};

// Every option vxsim takes, in the order of its help.
struct OptionSpec {
    std::string name;
    Scope scope;
    std::vector<Form> forms;
    Setter set;
};

const std::vector<OptionSpec>& Options() {
    const ModuleState module;
    const PortSpec port;
    static const std::vector<OptionSpec> options = {
        {"--link",
         Scope::Port,
         {{"PATH",
           "a new pseudo-terminal with a module, published as the\n"
           "symbolic link PATH (an existing symlink is replaced)"}},
         AddPort(PortKind::Pty)},
        {"--silent",
         Scope::Port,
         {{"PATH", "a pseudo-terminal that opens but never answers"}},
         AddPort(PortKind::Silent)},
        {"--device",
         Scope::Port,
         {{"DEV",
           "a real serial device, e.g. /dev/ttyUSB1, opened at the\n"
           "module's line settings (and re-set when they change)"}},
         AddPort(PortKind::Device)},
        {"--line", Scope::Module, {{"TEXT", LineHelp()}}, SetLine},
        {"--id",
         Scope::Module,
         {{"N", "bus ID, " + IdRange("..") + " (default " + std::to_string(module.id) + ")"}},
         SetId},
        {"--serial",
         Scope::Module,
         {{"TEXT", "serial number, " + Characters(protocol::kSerialLength) + " (default " +
                       module.serial + ")"}},
         SetSerial},
        {"--version",
         Scope::Module,
         {{"TEXT", "firmware version, " + Characters(protocol::kVersionLength) + " (default " +
                       module.version + ")"}},
         SetVersion},
        {"--mode",
         Scope::Module,
         {{std::string{protocol::kHoldLetter} + "|" + protocol::kNormalLetter,
           std::string("output mode: ") + protocol::kHoldLetter + " Hold, " +
               protocol::kNormalLetter + " Normal (default " + module.mode + ")"}},
         SetMode},
        {"--nonc",
         Scope::Module,
         {{"FLAGS", "NO/NC setting of the " + std::to_string(protocol::kChannelCount) +
                        " inputs, " + FlagsTaken() + ",\ninput 1 first (default all 0)"}},
         SetNoNc},
        {"--outputs",
         Scope::Module,
         {{"FLAGS", "output states at start (default all 0)"}},
         SetOutputs},
        {"--inputs",
         Scope::Module,
         {{kWiredInputs, "inputs read their outputs, inverted where NO/NC is set\n(default)"},
          {std::string(kFixedInputs) + "FLAGS",
           "inputs stay at these " + std::to_string(protocol::kChannelCount) + " states"}},
         SetInputs},
        {"--fault", Scope::Module, {{"CMD:KIND[:N]", FaultOptionHelp()}}, AddFault},
        {"--random-faults",
         Scope::Module,
         {{"P", "damage each other reply with probability P (0..1),\nwith any kind but " +
                    FaultName(Fault::HangUp) + " and " + FaultName(Fault::HighBytes)}},
         SetRandomFaults},
        {"--seed",
         Scope::Module,
         {{"N",
           "seed of the random faults (default " + std::to_string(port.randomFaultSeed) + ")"}},
         SetSeed},
        {"--log",
         Scope::Other,
         {{"FILE",
           "append a line for every command frame received: time\n"
           "since start, port, the client's baud rate, command,\n"
           "checksum verdict and what the module did"}},
         SetLog},
        {"--events",
         Scope::Other,
         {{"FILE",
           "append a line for every command frame received, for\n"
           "programs: MICROSECONDS PORT COMMAND VERDICT, with the\n"
           "time since start and the port's path. In PORT and\n"
           "COMMAND, bytes other than printable ASCII, blanks and\n"
           "backslashes stand as \\xHH. VERDICT is one of\n  " +
               JoinedVerdictNames("\n  ")}},
         SetEvents},
        {"--unplug-after",
         Scope::Other,
         {{"MS", "hang up every port MS milliseconds after start"}},
         SetUnplugAfter},
    };
    return options;
}

const OptionSpec* FindOption(const std::string& name) {
    for (const OptionSpec& option : Options()) {
        if (option.name == name)
            return &option;
    }
    return nullptr;
}

std::string OptionLine(const std::string& synopsis, const std::string& text) {
    return Indented(std::string(kOptionIndent, ' ') +
                        Padded(synopsis, kHelpTextColumn - kOptionIndent) + text,
                    kHelpTextColumn) +
           "\n";
}

std::string OptionsHelp(Scope scope) {
    std::string help;
    for (const OptionSpec& option : Options()) {
        if (option.scope != scope)
            continue;
        for (const Form& form : option.forms)
            help += OptionLine(option.name + " " + form.value, form.text);
    }
    return help;
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
        const OptionSpec* option = FindOption(name);
        if (!option) {
            parsed.error = "unknown option " + name;
            return parsed;
        }
        if (k + 1 == args.size()) {
            parsed.error = name + " needs a value";
            return parsed;
        }
        parsed.error = option->set(args[++k], next, parsed.options);
        if (!parsed.error.empty())
            return parsed;
        if (option->scope != Scope::Other)
            nextTouched = option->scope == Scope::Module;
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
)" + OptionsHelp(Scope::Port) +
           "\nModule options:\n" + OptionsHelp(Scope::Module) + "\nOther options:\n" +
           OptionsHelp(Scope::Other) + OptionLine("-h, --help", "this text") +
           R"(
Behaviour:
  - Replies go out at the speed of the module's line settings (start, data,
    parity and stop bits per character), 1 ms after the command's CR.
  - On a pseudo-terminal only the baud rate the client has set can be seen;
    its parity, data and stop bits cannot. A module there answers whenever
    the client's baud rate equals its own; parity is not checked, so a
    module set to "B,e,8,1" answers at "B,n,8,1" as well. Each
    pseudo-terminal starts at )" +
           std::to_string(kRestingBaud) + R"( baud, which no module uses. On a real
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
