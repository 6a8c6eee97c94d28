#pragma once

#include <string>
#include <vector>

#include "vxctl/options.h"

namespace vx::ctl {

// Puts the command first: the common options before it move behind it, in
// their order. Answers the reason when the arguments before the command make
// no sense; a help or version request there is noted in `parsed` instead.
std::string CommandFirst(const std::vector<std::string>& args, std::vector<std::string>& ordered,
                         ParsedCommandLine& parsed);

}  // namespace vx::ctl
