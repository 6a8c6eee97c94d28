// The framed transaction on a port double whose every byte and millisecond
// is under the test's control.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "line_times.h"
#include "link/link.h"
#include "link/transaction.h"
#include "platform/event_pump.h"
#include "sim/sim_bus.h"
#include "sim/timed_port.h"

namespace vx::link {
namespace {

std::string CaseName(const char* behaviour) {
    std::string name;
    for (const char* p = behaviour; *p; ++p)
        name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return name;
}

const std::string kExchange = Reply("!07,1000000000000001");
const std::string kVersion = Reply("!0703.20-01");

class LinkTest : public ::testing::Test {
protected:
    void TearDown() override { link.CloseCommPort(); }
    void OpenPort() { ASSERT_TRUE(link.OpenCommPort(1, "19200,e,8,1")); }

    sim::VirtualClock clock{1000};
    sim::TimedPort port{clock};
    platform::InstallableEventPump events;
    Link link{port, clock, events};
};

TEST(ChecksumTest, CommandChecksumAndHexDigitsMatchTheWorkedExamples) {
    struct Case {
        std::string text;
        std::uint8_t checksum;
        std::string digits;
    };
    const Case cases[] = {{"B00B", 0x09, "09"},
                          {"B00V", 0x1D, "1D"},
                          {"", 0x09, "09"},
                          {"B00EA", 0x4F, "4F"},
                          {"B00GS", 0x5F, "5F"}};
    for (const auto& c : cases) {
        EXPECT_EQ(CommandChecksum(c.text, static_cast<int>(c.text.size())), c.checksum) << c.text;
        EXPECT_EQ(ByteToHex(c.checksum), c.digits) << c.text;
    }
    EXPECT_EQ(ByteToHex(0xAF), "AF");
    EXPECT_EQ(ByteToHex(0x00), "00");
    EXPECT_EQ(CommandChecksum("B00BXYZ", 4), 0x09) << "only the first count bytes are covered";
}

TEST_F(LinkTest, FrameGoesOutAsFiveWritesWithTheirPauses) {
    OpenPort();
    const std::uint32_t t0 = clock.TickMs();
    link.SendCommand("B00B");
    EXPECT_EQ(port.AllWritten(), std::string("\x09\x42\x30\x30\x42\x30\x39\x0D"));
    const std::vector<std::uint32_t> offsets = {0, 1, 6, 7, 8};
    ASSERT_EQ(port.Writes().size(), offsets.size());
    for (std::size_t i = 0; i < offsets.size(); ++i)
        EXPECT_EQ(port.Writes()[i].atMs - t0, offsets[i]) << "write " << i;
}

TEST_F(LinkTest, SingleByteWriteKeepsTheLowEightBits) {
    OpenPort();
    link.CommWriteByte(0x109);
    EXPECT_EQ(port.AllWritten(), std::string("\x09"));
}

struct ReplyCase {
    const char* behaviour;
    std::string bytes;      // what arrives after the CR
    std::uint32_t delayMs;  // how long after the CR it starts
    std::uint64_t byteUs;   // the time each byte takes on the line
    bool accepted;
    int replyLength;
    std::string replyText;  // "" = the previous frame is kept
};

void PrintTo(const ReplyCase& c, std::ostream* os) {
    *os << c.behaviour;
}

class ReplyTest : public LinkTest, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(ReplyTest, ReplyIsRecognisedAndVerifiedAsFramed) {
    const ReplyCase& c = GetParam();
    const std::string previous = Reply("previous");
    OpenPort();
    port.ReplyAfterCr(previous, 3, kQuickByteUs);
    ASSERT_TRUE(link.SendCommand("B00V"));
    port.ReplyAfterCr(c.bytes, c.delayMs, c.byteUs);
    EXPECT_EQ(link.SendCommand("B00B"), c.accepted);
    EXPECT_EQ(link.ReplyLength(), c.replyLength);
    EXPECT_EQ(link.ReplyText(), c.replyText.empty() ? previous : c.replyText);
}

const std::string kLower = Reply("!07,1234567:", true);

ReplyCase Framing(const char* behaviour, std::string bytes, bool accepted, int length,
                  std::string text) {
    return {behaviour, std::move(bytes), 3, kQuickByteUs, accepted, length, std::move(text)};
}

INSTANTIATE_TEST_SUITE_P(
    Frames, ReplyTest,
    ::testing::Values(
        Framing("identify reply of 16 bytes", kIdentify, true, 16, kIdentify),
        Framing("empty reply text covers only the LF", "\n0A\r", true, 4, "\n0A\r"),
        Framing("lowercase checksum digits never match", kLower, false, 16, kLower),
        Framing("bad checksum keeps the rejected frame", "\n!07,1234567800\r", false, 16,
                "\n!07,1234567800\r"),
        Framing("noise before the LF hides the frame", "\x55" + kIdentify, false, 17, ""),
        Framing("stray CR first does not end the wait", "\r" + kIdentify, false, 17, ""),
        Framing("zero byte cuts the text, not the checksum",
                Reply(std::string("!07,1234\0"
                                  "678",
                                  12)),
                true, 16, "\n!07,1234"),
        Framing("frame of three bytes fails", "\n0\r", false, 3, "\n0\r"),
        ReplyCase{"reply after the window is not awaited", kIdentify, 160, kQuickByteUs, false, 0,
                  ""},
        ReplyCase{"reply starting inside the window is collected past it", kIdentify, 150,
                  kQuickByteUs, true, 16, kIdentify}),
    [](const auto& info) { return CaseName(info.param.behaviour); });

// Replies that begin just before the window closes arrive at the line's own
// pace, with no empty read among their bytes: all of them are collected.
std::vector<ReplyCase> RepliesAcrossTheMark() {
    struct Line {
        const char* name;
        std::uint64_t byteUs;
    };
    const Line lines[] = {{"19200e", k19200eByteUs}, {"115200", k115200ByteUs}};
    const std::string* replies[] = {&kIdentify, &kExchange};
    static std::vector<std::string> names;
    std::vector<ReplyCase> cases;
    for (const Line& line : lines) {
        for (const std::string* reply : replies) {
            for (std::uint32_t before = 1; before <= 3; ++before) {
                names.push_back(std::string(line.name) + "_" + std::to_string(reply->size()) +
                                "_bytes_starting_" + std::to_string(before) + "ms_before_the_mark");
                cases.push_back({names.back().c_str(), *reply, kMarkAfterCrMs - before, line.byteUs,
                                 true, static_cast<int>(reply->size()), *reply});
            }
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(AcrossTheMark, ReplyTest, ::testing::ValuesIn(RepliesAcrossTheMark()),
                         [](const auto& info) { return CaseName(info.param.behaviour); });

TEST_F(LinkTest, UnansweredCommandCostsThePausesPlusTheReplyWindow) {
    OpenPort();
    const std::uint32_t t0 = clock.TickMs();
    EXPECT_FALSE(link.SendCommand("B00B"));
    // Empty reads until more than 150 ms are gone.
    EXPECT_EQ(clock.TickMs() - t0, kFramePausesMs + kReplyWindowMs + 1);
}

TEST_F(LinkTest, WithNoPortOpenTheCommandFailsAfterTheReplyWindow) {
    const std::uint32_t t0 = clock.TickMs();
    EXPECT_FALSE(link.SendCommand("B00B"));
    EXPECT_TRUE(port.Writes().empty());
    EXPECT_EQ(clock.TickMs() - t0, kFramePausesMs + kReplyWindowMs + 1);
}

TEST_F(LinkTest, ReplyWindowSurvivesTheTickCounterWrapping) {
    sim::VirtualClock nearWrap(0xFFFFFFFFu - 50);
    sim::TimedPort wrapPort(nearWrap);
    Link wrapLink(wrapPort, nearWrap, events);
    ASSERT_TRUE(wrapLink.OpenCommPort(1, "19200,e,8,1"));
    wrapPort.ReplyAfterCr(kIdentify, 120, kQuickByteUs);
    EXPECT_TRUE(wrapLink.SendCommand("B00B")) << "a reply 120 ms late is still in time";
    const std::uint32_t t0 = nearWrap.TickMs();
    EXPECT_FALSE(wrapLink.SendCommand("B00B"));
    EXPECT_EQ(nearWrap.TickMs() - t0, kFramePausesMs + kReplyWindowMs + 1);
}

struct LateReplyCase {
    const char* behaviour;
    std::string next;       // the command sent after the one answered late
    std::string nextReply;  // its own reply, 3 ms after its CR ("" = none)
    bool accepted;
    std::string replyText;
};

void PrintTo(const LateReplyCase& c, std::ostream* os) {
    *os << c.behaviour;
}

class LateReply : public LinkTest, public ::testing::WithParamInterface<LateReplyCase> {};

// A reply that begins just after the window is queued at the port when the
// next command goes out.
TEST_P(LateReply, AnswersTheNextCommandOnlyIfItIsTheSameText) {
    const LateReplyCase& c = GetParam();
    OpenPort();
    port.ReplyAfterCr(kIdentify, kMarkAfterCrMs + 4, k115200ByteUs);
    EXPECT_FALSE(link.SendCommand("B00B"));
    if (!c.nextReply.empty())
        port.ReplyAfterCr(c.nextReply, 3, k115200ByteUs);
    EXPECT_EQ(link.SendCommand(c.next), c.accepted);
    EXPECT_EQ(link.ReplyText(), c.replyText);
}

INSTANTIATE_TEST_SUITE_P(
    Queued, LateReply,
    ::testing::Values(
        LateReplyCase{"repeated command takes the late reply", "B00B", "", true, kIdentify},
        LateReplyCase{"other command drops it for its own", "B00V", kVersion, true, kVersion},
        LateReplyCase{"other command with no reply of its own fails", "B00V", "", false, ""}),
    [](const auto& info) { return CaseName(info.param.behaviour); });

TEST_F(LinkTest, ReopenedPortDropsALateReplyEvenToTheSameCommand) {
    OpenPort();
    port.ReplyAfterCr(kIdentify, kMarkAfterCrMs + 4, k115200ByteUs);
    EXPECT_FALSE(link.SendCommand("B00B"));
    link.CloseCommPort();
    OpenPort();
    EXPECT_FALSE(link.SendCommand("B00B"));
}

struct StreamCase {
    const char* behaviour;
    std::uint64_t byteUs;
};

void PrintTo(const StreamCase& c, std::ostream* os) {
    *os << c.behaviour;
}

class EndlessStream : public LinkTest, public ::testing::WithParamInterface<StreamCase> {};

// A line that never falls silent ends the wait once a whole receive buffer
// has come in after the window closed, and window events keep running.
TEST_P(EndlessStream, EndsOneReceiveBufferPastTheWindow) {
    const std::uint64_t byteUs = GetParam().byteUs;
    std::vector<std::uint32_t> runsAt;
    events.Install([&] { runsAt.push_back(clock.TickMs()); });
    OpenPort();
    port.ReplyAfterCr(std::string(20000, 'x'), 2, byteUs);
    const std::uint32_t start = clock.TickMs();
    EXPECT_FALSE(link.SendCommand("B00B"));
    const std::uint64_t pastMarkUs = (kRecvBufferSize + 1) * byteUs;
    const std::uint32_t elapsed = clock.TickMs() - start - kFramePausesMs;
    EXPECT_GE(elapsed, kReplyWindowMs + pastMarkUs / 1000);
    EXPECT_LE(elapsed, kReplyWindowMs + 2 + (pastMarkUs + byteUs) / 1000);
    ASSERT_FALSE(runsAt.empty());
    for (std::size_t i = 1; i < runsAt.size(); ++i)
        EXPECT_LE(runsAt[i] - runsAt[i - 1], 1u) << "run " << i;
}

INSTANTIATE_TEST_SUITE_P(Lines, EndlessStream,
                         ::testing::Values(StreamCase{"at_19200e", k19200eByteUs},
                                           StreamCase{"at_115200", k115200ByteUs}),
                         [](const auto& info) { return std::string(info.param.behaviour); });

struct EventsCase {
    const char* behaviour;
    std::string bytes;  // what arrives 2 ms after the CR
    std::uint64_t gapUs;
    int runs;
};

void PrintTo(const EventsCase& c, std::ostream* os) {
    *os << c.behaviour;
}

class EventsDuringTheWait : public LinkTest, public ::testing::WithParamInterface<EventsCase> {};

TEST_P(EventsDuringTheWait, RunAtLeastOncePerMillisecond) {
    std::vector<std::uint32_t> runsAt;
    events.Install([&] { runsAt.push_back(clock.TickMs()); });
    OpenPort();
    port.ReplyAfterCr(GetParam().bytes, 2, GetParam().gapUs);
    link.SendCommand("B00B");
    EXPECT_EQ(static_cast<int>(runsAt.size()), GetParam().runs);
    for (std::size_t i = 1; i < runsAt.size(); ++i)
        EXPECT_LE(runsAt[i] - runsAt[i - 1], 1u) << "run " << i;
}

INSTANTIATE_TEST_SUITE_P(Lines, EventsDuringTheWait,
                         ::testing::Values(EventsCase{"silent line", "", 0,
                                                      int{kReplyWindowMs} + 1},
                                           // Bytes from the first read on, 10 ms in all: one run
                                           // per tick until the CR ends the wait.
                                           EventsCase{"reply of 10 ms", kIdentify, 625, 9}),
                         [](const auto& info) { return CaseName(info.param.behaviour); });

// Events that take their time run while a reply streams in; the bytes wait
// at the port meanwhile, and the reply is still collected whole.
TEST_F(LinkTest, SlowEventsDoNotCutAReplyThatHasBegun) {
    constexpr std::uint32_t kEventsTakeMs = 10;
    events.Install([&] { clock.SleepMs(kEventsTakeMs); });
    OpenPort();
    // Empty reads with their events take 11 ms each: the 13th ends 143 ms
    // into the window, and the reply's first byte comes with the next read.
    port.ReplyAfterCr(kIdentify, kMarkAfterCrMs - 7, k19200eByteUs);
    EXPECT_TRUE(link.SendCommand("B00B"));
    EXPECT_EQ(link.ReplyText(), kIdentify);
}

TEST_F(LinkTest, ReceivePositionWrapsAfter1024Bytes) {
    OpenPort();
    // 1024 bytes of noise, then a frame whose LF lands at position 0 again.
    port.ReplyAfterCr(std::string(1024, 'x') + kIdentify, 2, kQuickByteUs);
    EXPECT_TRUE(link.SendCommand("B00B"));
    EXPECT_EQ(link.ReplyLength(), 16);
    EXPECT_EQ(link.ReplyText(), kIdentify);
}

TEST_F(LinkTest, FrameEndingOnTheLastBufferByteFails) {
    OpenPort();
    // LF at position 0, CR at position 1023: the position wraps to 0 on the CR.
    port.ReplyAfterCr("\n" + std::string(1022, 'x') + "\r", 2, kQuickByteUs);
    EXPECT_FALSE(link.SendCommand("B00B"));
    EXPECT_EQ(link.ReplyLength(), 0);
}

TEST_F(LinkTest, TextLongerThan255BytesIsRefusedUnsent) {
    OpenPort();
    EXPECT_FALSE(link.SendCommand(std::string(256, 'B')));
    EXPECT_TRUE(port.Writes().empty());
}

TEST_F(LinkTest, OpenNamesThePortComAndItsNumber) {
    port.RefuseLineSettings();
    EXPECT_TRUE(link.OpenCommPort(12, "19200,e,8,1")) << "a refused text does not fail the open";
    EXPECT_EQ(port.OpenedName(), "COM12");
}

}  // namespace
}  // namespace vx::link
