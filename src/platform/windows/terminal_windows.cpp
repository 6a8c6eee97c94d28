#include <io.h>
#include <stdio.h>
#include <windows.h>

#include <atomic>

#include "platform/terminal.h"

namespace vx::platform {

namespace {

std::atomic<bool> interrupted{false};

// Runs on a thread of its own that the console starts; answering TRUE keeps
// the process alive so that the program ends by itself.
BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        interrupted = true;
        return TRUE;
    }
    return FALSE;
}

}  // namespace

bool IsTerminal(Stream stream) {
    return _isatty(_fileno(stream == Stream::Out ? stdout : stderr)) != 0;
}

void CatchInterrupts() {
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

bool InterruptRequested() {
    return interrupted;
}

std::string ProcessName(long) {
    return {};
}

std::unique_ptr<SettingsStore> OpenSettingsStoreAt(const std::string&) {
    return nullptr;
}

}  // namespace vx::platform
