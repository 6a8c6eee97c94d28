#include "sim/option_values.h"

#include <charconv>

#include "protocol/commands.h"
#include "protocol/line_settings.h"

namespace vx::sim {

namespace {

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

}  // namespace

std::string Characters(std::size_t count) {
    return std::to_string(count) + " characters";
}

std::string FlagsTaken() {
    return Characters(protocol::kChannelCount) + " 0/1";
}

std::string IdRange(const char* between) {
    return std::to_string(protocol::kMinModuleId) + between +
           std::to_string(protocol::kMaxModuleId);
}

Setter AddPort(PortKind kind) {
    return [kind](const std::string& value, PortSpec& port, VxsimOptions& all) {
        port.kind = kind;
        port.path = value;
        all.ports.push_back(port);
        port = PortSpec{};
        return std::string{};
    };
}

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
        return "--id takes a number from " + IdRange(" to ");
    port.state.id = *id;
    return "";
}

std::string SetSerial(const std::string& value, PortSpec& port, VxsimOptions&) {
    if (value.size() != protocol::kSerialLength)
        return "--serial takes " + Characters(protocol::kSerialLength);
    port.state.serial = value;
    return "";
}

std::string SetVersion(const std::string& value, PortSpec& port, VxsimOptions&) {
    if (value.size() != protocol::kVersionLength)
        return "--version takes " + Characters(protocol::kVersionLength) + ", e.g. " +
               ModuleState{}.version;
    port.state.version = value;
    return "";
}

std::string SetMode(const std::string& value, PortSpec& port, VxsimOptions&) {
    if (value != std::string(1, protocol::kHoldLetter) &&
        value != std::string(1, protocol::kNormalLetter)) {
        return std::string("--mode takes ") + protocol::kHoldLetter + " (Hold) or " +
               protocol::kNormalLetter + " (Normal)";
    }
    port.state.mode = value[0];
    return "";
}

std::string SetNoNc(const std::string& value, PortSpec& port, VxsimOptions&) {
    const auto flags = protocol::ParseFlagString(value);
    if (!flags)
        return "--nonc takes " + FlagsTaken();
    port.state.noNc = *flags;
    return "";
}

std::string SetOutputs(const std::string& value, PortSpec& port, VxsimOptions&) {
    const auto flags = protocol::ParseFlagString(value);
    if (!flags)
        return "--outputs takes " + FlagsTaken();
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
        return "--inputs takes wired or fixed: and " + FlagsTaken();
    port.state.wiring = InputWiring::Fixed;
    port.state.fixedInputs = *flags;
    return "";
}

std::string AddFault(const std::string& value, PortSpec& port, VxsimOptions&) {
    const auto parts = SplitColons(value);
    const std::string usage = std::string("--fault takes COMMAND:KIND[:COUNT], e.g. ") +
                              protocol::cmd::Identify + ":" + FaultName(Fault::NoReply) + ":2";
    if (parts.size() < 2 || parts.size() > 3 || parts[0].empty())
        return usage;
    const auto fault = FaultFromName(parts[1]);
    const auto times =
        parts.size() == 3 ? ParseNumber<int>(parts[2]) : std::optional<int>(kDefaultFaultTimes);
    if (!fault || !times || *times < 1)
        return usage;
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

std::string SetEvents(const std::string& value, PortSpec&, VxsimOptions& all) {
    all.eventsPath = value;
    return "";
}

std::string SetUnplugAfter(const std::string& value, PortSpec&, VxsimOptions& all) {
    const auto ms = ParseNumber<std::uint32_t>(value);
    if (!ms)
        return "--unplug-after takes milliseconds";
    all.unplugAfterMs = *ms;
    return "";
}

}  // namespace vx::sim
