// A long run of transactions against vxsim with random reply faults, on the
// machine's real serial device over a pseudo-terminal: how many succeed, how
// many succeed with the reply meant for another command, and what memory and
// processor time the link uses on the way.
//   vx_link_soak [TRANSACTIONS] [SEED]     (default 10000 transactions, seed 1)
#include <sys/resource.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "link/link.h"
#include "platform/com_ports.h"
#include "platform/serial_device.h"
#include "platform/settings_store.h"
#include "process_stats.h"
#include "sim/frame_codec.h"
#include "temp_folder.h"
#include "vxsim_process.h"

namespace {

using namespace vx;

constexpr const char* kLine = "115200,e,8,1";
constexpr const char* kFaultProbability = "0.05";
constexpr int kDefaultTransactions = 10000;

// The commands in turn, each with the reply text the module gives it, so a
// reply can be told to belong to another command.
struct Exchange {
    const char* command;
    const char* reply;
};
constexpr std::array<Exchange, 4> kExchanges{{
    {"B00B", "!01,12345678"},
    {"B00V", "!01,03.20-01"},
    {"B00G", "!01,H"},
    {"B00A", "!01,1000000000000001"},
}};

double CpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

struct Tally {
    int successes = 0;
    int wrongCommand = 0;
    int wrongAfterFailure = 0;  // a late reply that landed in the next wait
    int damaged = 0;
};

void Count(Tally& tally, const link::Link& link, std::size_t exchange, bool previousFailed) {
    // The module framed the reply with the simulator's codec; it takes it apart.
    const std::string text = sim::FrameText(link.ReplyText());
    ++tally.successes;
    if (text == kExchanges[exchange].reply)
        return;
    for (const auto& other : kExchanges) {
        if (text == other.reply) {
            ++tally.wrongCommand;
            tally.wrongAfterFailure += previousFailed ? 1 : 0;
            return;
        }
    }
    ++tally.damaged;
}

}  // namespace

int main(int argc, char** argv) {
    const int transactions = argc > 1 ? std::atoi(argv[1]) : kDefaultTransactions;
    const std::string seed = argc > 2 ? argv[2] : "1";
    platform::testing::TempFolder folder;
    const std::string path = folder.File("com1");
    test::VxsimProcess sim({"--line", kLine, "--nonc", "1000000000000001", "--random-faults",
                            kFaultProbability, "--seed", seed, "--link", path});
    sim.OutputThrough("ready");
    auto store = platform::OpenFileSettingsStore(folder.File("VXConfig.reg"));
    store->CreateKey(std::string{platform::kProgramKeyPath} + "\\Ports")->WriteText("COM1", path);
    auto device = platform::CreateSystemSerialDevice(
        [&](const std::string& name) { return platform::ResolveComPort(name, *store); });
    platform::InstallableEventPump events;
    link::Link link(*device, platform::SystemClock(), events);
    if (!link.OpenCommPort(1, kLine)) {
        std::fprintf(stderr, "vx_link_soak: cannot open the simulated port\n");
        return 1;
    }

    Tally tally;
    bool previousFailed = false;
    const long rssBefore = bench::ResidentKiB();
    const double cpuBefore = CpuMs();
    for (int k = 0; k < transactions; ++k) {
        const std::size_t exchange = static_cast<std::size_t>(k) % kExchanges.size();
        const bool ok = link.SendCommand(kExchanges[exchange].command);
        if (ok)
            Count(tally, link, exchange, previousFailed);
        previousFailed = !ok;
    }
    const double cpuMs = CpuMs() - cpuBefore;
    const long rssGrowth = bench::ResidentKiB() - rssBefore;
    link.CloseCommPort();

    std::printf("transactions             %d (random faults %s, seed %s)\n", transactions,
                kFaultProbability, seed.c_str());
    std::printf("successes                %d\n", tally.successes);
    std::printf(
        "wrong-command replies    %d (%d right after a failed transaction: its late "
        "reply landed in the next wait)\n",
        tally.wrongCommand, tally.wrongAfterFailure);
    std::printf("  of which otherwise     %d (expected 0: stale input is discarded)\n",
                tally.wrongCommand - tally.wrongAfterFailure);
    std::printf("damaged successes        %d (a reply of the wrong length with a good checksum)\n",
                tally.damaged);
    std::printf("RSS growth               %ld kB\n", rssGrowth);
    std::printf("CPU per transaction      %.3f ms\n",
                transactions > 0 ? cpuMs / transactions : 0.0);
    return 0;
}
