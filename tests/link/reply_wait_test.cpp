// The reply wait on a port double, by both ways of passing the time: with
// window events after 1 ms reads, and blocking on the device.
#include <gtest/gtest.h>

#include "line_times.h"
#include "link/link.h"
#include "platform/event_pump.h"
#include "sim/sim_bus.h"
#include "sim/timed_port.h"

namespace vx::link {
namespace {

// Both ways of waiting end every transaction with the same result at the
// same virtual moment; only the number of reads differs.
struct WaitCase {
    const char* behaviour;
    std::string bytes;  // empty: nothing comes
    std::uint32_t delayMs;
    std::uint64_t byteUs;
    bool accepted;
    std::uint32_t endsAfterCrMs;
};

TEST(ReplyWaitTest, WaitingOnTheDeviceKeepsTheWindowsDeadlines) {
    const std::uint32_t identifyMs =
        static_cast<std::uint32_t>(kIdentify.size() * k19200eByteUs / 1000);
    const WaitCase cases[] = {
        {"nothing comes", "", 0, 0, false, kMarkAfterCrMs + 1},
        {"reply at once", kIdentify, 2, k19200eByteUs, true, 2 + identifyMs},
        {"reply starting on the mark", kIdentify, kMarkAfterCrMs, k19200eByteUs, true,
         kMarkAfterCrMs + identifyMs},
        {"reply after the mark", kIdentify, kMarkAfterCrMs + 3, k19200eByteUs, false,
         kMarkAfterCrMs + 1},
        {"noise past the mark ends at the next gap", std::string(20, 'x'), kMarkAfterCrMs - 2,
         k19200eByteUs, false, kMarkAfterCrMs + 9},
    };
    for (const WaitCase& c : cases) {
        std::uint32_t ended[2] = {};
        int reads[2] = {};
        for (const auto wait : {Link::ReplyWait::WithEvents, Link::ReplyWait::OnDevice}) {
            const int k = wait == Link::ReplyWait::OnDevice ? 1 : 0;
            sim::VirtualClock clock{1000};
            sim::TimedPort port{clock};
            platform::InstallableEventPump events;
            Link link{port, clock, events};
            link.SetReplyWait(wait);
            ASSERT_TRUE(link.OpenCommPort(1, "19200,e,8,1"));
            if (!c.bytes.empty())
                port.ReplyAfterCr(c.bytes, c.delayMs, c.byteUs);
            EXPECT_EQ(link.SendCommand("B00B"), c.accepted) << c.behaviour;
            ended[k] = clock.TickMs() - port.Writes().back().atMs;
            reads[k] = port.Reads();
        }
        EXPECT_EQ(ended[0], ended[1]) << c.behaviour;
        EXPECT_NEAR(ended[1], c.endsAfterCrMs, 1) << c.behaviour;
        // One read per byte, plus the few empty ones that close the wait.
        EXPECT_LE(reads[1], static_cast<int>(c.bytes.size()) + 3) << c.behaviour;
        EXPECT_GE(reads[0], reads[1]) << c.behaviour;
    }
}

}  // namespace
}  // namespace vx::link
