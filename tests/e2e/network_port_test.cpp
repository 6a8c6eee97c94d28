// Network ports against a real device server: ser2net on 127.0.0.1 in front
// of vxsim's pseudo-terminals, reached by the link in this process and by
// vxctl. Each ser2net starts at a line setting the module does not listen
// at, so every answer proves that the client's line settings crossed the
// server to the port. Servers that misbehave are played by the test.

#include "network_port_fixture.h"

namespace vx::network_test {
namespace {

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

// ser2net sends its notices only when asked; a server that sends them
// unasked, inside the module's reply, must not break the reply.
TEST_F(NetworkPort, NoticesInsideAReplyLeaveItWhole) {
    ASSERT_NO_FATAL_FAILURE(StartModule({"--line", kModuleLine}));
    test::DelayingProxy proxy(server->TcpPort(0), std::chrono::milliseconds{0});
    MapPort(kPort, "rfc2217://127.0.0.1:" + std::to_string(proxy.Port()));
    ASSERT_TRUE(link->OpenCommPort(kPort, kModuleLine)) << link->LastOpen().detail;
    // NOTIFY-LINESTATE and NOTIFY-MODEMSTATE, the line's state unchanged.
    proxy.InjectTowardClient(
        std::string("\xFF\xFA\x2C\x6A\x60\xFF\xF0\xFF\xFA\x2C\x6B\x30\xFF\xF0", 14));
    for (int exchange = 0; exchange < 2; ++exchange) {
        ASSERT_TRUE(link->SendCommand("B00B")) << ReadFileText(SimLog());
        EXPECT_EQ(link->ReplyLength(), kIdentityReplyLength);
        EXPECT_EQ(link->ReplyText().substr(1, 4), "!01,");
    }
}

// The lock is the server's address and port, however the URL spells them.
// Each spelling is what comes before the server's port number.
class NetworkPortLock : public NetworkPort, public ::testing::WithParamInterface<std::string> {};

TEST_P(NetworkPortLock, ASecondOpenerIsBusyUntilTheFirstCloses) {
    ASSERT_NO_FATAL_FAILURE(StartModule({"--line", kModuleLine}));
    ASSERT_TRUE(link->OpenCommPort(kPort, kModuleLine)) << link->LastOpen().detail;
    constexpr int kOtherPort = kPort + 1;
    MapPort(kOtherPort, GetParam() + std::to_string(server->TcpPort(0)));
    const auto other = NewDevice();
    const std::string otherName = "COM" + std::to_string(kOtherPort);
    const platform::PortOpen busy = other->Open(otherName);
    EXPECT_EQ(busy.failure, PortFailure::Busy) << busy.detail;
    EXPECT_EQ(busy.ownerPid, getpid());
    link->CloseCommPort();
    EXPECT_TRUE(other->Open(otherName).Opened());
}

std::string SpellingName(const ::testing::TestParamInfo<std::string>& info) {
    constexpr const char* kNames[] = {"SameUrl", "RawSocket", "HostName", "MappedIpv6"};
    return kNames[info.index];
}

INSTANTIATE_TEST_SUITE_P(Spellings, NetworkPortLock,
                         ::testing::Values("rfc2217://127.0.0.1:", "socket://127.0.0.1:",
                                           "rfc2217://localhost:", "rfc2217://[::ffff:127.0.0.1]:"),
                         SpellingName);

// Bytes only: the module answers at the server's own setting, and a change
// of line settings is refused rather than pretended.
TEST_F(NetworkPort, ARawSocketCarriesTheExchangeButNoLineSettings) {
    ASSERT_NO_FATAL_FAILURE(StartModule({"--line", kModuleLine}, false, "19200e81"));
    ASSERT_TRUE(link->OpenCommPort(kPort, "9600,n,8,1")) << link->LastOpen().detail;
    EXPECT_TRUE(link->SendCommand("B00B")) << ReadFileText(SimLog());
    EXPECT_EQ(link->ReplyLength(), kIdentityReplyLength);
    EXPECT_FALSE(device->ApplyLineSettings(kModuleLine));
}

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
}  // namespace vx::network_test
