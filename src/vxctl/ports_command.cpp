#include "vxctl/ports_command.h"

#include "platform/com_ports.h"
#include "platform/port_table.h"
#include "protocol/com_names.h"

namespace vx::ctl {
namespace {

constexpr const char* kCommand = "ports";

Record Entry(int number, const std::string& value) {
    return {kCommand, true, "", {{"port", protocol::ComName(number)}, {"device", value}}};
}

int List(platform::SettingsStore& store, Printer& printer) {
    const auto entries = platform::ReadPortTable(store);
    for (const platform::PortEntry& entry : entries) printer.Line(Entry(entry.number, entry.value));
    Record last{kCommand, true, entries.empty() ? "the Ports table is empty" : "", {}};
    last.exit = kExitOk;
    if (entries.empty())
        printer.Result(last);
    else
        printer.Closing(last);
    return kExitOk;
}

int Finish(Printer& printer, Record record, bool ok) {
    const int code = ok ? kExitOk : kExitFailed;
    record.ok = ok;
    record.exit = code;
    if (!ok) {
        record.failure = Failure{"store", record.message};
        printer.Problem(record.message);
    }
    printer.Result(record);
    return code;
}

int Set(const Options& o, platform::SettingsStore& store, Printer& printer) {
    const std::string port = protocol::ComName(o.tablePort);
    if (const std::string problem = platform::PortEntryProblem(o.tableValue); !problem.empty()) {
        printer.UsageError(kCommand, "'" + o.tableValue + "' cannot be " + port + ": " + problem,
                           UsageLine(Command::Ports));
        return kExitUsage;
    }
    Record record = Entry(o.tablePort, o.tableValue);
    const bool done =
        platform::SetPortEntry(store, o.tablePort, o.tableValue) == platform::TableChange::Done;
    record.message =
        done ? port + " now opens " + o.tableValue : "the Ports table cannot be written here";
    return Finish(printer, record, done);
}

int Remove(const Options& o, platform::SettingsStore& store, Printer& printer) {
    const std::string port = protocol::ComName(o.tablePort);
    Record record{kCommand, false, "", {{"port", port}}};
    switch (platform::RemovePortEntry(store, o.tablePort)) {
        case platform::TableChange::Done:
            record.message = port + " is no longer in the Ports table";
            return Finish(printer, record, true);
        case platform::TableChange::NotThere:
            record.message = port + " was not in the Ports table";
            return Finish(printer, record, true);
        case platform::TableChange::Shadowed:
            record.message = port +
                             " is set for every user of this machine; only an administrator "
                             "can remove it";
            return Finish(printer, record, false);
        case platform::TableChange::Refused:
            break;
    }
    record.message = "the Ports table cannot be written here";
    return Finish(printer, record, false);
}

}  // namespace

int RunPorts(const Options& options, platform::SettingsStore& store, Printer& printer) {
    switch (options.portsAction) {
        case PortsAction::Set:
            return Set(options, store, printer);
        case PortsAction::Remove:
            return Remove(options, store, printer);
        case PortsAction::List:
            break;
    }
    return List(store, printer);
}

}  // namespace vx::ctl
