// vxctl: the module operations of the window, from a terminal and from
// scripts. See vxctl --help and vxctl(1).
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/settings_store.h"
#include "platform/terminal.h"
#include "platform/tone.h"
#include "vxctl/memory_store.h"
#include "vxctl/options.h"
#include "vxctl/output.h"
#include "vxctl/session.h"

namespace {

using namespace vx;

int UsageError(const std::string& reason, const ctl::ParsedCommandLine& parsed) {
    std::cerr << "vxctl: " << reason << "\n"
              << (parsed.generalHelp ? std::string{"Usage: vxctl COMMAND [OPTIONS]"}
                                     : ctl::UsageLine(parsed.options.command))
              << "\nTry 'vxctl --help'.\n";
    return ctl::kExitUsage;
}

std::unique_ptr<platform::SettingsStore> OpenStore(const ctl::Options& options) {
    if (options.noStore)
        return ctl::CreateMemoryStore();
    if (!options.storePath.empty())
        return platform::OpenSettingsStoreAt(options.storePath);
    return platform::OpenSystemSettingsStore();
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const ctl::ParsedCommandLine parsed = ctl::ParseCommandLine(args);
    if (parsed.options.help) {
        std::cout << (parsed.generalHelp ? ctl::GeneralUsage()
                                         : ctl::CommandUsage(parsed.options.command));
        return ctl::kExitOk;
    }
    if (!parsed.error.empty())
        return UsageError(parsed.error, parsed);

    const std::unique_ptr<platform::SettingsStore> store = OpenStore(parsed.options);
    if (!store)
        return UsageError(std::string{"--store works on Linux only; Windows keeps the settings "
                                      "in the registry: HKEY_LOCAL_MACHINE\\"} +
                              platform::kProgramKeyPath + ", or each user's copy of it",
                          parsed);

    // Only the live run and the production loop stop cleanly on Ctrl-C; every
    // other command ends at once, and the system closes and unlocks its port.
    const ctl::Command command = parsed.options.command;
    if (command == ctl::Command::Io || command == ctl::Command::Provision)
        platform::CatchInterrupts();
    ctl::Printer printer(parsed.options, std::cout, std::cerr,
                         platform::IsTerminal(platform::Stream::Err),
                         platform::IsTerminal(platform::Stream::Out));
    ctl::Machine machine{*store, platform::SystemClock(), platform::SystemTone(),
                         [](platform::PortResolver resolve) {
                             return platform::CreateSystemSerialDevice(std::move(resolve));
                         },
                         [] { return platform::InterruptRequested(); }};
    ctl::Session session(parsed.options, std::move(machine), printer);
    const int code = session.Run();
    if (code == ctl::kExitUsage)
        std::cerr << ctl::UsageLine(parsed.options.command) << "\n";
    return code;
}
