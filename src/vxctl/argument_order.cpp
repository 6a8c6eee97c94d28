#include "vxctl/argument_order.h"

#include "vxctl/option_table.h"

namespace vx::ctl {

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

}  // namespace vx::ctl
