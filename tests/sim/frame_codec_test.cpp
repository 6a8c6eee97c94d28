#include "sim/frame_codec.h"

#include <gtest/gtest.h>

#include "sim_test_support.h"

namespace vx::sim {
namespace {

using test::CommandFrameBytes;
using test::LinkAcceptsFrame;

// The tool's link and the simulated module frame and check independently;
// these worked frames must come out of each the same way.
struct WorkedFrame {
    const char* name;
    std::string text;
    std::string frame;
};

// A frame whose last checksum digit is another valid hex digit.
std::string WithWrongChecksum(std::string frame) {
    char& digit = frame[frame.size() - 2];
    digit = digit == '0' ? '1' : '0';
    return frame;
}

class CommandFrames : public testing::TestWithParam<WorkedFrame> {};

TEST_P(CommandFrames, LinkWritesWhatTheModuleReads) {
    const WorkedFrame& c = GetParam();
    EXPECT_EQ(CommandFrameBytes(c.text), c.frame);
    const auto read = [](const std::string& bytes) {
        CommandFrameReader reader;
        std::optional<CommandFrame> frame;
        for (char b : bytes) frame = reader.Feed(static_cast<std::uint8_t>(b));
        return frame;
    };
    const auto good = read(c.frame);
    ASSERT_TRUE(good.has_value());
    EXPECT_EQ(good->command, c.text);
    EXPECT_TRUE(good->checksumOk);
    const auto bad = read(WithWrongChecksum(CommandFrameBytes(c.text)));
    ASSERT_TRUE(bad.has_value());
    EXPECT_FALSE(bad->checksumOk);
}

INSTANTIATE_TEST_SUITE_P(
    Worked, CommandFrames,
    testing::Values(WorkedFrame{"Identify", "B00B", "\x09\x42\x30\x30\x42\x30\x39\x0D"},
                    WorkedFrame{"Version", "B00V", "\tB00V1D\r"},
                    WorkedFrame{"Exchange", "B00I1010000000000001", "\tB00I101000000000000103\r"},
                    WorkedFrame{"Empty", "", "\t09\r"}),
    [](const auto& info) { return std::string(info.param.name); });

class ReplyFrames : public testing::TestWithParam<WorkedFrame> {};

TEST_P(ReplyFrames, ModuleWritesWhatTheLinkAccepts) {
    const WorkedFrame& c = GetParam();
    EXPECT_EQ(FrameReply(c.text), c.frame);
    EXPECT_TRUE(LinkAcceptsFrame(c.frame));
    EXPECT_FALSE(LinkAcceptsFrame(WithWrongChecksum(FrameReply(c.text))));
}

INSTANTIATE_TEST_SUITE_P(
    Worked, ReplyFrames,
    testing::Values(WorkedFrame{"Empty", "", "\n0A\r"},
                    WorkedFrame{"Identify", "!07,12345678", "\n!07,1234567808\r"},
                    // A checksum of zero still takes its two digits.
                    WorkedFrame{"Exchange", "!07,0100000000000001", "\n!07,010000000000000100\r"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vx::sim
