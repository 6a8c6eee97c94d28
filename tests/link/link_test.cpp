// The framed transaction on a port double whose every byte and millisecond
// is under the test's control.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "link/comm_port.h"
#include "link/transaction.h"
#include "platform/event_pump.h"
#include "sim/sim_bus.h"

namespace vx::link {
namespace {

// One port: records what the link writes (with the virtual time of each
// write) and hands back bytes that arrive at given virtual times.
class TimedPort final : public platform::SerialDevice {
public:
    explicit TimedPort(sim::VirtualClock& clock) : clock_(clock) {}

    struct Written {
        std::uint32_t atMs;
        std::string bytes;
    };

    // `bytes` arrive one per `gapUs`, the first `delayMs` after now.
    void Arrive(const std::string& bytes, std::uint32_t delayMs, std::uint64_t gapUs = 100) {
        std::uint64_t due = clock_.NowUs() + delayMs * 1000ULL;
        for (char c : bytes) {
            arrivals_.push_back({due, static_cast<std::uint8_t>(c)});
            due += gapUs;
        }
    }
    // The reply to the next frame: bytes arrive `delayMs` after its CR.
    void ReplyAfterCr(std::string bytes, std::uint32_t delayMs, std::uint64_t gapUs = 100) {
        pendingReply_ = std::move(bytes);
        replyDelayMs_ = delayMs;
        replyGapUs_ = gapUs;
    }

    bool Open(const std::string&) override { return open_ = true; }
    bool ApplyLineSettings(const std::string&) override { return true; }
    void Write(const std::uint8_t* data, std::size_t count) override {
        if (!open_)
            return;
        written_.push_back({clock_.TickMs(), std::string(data, data + count)});
        if (count == 1 && data[0] == kFrameEnd && !pendingReply_.empty()) {
            Arrive(pendingReply_, replyDelayMs_, replyGapUs_);
            pendingReply_.clear();
        }
    }
    std::optional<std::uint8_t> ReadByte() override {
        constexpr std::uint64_t kReadLimitUs = 1000;
        if (!arrivals_.empty() && arrivals_.front().dueUs <= clock_.NowUs() + kReadLimitUs) {
            if (arrivals_.front().dueUs > clock_.NowUs())
                clock_.AdvanceUs(arrivals_.front().dueUs - clock_.NowUs());
            const std::uint8_t byte = arrivals_.front().byte;
            arrivals_.pop_front();
            return byte;
        }
        clock_.AdvanceUs(kReadLimitUs);
        return std::nullopt;
    }
    void DiscardInput() override {
        while (!arrivals_.empty() && arrivals_.front().dueUs <= clock_.NowUs())
            arrivals_.pop_front();
    }
    void Close() override { open_ = false; }
    bool IsOpen() const override { return open_; }

    const std::vector<Written>& Writes() const { return written_; }
    std::string AllWritten() const {
        std::string all;
        for (const auto& w : written_) all += w.bytes;
        return all;
    }

private:
    struct Arrival {
        std::uint64_t dueUs;
        std::uint8_t byte;
    };
    sim::VirtualClock& clock_;
    std::deque<Arrival> arrivals_;
    std::vector<Written> written_;
    std::string pendingReply_;
    std::uint32_t replyDelayMs_ = 0;
    std::uint64_t replyGapUs_ = 100;
    bool open_ = false;
};

// LF + text + checksum + CR, computed independently of the link's own code.
std::string Reply(const std::string& text, bool lowercase = false) {
    unsigned sum = 0x0A;
    for (unsigned char c : text) sum ^= c;
    char digits[3];
    std::snprintf(digits, sizeof digits, lowercase ? "%02x" : "%02X", sum);
    return "\n" + text + digits + "\r";
}

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        AttachPlatform(port, clock, events);
        ReplyText.clear();
        ReplyLength = 0;
    }
    void TearDown() override {
        if (port.IsOpen())
            CloseCommPort();
    }
    void OpenPort() { ASSERT_TRUE(OpenCommPort(1, "19200,e,8,1")); }

