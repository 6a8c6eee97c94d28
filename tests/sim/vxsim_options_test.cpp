#include "sim/vxsim_options.h"

#include <gtest/gtest.h>

#include <functional>
#include <regex>

#include "protocol/commands.h"

namespace vx::sim {
namespace {

struct GoodCase {
    const char* name;
    std::vector<std::string> args;
    std::function<bool(const VxsimOptions&)> holds;
};

class VxsimGoodOptions : public testing::TestWithParam<GoodCase> {};

TEST_P(VxsimGoodOptions, DescribeThePorts) {
    const auto parsed = ParseVxsimOptions(GetParam().args);
    ASSERT_EQ(parsed.error, "");
    EXPECT_TRUE(GetParam().holds(parsed.options));
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, VxsimGoodOptions,
    testing::Values(
        GoodCase{"Defaults",
                 {"--link", "/tmp/a"},
                 [](const VxsimOptions& o) {
                     return o.ports.size() == 1 && o.ports[0].kind == PortKind::Pty &&
                            o.ports[0].path == "/tmp/a" && o.ports[0].state.lineIndex == 5;
                 }},
        GoodCase{"ModuleState",
                 {"--line", "9600,e,8,1", "--id", "7", "--serial", "87654321", "--version",
                  "01.02-03", "--mode", "S", "--nonc", "1000000000000001", "--link", "/tmp/a"},
                 [](const VxsimOptions& o) {
                     const auto& s = o.ports[0].state;
                     return s.lineIndex == 3 && s.id == 7 && s.serial == "87654321" &&
                            s.version == "01.02-03" && s.mode == 'S' &&
                            protocol::FlagString(s.noNc) == "1000000000000001";
                 }},
        GoodCase{"OptionsStartOverAfterEachPort",
                 {"--id", "9", "--link", "/tmp/a", "--silent", "/tmp/b", "--device", "/dev/x"},
                 [](const VxsimOptions& o) {
                     return o.ports.size() == 3 && o.ports[0].state.id == 9 &&
                            o.ports[1].kind == PortKind::Silent && o.ports[1].state.id == 1 &&
                            o.ports[2].kind == PortKind::Device;
                 }},
        GoodCase{"FixedInputs",
                 {"--inputs", "fixed:0101000000000000", "--link", "/tmp/a"},
                 [](const VxsimOptions& o) {
                     return o.ports[0].state.wiring == InputWiring::Fixed &&
                            protocol::FlagString(o.ports[0].state.fixedInputs) ==
                                "0101000000000000";
                 }},
        GoodCase{"Faults",
                 {"--fault", "B00B:no-reply:3", "--fault", "B00I:hang-up", "--random-faults",
                  "0.25", "--seed", "11", "--link", "/tmp/a"},
                 [](const VxsimOptions& o) {
                     const auto& f = o.ports[0].faults;
                     return f.size() == 2 && f[0].command == "B00B" &&
                            f[0].fault == Fault::NoReply && f[0].times == 3 &&
                            f[1].fault == Fault::HangUp && f[1].times == 1 &&
                            o.ports[0].randomFaultProbability == 0.25 &&
                            o.ports[0].randomFaultSeed == 11;
                 }},
        GoodCase{"GlobalOptionsAnywhere",
                 {"--link", "/tmp/a", "--log", "/tmp/log", "--unplug-after", "250", "--events",
                  "/tmp/ev"},
                 [](const VxsimOptions& o) {
                     return o.logPath == "/tmp/log" && o.unplugAfterMs == 250u &&
                            o.eventsPath == "/tmp/ev";
                 }}),
    [](const auto& info) { return std::string(info.param.name); });

struct BadCase {
    const char* name;
    std::vector<std::string> args;
};

class VxsimBadOptions : public testing::TestWithParam<BadCase> {};

TEST_P(VxsimBadOptions, AreRefusedWithAReason) {
    EXPECT_NE(ParseVxsimOptions(GetParam().args).error, "");
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, VxsimBadOptions,
    testing::Values(BadCase{"NoPort", {}}, BadCase{"Unknown", {"--frobnicate", "1"}},
                    BadCase{"MissingValue", {"--link"}},
                    BadCase{"LineNotOffered", {"--line", "300,n,8,1", "--link", "/a"}},
                    BadCase{"IdZero", {"--id", "0", "--link", "/a"}},
                    BadCase{"IdHundred", {"--id", "100", "--link", "/a"}},
                    BadCase{"ShortSerial", {"--serial", "1234", "--link", "/a"}},
                    BadCase{"ModeLetter", {"--mode", "X", "--link", "/a"}},
                    BadCase{"ShortFlags", {"--nonc", "0101", "--link", "/a"}},
                    BadCase{"FaultKind", {"--fault", "B00B:sneeze", "--link", "/a"}},
                    BadCase{"FaultCount", {"--fault", "B00B:no-reply:0", "--link", "/a"}},
                    BadCase{"Probability", {"--random-faults", "1.5", "--link", "/a"}},
                    BadCase{"TrailingModuleOption", {"--link", "/a", "--id", "4"}}),
    [](const auto& info) { return std::string(info.param.name); });

// The help's option lines come from the parser's own table; its prose must
// not name an option that is gone.
TEST(VxsimHelp, NamesOnlyOptionsItTakes) {
    const std::string help = VxsimHelp();
    const std::regex option("--[a-z-]+");
    int named = 0;
    for (auto it = std::sregex_iterator(help.begin(), help.end(), option);
         it != std::sregex_iterator(); ++it, ++named) {
        EXPECT_EQ(ParseVxsimOptions({it->str(), "x"}).error.find("unknown"), std::string::npos)
            << it->str();
    }
    EXPECT_GT(named, 0);
}

}  // namespace
}  // namespace vx::sim
