#pragma once

// The link against device servers: ser2net on 127.0.0.1 in front of
// vxsim's pseudo-terminals, and servers that misbehave, played by the test.
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
#include "fake_device_server.h"
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

namespace vx::network_test {

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

using test::FakeServer;
using test::Misbehaviour;

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

// vxctl through ser2net, one run per step, each as a technician would type it.
class VxctlOverNetwork : public NetworkPort {
protected:
    struct Outcome {
        int code = -1;
        std::string out;
    };

    // On the module's network port only, so the machine's own serial
    // ports are never touched.
    // `device` is the server's own URL unless named.
    Outcome Vxctl(std::vector<std::string> args, const std::string& device = {}) {
        args.insert(args.end(), {"--store", folder.File("VXConfig.reg"), "--json", "--device",
                                 device.empty() ? server->Url(0) : device});
        auto program = Start(std::move(args));
        Outcome outcome;
        // A search over a slow network takes a while: a missed line setting
        // costs about 2 s at a 250 ms round trip.
        constexpr std::chrono::seconds kSlowSearch{60};
        outcome.out = program->OutputToEnd(kSlowSearch);
        outcome.code = program->ExitStatus();
        return outcome;
    }
    std::unique_ptr<VxsimProcess> Start(std::vector<std::string> args) {
        return std::make_unique<VxsimProcess>(VXCTL_PATH, std::move(args), folder.File("err"));
    }
};

}  // namespace vx::network_test
