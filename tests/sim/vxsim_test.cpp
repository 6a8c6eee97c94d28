// vxsim as a separate program on real pseudo-terminals, in real time. The
// waits are generous upper bounds, never timing assertions.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "protocol/commands.h"
#include "sim/frame_events.h"
#include "sim_test_support.h"
#include "vxsim_process.h"

namespace vx::sim {
namespace {

using vx::test::VxsimProcess;

using Clock = std::chrono::steady_clock;
constexpr auto kReplyBound = std::chrono::seconds(3);
constexpr auto kSilenceWindow = std::chrono::milliseconds(400);

int PollMsUntil(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<long long>(0, left.count()));
}

// A client as the tool's platform layer would be: raw, at a chosen speed.
class Client {
public:
    Client(const std::string& path, speed_t speed) {
        fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ < 0)
            return;
        termios settings{};
        tcgetattr(fd_, &settings);
        cfmakeraw(&settings);
        settings.c_cflag |= PARENB | CLOCAL | CREAD;
        cfsetispeed(&settings, speed);
        cfsetospeed(&settings, speed);
        tcsetattr(fd_, TCSANOW, &settings);
    }
    ~Client() {
        if (fd_ >= 0)
            close(fd_);
    }

    bool IsOpen() const { return fd_ >= 0; }

    void Send(const std::string& command) const {
        const std::string bytes = test::CommandFrameBytes(command);
        ASSERT_EQ(write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // Reads until `count` bytes, a hang-up, or the deadline.
    std::string Read(std::size_t count, Clock::duration bound, bool* hungUp = nullptr) const {
        std::string bytes;
        const auto deadline = Clock::now() + bound;
        while (bytes.size() < count && Clock::now() < deadline) {
            pollfd wait{fd_, POLLIN, 0};
            if (poll(&wait, 1, PollMsUntil(deadline)) <= 0)
                continue;
            char chunk[64];
            const ssize_t got = read(fd_, chunk, sizeof chunk);
            if (got > 0) {
                bytes.append(chunk, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EAGAIN) {  // a hung-up terminal reads as end of file
                if (hungUp)
                    *hungUp = true;
                break;
            }
        }
        return bytes;
    }

private:
    int fd_ = -1;
};

class VxsimTest : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vxsim-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        link_ = dir_ + "/com1";
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string dir_;
    std::string link_;
};

TEST_F(VxsimTest, AnswersIdentifyAtItsBaudAcrossReopensAndStaysSilentAtAnother) {
    const std::string log = dir_ + "/frames.log";
    const std::string events = dir_ + "/frames.events";
    VxsimProcess sim(
        {"--id", "7", "--serial", "87654321", "--link", link_, "--log", log, "--events", events});
    ASSERT_NE(sim.OutputThrough("ready").find("ready " + link_ + " -> /dev/pts/"),
              std::string::npos);

    for (int round = 0; round < 2; ++round) {
        Client client(link_, B19200);
        ASSERT_TRUE(client.IsOpen());
        client.Send("B00B");
        const std::string reply = client.Read(protocol::kIdentifyReplyLength, kReplyBound);
        ASSERT_EQ(reply.size(), static_cast<std::size_t>(protocol::kIdentifyReplyLength)) << round;
        EXPECT_TRUE(test::LinkAcceptsFrame(reply));
        EXPECT_EQ(protocol::ReplyModuleId(reply), "07");
        EXPECT_EQ(protocol::ReplySerial(reply), "87654321");
    }

    Client wrongBaud(link_, B9600);
    wrongBaud.Send("B00B");
    EXPECT_EQ(wrongBaud.Read(1, kSilenceWindow), "");

    std::ifstream logged(log);
    const std::string lines((std::istreambuf_iterator<char>(logged)), {});
    EXPECT_NE(lines.find("baud=19200 command=B00B checksum=ok answered"), std::string::npos);
    EXPECT_NE(lines.find("baud=9600 command=B00B checksum=ok ignored"), std::string::npos);

    std::ifstream eventFile(events);
    std::vector<Verdict> verdicts;
    for (std::string line; std::getline(eventFile, line);) {
        const auto event = ParseEventLine(line);
        ASSERT_TRUE(event) << line;
        EXPECT_EQ(event->port + " " + event->command, link_ + " B00B");
        verdicts.push_back(event->verdict);
    }
    EXPECT_EQ(verdicts,
              (std::vector<Verdict>{Verdict::Answered, Verdict::Answered, Verdict::OtherBaud}));
}

struct HangUpCase {
    const char* name;
    std::vector<std::string> extraArgs;
    bool signal;
};

class VxsimHangUp : public VxsimTest, public testing::WithParamInterface<HangUpCase> {};

TEST_P(VxsimHangUp, EndsTheClientsLinkAndRemovesTheSymlinks) {
    std::vector<std::string> args{"--link", link_, "--silent", dir_ + "/com2"};
    args.insert(args.end(), GetParam().extraArgs.begin(), GetParam().extraArgs.end());
    VxsimProcess sim(args);
    ASSERT_NE(sim.OutputThrough("ready " + dir_ + "/com2").find("com2 -> /dev/pts/"),
              std::string::npos);
    Client client(link_, B19200);
    ASSERT_TRUE(client.IsOpen());

    if (GetParam().signal)
        sim.Signal(SIGUSR1);
    bool hungUp = false;
    client.Read(1, kReplyBound, &hungUp);
    EXPECT_TRUE(hungUp);
    EXPECT_NE(sim.OutputThrough("hangup " + dir_ + "/com2").find("hangup " + link_),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::is_symlink(link_));

    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.ExitStatus(), 0);
}

INSTANTIATE_TEST_SUITE_P(Triggers, VxsimHangUp,
                         testing::Values(HangUpCase{"Signal", {}, true},
                                         HangUpCase{"Timer", {"--unplug-after", "600"}, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(VxsimTest, TerminateRemovesTheLinks) {
    VxsimProcess sim({"--link", link_});
    ASSERT_NE(sim.OutputThrough("ready").find("ready"), std::string::npos);
    ASSERT_TRUE(std::filesystem::is_symlink(link_));
    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.ExitStatus(), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(link_));
}

}  // namespace
}  // namespace vx::sim
