// What one transaction costs on the machine's real serial device: unanswered
// on a silent pseudo-terminal, and an answered identification against vxsim,
// on its pseudo-terminal and through ser2net on the loopback interface (the
// goal: at most 1.15 times the pseudo-terminal's time).
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "link/link.h"
#include "link/transaction.h"
#include "platform/com_ports.h"
#include "platform/settings_store.h"
#include "protocol/commands.h"
#include "pseudo_terminal.h"
#include "ser2net_process.h"
#include "temp_folder.h"
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

// The module on its pseudo-terminal, reached directly or through ser2net.
void AnsweredIdentify(benchmark::State& state, bool throughServer) {
    platform::testing::TempFolder folder;
    const std::string path = folder.File("com1");
    vx::test::VxsimProcess sim({"--line", "115200,e,8,1", "--link", path});
    sim.OutputThrough("ready");
    std::unique_ptr<vx::test::Ser2net> server;
    if (throughServer) {
        server = std::make_unique<vx::test::Ser2net>(folder.Path(),
                                                     std::vector<vx::test::Ser2net::Port>{{path}});
        if (!server->Ready()) {
            state.SkipWithError("ser2net did not start");
            return;
        }
    }
    MappedPort port(server ? server->Url(0) : path);
    port.Link().OpenCommPort(1, "115200,e,8,1");
    int answered = 0;
    for (auto _ : state) answered += port.Link().SendCommand(protocol::cmd::Identify) ? 1 : 0;
    state.counters["answered"] = answered;
    port.Link().CloseCommPort();
}

void BM_AnsweredIdentifyAgainstVxsim(benchmark::State& state) {
    AnsweredIdentify(state, false);
}
void BM_AnsweredIdentifyThroughSer2net(benchmark::State& state) {
    AnsweredIdentify(state, true);
}
BENCHMARK(BM_AnsweredIdentifyAgainstVxsim)->Unit(benchmark::kMillisecond)->Iterations(50);
BENCHMARK(BM_AnsweredIdentifyThroughSer2net)->Unit(benchmark::kMillisecond)->Iterations(50);

}  // namespace
