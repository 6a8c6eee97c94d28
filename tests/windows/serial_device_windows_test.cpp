// The Windows serial device through the link, on COM ports that
// scripts/wine-tests maps to vxsim's pseudo-terminals: one with a module,
// one that never answers; and on Winsock, a module behind ser2net that the
// program's own Ports table names by its URL. Parity cannot be checked here: Wine cannot set it
// on a pseudo-terminal, and vxsim cannot see it.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "link/link.h"
#include "link/transaction.h"
#include "platform/clock.h"
#include "platform/com_ports.h"
#include "platform/event_pump.h"
#include "platform/serial_device.h"
#include "platform/settings_store.h"

namespace vx {
namespace {

constexpr const char* kModulePortVariable = "VX_WINE_MODULE_PORT";
constexpr const char* kSilentPortVariable = "VX_WINE_SILENT_PORT";
// A port whose device is no terminal: its driver takes no line settings.
constexpr const char* kRefusingPortVariable = "VX_WINE_REFUSING_PORT";
// A URL of the module behind ser2net, which starts at another rate.
constexpr const char* kNetworkPortVariable = "VX_WINE_NETWORK_URL";
constexpr int kNetworkComNumber = 40;
constexpr const char* kModuleLine = "19200,e,8,1";
constexpr int kIdentityReplyLength = 16;
constexpr int kEmptyReads = 100;
constexpr double kReadTimeLimitMs = 1.0;
// Far above anything a working port takes: only a read that ignores its time
// limit, or a reply wait that never ends, gets here.
constexpr std::chrono::milliseconds kHangBound{5000};

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

int PortFromEnvironment(const char* variable) {
    const char* value = std::getenv(variable);
    return value == nullptr ? 0 : std::atoi(value);
}

class WineSerial : public ::testing::Test {
protected:
    void SetUp() override {
        modulePort = PortFromEnvironment(kModulePortVariable);
        silentPort = PortFromEnvironment(kSilentPortVariable);
        ASSERT_GT(modulePort, 0) << kModulePortVariable << " names no COM port";
        ASSERT_GT(silentPort, 0) << kSilentPortVariable << " names no COM port";
    }
    void TearDown() override { link.CloseCommPort(); }

    // Prints a figure so that a run of the tests is also a measurement.
    static void Report(const char* what, double ms) {
        std::printf("[ figure ] %s: %.1f ms\n", what, ms);
    }

    std::unique_ptr<platform::SerialDevice> device =
        platform::CreateSystemSerialDevice([](const std::string& name) { return name; });
    platform::InstallableEventPump events;
    link::Link link{*device, platform::SystemClock(), events};
    int modulePort = 0;
    int silentPort = 0;
};

TEST_F(WineSerial, TheModuleAnswersItsIdentity) {
    ASSERT_TRUE(link.OpenCommPort(modulePort, kModuleLine));
    const auto start = Clock::now();
    ASSERT_TRUE(link.SendCommand("B00B"));
    Report("answered B00B exchange", MsSince(start));
    EXPECT_EQ(link.ReplyLength(), kIdentityReplyLength) << link.ReplyText();
}

TEST_F(WineSerial, AnUnansweredCommandEndsAfterTheReplyWindow) {
    ASSERT_TRUE(link.OpenCommPort(silentPort, kModuleLine));
    const auto start = Clock::now();
    EXPECT_FALSE(link.SendCommand("B00B"));
    const double ms = MsSince(start);
    Report("unanswered B00B", ms);
    EXPECT_GE(ms, static_cast<double>(link::kReplyWindowMs));
    EXPECT_LT(ms, static_cast<double>(kHangBound.count()));
}

TEST_F(WineSerial, AnEmptyReadWaitsAboutAMillisecond) {
    ASSERT_TRUE(device->Open("COM" + std::to_string(silentPort)).Opened());
    const auto start = Clock::now();
    int bytes = 0;
    for (int i = 0; i < kEmptyReads; ++i) bytes += device->ReadByte().has_value() ? 1 : 0;
    const double ms = MsSince(start);
    Report("100 unanswered 1 ms reads", ms);
    EXPECT_EQ(bytes, 0);
    // Each read waits out its time limit, so a polling caller never spins.
    EXPECT_GE(ms, kEmptyReads * kReadTimeLimitMs);
    EXPECT_LT(ms, static_cast<double>(kHangBound.count()));
}

// A read on such a port could wait for ever: the open fails instead, with
// the driver's reason, and leaves the port closed for the next try.
TEST_F(WineSerial, APortWhoseDriverRefusesTheLineIsNotOpened) {
    const int refusing = PortFromEnvironment(kRefusingPortVariable);
    ASSERT_GT(refusing, 0) << kRefusingPortVariable << " names no COM port";
    const platform::PortOpen open = device->Open("COM" + std::to_string(refusing));
    EXPECT_EQ(open.failure, platform::PortFailure::Other);
    EXPECT_NE(open.detail.find("the driver"), std::string::npos) << open.detail;
    EXPECT_NE(open.detail.find("Windows error"), std::string::npos) << open.detail;
    EXPECT_FALSE(device->IsOpen());
    EXPECT_TRUE(device->Open("COM" + std::to_string(modulePort)).Opened());
}

TEST_F(WineSerial, APortsEntryNamingAUrlReachesTheModuleOverWinsock) {
    const char* url = std::getenv(kNetworkPortVariable);
    ASSERT_NE(url, nullptr) << kNetworkPortVariable << " names no network port";
    const auto store = platform::OpenSystemSettingsStore();
    ASSERT_TRUE(store);
    const std::string portsPath = std::string(platform::kProgramKeyPath) + "\\Ports";
    const auto ports = store->CreateKey(portsPath);
    ASSERT_TRUE(ports && ports->WriteText("COM" + std::to_string(kNetworkComNumber), url));
    const std::string module = "COM" + std::to_string(modulePort);
    EXPECT_EQ(platform::ResolveComPort(module, *store), module) << "no entry: the native port";

    const auto networked = platform::CreateSystemSerialDevice(
        [&store](const std::string& name) { return platform::ResolveComPort(name, *store); });
    link::Link overNetwork{*networked, platform::SystemClock(), events};
    ASSERT_TRUE(overNetwork.OpenCommPort(kNetworkComNumber, kModuleLine))
        << overNetwork.LastOpen().detail;
    const auto start = Clock::now();
    EXPECT_TRUE(overNetwork.SendCommand("B00B"));
    Report("answered B00B through ser2net", MsSince(start));
    EXPECT_EQ(overNetwork.ReplyLength(), kIdentityReplyLength) << overNetwork.ReplyText();
    overNetwork.CloseCommPort();
}

}  // namespace
}  // namespace vx
