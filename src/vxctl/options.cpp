#include "vxctl/options.h"

#include <algorithm>
#include <functional>
#include <map>
#include <sstream>
#include <vector>

#include "operations/module_window.h"
#include "platform/network/network_url.h"
#include "protocol/com_names.h"
#include "protocol/commands.h"
#include "protocol/line_settings.h"

namespace vx::ctl {

namespace {

struct CommandInfo {
    Command command;
    const char* name;
    const char* synopsis;
    const char* summary;
};

constexpr CommandInfo kCommands[] = {
    {Command::Scan, "scan",
     "scan [--port COMn | --device PATH]... [--lock SETTING | --all-settings] [--parallel]",
     "Find the module: the remembered port first, then a search over the ports\n"
     "and line settings. Prints the port, line settings, ID, serial number,\n"
     "version, mode and the sixteen NO/NC flags."},
    {Command::SetId, "set-id", "set-id N [--no-scan]", "Give the module the ID N (1 to 99)."},
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
     "provision --id-from N [--baud SETTING] [--mode hold|normal] [--nonc FLAGS] [--log FILE.csv]",
     "The production-line loop: wait for a module, give it the next free ID and\n"
     "the requested settings, read them back, log a CSV row, beep, wait until it\n"
     "is unplugged, repeat. A serial number already in the log keeps its ID; a\n"
     "module that failed is logged with the ID it has, and the ID it was to get\n"
     "goes to the next one. A --device that is not there yet is waited for (its\n"
     "folder must exist). Ctrl-C ends after the current module."},
};

constexpr const char* kCommonOptions =
    "Common options (before or after the command):\n"
    "  --port COMn       look only at this port (COM1 to COM16): a real serial\n"
    "                    port of this machine, numbered as the store says;\n"
    "                    repeatable\n"
    "  --device PATH|URL look only at this serial device, or at the network port\n"
    "                    rfc2217://HOST:PORT or socket://HOST:PORT; repeatable\n"
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
                   std::to_string(protocol::kChannelCount) + " characters 0/1, channel 1 first.");
}

const CommandInfo* FindCommand(const std::string& name) {
    for (const auto& info : kCommands) {
        if (name == info.name)
            return &info;
    }
    return nullptr;
}

const CommandInfo& InfoOf(Command command) {
    return *std::find_if(std::begin(kCommands), std::end(kCommands),
                         [command](const CommandInfo& info) { return info.command == command; });
}

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

// An option: the commands that take it, and how it reads its value (none for
// a plain switch). A reader answers the reason when the value is bad.
using Reader = std::function<std::string(const std::string& value, Options& o)>;
using Switch = std::function<void(Options& o)>;

struct OptionRule {
    // A vector, not an initializer_list: the rules live in a static map, and
    // a list's backing array would die with the braces that made it.
    std::vector<Command> commands;  // empty: every command
    Reader reader;
    Switch flip;
};

const std::vector<Command> kEvery{};
const std::vector<Command> kAfterScan{Command::SetId, Command::SetBaud, Command::SetMode,
                                      Command::Factory, Command::Io};

template <typename Parse, typename Store>
Reader Read(Parse parse, const char* reason, Store store) {
    return [=](const std::string& value, Options& o) -> std::string {
        const auto parsed = parse(value);
        if (!parsed)
            return reason;
        store(o, *parsed);
        return "";
    };
}

