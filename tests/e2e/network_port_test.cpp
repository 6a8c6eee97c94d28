// Network ports against a real device server: ser2net on 127.0.0.1 in front
// of vxsim's pseudo-terminals, reached by the link in this process and by
// vxctl. Each ser2net starts at a line setting the module does not listen
// at, so every answer proves that the client's line settings crossed the
// server to the port. Servers that misbehave are played by the test.
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "delaying_proxy.h"
#include "link/link.h"
#include "platform/clock.h"
#include "platform/com_ports.h"
#include "platform/event_pump.h"
#include "platform/linux/serial_device_linux.h"
#include "platform/network/network_serial_device.h"
#include "platform/settings_store.h"
#include "ser2net_process.h"
#include "temp_folder.h"
#include "vxsim_process.h"

namespace vx {
namespace {

using platform::PortFailure;
using platform::testing::ReadFileText;
using test::Ser2net;
using test::VxsimProcess;

constexpr const char* kModuleLine = "19200,e,8,1";
constexpr const char* kServerLine = "9600n81";
constexpr int kIdentityReplyLength = 16;
constexpr int kPort = 1;
// The device's own limits, and what a loaded machine may add to a wait.
constexpr std::chrono::milliseconds kAcknowledge{1000};
constexpr std::chrono::milliseconds kConnect{3000};
constexpr std::chrono::milliseconds kQuick{500};

// A device server that speaks Telnet but misbehaves in one way.
enum class Misbehaviour {
    NeverAcknowledges,         // agrees to com port control, answers no command
    AcknowledgesOnlyControl,   // answers the flow control commands, no line settings
    RefusesComPort,            // DONT COM-PORT-OPTION
    HangsUp,                   // closes every connection at once
    NeverAccepts,              // its backlog is full: a connect never completes
    Silent,                    // accepts, then says nothing
    KeepsFlowControl,          // answers SET-CONTROL with XON/XOFF
    RefusesBinary,             // WONT BINARY, DONT BINARY
    LeavesSubnegotiationOpen,  // IAC SB COM-PORT-OPTION ... and never IAC SE
};

class FakeServer {
public:
    explicit FakeServer(Misbehaviour how) : how_(how) {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        address_.sin_family = AF_INET;
        address_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address_;
        bind(listener_, reinterpret_cast<sockaddr*>(&address_), sizeof address_);
        listen(listener_, how == Misbehaviour::NeverAccepts ? 0 : 1);
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address_), &length);
        if (how == Misbehaviour::NeverAccepts) {
            FillBacklog();
            return;
        }
        thread_ = std::thread([this] { Serve(); });
    }
    ~FakeServer() {
        shutdown(listener_, SHUT_RDWR);
        close(listener_);
        if (thread_.joinable())
            thread_.join();
        for (const int filler : fillers_) close(filler);
    }
    FakeServer(const FakeServer&) = delete;
    FakeServer& operator=(const FakeServer&) = delete;

    std::string Url() const {
        return "rfc2217://127.0.0.1:" + std::to_string(ntohs(address_.sin_port));
    }

private:
    // Connections nobody accepts take the queue's places; later ones wait.
    void FillBacklog() {
        constexpr int kFillers = 3;
        for (int i = 0; i < kFillers; ++i) {
            const int filler = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            connect(filler, reinterpret_cast<const sockaddr*>(&address_), sizeof address_);
            fillers_.push_back(filler);
        }
    }

    void Serve() {
        for (;;) {
            const int client = accept(listener_, nullptr, nullptr);
            if (client < 0)
                return;
            if (how_ != Misbehaviour::HangsUp)
                Converse(client);
            close(client);
        }
    }

