#include "vxctl/option_table.h"

#include <algorithm>
#include <optional>

#include "operations/module_window.h"
#include "platform/network/network_url.h"
#include "protocol/com_names.h"
#include "protocol/commands.h"
#include "protocol/line_settings.h"

namespace vx::ctl {

namespace {

std::optional<int> ParsePort(const std::string& text) {
    const auto number = protocol::ParseComName(text);
    if (!number || !protocol::IsScanPort(*number))
        return std::nullopt;
    return number;
}

std::optional<int> ParseMode(const std::string& text) {
    if (text == "hold")
        return ops::kModeHold;
    if (text == "normal")
        return ops::kModeNormal;
    return std::nullopt;
}

std::optional<int> ParseLanguage(const std::string& text) {
    static const std::map<std::string, int> kLanguages{{"en", 0}, {"gb", 1}, {"big5", 2}};
    const auto it = kLanguages.find(text);
    return it == kLanguages.end() ? std::nullopt : std::optional<int>{it->second};
}

std::optional<int> ParseJobs(const std::string& text) {
    if (text.empty() || text.size() > std::to_string(kMaxJobs).size() ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const int jobs = std::stoi(text);
    return jobs >= 1 && jobs <= kMaxJobs ? std::optional<int>{jobs} : std::nullopt;
}

const std::vector<Command> kEvery{};
const std::vector<Command> kAfterScan{Command::SetId, Command::SetBaud, Command::SetMode,
                                      Command::Factory, Command::Io};

template <typename Parse, typename Store>
Reader Read(Parse parse, const std::string& reason, Store store) {
    return [=](const std::string& value, Options& o) -> std::string {
        const auto parsed = parse(value);
        if (!parsed)
            return reason;
        store(o, *parsed);
        return "";
    };
}

// A value taken as it is, as long as there is one.
template <typename Store>
Reader Text(const std::string& reason, Store store) {
    return [=](const std::string& value, Options& o) -> std::string {
        if (value.empty())
            return reason;
        store(o, value);
        return "";
    };
}

}  // namespace

std::string PortRange() {
    return protocol::ComName(protocol::kFirstScanPort) + " to " +
           protocol::ComName(protocol::kLastScanPort);
}

std::string IdRange() {
    return std::to_string(protocol::kMinModuleId) + " to " + std::to_string(protocol::kMaxModuleId);
}

std::string FlagsForm() {
    return std::to_string(protocol::kChannelCount) + " characters 0/1";
}

const std::vector<CommandInfo>& Commands() {
    static const std::vector<CommandInfo> commands{
        {Command::Scan, "scan",
         "scan [--port COMn | --device PATH]... [--lock SETTING | --all-settings] [--parallel]",
         "Find the module: the remembered port first, then a search over the ports\n"
         "and line settings. Prints the port, line settings, ID, serial number,\n"
         "version, mode and the sixteen NO/NC flags."},
        {Command::SetId, "set-id", "set-id N [--no-scan]",
         "Give the module the ID N (" + IdRange() + ")."},
        {Command::SetBaud, "set-baud", "set-baud SETTING [--no-scan]",
         "Change the module's line settings, e.g. 38400,e,8,1. Like the window, the\n"
         "new setting is used for the rest of this run only and the store keeps the\n"
         "old one: a later run finds the module only with --all-settings or\n"
         "--lock SETTING."},
        {Command::SetMode, "set-mode", "set-mode hold|normal [--nonc FLAGS] [--no-scan]",
         "Set the output mode and the NO/NC flags of the inputs: those --nonc gives,\n"
         "else those the scan read. With --no-scan nothing is read, so --nonc is\n"
         "required."},
        {Command::Factory, "factory", "factory [--no-scan]",
         "Put the module back to its factory settings: ID 01, Hold, all NO/NC off,\n"
         "19200,e,8,1. A later run finds it only with --all-settings or\n"
         "--lock 19200,e,8,1, unless that is the stored setting."},
        {Command::Io, "io", "io [--out FLAGS] [--watch] [--no-scan]",
         "Set the sixteen outputs and read the sixteen inputs once, or with --watch\n"
         "over and over until Ctrl-C."},
        {Command::Provision, "provision",
         "provision --id-from N [--baud SETTING] [--mode hold|normal] [--nonc FLAGS] "
         "[--log FILE.csv]",
         "The production-line loop: wait for a module, give it the next free ID and\n"
         "the requested settings, read them back, log a CSV row, beep, wait until it\n"
         "is unplugged, repeat. A serial number already in the log keeps its ID; a\n"
         "module that failed is logged with the ID it has, and the ID it was to get\n"
         "goes to the next one. A --device that is not there yet is waited for (its\n"
         "folder must exist). Several --device: one station each, all at once, on one\n"
         "ID sequence and one log, which other runs may share. Ctrl-C ends after the\n"
         "current module."},
        {Command::Inventory, "inventory",
         "inventory [--device PATH|URL]... [--ports-file FILE] [--lock SETTING | "
         "--all-settings] [--jobs N] [--csv]",
         "Read every module on many ports at once and change nothing: each port is\n"
         "searched as scan searches it, then its version, mode and NO/NC flags are\n"
         "read. The ports are those --device names (as often as wanted), the lines\n"
         "of --ports-file (a device or URL and an optional label; # starts a\n"
         "comment), else every entry of the Ports table. At most --jobs ports at\n"
         "once (default " +
             std::to_string(kDefaultJobs) +
             "). One result per port as it finishes, then a\n"
             "summary; --csv for a spreadsheet. Exit 0 when every port had a module, 4\n"
             "when some had none, 3 when no port opened at all."},
        {Command::Ports, "ports", "ports [list | set COMn VALUE | remove COMn]",
         "The Ports table, which says what each of " + PortRange() +
             " opens: list it,\n"
             "set a number to VALUE, or remove a number. VALUE is a network port\n"
             "(rfc2217://HOST:PORT or socket://HOST:PORT, over TLS rfc2217+tls://...),\n"
             "or on Linux a device by its\n"
             "absolute path (/dev/serial/by-id/...), on Windows a native port (COM23),\n"
             "each checked as the table's reader takes it. The table is kept where the\n"
             "window reads it: the store file on Linux, on Windows the registry's 32-bit\n"
             "view, HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\TAVRO\\VXConfig\\Ports,\n"
             "or a standard user's own copy of it."},
    };
    return commands;
}

const CommandInfo* FindCommand(const std::string& name) {
    for (const auto& info : Commands()) {
        if (name == info.name)
            return &info;
    }
    return nullptr;
}

const CommandInfo& InfoOf(Command command) {
    return *std::find_if(Commands().begin(), Commands().end(),
                         [command](const CommandInfo& info) { return info.command == command; });
}

const std::map<std::string, OptionRule>& Rules() {
    static const std::map<std::string, OptionRule> rules{
        {"--port",
         {kEvery,
          Read(ParsePort, "--port takes " + PortRange(),
               [](Options& o, int p) { o.ports.push_back(p); }),
          nullptr}},
        {"--device",
         {kEvery,
          [](const std::string& v, Options& o) -> std::string {
              if (v.empty() || (platform::IsNetworkPortText(v) && !platform::ParseNetworkUrl(v)))
                  return "--device takes the path of a serial device or "
                         "rfc2217://HOST:PORT or socket://HOST:PORT (over TLS rfc2217+tls:// "
                         "or socket+tls://, see the man page)";
              o.devices.push_back(v);
              return "";
          },
          nullptr}},
        {"--lock",
         {kEvery,
          Read(protocol::LineSettingsIndex, "--lock takes one of the twelve line settings",
               [](Options& o, int j) { o.lockIndex = j; }),
          nullptr}},
        {"--all-settings", {kEvery, nullptr, [](Options& o) { o.allSettings = true; }}},
        {"--parallel", {kEvery, nullptr, [](Options& o) { o.parallel = true; }}},
        {"--no-scan", {kAfterScan, nullptr, [](Options& o) { o.noScan = true; }}},
        {"--no-store", {kEvery, nullptr, [](Options& o) { o.noStore = true; }}},
        {"--store",
         {kEvery,
          Text("--store takes a file", [](Options& o, const std::string& v) { o.storePath = v; }),
          nullptr}},
        {"--json", {kEvery, nullptr, [](Options& o) { o.json = true; }}},
        {"--lang",
         {kEvery,
          Read(ParseLanguage, "--lang takes en, gb or big5",
               [](Options& o, int n) { o.languageNo = n; }),
          nullptr}},
        {"-q", {kEvery, nullptr, [](Options& o) { o.verbosity = Verbosity::Quiet; }}},
        {"-v", {kEvery, nullptr, [](Options& o) { o.verbosity = Verbosity::Verbose; }}},
        {"--nonc",
         {{Command::SetMode, Command::Provision},
          Read(protocol::ParseFlagString, "--nonc takes " + FlagsForm(),
               [](Options& o, const protocol::ChannelFlags& f) { o.noNc = f; }),
          nullptr}},
        {"--out",
         {{Command::Io},
          Read(protocol::ParseFlagString, "--out takes " + FlagsForm(),
               [](Options& o, const protocol::ChannelFlags& f) { o.outputs = f; }),
          nullptr}},
        {"--watch", {{Command::Io}, nullptr, [](Options& o) { o.watch = true; }}},
        {"--id-from",
         {{Command::Provision},
          Read(protocol::ParseModuleId, "--id-from takes an ID from " + IdRange(),
               [](Options& o, int id) { o.idFrom = id; }),
          nullptr}},
        {"--baud",
         {{Command::Provision},
          Read(protocol::LineSettingsIndex, "--baud takes one of the twelve line settings",
               [](Options& o, int j) { o.lineIndex = j; }),
          nullptr}},
        {"--mode",
         {{Command::Provision},
          Read(ParseMode, "--mode takes hold or normal", [](Options& o, int m) { o.mode = m; }),
          nullptr}},
        {"--ports-file",
         {{Command::Inventory},
          Text("--ports-file takes a file",
               [](Options& o, const std::string& v) { o.portsFile = v; }),
          nullptr}},
        {"--jobs",
         {{Command::Inventory},
          Read(ParseJobs, "--jobs takes a number from 1 to " + std::to_string(kMaxJobs),
               [](Options& o, int n) { o.jobs = n; }),
          nullptr}},
        {"--csv", {{Command::Inventory}, nullptr, [](Options& o) { o.csv = true; }}},
        {"--log",
         {{Command::Provision},
          Text("--log takes a file", [](Options& o, const std::string& v) { o.logPath = v; }),
          nullptr}},
    };
    return rules;
}

bool Takes(const OptionRule& rule, Command command) {
    return rule.commands.empty() ||
           std::find(rule.commands.begin(), rule.commands.end(), command) != rule.commands.end();
}

namespace {

bool NeedsOperand(Command command) {
    return command == Command::SetId || command == Command::SetBaud || command == Command::SetMode;
}

std::optional<PortsAction> ParsePortsAction(const std::string& text) {
    static const std::map<std::string, PortsAction> kActions{
        {"list", PortsAction::List}, {"set", PortsAction::Set}, {"remove", PortsAction::Remove}};
    const auto it = kActions.find(text);
    return it == kActions.end() ? std::nullopt : std::optional<PortsAction>{it->second};
}

// The operands of each action of `ports`, its name counted: the action,
// then the port, then the value.
constexpr std::size_t kActionOperand = 0;
constexpr std::size_t kPortOperand = 1;

std::size_t PortsOperands(PortsAction action) {
    switch (action) {
        case PortsAction::Set:
            return kPortOperand + 2;
        case PortsAction::Remove:
            return kPortOperand + 1;
        case PortsAction::List:
            break;
    }
    return kActionOperand + 1;
}

// ports ACTION [COMn [VALUE]]; the value is checked when the table is.
std::string ReadPortsOperand(const std::string& value, std::size_t index, Options& o) {
    if (index > kActionOperand && index >= PortsOperands(o.portsAction))
        return "unexpected argument '" + value + "'";
    if (index == kActionOperand)
        return Read(ParsePortsAction, "ports takes list, set or remove",
                    [](Options& x, PortsAction a) { x.portsAction = a; })(value, o);
    if (index == kPortOperand)
        return Read(ParsePort, "the port must be one of " + PortRange(),
                    [](Options& x, int p) { x.tablePort = p; })(value, o);
    return Text("the value must not be empty",
                [](Options& x, const std::string& v) { x.tableValue = v; })(value, o);
}

}  // namespace

std::size_t MaxOperands(Command command) {
    if (command == Command::Ports)
        return PortsOperands(PortsAction::Set);
    return NeedsOperand(command) ? 1 : 0;
}

std::string CheckOperands(const Options& o, std::size_t given) {
    if (NeedsOperand(o.command) && given == 0)
        return std::string{InfoOf(o.command).name} + " needs its argument";
    if (o.command != Command::Ports || given == 0)
        return "";
    if (given >= PortsOperands(o.portsAction))
        return "";
    return o.portsAction == PortsAction::Set ? "ports set needs a port and a value"
                                             : "ports remove needs a port";
}

std::string ReadOperand(const std::string& value, std::size_t index, Options& o) {
    switch (o.command) {
        case Command::Ports:
            return ReadPortsOperand(value, index, o);
        case Command::SetId:
            return Read(protocol::ParseModuleId, "the ID must be a number from " + IdRange(),
                        [](Options& x, int id) { x.id = id; })(value, o);
        case Command::SetBaud:
            return Read(protocol::LineSettingsIndex,
                        "the setting must be one of the twelve line settings",
                        [](Options& x, int j) { x.lineIndex = j; })(value, o);
        case Command::SetMode:
            return Read(ParseMode, "the mode must be hold or normal",
                        [](Options& x, int m) { x.mode = m; })(value, o);
        default:
            return "unexpected argument '" + value + "'";
    }
}

}  // namespace vx::ctl
