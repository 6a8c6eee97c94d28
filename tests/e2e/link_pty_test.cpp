// The link over the real Linux serial device, in real time. Bounds on time
// are generous sanity limits; the exact timing is asserted on virtual time
// elsewhere.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "link/link.h"
#include "link/transaction.h"
#include "platform/com_ports.h"
#include "platform/settings_store.h"
#include "protocol/commands.h"
#include "protocol/line_settings.h"
#include "pseudo_terminal.h"
#include "temp_folder.h"
#include "vxsim_process.h"

namespace vx::link {
namespace {

using std::chrono::milliseconds;
using WallClock = std::chrono::steady_clock;

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The machine's serial device, with COM numbers taken from a store in a
// temporary folder whose Ports table the test fills.
class LinkOnPty : public ::testing::Test {
protected:
    void SetUp() override {
        store = platform::OpenFileSettingsStore(folder.File("VXConfig.reg"));
        device = platform::CreateSystemSerialDevice(
            [this](const std::string& name) { return platform::ResolveComPort(name, *store); });
        link = std::make_unique<Link>(*device, platform::SystemClock(), events);
    }
    void TearDown() override { link->CloseCommPort(); }

    void MapPort(int number, const std::string& path) {
        auto ports = store->CreateKey(std::string(platform::kProgramKeyPath) + "\\Ports");
        ASSERT_TRUE(ports && ports->WriteText("COM" + std::to_string(number), path));
    }

    platform::testing::TempFolder folder;
    std::unique_ptr<platform::SettingsStore> store;
    std::unique_ptr<platform::SerialDevice> device;
    platform::InstallableEventPump events;
    std::unique_ptr<Link> link;
};

struct ExchangeCase {
    std::string moduleLine;
    int index;  // the line setting the tool opens with
    bool answers;
};

// "Module19200e_Tool9600e_Silent": where the module listens, where the tool talks.
std::string ExchangeCaseName(const ExchangeCase& c) {
    const auto compact = [](const std::string& line) {
        std::string name;
        for (char ch : line.substr(0, line.find(",8,"))) {
            if (ch != ',')
                name += ch;
        }
        return name;
    };
    return "Module" + compact(c.moduleLine) + "_Tool" +
           compact(protocol::LineSettingsList.at(static_cast<std::size_t>(c.index))) +
           (c.answers ? "_Answers" : "_Silent");
}

class ExchangeWithVxsim : public LinkOnPty, public ::testing::WithParamInterface<ExchangeCase> {};

TEST_P(ExchangeWithVxsim, ModuleAnswersOnlyAtItsOwnBaudRate) {
    const ExchangeCase& c = GetParam();
    const std::string path = folder.File("com3");
    test::VxsimProcess sim({"--line", c.moduleLine, "--id", "7", "--link", path});
    ASSERT_NE(sim.OutputThrough("ready").find("ready"), std::string::npos);
    MapPort(3, path);

    ASSERT_TRUE(
        link->OpenCommPort(3, protocol::LineSettingsList[static_cast<std::size_t>(c.index)]));
    const bool answered = link->SendCommand(protocol::cmd::Identify) &&
                          link->ReplyLength() == protocol::kIdentifyReplyLength;
    EXPECT_EQ(answered, c.answers);
    if (c.answers) {
        EXPECT_EQ(protocol::ReplyModuleId(link->ReplyText()), "07");
    }
}

INSTANTIATE_TEST_SUITE_P(LineSettings, ExchangeWithVxsim,
                         ::testing::Values(ExchangeCase{"19200,e,8,1", 5, true},
                                           ExchangeCase{"115200,e,8,1", 11, true},
                                           ExchangeCase{"9600,n,8,1", 2, true},
                                           ExchangeCase{"19200,e,8,1", 3, false}),
                         [](const auto& info) { return ExchangeCaseName(info.param); });

TEST_F(LinkOnPty, UnansweredCommandEndsAfterTheReplyWindow) {
    platform::testing::PseudoTerminal pty;
    MapPort(1, pty.SlavePath());
    ASSERT_TRUE(link->OpenCommPort(1, "19200,e,8,1"));
    const auto start = WallClock::now();
    EXPECT_FALSE(link->SendCommand(protocol::cmd::Identify));
    const auto took = WallClock::now() - start;
    EXPECT_GE(took, milliseconds(159));
    EXPECT_LT(took, milliseconds(1000));
}

// The adapter is pulled while the reply is arriving: the transaction must end
// by its time limit, and the wait must sleep rather than spin.
TEST_F(LinkOnPty, HangUpInTheMiddleOfAReplyEndsAtTheTimeLimitWithoutSpinning) {
    platform::testing::PseudoTerminal pty;
    MapPort(1, pty.SlavePath());
    ASSERT_TRUE(link->OpenCommPort(1, "19200,e,8,1"));

    const pid_t farEnd = fork();
    if (farEnd == 0) {
        // Wait for the whole frame, send half a reply, and hang up.
        pty.Receive(8, 2000);
        pty.Send({'\n', '!', '0', '7', ','});
        // A hang-up discards unread input: let the half reply be read first.
        usleep(30'000);
        pty.CloseMaster();
        _exit(0);
    }
    pty.CloseMaster();  // only the far end holds the line now

    const double cpuBefore = CpuSeconds();
    const auto start = WallClock::now();
    EXPECT_FALSE(link->SendCommand(protocol::cmd::Identify));
    const double wall = std::chrono::duration<double>(WallClock::now() - start).count();
    const double cpu = CpuSeconds() - cpuBefore;
    waitpid(farEnd, nullptr, 0);

    EXPECT_EQ(link->ReplyLength(), 5) << "the half reply was received before the line went";
    EXPECT_GE(wall, 0.150);
    EXPECT_LT(wall, 2.0);
    EXPECT_LT(cpu, 0.3 * wall) << "cpu " << cpu << " s over " << wall << " s";
    std::printf("hang-up wait: %.1f ms wall, %.2f ms cpu\n", wall * 1e3, cpu * 1e3);
}

}  // namespace
}  // namespace vx::link
