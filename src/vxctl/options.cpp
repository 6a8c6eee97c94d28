#include "vxctl/options.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <functional>
#include <map>
#include <vector>

#include "link/comm_port.h"
#include "operations/module_window.h"

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
     "new setting is used for the rest of this run only: a later run finds the\n"
     "module again by its search."},
    {Command::SetMode, "set-mode", "set-mode hold|normal [--nonc FLAGS] [--no-scan]",
     "Set the output mode and the NO/NC flags of the inputs (the flags the scan\n"
     "read, unless --nonc gives them)."},
    {Command::Factory, "factory", "factory [--no-scan]",
     "Put the module back to its factory settings: ID 01, Hold, all NO/NC off,\n"
     "19200,e,8,1."},
    {Command::Io, "io", "io [--out FLAGS] [--watch] [--no-scan]",
     "Set the sixteen outputs and read the sixteen inputs once, or with --watch\n"
     "over and over until Ctrl-C."},
    {Command::Provision, "provision",
     "provision --id-from N [--baud SETTING] [--mode hold|normal] [--nonc FLAGS] [--log FILE.csv]",
     "The production-line loop: wait for a module, give it the next free ID and\n"
     "the requested settings, read them back, log a CSV row, beep, wait until it\n"
     "is unplugged, repeat. A serial number already in the log keeps its ID.\n"
     "Ctrl-C ends after the current module."},
};

constexpr const char* kCommonOptions =
    "Common options:\n"
    "  --port COMn       look only at this port (COM1 to COM16); repeatable\n"
    "  --device PATH     look only at this serial device; repeatable\n"
    "  --lock SETTING    search at this line setting only (the default is the\n"
    "                    remembered one, as the window's lock box)\n"
    "  --all-settings    search at all twelve line settings\n"
    "  --parallel        search all ports at once\n"
    "  --no-store        neither read nor write the settings store\n"
    "  --store FILE      use this settings file instead of the machine's (Linux\n"
    "                    only; refused on Windows, where the registry holds them)\n"
    "  --json            one JSON object per result on stdout\n"
    "  --lang en|gb|big5 message language (default: the stored one)\n"
    "  -q, -v            quiet: exit code only; verbose: every message on stderr\n"
    "  -h, --help        this help\n"
    "Exit codes: 0 success, 1 module not found or operation failed,\n"
    "2 usage error, 3 port could not be opened.\n";

constexpr const char* kSettingsHint =
    "SETTING is one of 4800,n,8,1 4800,e,8,1 9600,n,8,1 9600,e,8,1 19200,n,8,1\n"
    "19200,e,8,1 38400,n,8,1 38400,e,8,1 57600,n,8,1 57600,e,8,1 115200,n,8,1\n"
    "115200,e,8,1. FLAGS are 16 characters 0/1, channel 1 first.\n";

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

std::optional<int> ParseInt(const std::string& text) {
    int value = 0;
    if (text.empty() ||
        !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); })) {
        return std::nullopt;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<int> ParseModuleId(const std::string& text) {
    const auto id = ParseInt(text);
    if (!id || *id < kMinModuleId || *id > kMaxModuleId)
        return std::nullopt;
    return id;
}

std::optional<int> ParseLineSettings(const std::string& text) {
    const auto& list = link::LineSettingsList;
    const auto it = std::find(list.begin(), list.end(), text);
    if (it == list.end())
        return std::nullopt;
    return static_cast<int>(it - list.begin());
}

std::optional<link::ChannelFlags> ParseFlags(const std::string& text) {
    if (text.size() != static_cast<std::size_t>(link::kChannelCount) ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c == '0' || c == '1'; })) {
        return std::nullopt;
    }
    return link::ParseFlags(text);
}

std::optional<int> ParsePort(const std::string& text) {
    constexpr std::size_t kPrefix = 3;
    if (text.size() <= kPrefix)
        return std::nullopt;
    std::string prefix = text.substr(0, kPrefix);
    std::transform(prefix.begin(), prefix.end(), prefix.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    const auto number = ParseInt(text.substr(kPrefix));
    if (prefix != "COM" || !number || *number < kFirstComPort || *number > kLastComPort ||
        text[kPrefix] == '0') {
        return std::nullopt;
    }
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
              if (v.empty())
                  return "--device takes the path of a serial device";
              o.devices.push_back(v);
              return "";
          },
          nullptr}},
        {"--lock",
         {kEvery,
          Read(ParseLineSettings, "--lock takes one of the twelve line settings",
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
          Read(ParseFlags, "--nonc takes 16 characters 0/1",
               [](Options& o, const link::ChannelFlags& f) { o.noNc = f; }),
          nullptr}},
        {"--out",
         {{Command::Io},
          Read(ParseFlags, "--out takes 16 characters 0/1",
               [](Options& o, const link::ChannelFlags& f) { o.outputs = f; }),
          nullptr}},
        {"--watch", {{Command::Io}, nullptr, [](Options& o) { o.watch = true; }}},
        {"--id-from",
         {{Command::Provision},
          Read(ParseModuleId, "--id-from takes an ID from 1 to 99",
               [](Options& o, int id) { o.idFrom = id; }),
          nullptr}},
        {"--baud",
         {{Command::Provision},
          Read(ParseLineSettings, "--baud takes one of the twelve line settings",
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
            return Read(ParseModuleId, "the ID must be a number from 1 to 99",
                        [](Options& x, int id) { x.id = id; })(value, o);
        case Command::SetBaud:
            return Read(ParseLineSettings, "the setting must be one of the twelve line settings",
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

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args) {
    ParsedCommandLine parsed;
    if (args.empty()) {
        parsed.error = "no command given";
        parsed.generalHelp = true;
        return parsed;
    }
    if (args[0] == "-h" || args[0] == "--help") {
        parsed.options.help = true;
        parsed.generalHelp = true;
        return parsed;
    }
    const CommandInfo* info = FindCommand(args[0]);
    if (!info) {
        parsed.error = "unknown command '" + args[0] + "'";
        parsed.generalHelp = true;
        return parsed;
    }
    parsed.options.command = info->command;
    parsed.error = ParseCommandArgs(args, parsed.options);
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
           kSettingsHint + "\n" + kCommonOptions;
}

std::string UsageLine(Command command) {
    return std::string{"Usage: vxctl "} + InfoOf(command).synopsis + " [OPTIONS]";
}

std::string CommandName(Command command) {
    return InfoOf(command).name;
}

}  // namespace vx::ctl
