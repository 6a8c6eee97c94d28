// vxsim: the I/O module on pseudo-terminals, for running and testing vxconfig
// without the hardware. See --help.
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "sim/pty_frontend.h"
#include "sim/vxsim_options.h"

namespace {

constexpr int kUsageError = 2;
constexpr int kStartError = 1;

volatile std::sig_atomic_t stopRequested = 0;
volatile std::sig_atomic_t hangUpRequested = 0;

extern "C" void OnStop(int) {
    stopRequested = 1;
}
extern "C" void OnHangUp(int) {
    hangUpRequested = 1;
}

// The signals stay blocked except while the frontend waits, so a flag set by
// a handler is always seen before the next wait. Returns the mask to wait with.
sigset_t InstallHandlers() {
    sigset_t handled;
    sigemptyset(&handled);
    for (int signal : {SIGTERM, SIGINT, SIGUSR1}) sigaddset(&handled, signal);
    sigset_t waitMask;
    sigprocmask(SIG_BLOCK, &handled, &waitMask);
    for (int signal : {SIGTERM, SIGINT, SIGUSR1}) sigdelset(&waitMask, signal);

    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_handler = OnStop;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    action.sa_handler = OnHangUp;
    sigaction(SIGUSR1, &action, nullptr);
    return waitMask;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const auto parsed = vx::sim::ParseVxsimOptions(args);
    if (parsed.options.help) {
        std::cout << vx::sim::VxsimHelp();
        return 0;
    }
    if (!parsed.error.empty()) {
        std::cerr << "vxsim: " << parsed.error << "\nTry 'vxsim --help'.\n";
        return kUsageError;
    }
    const sigset_t waitMask = InstallHandlers();
    vx::sim::PtyFrontend frontend(parsed.options, std::cout);
    if (const auto error = frontend.Start(); !error.empty()) {
        std::cerr << "vxsim: " << error << "\n";
        return kStartError;
    }
    frontend.Run(stopRequested, hangUpRequested, waitMask);
    return 0;
}
