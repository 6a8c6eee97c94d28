// vxctl: the module operations of the window, from a terminal and from
// scripts. See vxctl --help and vxctl(1).
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/memory_settings_store.h"
#include "platform/read_only_settings_store.h"
#include "platform/settings_store.h"
#include "platform/terminal.h"
#include "platform/tone.h"
#include "vxctl/inventory.h"
#include "vxctl/options.h"
#include "vxctl/output.h"
#include "vxctl/ports_command.h"
#include "vxctl/session.h"

namespace {

using namespace vx;

std::unique_ptr<platform::SettingsStore> OpenStore(const ctl::Options& options) {
    if (options.noStore)
        return std::make_unique<platform::MemorySettingsStore>();
    if (!options.storePath.empty())
        return platform::OpenSettingsStoreAt(options.storePath);
    return platform::OpenSystemSettingsStore();
}

// A store in a folder that is not there is a typo, not a place to make
// folders in.
bool StoreFolderMissing(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path folder = fs::path(path).parent_path();
    return !folder.empty() && fs::status(folder, error).type() == fs::file_type::not_found;
}

// How a run reports, even when its command line did not parse: --json and
// -q count wherever they stand.
ctl::Options ReportingOptions(const ctl::ParsedCommandLine& parsed,
                              const std::vector<std::string>& args) {
    ctl::Options options = parsed.options;
    const auto given = [&args](const char* word) {
        return std::find(args.begin(), args.end(), word) != args.end();
    };
    options.json = options.json || given("--json");
    if (given("-q"))
        options.verbosity = ctl::Verbosity::Quiet;
    return options;
}

int Finish(const ctl::Printer& printer, int code) {
    return printer.OutputFailed() ? ctl::kExitFailed : code;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const ctl::ParsedCommandLine parsed = ctl::ParseCommandLine(args);
    const ctl::Options reporting = ReportingOptions(parsed, args);
    const platform::Terminal out(platform::Stream::Out, std::cout);
    const platform::Terminal err(platform::Stream::Err, std::cerr);
    ctl::Printer printer(reporting, std::cout, std::cerr, {err.IsTerminal(), err.TakesEscapes()},
                         {out.IsTerminal(), out.TakesEscapes()});
    const std::string command =
        parsed.generalHelp ? std::string{} : ctl::CommandName(parsed.options.command);
    const std::string usage = parsed.generalHelp ? std::string{"Usage: vxctl COMMAND [OPTIONS]"}
                                                 : ctl::UsageLine(parsed.options.command);
    if (parsed.options.help) {
        printer.Plain(parsed.generalHelp ? ctl::GeneralUsage()
                                         : ctl::CommandUsage(parsed.options.command));
        return Finish(printer, ctl::kExitOk);
    }
    if (parsed.options.version) {
        printer.Plain(ctl::VersionText() + "\n");
        return Finish(printer, ctl::kExitOk);
    }
    if (!parsed.error.empty()) {
        printer.UsageError(command, parsed.error, usage);
        return Finish(printer, ctl::kExitUsage);
    }
    if (!parsed.options.storePath.empty() && StoreFolderMissing(parsed.options.storePath)) {
        printer.UsageError(command, "the folder of --store does not exist", usage);
        return Finish(printer, ctl::kExitUsage);
    }
    const std::unique_ptr<platform::SettingsStore> store = OpenStore(parsed.options);
    if (!store) {
        printer.UsageError(command,
                           std::string{"--store works on Linux only; Windows keeps the settings "
                                       "in the registry: HKEY_LOCAL_MACHINE\\"} +
                               platform::kProgramKeyPath + ", or each user's copy of it",
                           usage);
        return Finish(printer, ctl::kExitUsage);
    }

    const ctl::Command chosen = parsed.options.command;
    if (chosen == ctl::Command::Ports)
        return Finish(printer, ctl::RunPorts(parsed.options, *store, printer));
    // The ports are numbered as the machine's table says even when the store
    // is left alone.
    const std::unique_ptr<platform::SettingsStore> machinePorts =
        parsed.options.noStore
            ? std::make_unique<platform::ReadOnlySettingsStore>(platform::OpenSystemSettingsStore())
            : nullptr;

    // Only the live run and the production loop stop cleanly on Ctrl-C; every
    // other command ends at once, and the system closes and unlocks its port.
    if (chosen == ctl::Command::Io || chosen == ctl::Command::Provision)
        platform::CatchInterrupts();
    ctl::Machine machine{*store,
                         machinePorts ? *machinePorts : *store,
                         platform::SystemClock(),
                         platform::SystemTone(),
                         [](platform::PortResolver resolve) {
                             return platform::CreateSystemSerialDevice(std::move(resolve));
                         },
                         [] { return platform::InterruptRequested(); }};
    if (chosen == ctl::Command::Inventory)
        return Finish(printer, ctl::RunInventory(parsed.options, machine, printer));
    ctl::Session session(parsed.options, std::move(machine), printer);
    return Finish(printer, session.Run());
}
