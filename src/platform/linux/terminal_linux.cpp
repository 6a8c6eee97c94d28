#include <unistd.h>

#include <csignal>
#include <fstream>

#include "platform/terminal.h"

namespace vx::platform {

namespace {

volatile std::sig_atomic_t interrupted = 0;

extern "C" void OnInterrupt(int) {
    interrupted = 1;
}

}  // namespace

// Nothing to put back: every terminal here takes UTF-8 and escapes.
struct Terminal::Console {};

Terminal::Terminal(Stream which, std::ostream&)
    : terminal_(isatty(which == Stream::Out ? STDOUT_FILENO : STDERR_FILENO) == 1),
      escapes_(terminal_) {}

Terminal::~Terminal() = default;

void CatchInterrupts() {
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_handler = OnInterrupt;
    // Restarted system calls: a read in the middle of an exchange goes on.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool InterruptRequested() {
    return interrupted != 0;
}

std::string ProcessName(long pid) {
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

std::unique_ptr<SettingsStore> OpenSettingsStoreAt(const std::string& path) {
    return OpenFileSettingsStore(path);
}

}  // namespace vx::platform
