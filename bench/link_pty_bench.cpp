// What one transaction costs on the machine's real serial device: unanswered
// on a silent pseudo-terminal, and an answered identification against vxsim.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "link/commands.h"
#include "link/link.h"
#include "link/transaction.h"
#include "platform/com_ports.h"
#include "platform/settings_store.h"
#include "pseudo_terminal.h"
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
    for (auto _ : state) benchmark::DoNotOptimize(port.Link().SendCommand(link::cmd::Identify));
    port.Link().CloseCommPort();
}
BENCHMARK(BM_UnansweredTransactionOnPty)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_AnsweredIdentifyAgainstVxsim(benchmark::State& state) {
    platform::testing::TempFolder folder;
    const std::string path = folder.File("com1");
    vx::test::VxsimProcess sim({"--line", "115200,e,8,1", "--link", path});
    sim.OutputThrough("ready");
    MappedPort port(path);
    port.Link().OpenCommPort(1, "115200,e,8,1");
    int answered = 0;
    for (auto _ : state) answered += port.Link().SendCommand(link::cmd::Identify) ? 1 : 0;
    state.counters["answered"] = answered;
    port.Link().CloseCommPort();
}
BENCHMARK(BM_AnsweredIdentifyAgainstVxsim)->Unit(benchmark::kMillisecond)->Iterations(50);

}  // namespace
