#include "sim/faults.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

#include "sim/module_model.h"
#include "sim_test_support.h"

namespace vx::sim {
namespace {

using test::LinkAcceptsFrame;

std::string Joined(const FaultedReply& reply) {
    std::string bytes;
    for (const auto& part : reply.parts) bytes += part.bytes;
    return bytes;
}

const std::string kIdentifyReply = FrameReply("!07,87654321");

struct Shape {
    std::size_t parts;
    std::uint32_t firstPauseMs;
    int extraBytes;  // against the undamaged frame
    bool linkAccepts;
    bool hangUp;
};

// What each fault does to a reply. A fault the simulator has and this table
// lacks fails below.
const std::map<Fault, Shape> kShapes = {
    {Fault::None, {1, 0, 0, true, false}},
    {Fault::NoReply, {0, 0, 0, false, false}},
    {Fault::LateReply, {1, kLateReplyDelayMs, 0, true, false}},
    {Fault::BadChecksum, {1, 0, 0, false, false}},
    {Fault::LowercaseChecksum, {1, 0, 0, false, false}},
    {Fault::WrongLength, {1, 0, 1, true, false}},
    {Fault::LeadingNoise, {1, 0, 1, false, false}},
    {Fault::SplitReply, {2, 0, 0, true, false}},
    {Fault::HangUp, {0, 0, 0, false, true}},
    {Fault::HighBytes, {1, 0, 0, true, false}},
};

class FaultShapes : public testing::TestWithParam<Fault> {};

TEST_P(FaultShapes, DamageTheReplyAsNamed) {
    EXPECT_EQ(FaultFromName(FaultName(GetParam())), GetParam());
    const auto shape = kShapes.find(GetParam());
    ASSERT_NE(shape, kShapes.end()) << "no shape for " << FaultName(GetParam());
    const Shape& c = shape->second;
    const FaultedReply reply = ApplyFault(kIdentifyReply, GetParam());
    EXPECT_EQ(reply.hangUp, c.hangUp);
    ASSERT_EQ(reply.parts.size(), c.parts);
    if (c.parts == 0)
        return;
    EXPECT_EQ(reply.parts.front().pauseMs, c.firstPauseMs);
    const std::string bytes = Joined(reply);
    EXPECT_EQ(static_cast<int>(bytes.size()) - static_cast<int>(kIdentifyReply.size()),
              c.extraBytes);
    EXPECT_EQ(LinkAcceptsFrame(bytes), c.linkAccepts);
}

INSTANTIATE_TEST_SUITE_P(EachFault, FaultShapes, testing::ValuesIn(AllFaults()),
                         [](const auto& info) { return test::FaultCaseName(info.param); });

TEST(ApplyFault, SplitReplyPausesBetweenItsHalves) {
    const FaultedReply reply = ApplyFault(kIdentifyReply, Fault::SplitReply);
    ASSERT_EQ(reply.parts.size(), 2u);
    EXPECT_EQ(reply.parts[1].pauseMs, kSplitReplyPauseMs);
    EXPECT_EQ(Joined(reply), kIdentifyReply);
}

// Whatever the checksum, the lowercase fault must show a lowercase letter, and
// the same frame with its digits uppercased must be good.
TEST(ApplyFault, LowercaseChecksumAlwaysHoldsALowercaseLetter) {
    for (int id = protocol::kMinModuleId; id <= protocol::kMaxModuleId; ++id) {
        const std::string head = "!" + protocol::IdText(id) + ",";
        const std::string bytes =
            Joined(ApplyFault(FrameReply(head + "12345678"), Fault::LowercaseChecksum));
        const std::string digits = bytes.substr(bytes.size() - 3, 2);
        EXPECT_TRUE(std::any_of(digits.begin(), digits.end(), ::islower)) << bytes;
        std::string upper = bytes;
        for (std::size_t k = upper.size() - 3; k < upper.size() - 1; ++k) {
            upper[k] = static_cast<char>(std::toupper(static_cast<unsigned char>(upper[k])));
        }
        EXPECT_TRUE(LinkAcceptsFrame(upper)) << bytes;
        // Only the head character the tool never reads may have changed.
        EXPECT_EQ(bytes.substr(2, 11), FrameReply(head + "12345678").substr(2, 11));
    }
}

TEST(ApplyFault, HighBytesLeaveWhatTheToolReadsAlone) {
    const std::string bytes = Joined(ApplyFault(kIdentifyReply, Fault::HighBytes));
    ASSERT_EQ(bytes.size(), kIdentifyReply.size());
    EXPECT_EQ(bytes.substr(1, 4), std::string("\xFF") + "07" + "\xFF");
    EXPECT_EQ(bytes.substr(5, 8), kIdentifyReply.substr(5, 8));
}

TEST(FaultPlan, QueuedFaultsGoToMatchingCommandsInOrder) {
    FaultPlan plan;
    plan.Queue("B00I", Fault::BadChecksum);
    plan.Queue("B00B", Fault::NoReply, 2);
    plan.Queue("B00B", Fault::LateReply);
    EXPECT_EQ(plan.Next("B00V"), Fault::None);
    EXPECT_EQ(plan.Next("B00B"), Fault::NoReply);
    EXPECT_EQ(plan.Next("B00I0000000000000000"), Fault::BadChecksum);
    EXPECT_EQ(plan.Next("B00B"), Fault::NoReply);
    EXPECT_EQ(plan.Next("B00B"), Fault::LateReply);
    EXPECT_EQ(plan.Next("B00B"), Fault::None);
    EXPECT_EQ(plan.Next("B00I0000000000000000"), Fault::None);
}

TEST(FaultPlan, RandomFaultsFollowTheSeedAndNeverHangUp) {
    constexpr int kDraws = 2000;
    FaultPlan first;
    FaultPlan second;
    first.SetRandom(0.5, 42);
    second.SetRandom(0.5, 42);
    std::set<Fault> seen;
    int faulted = 0;
    for (int k = 0; k < kDraws; ++k) {
        const Fault fault = first.Next("B00B");
        ASSERT_EQ(fault, second.Next("B00B"));
        seen.insert(fault);
        if (fault != Fault::None)
            ++faulted;
    }
    EXPECT_EQ(seen.count(Fault::HangUp), 0u);
    EXPECT_EQ(seen.size(), 8u);  // None and the seven reply faults
    EXPECT_GT(faulted, kDraws / 3);
    EXPECT_LT(faulted, 2 * kDraws / 3);
}

}  // namespace
}  // namespace vx::sim