    void Send(int client, const std::string& bytes) const {
        send(client, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }

    // Answers the client's offer of the com port option and then each flow
    // control command, as far as its misbehaviour lets it.
    void Converse(int client) const {
        if (how_ == Misbehaviour::Silent) {
            std::uint8_t sink[256];
            while (recv(client, sink, sizeof sink, 0) > 0) {
            }
            return;
        }
        Send(client, how_ == Misbehaviour::RefusesComPort ? "\xFF\xFE\x2C" : "\xFF\xFD\x2C");
        if (how_ == Misbehaviour::RefusesBinary)
            Send(client, std::string("\xFF\xFC\x00\xFF\xFE\x00", 6));
        std::uint8_t chunk[256];
        for (ssize_t got; (got = recv(client, chunk, sizeof chunk, 0)) > 0;) {
            const std::string bytes(reinterpret_cast<char*>(chunk), static_cast<std::size_t>(got));
            for (auto at = bytes.find("\xFF\xFA\x2C\x05");
                 at != std::string::npos && at + 4 < bytes.size();
                 at = bytes.find("\xFF\xFA\x2C\x05", at + 1)) {
                AnswerControl(client, static_cast<char>(bytes[at + 4]));
            }
        }
    }

    void AnswerControl(int client, char value) const {
        const std::string head("\xFF\xFA\x2C\x69", 4);
        switch (how_) {
            case Misbehaviour::NeverAcknowledges:
                return;
            case Misbehaviour::LeavesSubnegotiationOpen:
                Send(client, head + value);
                return;
            case Misbehaviour::KeepsFlowControl:
                Send(client, head + "\x02\xFF\xF0");
                return;
            default:
                Send(client, head + value + "\xFF\xF0");
        }
    }

    Misbehaviour how_;
    int listener_ = -1;
    sockaddr_in address_{};
    std::vector<int> fillers_;
    std::thread thread_;
};

// The link on the machine's serial device, its COM numbers from a store in a
// temporary folder, its lock files in that folder too.
class NetworkPort : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(system(("mkdir -p " + folder.File("locks")).c_str()), 0);
        store = platform::OpenFileSettingsStore(folder.File("VXConfig.reg"));
        device = NewDevice();
        link = std::make_unique<link::Link>(*device, platform::SystemClock(), events);
    }
    void TearDown() override { link->CloseCommPort(); }

    std::unique_ptr<platform::SerialDevice> NewDevice() {
        return platform::CreateLinuxSerialDevice(
            [this](const std::string& name) { return platform::ResolveComPort(name, *store); },
            folder.File("locks"));
    }

    void MapPort(int number, const std::string& target) {
        auto ports = store->CreateKey(std::string(platform::kProgramKeyPath) + "\\Ports");
        ASSERT_TRUE(ports && ports->WriteText("COM" + std::to_string(number), target));
    }

    // The module on its pseudo-terminal, one ser2net port in front of it.
    void StartModule(std::vector<std::string> simArgs, bool rfc2217 = true,
                     const std::string& serverLine = kServerLine) {
        simArgs.insert(simArgs.end(), {"--log", SimLog(), "--link", folder.File("com")});
        sim = std::make_unique<VxsimProcess>(simArgs);
        ASSERT_NE(sim->OutputThrough(folder.File("com")).find("ready"), std::string::npos);
        server = std::make_unique<Ser2net>(
            folder.Path(), std::vector<Ser2net::Port>{{folder.File("com"), serverLine, rfc2217}});
        ASSERT_TRUE(server->Ready()) << ReadFileText(folder.File("ser2net.log"));
        MapPort(kPort, server->Url(0));
    }

    std::string SimLog() const { return folder.File("vxsim.log"); }

    platform::testing::TempFolder folder;
    std::unique_ptr<platform::SettingsStore> store;
    std::unique_ptr<platform::SerialDevice> device;
    platform::InstallableEventPump events;
    std::unique_ptr<link::Link> link;
    std::unique_ptr<VxsimProcess> sim;
    std::unique_ptr<Ser2net> server;
};

TEST_F(NetworkPort, AReplyHoldingTelnetsEscapeByteArrivesWhole) {
    ASSERT_NO_FATAL_FAILURE(StartModule({"--line", kModuleLine, "--fault", "B00B:high-bytes"}));
    ASSERT_TRUE(link->OpenCommPort(kPort, kModuleLine)) << link->LastOpen().detail;
    ASSERT_TRUE(link->SendCommand("B00B")) << ReadFileText(SimLog());
    ASSERT_EQ(link->ReplyLength(), kIdentityReplyLength);
    EXPECT_EQ(link->ReplyText()[1], '\xFF');
    EXPECT_EQ(link->ReplyText()[4], '\xFF');
    ASSERT_TRUE(link->SendCommand("B00B"));
    EXPECT_EQ(link->ReplyText().substr(1, 4), "!01,") << "nothing left over from the last reply";
}

