// Network ports as a plant has them: servers that are switched off, silent,
// lying or far away, each with its reason and its time.

#include "network_port_fixture.h"

namespace vx::network_test {
namespace {

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
        OpenCase{"KeepsInboundFlowControl", Misbehaviour::KeepsInboundFlowControl, "",
                 PortFailure::Other, "answered SET-CONTROL with 15"},
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

struct ExchangeCase {
    std::string name;
    Misbehaviour server;
    bool lineSet;
    bool answered;  // a command, after the line settings
};

void PrintTo(const ExchangeCase& c, std::ostream* os) {
    *os << c.name;
}

class NetworkPortExchange : public NetworkPort,
                            public ::testing::WithParamInterface<ExchangeCase> {};

// Servers that open but then mislead: the port stays open, and what they
// break is reported as a refusal or an unanswered command, in its own time.
TEST_P(NetworkPortExchange, ReportsWhatTheServerBroke) {
    const ExchangeCase& c = GetParam();
    FakeServer fake(c.server);
    MapPort(kPort, fake.Url());
    ASSERT_TRUE(device->Open("COM1").Opened());
    EXPECT_EQ(device->ApplyLineSettings(kModuleLine), c.lineSet);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(link->SendCommand("B00B"), c.answered);
    EXPECT_LE(std::chrono::steady_clock::now() - started, kAcknowledge + kQuick);
    EXPECT_TRUE(device->IsOpen());
    device->Close();  // before the server goes
}

INSTANTIATE_TEST_SUITE_P(
    Servers, NetworkPortExchange,
    ::testing::Values(ExchangeCase{"AcknowledgesOnlyControl", Misbehaviour::AcknowledgesOnlyControl,
                                   false, false},
                      ExchangeCase{"WrongBaudEcho", Misbehaviour::WrongBaudEcho, false, false},
                      ExchangeCase{"VerbInsideSubnegotiation",
                                   Misbehaviour::VerbInsideSubnegotiation, true, false},
                      ExchangeCase{"FloodsData", Misbehaviour::FloodsData, true, false},
                      ExchangeCase{"StopsReading", Misbehaviour::StopsReading, true, false}),
    [](const auto& info) { return info.param.name; });

// A purge drops what the server held before it confirmed, and keeps what it
// sent after. A confirmation that came too late is waited for again next time.
class NetworkPortPurge : public NetworkPort, public ::testing::WithParamInterface<Misbehaviour> {};

TEST_P(NetworkPortPurge, KeepsOnlyWhatFollowsTheConfirmation) {
    FakeServer fake(GetParam());
    MapPort(kPort, fake.Url());
    ASSERT_TRUE(device->Open("COM1").Opened());
    if (GetParam() == Misbehaviour::ConfirmsFirstPurgeLate) {
        device->DiscardInput();
        const auto drain = static_cast<std::uint32_t>(2 * FakeServer::kLateConfirmation.count());
        while (device->ReadByteWithin(drain)) {
        }
    }
    device->DiscardInput();
    const auto wait = static_cast<std::uint32_t>(kAcknowledge.count());
    EXPECT_EQ(device->ReadByteWithin(wait), FakeServer::kNewByte);
    EXPECT_EQ(device->ReadByteWithin(wait), std::nullopt);
    device->Close();
}

INSTANTIATE_TEST_SUITE_P(Servers, NetworkPortPurge,
                         ::testing::Values(Misbehaviour::HoldsStaleBytes,
                                           Misbehaviour::ConfirmsFirstPurgeLate),
                         [](const auto& info) {
                             return info.param == Misbehaviour::HoldsStaleBytes ? "OnTime" : "Late";
                         });

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

}  // namespace
}  // namespace vx::network_test
