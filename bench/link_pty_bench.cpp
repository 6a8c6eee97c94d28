// What one transaction costs on the machine's real serial device: unanswered
// on a silent pseudo-terminal, and an answered identification against vxsim,
// on its pseudo-terminal, through ser2net on the loopback interface (the
// goal: at most 1.15 times the pseudo-terminal's time) and through ser2net's
// TLS with a pinned certificate (at most 1.1 times the plain RFC 2217 time).
// The opens through ser2net in the clear and through TLS: their difference
// is the handshake's cost.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "link/link.h"
#include "link/transaction.h"
#include "platform/com_ports.h"
#include "platform/settings_store.h"
#include "protocol/commands.h"
#include "pseudo_terminal.h"
#include "ser2net_process.h"
#include "temp_folder.h"
#include "test_certificates.h"
#include "vxsim_process.h"

namespace {

using namespace vx;

// One COM port mapped to `path`, with a link over it.
class MappedPort {
public:
    explicit MappedPort(const std::string& path)
        : store_(platform::OpenFileSettingsStore(folder_.File("VXConfig.reg"))) {
        store_->CreateKey(std::string(platform::kProgramKeyPath) + "\\Ports")
            ->WriteText("COM1", path);
        device_ = platform::CreateSystemSerialDevice(
            [this](const std::string& name) { return platform::ResolveComPort(name, *store_); });
        link_ = std::make_unique<link::Link>(*device_, platform::SystemClock(), events_);
    }

    link::Link& Link() { return *link_; }

private:
    platform::testing::TempFolder folder_;
    std::unique_ptr<platform::SettingsStore> store_;
    std::unique_ptr<platform::SerialDevice> device_;
    platform::InstallableEventPump events_;
    std::unique_ptr<link::Link> link_;
};

void BM_UnansweredTransactionOnPty(benchmark::State& state) {
    platform::testing::PseudoTerminal pty;
    MappedPort port(pty.SlavePath());
    port.Link().OpenCommPort(1, "19200,e,8,1");
    for (auto _ : state) benchmark::DoNotOptimize(port.Link().SendCommand(protocol::cmd::Identify));
    port.Link().CloseCommPort();
}
BENCHMARK(BM_UnansweredTransactionOnPty)->Unit(benchmark::kMillisecond)->Iterations(20);

enum class Via { Pty, Ser2net, Tls };

// The module on its pseudo-terminal at 115200,e,8,1, reached directly, through
// ser2net in the clear, or through ser2net's TLS with its certificate pinned.
class ModuleVia {
public:
    explicit ModuleVia(Via via) {
        const std::string path = folder_.File("com1");
        sim_ = std::make_unique<vx::test::VxsimProcess>(
            std::vector<std::string>{"--line", "115200,e,8,1", "--link", path});
        sim_->OutputThrough("ready");
        if (via == Via::Pty) {
            url_ = path;
            return;
        }
        certificates_ = std::make_unique<vx::test::TestCertificates>();
        server_ = std::make_unique<vx::test::Ser2net>(
            folder_.Path(), std::vector<vx::test::Ser2net::Port>{certificates_->ServerPort(
                                path, via == Via::Tls ? "self" : "", false)});
        if (!server_->Ready())
            return;
        url_ = via == Via::Tls ? "rfc2217+tls://127.0.0.1:" + std::to_string(server_->TcpPort(0)) +
                                     "?cert-sha256=" + certificates_->CertificatePin("self")
                               : server_->Url(0);
    }
    // Empty when the server did not start.
    const std::string& Url() const { return url_; }

private:
    platform::testing::TempFolder folder_;
    std::unique_ptr<vx::test::TestCertificates> certificates_;
    std::unique_ptr<vx::test::VxsimProcess> sim_;
    std::unique_ptr<vx::test::Ser2net> server_;
    std::string url_;
};

void AnsweredIdentify(benchmark::State& state, Via via) {
    const ModuleVia module(via);
    if (module.Url().empty()) {
        state.SkipWithError("ser2net did not start");
        return;
    }
    MappedPort port(module.Url());
    port.Link().OpenCommPort(1, "115200,e,8,1");
    int answered = 0;
    for (auto _ : state) answered += port.Link().SendCommand(protocol::cmd::Identify) ? 1 : 0;
    state.counters["answered"] = answered;
    port.Link().CloseCommPort();
}

// The connect, the negotiation and, over TLS, the handshake. The server is
// given time to let each session go, outside the timing, so that no open
// waits for it.
void Open(benchmark::State& state, Via via) {
    constexpr auto kLetGo = std::chrono::milliseconds(200);
    const ModuleVia module(via);
    if (module.Url().empty()) {
        state.SkipWithError("ser2net did not start");
        return;
    }
    MappedPort port(module.Url());
    int opened = 0;
    for (auto _ : state) {
        opened += port.Link().OpenCommPort(1, "115200,e,8,1") ? 1 : 0;
        state.PauseTiming();
        port.Link().CloseCommPort();
        std::this_thread::sleep_for(kLetGo);
        state.ResumeTiming();
    }
    state.counters["opened"] = opened;
}

void BM_AnsweredIdentifyAgainstVxsim(benchmark::State& state) {
    AnsweredIdentify(state, Via::Pty);
}
void BM_AnsweredIdentifyThroughSer2net(benchmark::State& state) {
    AnsweredIdentify(state, Via::Ser2net);
}
void BM_AnsweredIdentifyThroughTls(benchmark::State& state) {
    AnsweredIdentify(state, Via::Tls);
}
void BM_OpenThroughSer2net(benchmark::State& state) {
    Open(state, Via::Ser2net);
}
void BM_OpenThroughTls(benchmark::State& state) {
    Open(state, Via::Tls);
}
BENCHMARK(BM_AnsweredIdentifyAgainstVxsim)->Unit(benchmark::kMillisecond)->Iterations(50);
BENCHMARK(BM_AnsweredIdentifyThroughSer2net)->Unit(benchmark::kMillisecond)->Iterations(50);
BENCHMARK(BM_AnsweredIdentifyThroughTls)->Unit(benchmark::kMillisecond)->Iterations(50);
BENCHMARK(BM_OpenThroughSer2net)->Unit(benchmark::kMillisecond)->Iterations(20)->UseRealTime();
BENCHMARK(BM_OpenThroughTls)->Unit(benchmark::kMillisecond)->Iterations(20)->UseRealTime();

}  // namespace
