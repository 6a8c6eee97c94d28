// vxctl ports: the Ports table edited from the command line, in a settings
// file of a temporary folder, and read back by a scan as the window reads it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "temp_folder.h"
#include "vxsim_process.h"

namespace {

using vx::platform::testing::ReadFileText;
using vx::platform::testing::TempFolder;
using vx::test::VxsimProcess;

struct Step {
    std::vector<std::string> args;
    int code;
    std::string says;        // on stdout, or on stderr when the code is not 0
    std::string storeHas;    // a line the store then holds; empty: none asked
    std::string storeLacks;  // text the store then lacks; empty: none asked
};

struct Ran {
    int code = -1;
    std::string out;
    std::string err;
};

class VxctlPorts : public ::testing::Test {
protected:
    std::string Store() const { return folder.File("VXConfig.reg"); }

    Ran Run(std::vector<std::string> args) {
        args.insert(args.end(), {"--store", Store()});
        VxsimProcess program(VXCTL_PATH, args, folder.File("err"));
        Ran ran;
        ran.out = program.OutputToEnd();
        ran.code = program.ExitStatus();
        ran.err = ReadFileText(folder.File("err"));
        return ran;
    }

    TempFolder folder;
};

// Each step works on the table the steps before it left.
TEST_F(VxctlPorts, SetsListsAndRemovesEntriesCheckedAsTheReaderTakesThem) {
    const std::string network = "rfc2217://plant-ds1.example:7301";
    const std::vector<Step> steps{
        {{"ports"}, 0, "the Ports table is empty", "", ""},
        {{"ports", "set", "COM5", network},
         0,
         "COM5 now opens " + network,
         "\"COM5\"=\"" + network + "\"",
         ""},
        {{"ports", "set", "com3", "/dev/ttyS0"},
         0,
         "COM3 now opens /dev/ttyS0",
         "\"COM3\"=\"/dev/ttyS0\"",
         ""},
        {{"ports", "set", "COM3", "ttyS1"}, 2, "absolute path", "", "ttyS1"},
        {{"ports", "set", "COM4", "rfc2217://plant-ds1.example"}, 2, "HOST:PORT", "", "COM4"},
        {{"ports", "set", "COM4", "COM23"}, 2, "absolute path", "", "COM4"},
        {{"ports", "set", "COM17", "/dev/ttyS0"}, 2, "COM1 to COM16", "", "COM17"},
        {{"ports", "set", "COM4"}, 2, "needs a port and a value", "", ""},
        {{"ports", "list", "COM4"}, 2, "unexpected argument 'COM4'", "", ""},
        {{"ports", "--port", "COM1"}, 2, "ports takes only", "", ""},
        {{"ports", "list"}, 0, "port=COM3 device=/dev/ttyS0\nport=COM5 device=" + network, "", ""},
        {{"ports", "remove", "COM5"}, 0, "COM5 is no longer in the Ports table", "", "COM5"},
        {{"ports", "remove", "COM5"}, 0, "COM5 was not in the Ports table", "", ""},
        {{"ports", "--json"}, 0, "\"port\":\"COM3\",\"device\":\"/dev/ttyS0\"", "", ""},
    };
    for (const Step& step : steps) {
        const Ran ran = Run(step.args);
        const std::string& said = step.code == 0 ? ran.out : ran.err;
        const std::string store = ReadFileText(Store());
        EXPECT_EQ(ran.code, step.code) << ::testing::PrintToString(step.args) << ran.err;
        EXPECT_NE(said.find(step.says), std::string::npos) << said;
        if (!step.storeHas.empty()) {
            EXPECT_NE(store.find(step.storeHas + "\n"), std::string::npos) << store;
        }
        if (!step.storeLacks.empty()) {
            EXPECT_EQ(store.find(step.storeLacks), std::string::npos) << store;
        }
    }
}

// What `ports set` wrote is what a scan opens; a number that opens nothing is
// the one named in the message, whichever numbers the search went past.
TEST_F(VxctlPorts, AScanOpensWhatTheTableNamesAndSaysWhichPortFailed) {
    const std::string link = folder.File("com");
    VxsimProcess sim({"--id", "7", "--link", link});
    ASSERT_NE(sim.OutputThrough(link).find("ready"), std::string::npos);
    ASSERT_EQ(Run({"ports", "set", "COM9", link}).code, 0);
    ASSERT_EQ(Run({"ports", "set", "COM2", folder.File("gone")}).code, 0);

    const Ran found = Run({"scan", "--port", "COM9", "--lock", "19200,e,8,1"});
    EXPECT_EQ(found.code, 0) << found.err;
    EXPECT_NE(found.out.find("port      COM9\ndevice    " + link), std::string::npos) << found.out;
    const Ran missing = Run({"scan", "--port", "COM2", "--lock", "19200,e,8,1"});
    EXPECT_EQ(missing.code, 3);
    EXPECT_EQ(missing.err,
              "vxctl: COM2 (" + folder.File("gone") + ") cannot be opened: no such device\n");
}

}  // namespace