TEST_F(NetworkPort, ASecondOpenerIsBusyUntilTheFirstCloses) {
    ASSERT_NO_FATAL_FAILURE(StartModule({"--line", kModuleLine}));
    ASSERT_TRUE(link->OpenCommPort(kPort, kModuleLine)) << link->LastOpen().detail;
    const auto other = NewDevice();
    const platform::PortOpen busy = other->Open("COM1");
    EXPECT_EQ(busy.failure, PortFailure::Busy);
    EXPECT_EQ(busy.ownerPid, getpid());
    link->CloseCommPort();
    EXPECT_TRUE(other->Open("COM1").Opened());
}

// Bytes only: the module answers at the server's own setting, and a change
// of line settings is refused rather than pretended.
TEST_F(NetworkPort, ARawSocketCarriesTheExchangeButNoLineSettings) {
    ASSERT_NO_FATAL_FAILURE(StartModule({"--line", kModuleLine}, false, "19200e81"));
    ASSERT_TRUE(link->OpenCommPort(kPort, "9600,n,8,1")) << link->LastOpen().detail;
    EXPECT_TRUE(link->SendCommand("B00B")) << ReadFileText(SimLog());
    EXPECT_EQ(link->ReplyLength(), kIdentityReplyLength);
    EXPECT_FALSE(device->ApplyLineSettings(kModuleLine));
}

struct OpenCase {
    std::string name;
    std::optional<Misbehaviour> server;  // none: the target below
    std::string target;
    PortFailure failure;
    std::string reason;
    // The limit that ends the wait (acknowledge 1 s, connect 3 s), plus what
    // a loaded machine adds to the waits around it.
    std::chrono::milliseconds within{kQuick};
};

void PrintTo(const OpenCase& c, std::ostream* os) {
    *os << c.name;
}

