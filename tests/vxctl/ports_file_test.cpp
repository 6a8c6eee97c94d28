// An inventory's ports file is written by hand and may hold anything.
#include <gtest/gtest.h>

#include <sstream>

#include "vxctl/inventory.h"

namespace vx::ctl {
namespace {

struct FileCase {
    std::string text;
    std::vector<std::string> ports;  // "device|label"
    std::string error;               // the start of the error; empty: none
};

TEST(PortsFile, TakesPortsAndLabelsAndRefusesWhatNamesNoPort) {
    const FileCase cases[] = {
        {"# plant\n\n/dev/ttyUSB0 bench 1 # left\r\nsocket://ds:7001\n",
         {"/dev/ttyUSB0|bench 1", "socket://ds:7001|"},
         ""},
        {"  /dev/ttyS1\t line-3  ", {"/dev/ttyS1|line-3"}, ""},
        {"/dev/ttyS0\nttyS1\n", {}, "line 2: 'ttyS1' is not an absolute"},
        {"rfc2217://:0\n", {}, "line 1: 'rfc2217://:0' is not a valid network port"},
        {"/dev/tty\x1b[2J\n", {}, "line 1 holds control characters"},
        {"/dev/ttyS0\n" + std::string(5000, 'x') + "\n/dev/ttyS1\n", {}, "line 2 is too long"},
    };
    for (const FileCase& c : cases) {
        std::istringstream in(c.text);
        const PortsFile file = ReadPortsFile(in);
        EXPECT_EQ(file.error.substr(0, c.error.size()), c.error) << c.text;
        std::vector<std::string> ports;
        for (const auto& port : file.ports) ports.push_back(port.device + "|" + port.label);
        if (c.error.empty())
            EXPECT_EQ(ports, c.ports) << c.text;
        else
            EXPECT_FALSE(file.error.empty()) << c.text;
    }
}

}  // namespace
}  // namespace vx::ctl
