#pragma once

#include <memory>
#include <string>

#include "platform/settings_store.h"

namespace vx::platform {

// What a terminal program needs of the machine beyond the serial ports.

enum class Stream { Out, Err };

// True when the stream is a terminal (a person watches), false for a pipe or file.
bool IsTerminal(Stream stream);

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