class NetworkPortOpen : public NetworkPort, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(NetworkPortOpen, FailsWithItsReason) {
    const OpenCase& c = GetParam();
    std::unique_ptr<FakeServer> fake;
    if (c.server)
        fake = std::make_unique<FakeServer>(*c.server);
    MapPort(kPort, fake ? fake->Url() : c.target);
    const auto started = std::chrono::steady_clock::now();
    const platform::PortOpen opened = device->Open("COM1");
    EXPECT_LE(std::chrono::steady_clock::now() - started, c.within);
    EXPECT_EQ(opened.failure, c.failure);
    EXPECT_NE(opened.detail.find(c.reason), std::string::npos) << opened.detail;
    EXPECT_FALSE(device->IsOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Servers, NetworkPortOpen,
    ::testing::Values(
        OpenCase{"NeverAcknowledges", Misbehaviour::NeverAcknowledges, "", PortFailure::Other,
                 "did not acknowledge com port control within 1000 ms", kAcknowledge + kQuick},
        OpenCase{"Silent", Misbehaviour::Silent, "", PortFailure::Other,
                 "did not acknowledge com port control within 1000 ms", kAcknowledge + kQuick},
        OpenCase{"LeavesSubnegotiationOpen", Misbehaviour::LeavesSubnegotiationOpen, "",
                 PortFailure::Other, "did not acknowledge com port control within 1000 ms",
                 kAcknowledge + kQuick},
        OpenCase{"NeverAccepts", Misbehaviour::NeverAccepts, "", PortFailure::Other,
                 "did not accept a connection within 3000 ms", kConnect + kQuick},
        OpenCase{"RefusesComPort", Misbehaviour::RefusesComPort, "", PortFailure::Other,
                 "refuses com port control"},
        OpenCase{"KeepsFlowControl", Misbehaviour::KeepsFlowControl, "", PortFailure::Other,
                 "answered SET-CONTROL with 2"},
        OpenCase{"RefusesBinary", Misbehaviour::RefusesBinary, "", PortFailure::Other,
                 "refuses binary transmission"},
        // Tried again as a server still letting a session go, until the
        // connect limit.
        OpenCase{"HangsUp", Misbehaviour::HangsUp, "", PortFailure::Other, "closed the connection",
                 kConnect + kQuick},
        OpenCase{"NothingListens", std::nullopt,
                 "rfc2217://127.0.0.1:" + std::to_string(test::FreeTcpPort()), PortFailure::Missing,
                 ""},
        OpenCase{"PortZero", std::nullopt, "rfc2217://127.0.0.1:0", PortFailure::Missing, ""},
        OpenCase{"UnknownScheme", std::nullopt, "telnet://127.0.0.1:23", PortFailure::Missing, ""}),
    [](const auto& info) { return info.param.name; });

TEST_F(NetworkPort, UnacknowledgedLineSettingsAreRefusedButLeaveThePortOpen) {
    FakeServer fake(Misbehaviour::AcknowledgesOnlyControl);
    MapPort(kPort, fake.Url());
    ASSERT_TRUE(device->Open("COM1").Opened());
    EXPECT_FALSE(device->ApplyLineSettings(kModuleLine));
    EXPECT_TRUE(device->IsOpen());
    device->Close();  // before the server goes
}

// A window's event loop, probed: the longest it waited between two runs.
class ProbedEvents final : public platform::EventPump {
public:
    void RunPending() override {
        const auto now = std::chrono::steady_clock::now();
        if (runs_++ > 0)
            longest_ = std::max(longest_, now - last_);
        last_ = now;
    }
    int Runs() const { return runs_; }
    std::chrono::steady_clock::duration Longest() const { return longest_; }

private:
    int runs_ = 0;
    std::chrono::steady_clock::time_point last_;
    std::chrono::steady_clock::duration longest_{};
};

// A switched-off device server holds the connect for its whole limit; the
// window must keep painting and running its timers all along.
TEST_F(NetworkPort, EventsRunThroughoutAConnectThatNeverCompletes) {
    constexpr std::chrono::milliseconds kLongestEventGap{50};
    FakeServer off(Misbehaviour::NeverAccepts);
    MapPort(kPort, off.Url());
    ProbedEvents probe;
    link::Link probed(*device, platform::SystemClock(), probe);
    EXPECT_FALSE(probed.OpenCommPort(kPort, kModuleLine));
    EXPECT_GT(probe.Runs(), kConnect / kLongestEventGap);
    EXPECT_LE(probe.Longest(), kLongestEventGap);
}

struct RemoteCase {
    std::string name;
    std::chrono::milliseconds roundTrip;
    bool allowance;  // whether the round trip is added to the reply window
    bool answered;
};

void PrintTo(const RemoteCase& c, std::ostream* os) {
    *os << c.name;
}

class NoClaim final : public platform::PortClaim {
public:
    long Take(const std::string&) override { return 0; }
    void Release() override {}
};

// The module behind ser2net behind a network as slow as a cellular router's.
class RemoteSite : public NetworkPort, public ::testing::WithParamInterface<RemoteCase> {};

TEST_P(RemoteSite, TheModuleKeepsItsOwnReplyTime) {
    const RemoteCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(StartModule({"--line", kModuleLine}));
    test::DelayingProxy proxy(server->TcpPort(0), c.roundTrip);
    platform::NetworkLimits limits;
    if (!c.allowance)
        limits.maxAllowance = std::chrono::milliseconds{0};
    MapPort(kPort, "rfc2217://127.0.0.1:" + std::to_string(proxy.Port()));
    auto routed = platform::CreateRoutingSerialDevice(
        [this](const std::string& name) { return platform::ResolveComPort(name, *store); },
        [](platform::PortResolver) { return platform::CreateSystemSerialDevice({}); },
        platform::CreateNetworkSerialDevice(std::make_unique<NoClaim>(), limits));
    link::Link far(*routed, platform::SystemClock(), events);
    ASSERT_TRUE(far.OpenCommPort(kPort, kModuleLine)) << far.LastOpen().detail;
    for (const char* command : {"B00B", "B00V", "B00G"}) {
        EXPECT_EQ(far.SendCommand(command), c.answered) << command << ReadFileText(SimLog());
    }
    far.CloseCommPort();
}

INSTANTIATE_TEST_SUITE_P(
    RoundTrips, RemoteSite,
    ::testing::Values(RemoteCase{"Loopback", std::chrono::milliseconds{0}, true, true},
                      RemoteCase{"Rtt20", std::chrono::milliseconds{20}, true, true},
                      RemoteCase{"Rtt60", std::chrono::milliseconds{60}, true, true},
                      RemoteCase{"Rtt120", std::chrono::milliseconds{120}, true, true},
                      RemoteCase{"Rtt250", std::chrono::milliseconds{250}, true, true},
                      RemoteCase{"Rtt250WithoutAllowance", std::chrono::milliseconds{250}, false,
                                 false}),
    [](const auto& info) { return info.param.name; });

// vxctl through ser2net, one run per step, each as a technician would type it.
class VxctlOverNetwork : public NetworkPort {
protected:
    struct Outcome {
        int code = -1;
        std::string out;
    };

