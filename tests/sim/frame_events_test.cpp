#include "sim/frame_events.h"

#include <gtest/gtest.h>

#include <sstream>

namespace vx::sim {
namespace {

// A hostile client's bytes and an odd path cannot add a field or a line.
TEST(FrameEvents, EveryVerdictAndAnyBytesSurviveTheirLine) {
    std::istringstream names(JoinedVerdictNames(" "));
    int verdicts = 0;
    for (std::string name; names >> name; ++verdicts) {
        const auto parsed = ParseEventLine("1 p c " + name);
        ASSERT_TRUE(parsed) << name;
        EXPECT_EQ(VerdictName(parsed->verdict), name);
        const FrameEvent event{123456, "/tmp/a b\\c", std::string("B00I\n\r\x01\xFF \\", 10),
                               parsed->verdict};
        const std::string line = EventLine(event);
        EXPECT_EQ(line.find_first_of("\n\r"), std::string::npos) << line;
        EXPECT_EQ(ParseEventLine(line), event) << line;
    }
    EXPECT_GT(verdicts, 1);
}

TEST(FrameEvents, MalformedLinesAreRefused) {
    for (const char* line : {"", "1 p c", "x p c answered", "1 p c sneezed", "1 p \\x4 answered",
                             "1 p \\q41 answered", "1 p c answered more", "-1 p c answered"}) {
        EXPECT_FALSE(ParseEventLine(line)) << line;
    }
}

}  // namespace
}  // namespace vx::sim