const std::map<std::string, OptionRule>& Rules() {
    static const std::map<std::string, OptionRule> rules{
        {"--port",
         {kEvery,
          Read(ParsePort, "--port takes COM1 to COM16",
               [](Options& o, int p) { o.ports.push_back(p); }),
          nullptr}},
        {"--device",
         {kEvery,
          [](const std::string& v, Options& o) -> std::string {
              if (v.empty() || (platform::IsNetworkPortText(v) && !platform::ParseNetworkUrl(v)))
                  return "--device takes the path of a serial device or "
                         "rfc2217://HOST:PORT or socket://HOST:PORT";
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
          [](const std::string& v, Options& o) -> std::string {
              if (v.empty())
                  return "--store takes a file";
              o.storePath = v;
              return "";
          },
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
          Read(protocol::ParseFlagString, "--nonc takes 16 characters 0/1",
               [](Options& o, const link::ChannelFlags& f) { o.noNc = f; }),
          nullptr}},
        {"--out",
         {{Command::Io},
          Read(protocol::ParseFlagString, "--out takes 16 characters 0/1",
               [](Options& o, const link::ChannelFlags& f) { o.outputs = f; }),
          nullptr}},
        {"--watch", {{Command::Io}, nullptr, [](Options& o) { o.watch = true; }}},
        {"--id-from",
         {{Command::Provision},
          Read(protocol::ParseModuleId, "--id-from takes an ID from 1 to 99",
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
        {"--log",
         {{Command::Provision},
          [](const std::string& v, Options& o) -> std::string {
              if (v.empty())
                  return "--log takes a file";
              o.logPath = v;
              return "";
          },
          nullptr}},
    };
    return rules;
}

bool Takes(const OptionRule& rule, Command command) {
    return rule.commands.size() == 0 ||
           std::find(rule.commands.begin(), rule.commands.end(), command) != rule.commands.end();
}

// The positional argument of the commands that have one.
std::string ReadOperand(const std::string& value, Options& o) {
    switch (o.command) {
        case Command::SetId:
            return Read(protocol::ParseModuleId, "the ID must be a number from 1 to 99",
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

bool NeedsOperand(Command command) {
    return command == Command::SetId || command == Command::SetBaud || command == Command::SetMode;
}

std::string CheckWhole(const Options& o, bool hadOperand) {
    if (NeedsOperand(o.command) && !hadOperand)
        return std::string{InfoOf(o.command).name} + " needs its argument";
    if (o.command == Command::Provision && o.idFrom == 0)
        return "provision needs --id-from";
    if (o.lockIndex && o.allSettings)
        return "--lock and --all-settings exclude each other";
    if (o.noStore && !o.storePath.empty())
        return "--no-store and --store exclude each other";
    // Without a scan the flags are not known, and zeros are not a guess.
    if (o.command == Command::SetMode && o.noScan && !o.noNc)
        return "set-mode --no-scan needs --nonc: without a scan the NO/NC flags are unknown";
    return "";
}

std::string ParseCommandArgs(const std::vector<std::string>& args, Options& o) {
    bool hadOperand = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-h" || arg == "--help") {
            o.help = true;
            return "";
        }
        std::string name = arg;
        std::optional<std::string> value;
        if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        }
        const auto rule = Rules().find(name);
        if (rule == Rules().end()) {
            if (arg.starts_with("-") && arg.size() > 1)
                return "unknown option '" + arg + "'";
            if (hadOperand || !NeedsOperand(o.command))
                return "unexpected argument '" + arg + "'";
            hadOperand = true;
            if (auto reason = ReadOperand(arg, o); !reason.empty())
                return reason;
            continue;
        }
        if (!Takes(rule->second, o.command))
            return name + " does not go with " + InfoOf(o.command).name;
        if (!rule->second.reader) {
            if (value)
                return name + " takes no value";
            rule->second.flip(o);
            continue;
        }
        if (!value) {
            if (++i == args.size())
                return name + " needs a value";
            value = args[i];
        }
        if (auto reason = rule->second.reader(*value, o); !reason.empty())
            return reason;
    }
    return CheckWhole(o, hadOperand);
}

// Puts the command first: the common options before it move behind it, in
// their order. Answers the reason when the arguments before the command make
// no sense.
std::string CommandFirst(const std::vector<std::string>& args, std::vector<std::string>& ordered,
                         ParsedCommandLine& parsed) {
    std::vector<std::string> leading;
    std::size_t i = 0;
    for (; i < args.size() && args[i].starts_with("-") && args[i].size() > 1; ++i) {
        const std::string& arg = args[i];
        if (arg == "-h" || arg == "--help") {
            parsed.options.help = true;
            return "";
        }
        if (arg == "--version") {
            parsed.options.version = true;
            return "";
        }
        const std::string name = arg.substr(0, arg.find('='));
        const auto rule = Rules().find(name);
        if (rule == Rules().end())
            return "unknown option '" + arg + "'";
        if (!rule->second.commands.empty())
            return name + " goes after the command";
        leading.push_back(arg);
        if (rule->second.reader && name == arg && i + 1 < args.size())
            leading.push_back(args[++i]);
    }
    if (i == args.size())
        return "no command given";
    ordered = {args[i]};
    ordered.insert(ordered.end(), leading.begin(), leading.end());
    ordered.insert(ordered.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
    return "";
}

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args) {
    ParsedCommandLine parsed;
    parsed.generalHelp = true;
    std::vector<std::string> ordered;
    parsed.error = CommandFirst(args, ordered, parsed);
    if (!parsed.error.empty() || parsed.options.help || parsed.options.version)
        return parsed;
    const CommandInfo* info = FindCommand(ordered[0]);
    if (!info) {
        parsed.error = "unknown command '" + ordered[0] + "'";
        return parsed;
    }
    parsed.generalHelp = false;
    parsed.options.command = info->command;
    parsed.error = ParseCommandArgs(ordered, parsed.options);
    return parsed;
}

std::string GeneralUsage() {
    std::string text =
        "Usage: vxctl COMMAND [OPTIONS]\n"
        "Finds, sets up and tests the 16-in/16-out I/O module from a terminal.\n\n"
        "Commands:\n";
    for (const auto& info : kCommands) text += std::string{"  vxctl "} + info.synopsis + "\n";
    text += "\n";
    text += kCommonOptions;
    text += "\n'vxctl COMMAND --help' tells more of each command.\n";
    return text;
}

std::string CommandUsage(Command command) {
    const CommandInfo& info = InfoOf(command);
    return std::string{"Usage: vxctl "} + info.synopsis + " [OPTIONS]\n" + info.summary + "\n\n" +
           SettingsHint() + "\n" + kCommonOptions;
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
