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