    sim::VirtualClock clock{1000};
    TimedPort port{clock};
    platform::InstallableEventPump events;
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
    SendCommand("B00B");
    EXPECT_EQ(port.AllWritten(), std::string("\x09\x42\x30\x30\x42\x30\x39\x0D"));
    const std::vector<std::uint32_t> offsets = {0, 1, 6, 7, 8};
    ASSERT_EQ(port.Writes().size(), offsets.size());
    for (std::size_t i = 0; i < offsets.size(); ++i)
        EXPECT_EQ(port.Writes()[i].atMs - t0, offsets[i]) << "write " << i;
}

TEST_F(LinkTest, SingleByteWriteKeepsTheLowEightBits) {
    OpenPort();
    CommWriteByte(0x109);
    EXPECT_EQ(port.AllWritten(), std::string("\x09"));
}

struct ReplyCase {
    const char* behaviour;
    std::string bytes;      // what arrives after the CR
    std::uint32_t delayMs;  // how long after the CR it starts
    bool accepted;
    int replyLength;
    std::string replyText;  // "" = the previous frame is kept
};

class ReplyTest : public LinkTest, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(ReplyTest, ReplyIsRecognisedAndVerifiedAsFramed) {
    const ReplyCase& c = GetParam();
    OpenPort();
    ReplyText = "previous";
    port.ReplyAfterCr(c.bytes, c.delayMs);
    EXPECT_EQ(SendCommand("B00B"), c.accepted);
    EXPECT_EQ(ReplyLength, c.replyLength);
    EXPECT_EQ(ReplyText, c.replyText.empty() ? "previous" : c.replyText);
}

const std::string kIdentify = Reply("!07,12345678");
const std::string kLower = Reply("!07,1234567:", true);

INSTANTIATE_TEST_SUITE_P(
    Frames, ReplyTest,
    ::testing::Values(
        ReplyCase{"identify reply of 16 bytes", kIdentify, 3, true, 16, kIdentify},
        ReplyCase{"empty reply text covers only the LF", "\n0A\r", 3, true, 4, "\n0A\r"},
        ReplyCase{"lowercase checksum digits never match", kLower, 3, false, 16, kLower},
        ReplyCase{"bad checksum keeps the rejected frame", "\n!07,1234567800\r", 3, false, 16,
                  "\n!07,1234567800\r"},
        ReplyCase{"noise before the LF hides the frame", "\x55" + kIdentify, 3, false, 17, ""},
        ReplyCase{"stray CR first does not end the wait", "\r" + kIdentify, 3, false, 17, ""},
        ReplyCase{"zero byte cuts the text, not the checksum",
                  Reply(std::string("!07,1234\0"
                                    "678",
                                    12)),
                  3, true, 16, "\n!07,1234"},
        ReplyCase{"frame of three bytes fails", "\n0\r", 3, false, 3, "\n0\r"},
        ReplyCase{"reply after the window is not awaited", kIdentify, 160, false, 0, ""},
        ReplyCase{"reply starting inside the window is collected past it", kIdentify, 150, true, 16,
                  kIdentify}),
    [](const auto& info) {
        std::string name;
        for (const char* p = info.param.behaviour; *p; ++p)
            name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
        return name;
    });

TEST_F(LinkTest, UnansweredCommandCostsThePausesPlusTheReplyWindow) {
    OpenPort();
    const std::uint32_t t0 = clock.TickMs();
    EXPECT_FALSE(SendCommand("B00B"));
    // 9 ms of write pauses, then empty reads until more than 150 ms are gone.
    EXPECT_EQ(clock.TickMs() - t0, 9u + kReplyWindowMs + 1);
}

TEST_F(LinkTest, WithNoPortOpenTheCommandFailsAfterTheReplyWindow) {
    const std::uint32_t t0 = clock.TickMs();
    EXPECT_FALSE(SendCommand("B00B"));
    EXPECT_TRUE(port.Writes().empty());
    EXPECT_EQ(clock.TickMs() - t0, 9u + kReplyWindowMs + 1);
}

TEST_F(LinkTest, ReplyWindowSurvivesTheTickCounterWrapping) {
    sim::VirtualClock nearWrap(0xFFFFFFFFu - 50);
    TimedPort wrapPort(nearWrap);
    AttachPlatform(wrapPort, nearWrap, events);
    ASSERT_TRUE(OpenCommPort(1, "19200,e,8,1"));
    wrapPort.ReplyAfterCr(kIdentify, 120);
    EXPECT_TRUE(SendCommand("B00B")) << "a reply 120 ms late is still in time across the wrap";
    const std::uint32_t t0 = nearWrap.TickMs();
    EXPECT_FALSE(SendCommand("B00B"));
    EXPECT_EQ(nearWrap.TickMs() - t0, 9u + kReplyWindowMs + 1);
    CloseCommPort();
}

