// vxctl inventory end to end: vxsim's modules on pseudo-terminals, some of
// them behind ser2net, beside ports that are empty, missing, held or slow.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "case_names.h"
#include "ser2net_process.h"
#include "temp_folder.h"
#include "vxsim_process.h"

namespace {

using vx::platform::testing::ReadFileText;
using vx::platform::testing::TempFolder;
using vx::test::Ser2net;
using vx::test::VxsimProcess;

// The ports one vxsim serves: a module at the stored default setting, one
// at another setting, one whose first identity reply comes late, a silent
// port, and a module whose port another program holds.
const std::vector<std::string> kSimPorts{
    "--serial", "AAAA0001",        "--link", "@module", "--serial", "BBBB0002",
    "--line",   "9600,n,8,1",      "--link", "@other",  "--serial", "CCCC0003",
    "--fault",  "B00B:late-reply", "--link", "@slow",   "--silent", "@silent",
    "--serial", "DDDD0004",        "--link", "@held"};

struct InventoryCase {
    const char* name;
    std::vector<std::string> ports;  // @name: a vxsim port, ~n: ser2net's n-th
    std::vector<std::string> options;
    int code;
    std::vector<std::string> found;  // serial numbers, in any order
    std::vector<std::string> says;   // reasons and labels in the output
};

void PrintTo(const InventoryCase& c, std::ostream* os) {
    *os << c.name;
}

class VxctlInventory : public ::testing::TestWithParam<InventoryCase> {
protected:
    void SetUp() override {
        std::vector<std::string> args{"--log", folder.File("vxsim.log")};
        for (const std::string& arg : kSimPorts) args.push_back(Resolve(arg));
        sim = std::make_unique<VxsimProcess>(args);
        ASSERT_NE(sim->OutputThrough(folder.File("held")).find("ready"), std::string::npos);
        held = open(folder.File("held").c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
    }
    void TearDown() override {
        if (held >= 0)
            close(held);
    }

    std::string Resolve(const std::string& port) {
        if (port.starts_with("@"))
            return folder.File(port.substr(1));
        if (!port.starts_with("~"))
            return port;
        if (!server) {
            server = std::make_unique<Ser2net>(
                folder.Path(),
                std::vector<Ser2net::Port>{{folder.File("module"), "19200e81"},
                                           {folder.File("silent"), "19200e81", false}});
            EXPECT_TRUE(server->Ready()) << ReadFileText(folder.File("ser2net.log"));
        }
        return server->Url(static_cast<std::size_t>(std::stoi(port.substr(1))));
    }

    TempFolder folder;
    std::unique_ptr<VxsimProcess> sim;
    std::unique_ptr<Ser2net> server;
    int held = -1;
};

TEST_P(VxctlInventory, ReportsEveryPortOnceAndChangesNothing) {
    const InventoryCase& c = GetParam();
    std::string list;
    for (const std::string& port : c.ports) list += Resolve(port) + " label-" + port + "\n";
    const std::string portsFile = folder.File("ports.txt");
    vx::platform::testing::WriteFileText(portsFile, "# the plant\n" + list);
    std::vector<std::string> args{"inventory",    "--store", folder.File("VXConfig.reg"),
                                  "--ports-file", portsFile, "--json"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    VxsimProcess vxctl(VXCTL_PATH, args, folder.File("err"));
    const std::string out = vxctl.OutputToEnd(std::chrono::seconds(60));
    EXPECT_EQ(vxctl.ExitStatus(), c.code) << out << ReadFileText(folder.File("err"));
    // One line per port and the summary; progress only on a terminal.
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), c.ports.size() + 1) << out;
    EXPECT_EQ(std::count_if(c.ports.begin(), c.ports.end(),
                            [&](const std::string& p) {
                                return out.find("\"label-" + p + "\"") != std::string::npos;
                            }),
              c.ports.size())
        << out;
    EXPECT_EQ(ReadFileText(folder.File("err")), "");
    for (const std::string& serial : c.found)
        EXPECT_NE(out.find("\"serial\":\"" + serial + "\""), std::string::npos) << out;
    const std::string okCount = std::to_string(c.found.size()) + " with a module";
    EXPECT_NE(out.find(okCount), std::string::npos) << out;
    for (const std::string& word : c.says) EXPECT_NE(out.find(word), std::string::npos) << out;
    EXPECT_EQ(ReadFileText(folder.File("VXConfig.reg")), "") << "the store stays untouched";
}

INSTANTIATE_TEST_SUITE_P(Plant, VxctlInventory,
                         ::testing::Values(InventoryCase{"every port a module",
                                                         {"@module", "@other", "@slow"},
                                                         {"--all-settings"},
                                                         0,
                                                         {"AAAA0001", "BBBB0002", "CCCC0003"},
                                                         {}},
                                           InventoryCase{"locked setting misses the other module",
                                                         {"@module", "@other"},
                                                         {},
                                                         4,
                                                         {"AAAA0001"},
                                                         {"Module Not Find"}},
                                           InventoryCase{
                                               "empty missing and held ports",
                                               {"@module", "@silent", "/nonexistent/ttyX", "@held"},
                                               {"--jobs", "2"},
                                               4,
                                               {"AAAA0001"},
                                               {"\"reason\":\"missing\"", "\"reason\":\"busy\""}},
                                           InventoryCase{"one job at a time",
                                                         {"@slow", "@module", "@silent"},
                                                         {"--jobs", "1"},
                                                         4,
                                                         {"AAAA0001", "CCCC0003"},
                                                         {}},
                                           InventoryCase{"behind ser2net",
                                                         {"~0", "~1", "@other"},
                                                         {"--all-settings"},
                                                         4,
                                                         {"AAAA0001", "BBBB0002"},
                                                         {}},
                                           InventoryCase{"no port opens",
                                                         {"/nonexistent/ttyA", "/nonexistent/ttyB"},
                                                         {},
                                                         3,
                                                         {},
                                                         {"\"reason\":\"missing\""}}),
                         vx::testing::PrintedCaseName{});

}  // namespace
