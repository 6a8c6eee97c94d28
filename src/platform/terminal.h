#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "platform/settings_store.h"

namespace vx::platform {

// What a terminal program needs of the machine beyond the serial ports.

enum class Stream { Out, Err };

// A standard stream readied for the program's UTF-8 text for as long as it
// lives. A Windows console takes its text as UTF-16, whatever its code page,
// and escape sequences only once asked to; a pipe or file gets the UTF-8
// bytes as they stand. The stream is put back as it was at the end.
class Terminal {
public:
    Terminal(Stream which, std::ostream& stream);
    ~Terminal();
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    // A person watches, rather than a pipe or file.
    bool IsTerminal() const { return terminal_; }
    // It draws colour and clears lines from escape sequences.
    bool TakesEscapes() const { return escapes_; }

private:
    struct Console;
    std::unique_ptr<Console> console_;
    bool terminal_ = false;
    bool escapes_ = false;
};

// Catches the interrupt key (Ctrl-C, and on Linux SIGTERM too) from now on:
// instead of ending the program it only sets a flag, which the program looks
// at between exchanges, so a port is never left open or locked.
void CatchInterrupts();
bool InterruptRequested();

// The name of a running process, to tell who holds a port; empty where the
// system does not tell it (the process is gone, or it may not be seen).
std::string ProcessName(long pid);

// The settings store kept at `path` instead of the machine's own; nothing
// where the machine keeps its store elsewhere (the registry on Windows).
std::unique_ptr<SettingsStore> OpenSettingsStoreAt(const std::string& path);

}  // namespace vx::platform