TEST_F(LinkTest, LateReplyQueuedAtThePortIsNotTakenForTheNextReply) {
    OpenPort();
    port.ReplyAfterCr(kIdentify, 170);
    EXPECT_FALSE(SendCommand("B00B"));
    clock.SleepMs(50);  // the late reply is now queued at the port
    const std::string version = Reply("!0703.20-01");
    port.ReplyAfterCr(version, 3);
    EXPECT_TRUE(SendCommand("B00V"));
    EXPECT_EQ(ReplyText, version);
}

TEST_F(LinkTest, LineThatNeverFallsSilentEndsTheWaitAtTheLimit) {
    OpenPort();
    // One byte every 87 us, far more than the reply window holds, no LF.
    port.ReplyAfterCr(std::string(4000, 'x'), 2, /*gapUs=*/87);
    const std::uint32_t t0 = clock.TickMs();
    EXPECT_FALSE(SendCommand("B00B"));
    EXPECT_EQ(clock.TickMs() - t0, 9u + kReplyWindowMs + 1);
}

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
    SendCommand("B00B");
    EXPECT_EQ(static_cast<int>(runsAt.size()), GetParam().runs);
    for (std::size_t i = 1; i < runsAt.size(); ++i)
        EXPECT_LE(runsAt[i] - runsAt[i - 1], 1u) << "run " << i;
}

INSTANTIATE_TEST_SUITE_P(Lines, EventsDuringTheWait,
                         ::testing::Values(EventsCase{"silent line", "", 0,
                                                      int{kReplyWindowMs} + 1},
                                           EventsCase{"endless stream", std::string(4000, 'x'), 87,
                                                      int{kReplyWindowMs} + 1},
                                           // Bytes from the first read on, 10 ms in all: one run
                                           // per tick until the CR ends the wait.
                                           EventsCase{"reply of 10 ms", kIdentify, 625, 9}),
                         [](const auto& info) {
                             std::string name;
                             for (const char* p = info.param.behaviour; *p; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

TEST_F(LinkTest, ReceivePositionWrapsAfter1024Bytes) {
    OpenPort();
    // 1024 bytes of noise, then a frame whose LF lands at position 0 again.
    port.ReplyAfterCr(std::string(1024, 'x') + kIdentify, 2);
    EXPECT_TRUE(SendCommand("B00B"));
    EXPECT_EQ(ReplyLength, 16);
    EXPECT_EQ(ReplyText, kIdentify);
}

TEST_F(LinkTest, FrameEndingOnTheLastBufferByteFails) {
    OpenPort();
    // LF at position 0, CR at position 1023: the position wraps to 0 on the CR.
    port.ReplyAfterCr("\n" + std::string(1022, 'x') + "\r", 2);
    EXPECT_FALSE(SendCommand("B00B"));
    EXPECT_EQ(ReplyLength, 0);
}

TEST_F(LinkTest, TextLongerThan255BytesIsRefusedUnsent) {
    OpenPort();
    EXPECT_FALSE(SendCommand(std::string(256, 'B')));
    EXPECT_TRUE(port.Writes().empty());
}

TEST_F(LinkTest, OpenNamesThePortComAndItsNumber) {
    struct NamingPort final : platform::SerialDevice {
        std::string opened;
        bool Open(const std::string& name) override { return opened = name, true; }
        bool ApplyLineSettings(const std::string&) override { return false; }
        void Write(const std::uint8_t*, std::size_t) override {}
        std::optional<std::uint8_t> ReadByte() override { return std::nullopt; }
        void DiscardInput() override {}
        void Close() override {}
        bool IsOpen() const override { return !opened.empty(); }
    } naming;
    AttachPlatform(naming, clock, events);
    EXPECT_TRUE(OpenCommPort(12, "bogus")) << "a refused text does not fail the open";
    EXPECT_EQ(naming.opened, "COM12");
    AttachPlatform(port, clock, events);
}

}  // namespace
}  // namespace vx::link
