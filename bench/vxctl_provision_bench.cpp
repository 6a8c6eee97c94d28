// The production line, long: one `vxctl provision` while modules are plugged
// in and pulled out in turn on one link, each a vxsim started on it and ended
// once vxctl has logged the module. Fifty serial numbers come round again and
// again, so every module gets its ID from the log as on a line that sees its
// modules back. Prints the time per module and vxctl's resident memory and
// open descriptors after the first module and after the last; they must not
// grow (exit 1 if they do).
//   vx_ctl_provision_bench [MODULES]     (default 1000)
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "process_stats.h"
#include "temp_folder.h"
#include "vxsim_process.h"

namespace {

using vx::platform::testing::TempFolder;
using vx::test::VxsimProcess;
using Clock = std::chrono::steady_clock;

constexpr int kDefaultModules = 1000;
constexpr int kSerials = 50;
// Pages the allocator may keep or give back between two readings.
constexpr long kRssSlackKb = 512;
constexpr auto kSettle = std::chrono::milliseconds(1500);

long OpenDescriptors(pid_t pid) {
    std::error_code error;
    const std::filesystem::directory_iterator fds("/proc/" + std::to_string(pid) + "/fd", error);
    return error ? -1 : std::distance(fds, std::filesystem::directory_iterator{});
}

// The readings are taken while vxctl waits for the next module, its port
// closed and its beep over, so that both find it in the same state.
void Settle() {
    std::this_thread::sleep_for(kSettle);
}

std::string SerialOf(int module) {
    char serial[16];
    std::snprintf(serial, sizeof serial, "PB%06d", module % kSerials);
    return serial;
}

}  // namespace

int main(int argc, char** argv) {
    const int modules = argc > 1 ? std::max(2, std::atoi(argv[1])) : kDefaultModules;
    TempFolder folder;
    const std::string link = folder.File("line");
    VxsimProcess vxctl(
        VXCTL_PATH,
        {"provision", "--id-from", "1", "--mode", "normal", "--nonc", "1100000000000011", "--log",
         folder.File("line.csv"), "--store", folder.File("VXConfig.reg"), "--device", link},
        folder.File("vxctl.err"));

    long rssStart = 0;
    long fdsStart = 0;
    auto firstDone = Clock::now();
    int failed = 0;
    std::vector<double> perModuleMs;
    auto last = Clock::now();
    for (int k = 0; k < modules; ++k) {
        VxsimProcess module({"--serial", SerialOf(k), "--link", link});
        if (module.OutputThrough(link).find("ready") == std::string::npos) {
            std::fprintf(stderr, "vxsim did not start for module %d\n", k + 1);
            return 2;
        }
        const std::string out = vxctl.OutputLines(static_cast<std::size_t>(k) + 1);
        if (static_cast<int>(std::count(out.begin(), out.end(), '\n')) <= k) {
            std::fprintf(stderr, "vxctl did not log module %d\n", k + 1);
            return 2;
        }
        if (!out.ends_with(" ok\n")) {
            ++failed;
            const auto from = out.rfind('\n', out.size() - 2);
            std::fprintf(stderr, "%s",
                         out.substr(from == std::string::npos ? 0 : from + 1).c_str());
        }
        const auto now = Clock::now();
        perModuleMs.push_back(std::chrono::duration<double, std::milli>(now - last).count());
        last = now;
        module.Signal(SIGTERM);  // pulled out
        module.ExitStatus();
        if (k == 0) {
            Settle();
            rssStart = vx::bench::ResidentKiB(std::to_string(vxctl.Pid()));
            fdsStart = OpenDescriptors(vxctl.Pid());
            firstDone = last = Clock::now();
        }
    }
    Settle();
    const long rssEnd = vx::bench::ResidentKiB(std::to_string(vxctl.Pid()));
    const long fdsEnd = OpenDescriptors(vxctl.Pid());
    vxctl.Signal(SIGINT);
    const int code = vxctl.ExitStatus();

    const double meanMs =
        std::chrono::duration<double, std::milli>(last - firstDone).count() / (modules - 1);
    std::sort(perModuleMs.begin() + 1, perModuleMs.end());
    std::printf("modules            %d (%d failed), vxctl exit %d\n", modules, failed, code);
    std::printf("time per module    %.0f ms mean, %.0f ms median, %.0f ms slowest\n", meanMs,
                perModuleMs[perModuleMs.size() / 2], perModuleMs.back());
    std::printf("resident memory    %ld kB after the first module, %ld kB after the last\n",
                rssStart, rssEnd);
    std::printf("open descriptors   %ld after the first module, %ld after the last\n", fdsStart,
                fdsEnd);
    const bool grew = fdsEnd > fdsStart || rssEnd > rssStart + kRssSlackKb;
    std::printf("%s\n", grew ? "GROWTH" : "flat");
    return grew || failed > 0 ? 1 : 0;
}