    // On the module's network port only, so the machine's own serial
    // ports are never touched.
    Outcome Vxctl(std::vector<std::string> args) {
        args.insert(args.end(),
                    {"--store", folder.File("VXConfig.reg"), "--json", "--device", server->Url(0)});
        auto program = Start(std::move(args));
        Outcome outcome;
        outcome.out = program->OutputToEnd();
        outcome.code = program->ExitStatus();
        return outcome;
    }
    std::unique_ptr<VxsimProcess> Start(std::vector<std::string> args) {
        return std::make_unique<VxsimProcess>(VXCTL_PATH, std::move(args), folder.File("err"));
    }
};

TEST_F(VxctlOverNetwork, EveryOperationReachesTheModule) {
    // At 38400: a scan must set the server's port to a rate the module hears.
    // A pseudo-terminal has no parity, so the search stops at "38400,n".
    ASSERT_NO_FATAL_FAILURE(StartModule(
        {"--line", "38400,e,8,1", "--serial", "58013462", "--inputs", "fixed:0100000000000010"}));
    const struct Step {
        std::vector<std::string> args;
        std::string shows;
    } steps[] = {
        {{"scan", "--all-settings"},
         "\"port\":\"COM1\",\"device\":\"" + server->Url(0) + "\",\"line\":\"38400,n,8,1\""},
        {{"set-id", "12"}, "\"ok\":true"},
        {{"scan"}, "\"id\":\"12\""},
        {{"set-mode", "hold", "--nonc", "1000000000000001"}, "\"ok\":true"},
        {{"scan"}, "\"mode\":\"hold\",\"nonc\":\"1000000000000001\""},
        {{"io", "--out", "1010000000000001"}, "\"inputs\":\"0100000000000010\""},
        // The new rate reaches the module; a search locked to it finds it.
        {{"set-baud", "57600,e,8,1"}, "\"ok\":true"},
        {{"scan", "--lock", "57600,e,8,1"}, "\"line\":\"57600,e,8,1\",\"id\":\"12\""},
        {{"factory"}, "\"ok\":true"},
        {{"scan", "--all-settings"}, "\"line\":\"19200,n,8,1\",\"id\":\"01\""},
    };
    for (const Step& step : steps) {
        const Outcome outcome = Vxctl(step.args);
        EXPECT_EQ(outcome.code, 0)
            << step.args.front() << ": " << outcome.out << ReadFileText(folder.File("err"));
        EXPECT_NE(outcome.out.find(step.shows), std::string::npos)
            << step.args.front() << ": " << outcome.out;
    }
}

// The server dies in the middle of a live run: the run ends as on an
// unplugged adapter, and once the server is back the next run finds the
// module again.
TEST_F(VxctlOverNetwork, AServerKilledMidRunIsAPortGoneUntilItReturns) {
    ASSERT_NO_FATAL_FAILURE(StartModule({"--line", kModuleLine}));
    auto watch =
        Start({"io", "--watch", "--out", "1000000000000000", "--store", folder.File("VXConfig.reg"),
               "--device", server->Url(0), "--lock", kModuleLine});
    ASSERT_NE(watch->OutputLines(1).find("inputs="), std::string::npos)
        << ReadFileText(folder.File("err"));
    server->Kill();
    EXPECT_EQ(watch->ExitStatus(), 1);
    EXPECT_NE(Vxctl({"io", "--no-scan"}).code, 0);

    server->Start();
    ASSERT_TRUE(server->Ready());
    const Outcome again = Vxctl({"io"});
    EXPECT_EQ(again.code, 0) << again.out << ReadFileText(folder.File("err"));
}

}  // namespace
}  // namespace vx
