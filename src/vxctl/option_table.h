#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "vxctl/options.h"

namespace vx::ctl {

// A command: its name on the command line, and its help.
struct CommandInfo {
    Command command;
    const char* name;
    const char* synopsis;
    std::string summary;
};

const std::vector<CommandInfo>& Commands();
const CommandInfo* FindCommand(const std::string& name);
const CommandInfo& InfoOf(Command command);

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

const std::map<std::string, OptionRule>& Rules();
bool Takes(const OptionRule& rule, Command command);

// The positional arguments of the commands that have them: how many at
// most, and the reading of the one at `index`.
std::size_t MaxOperands(Command command);
std::string ReadOperand(const std::string& value, std::size_t index, Options& o);
// Whether the operands given make a whole command; the reason when not.
std::string CheckOperands(const Options& o, std::size_t given);

// The ranges the module sets, as the help and the reasons word them.
std::string PortRange();  // "COM1 to COM16"
std::string IdRange();    // "1 to 99"
std::string FlagsForm();  // "16 characters 0/1"

}  // namespace vx::ctl
