// vxctl's search at its worst: 16 links, the module on the last one, at the
// last line setting, no lock and nothing remembered. The sequential scan is
// the window's (16 x 12 x 2 attempts); the parallel one searches the 16 ports
// at once, so its floor is one port's 12 x 2 attempts of about 160 ms.
// The parallel search runs once more with ser2net in front of every link,
// the tool reaching each port by its rfc2217:// URL (the goal for both: at
// most 1.1 times the floor), and again through ser2net's TLS, each port's
// certificate pinned in its rfc2217+tls:// URL.
// All run in one go:  build/bench/vx_ctl_bench
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "ser2net_process.h"
#include "temp_folder.h"
#include "test_certificates.h"
#include "vxsim_process.h"

namespace {

constexpr int kPorts = 16;
constexpr const char* kLastSetting = "115200,e,8,1";
constexpr double kAttemptSeconds = 0.160;
constexpr int kSettings = 12;
constexpr int kAttemptsPerSetting = 2;
// The sequential search takes about a minute.
constexpr std::chrono::seconds kScanBound{180};
constexpr double kParallelFloorSeconds = kSettings * kAttemptsPerSetting * kAttemptSeconds;

enum class Via { Pty, Ser2net, Tls };

void Scan(benchmark::State& state, bool parallel, Via via = Via::Pty) {
    vx::platform::testing::TempFolder folder;
    const std::unique_ptr<vx::test::TestCertificates> certificates =
        via == Via::Tls ? std::make_unique<vx::test::TestCertificates>() : nullptr;
    std::vector<std::string> simArgs;
    std::vector<std::string> ctlArgs{"scan", "--no-store", "--all-settings", "--json"};
    std::vector<vx::test::Ser2net::Port> served;
    for (int port = 1; port <= kPorts; ++port) {
        const std::string link = folder.File("com" + std::to_string(port));
        if (port < kPorts) {
            simArgs.insert(simArgs.end(), {"--silent", link});
        } else {
            simArgs.insert(simArgs.end(), {"--line", kLastSetting, "--link", link});
        }
        served.push_back(certificates ? certificates->ServerPort(link, "self", false)
                                      : vx::test::Ser2net::Port{link});
    }
    if (parallel)
        ctlArgs.push_back("--parallel");
    vx::test::VxsimProcess sim(simArgs);
    if (sim.OutputThrough(folder.File("com16")).find("ready") == std::string::npos) {
        state.SkipWithError("vxsim did not start");
        return;
    }
    std::unique_ptr<vx::test::Ser2net> server;
    if (via != Via::Pty) {
        server = std::make_unique<vx::test::Ser2net>(folder.Path(), served);
        if (!server->Ready()) {
            state.SkipWithError("ser2net did not start");
            return;
        }
    }
    for (std::size_t i = 0; i < served.size(); ++i) {
        const std::string url =
            !server        ? served[i].device
            : certificates ? "rfc2217+tls://127.0.0.1:" + std::to_string(server->TcpPort(i)) +
                                 "?cert-sha256=" + certificates->CertificatePin("self")
                           : server->Url(i);
        ctlArgs.insert(ctlArgs.end(), {"--device", url});
    }
    for (auto _ : state) {
        vx::test::VxsimProcess ctl(VXCTL_PATH, ctlArgs);
        const std::string out = ctl.OutputToEnd(kScanBound);
        if (ctl.ExitStatus() != 0 || out.find("\"port\":\"COM16\"") == std::string::npos)
            state.SkipWithError("the module was not found on COM16");
    }
    state.counters["floor_s"] = kParallelFloorSeconds;
}

void BM_SequentialScan(benchmark::State& state) {
    Scan(state, false);
}
void BM_ParallelScan(benchmark::State& state) {
    Scan(state, true);
}

void BM_ParallelScanThroughSer2net(benchmark::State& state) {
    Scan(state, true, Via::Ser2net);
}
void BM_ParallelScanThroughTls(benchmark::State& state) {
    Scan(state, true, Via::Tls);
}

BENCHMARK(BM_SequentialScan)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_ParallelScan)->Iterations(3)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_ParallelScanThroughSer2net)->Iterations(3)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_ParallelScanThroughTls)->Iterations(3)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace
