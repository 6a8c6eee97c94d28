#include "vxctl/options.h"

#include <optional>

#include "vxctl/argument_order.h"
#include "vxctl/option_table.h"

namespace vx::ctl {

namespace {

std::string CheckWhole(const Options& o, std::size_t operands) {
    if (auto reason = CheckOperands(o, operands); !reason.empty())
        return reason;
    if (o.command == Command::Provision && o.idFrom == 0)
        return "provision needs --id-from";
    if (o.lockIndex && o.allSettings)
        return "--lock and --all-settings exclude each other";
    // The table is the store's: none of the search's options, and a store.
    const bool searches = !o.ports.empty() || !o.devices.empty() || o.lockIndex || o.allSettings ||
                          o.parallel || o.noStore;
    if (o.command == Command::Ports && searches)
        return "ports takes only --store, --json, --lang, -q and -v";
    if (o.command == Command::Inventory && (!o.ports.empty() || o.parallel))
        return "inventory takes its ports by --device, --ports-file or the Ports table";
    if (o.command == Command::Inventory && o.csv && o.json)
        return "--csv and --json exclude each other";
    if (o.noStore && !o.storePath.empty())
        return "--no-store and --store exclude each other";
    // Without a scan the flags are not known, and zeros are not a guess.
    if (o.command == Command::SetMode && o.noScan && !o.noNc)
        return "set-mode --no-scan needs --nonc: without a scan the NO/NC flags are unknown";
    return "";
}

std::string ParseCommandArgs(const std::vector<std::string>& args, Options& o) {
    std::size_t operands = 0;
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
            if (operands == MaxOperands(o.command))
                return "unexpected argument '" + arg + "'";
            if (auto reason = ReadOperand(arg, operands++, o); !reason.empty())
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
    return CheckWhole(o, operands);
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

}  // namespace vx::ctl
