#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "sim/vxsim_options.h"

namespace vx::sim {

// How vxsim reads the value of each of its options: into the module being
// described, or into the options for all. A reader answers what is wrong with
// the value, or an empty text.
using Setter =
    std::function<std::string(const std::string& value, PortSpec& port, VxsimOptions& all)>;

inline constexpr const char* kFixedInputs = "fixed:";
inline constexpr const char* kWiredInputs = "wired";
inline constexpr int kDefaultFaultTimes = 1;

// A port takes the module described so far; the next one starts afresh.
Setter AddPort(PortKind kind);

std::string SetLine(const std::string& value, PortSpec& port, VxsimOptions&);
std::string SetId(const std::string& value, PortSpec& port, VxsimOptions&);
std::string SetSerial(const std::string& value, PortSpec& port, VxsimOptions&);
std::string SetVersion(const std::string& value, PortSpec& port, VxsimOptions&);
std::string SetMode(const std::string& value, PortSpec& port, VxsimOptions&);
std::string SetNoNc(const std::string& value, PortSpec& port, VxsimOptions&);
std::string SetOutputs(const std::string& value, PortSpec& port, VxsimOptions&);
std::string SetInputs(const std::string& value, PortSpec& port, VxsimOptions&);
std::string AddFault(const std::string& value, PortSpec& port, VxsimOptions&);
std::string SetRandomFaults(const std::string& value, PortSpec& port, VxsimOptions&);
std::string SetSeed(const std::string& value, PortSpec& port, VxsimOptions&);
std::string SetLog(const std::string& value, PortSpec&, VxsimOptions& all);
std::string SetEvents(const std::string& value, PortSpec&, VxsimOptions& all);
std::string SetUnplugAfter(const std::string& value, PortSpec&, VxsimOptions& all);

// Phrases the readers' complaints and the help share.
std::string Characters(std::size_t count);  // "8 characters"
std::string FlagsTaken();                   // "16 characters 0/1"
std::string IdRange(const char* between);   // "1" between "99"

}  // namespace vx::sim
