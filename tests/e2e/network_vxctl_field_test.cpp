// vxctl through a network as a plant has it: far away, or lost in the middle
// of a run. Each step is a new vxctl, as a technician types them one after
// the other, so each also reconnects to a server that has just let the last
// session go.

#include <filesystem>
#include <set>

#include "network_port_fixture.h"

namespace vx::network_test {
namespace {

using std::chrono::milliseconds;

// A pseudo-terminal has no parity, so a search for the module at 19200,e
// stops at 19200,n: the fifth setting it tries.
constexpr const char* kFoundAt = "\"line\":\"19200,n,8,1\"";

struct RemoteCase {
    std::string name;
    milliseconds roundTrip;
};

void PrintTo(const RemoteCase& c, std::ostream* os) {
    *os << c.name;
}

class RemoteSiteVxctl : public VxctlOverNetwork,
                        public ::testing::WithParamInterface<RemoteCase> {};

TEST_P(RemoteSiteVxctl, EveryOperationWorksOnOneConnectionEach) {
    ASSERT_NO_FATAL_FAILURE(StartModule({"--line", kModuleLine}));
    test::DelayingProxy proxy(server->TcpPort(0), GetParam().roundTrip);
    const std::string far = "rfc2217://127.0.0.1:" + std::to_string(proxy.Port());
    const Outcome search = Vxctl({"scan", "--all-settings"}, far);
    EXPECT_NE(search.out.find(kFoundAt), std::string::npos)
        << search.out << ReadFileText(folder.File("err"));
    EXPECT_EQ(proxy.Accepted(), 1) << "five line settings and the reads, one connection";
    const struct Step {
        std::vector<std::string> args;
        std::string shows;
    } steps[] = {
        {{"set-id", "12"}, "\"ok\":true"},
        {{"io", "--out", "1000000000000001"}, "\"inputs\":"},
        {{"set-baud", "57600,e,8,1"}, "\"ok\":true"},
        {{"scan", "--lock", "57600,e,8,1"}, "\"id\":\"12\""},
    };
    for (const Step& step : steps) {
        const Outcome outcome = Vxctl(step.args, far);
        EXPECT_EQ(outcome.code, 0)
            << step.args.front() << ": " << outcome.out << ReadFileText(folder.File("err"));
        EXPECT_NE(outcome.out.find(step.shows), std::string::npos)
            << step.args.front() << ": " << outcome.out;
    }
}

INSTANTIATE_TEST_SUITE_P(RoundTrips, RemoteSiteVxctl,
                         ::testing::Values(RemoteCase{"Loopback", milliseconds{0}},
                                           RemoteCase{"Rtt20", milliseconds{20}},
                                           RemoteCase{"Rtt60", milliseconds{60}},
                                           RemoteCase{"Rtt120", milliseconds{120}},
                                           RemoteCase{"Rtt250", milliseconds{250}}),
                         [](const auto& info) { return info.param.name; });

struct LossCase {
    std::string name;
    bool serverDies;  // else the network between falls silent
    std::string says;
};

void PrintTo(const LossCase& c, std::ostream* os) {
    *os << c.name;
}

class LiveRunLoss : public VxctlOverNetwork, public ::testing::WithParamInterface<LossCase> {};

// A dropped connection is the port gone; a silent one looks like a module
// without power, since nothing on this side can tell them apart in time.
TEST_P(LiveRunLoss, EndsTheRunSayingWhatWasLost) {
    const LossCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(StartModule({"--line", kModuleLine}));
    test::DelayingProxy proxy(server->TcpPort(0), milliseconds{0});
    auto watch =
        Start({"io", "--watch", "--json", "--store", folder.File("VXConfig.reg"), "--device",
               "rfc2217://127.0.0.1:" + std::to_string(proxy.Port()), "--lock", kModuleLine});
    ASSERT_NE(watch->OutputLines(1).find("\"inputs\""), std::string::npos)
        << ReadFileText(folder.File("err"));
    if (c.serverDies)
        server->Kill();
    else
        proxy.Stall();
    const std::string rest = watch->OutputToEnd();
    EXPECT_EQ(watch->ExitStatus(), 1);
    EXPECT_NE(rest.find(c.says), std::string::npos) << rest;
}

INSTANTIATE_TEST_SUITE_P(Losses, LiveRunLoss,
                         ::testing::Values(LossCase{"ServerDies", true, "the port has gone"},
                                           LossCase{"NetworkFallsSilent", false,
                                                    "the module stopped answering"}),
                         [](const auto& info) { return info.param.name; });

std::set<std::string> Sockets(const std::string& process) {
    std::set<std::string> sockets;
    std::error_code error;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/" + process + "/fd", error)) {
        const std::string target = std::filesystem::read_symlink(fd.path(), error).string();
        if (target.starts_with("socket:"))
            sockets.insert(target);
    }
    return sockets;
}

// A socket of its own, rather than one it was handed by this process.
bool OpenedASocket(pid_t pid) {
    const std::set<std::string> ours = Sockets("self");
    for (const std::string& socket : Sockets(std::to_string(pid))) {
        if (!ours.contains(socket))
            return true;
    }
    return false;
}

// Ctrl-C in a live run's connect to a switched-off server ends vxctl at once,
// not when the connect's 3 s are up.
TEST_F(VxctlOverNetwork, CtrlCEndsAConnectAtOnce) {
    // The failure tone's 300 ms, and what a loaded machine adds.
    constexpr milliseconds kAtOnce{1500};
    FakeServer off(Misbehaviour::NeverAccepts);
    auto run =
        Start({"io", "--json", "--store", folder.File("VXConfig.reg"), "--device", off.Url()});
    const auto bound = std::chrono::steady_clock::now() + kConnect;
    while (!OpenedASocket(run->Pid()) && std::chrono::steady_clock::now() < bound) {
        std::this_thread::sleep_for(milliseconds{1});
    }
    ASSERT_TRUE(OpenedASocket(run->Pid())) << "vxctl never began to connect";
    const auto interrupted = std::chrono::steady_clock::now();
    run->Signal(SIGINT);
    const std::string out = run->OutputToEnd();
    EXPECT_EQ(run->ExitStatus(), 3);
    EXPECT_LE(std::chrono::steady_clock::now() - interrupted, kAtOnce);
    EXPECT_NE(out.find("\"message\":\"interrupted\""), std::string::npos) << out;
}

}  // namespace
}  // namespace vx::network_test
