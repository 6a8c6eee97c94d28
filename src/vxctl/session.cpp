#include "vxctl/session.h"

#include <filesystem>

#include "operations/operation_support.h"
#include "platform/com_ports.h"
#include "platform/network/network_url.h"
#include "platform/terminal.h"
#include "protocol/com_names.h"
#include "protocol/commands.h"
#include "protocol/line_settings.h"
#include "ui/shell/stored_settings.h"
#include "vxctl/parallel_scan.h"
#include "vxctl/provision.h"

namespace vx::ctl {

Failure PortFailure(const RefusedOpen& refused, const std::string& device) {
    using platform::PortFailure;
    const platform::PortOpen& open = refused.open;
    Failure failure{"port", "", "", device, 0, "", ""};
    // A native Windows port is its own device, unless the table maps it.
    const bool said = device.empty() || device == refused.comName;
    const std::string port = refused.comName + (said ? "" : " (" + device + ")");
    switch (open.failure) {
        case PortFailure::Missing:
            failure.reason = "missing";
            failure.text = port + " cannot be opened: no such device";
            break;
        case PortFailure::PermissionDenied:
            failure.reason = "permission-denied";
            failure.group = open.detail;
            failure.text =
                port + " cannot be opened: permission denied" +
                (open.detail.empty() ? std::string{}
                                     : "; members of the group " + open.detail + " may use it");
            break;
        case PortFailure::Busy:
            failure.reason = "busy";
            failure.pid = open.ownerPid;
            failure.program = open.ownerPid > 0 ? platform::ProcessName(open.ownerPid) : "";
            failure.text = port + " is in use" +
                           (open.ownerPid > 0
                                ? " by process " + std::to_string(open.ownerPid) +
                                      (failure.program.empty() ? "" : " (" + failure.program + ")")
                                : " by another program");
            break;
        case PortFailure::NotSerial:
            failure.reason = "not-serial";
            failure.text = port + " is not a serial device";
            break;
        default:
            failure.reason = "other";
            failure.text = port + " cannot be opened: " + open.detail;
            break;
    }
    return failure;
}

Session::Session(const Options& options, Machine machine, Printer& printer)
    : options_(options), machine_(std::move(machine)), printer_(printer), tone_(machine_.tone) {}

Session::~Session() {
    // No port stays open, whatever way the command ended.
    if (link_)
        link_->CloseCommPort();
}

// Scripts repeat what they are given: a named device that is not there is a
// usage error, before anything is touched. The production line waits for
// its adapter to come with a module, but not in a folder that is not there.
std::string Session::CheckDevicePath(const std::string& device) const {
    namespace fs = std::filesystem;
    std::error_code error;
    // A network port is only known to be there once it is opened.
    if (platform::IsNetworkPortText(device))
        return "";
    if (options_.command != Command::Provision) {
        return fs::exists(fs::symlink_status(device, error)) && fs::exists(device, error)
                   ? ""
                   : "no such device '" + device + "'";
    }
    const fs::path folder = fs::path(device).parent_path();
    return folder.empty() || fs::is_directory(folder, error)
               ? ""
               : "no such folder for the device '" + device + "'";
}

// Every named port must exist before anything is touched: an unknown one is
// a usage error, not a failed search.
std::string Session::ResolvePorts() {
    if (options_.ports.empty() && options_.devices.empty())
        return "";
    if (options_.ports.size() + options_.devices.size() >
        static_cast<std::size_t>(protocol::kScanPortCount))
        return "at most " + std::to_string(protocol::kScanPortCount) +
               " ports and devices may be named";
    for (const std::string& device : options_.devices) {
        if (std::string problem = CheckDevicePath(device); !problem.empty())
            return problem;
    }
    PortMap ports;
    std::set<int> inUse;
    for (const int number : options_.ports) {
        const std::string device =
            platform::ResolveComPort(protocol::ComName(number), machine_.ports);
        if (device.empty())
            return "unknown port " + protocol::ComName(number);
        ports[number] = device;
        inUse.insert(number);
    }
    for (const std::string& device : options_.devices) {
        const platform::DeviceNumber given =
            platform::ComNumberForDevice(device, machine_.ports, inUse);
        ports[given.number] = device;
        inUse.insert(given.number);
        if (!given.kept)
            runOnly_.insert(given.number);
    }
    ports_ = std::move(ports);
    return "";
}

std::string Session::DeviceOf(int portNumber) const {
    if (!ports_)
        return platform::ResolveComPort(protocol::ComName(portNumber), machine_.ports);
    const auto it = ports_->find(portNumber);
    return it == ports_->end() ? std::string{} : it->second;
}

int Session::Run() {
    if (const std::string problem = ResolvePorts(); !problem.empty()) {
        printer_.UsageError(CommandName(options_.command), problem, UsageLine(options_.command));
        return kExitUsage;
    }
    ui::StoredSettings stored;
    ui::ReadStoredSettings(machine_.store, stored);

    resolve_ = [this](const std::string& comName) -> std::string {
        if (!ports_)
            return platform::ResolveComPort(comName, machine_.ports);
        for (const auto& [number, device] : *ports_) {
            if (protocol::ComName(number) == comName)
                return device;
        }
        return {};
    };
    device_ = std::make_unique<WatchedDevice>(machine_.makeDevice(resolve_), resolve_);
    pump_.Install([this] {
        // Where Ctrl-C is caught, a connect or a search gives up at once;
        // the production loop finishes its module first.
        if (options_.command != Command::Provision && machine_.interrupted())
            device_->Abandon();
        if (onPump_)
            onPump_();
    });
    link_ = std::make_unique<link::Link>(*device_, machine_.clock, pump_);
    link_->SetReplyWait(link::Link::ReplyWait::OnDevice);

    const int languageNo = options_.languageNo.value_or(stored.LanguageNo);
    platform::SettingsStore& store = machine_.store;
    window_ =
        std::make_unique<HeadlessWindow>(languageNo, [this, &store](const ops::SharedState& state) {
            // A number this run made up must not be remembered as the module's.
            if (!runOnly_.contains(state.ScanCommNo))
                ui::SaveScanSettings(store, state);
        });
    ops::SharedState& state = window_->State();
    state.ScanCommNo = stored.ScanCommNo;
    state.ScanBaudRate = stored.ScanBaudRate;
    state.ScanBaudRateNo = options_.lockIndex.value_or(stored.ScanBaudRateNo);
    window_->SelectBaudRate(state.ScanBaudRateNo);
    window_->lock = !options_.allSettings;
    window_->WatchStatus([this](const std::string& status) {
        opStatus_ = status;
        printer_.Progress(status);
    });
    ctx_ = std::make_unique<ops::OperationContext>(
        ops::OperationContext{*window_, *link_, machine_.clock, pump_, tone_});

    switch (options_.command) {
        case Command::Scan: {
            const int code = Scan();
            printer_.Result(Final(ScanRecord("scan"), code));
            return code;
        }
        case Command::Provision:
            return RunProvision(*this);
        default:
            return AfterScan(options_.command);
    }
}

int Session::OutcomeExit(const ops::Outcome& outcome) const {
    if (outcome.Ok())
        return kExitOk;
    return device_->OpensTried() > 0 && device_->Opened() == 0 ? kExitPortError : kExitFailed;
}

int Session::Scan() {
    device_->ResetCounts();
    opStatus_.clear();
    lastScan_ = options_.parallel ? ParallelScan(*this) : ops::btnScanClick(*ctx_);
    lastOutcome_ = lastScan_;
    return OutcomeExit(lastScan_);
}

int Session::RunOperation(ops::Operation operation) {
    device_->ResetCounts();
    opStatus_.clear();
    lastOutcome_ = operation(*ctx_);
    return OutcomeExit(lastOutcome_);
}

Record Session::Final(Record record, int code) {
    record.exit = code;
    if (code != kExitOk && machine_.interrupted())
        record.message = "interrupted";
    if (code == kExitPortError && device_->Refused()) {
        const RefusedOpen& refused = *device_->Refused();
        record.failure = PortFailure(refused, refused.device);
        printer_.Problem(record.failure->text);
    }
    return record;
}

Record Session::ScanRecord(const std::string& command) const {
    const bool found = lastScan_.result == ops::Result::Succeeded;
    Record record{command, found, window_->status, {}};
    if (!found)
        return record;
    const ops::ModuleFacts& m = lastScan_.module;
    record.fields = {
        {"port", protocol::ComName(m.port)},
        {"device", DeviceOf(m.port)},
        {"line", m.lineSettings},
        {"id", m.idText},
        {"serial", m.serial},
        {"version", m.version},
        {"mode", ModeName(m.mode.value())},
        {"nonc", protocol::FlagString(m.noNc.value())},
    };
    return record;
}

// The setting operations and the live run need a module found; like the
// window they refuse without one, so the command line scans first itself.
int Session::AfterScan(Command command) {
    if (options_.noScan) {
        window_->State().ModuleFound = window_->State().ScanCommNo > 0;
    } else if (const int code = Scan(); code != kExitOk) {
        printer_.Result(Final(ScanRecord(CommandName(command)), code));
        return code;
    }
    return command == Command::Io ? Io() : Setting();
}

// A failed operation reports what the module had before it, as the scan
// read it, not what it was asked to take; with --no-scan that is not known.
int Session::Setting() {
    HeadlessWindow& w = *window_;
    const bool known = !options_.noScan;
    const ops::ModuleFacts& before = lastScan_.module;
    const std::string modeBefore = before.mode ? ModeName(*before.mode) : "";
    const std::string noNcBefore = before.noNc ? protocol::FlagString(*before.noNc) : "";
    Record record{CommandName(options_.command), false, "", {}, std::nullopt, std::nullopt};
    auto report = [&](const std::string& name, const std::string& after, const std::string& was,
                      bool ok) {
        if (ok || known)
            record.fields.emplace_back(name, ok ? after : was);
    };
    int code = kExitFailed;
    switch (options_.command) {
        case Command::SetId:
            w.SetIdPosition(options_.id);
            code = RunOperation(ops::btnIDClick);
            report("id", protocol::IdText(options_.id), before.idText, code == kExitOk);
            break;
        case Command::SetBaud:
            w.SelectBaudRate(options_.lineIndex);
            code = RunOperation(ops::btnBaudRateClick);
            report("line", protocol::LineSettingsList[static_cast<std::size_t>(options_.lineIndex)],
                   before.lineSettings, code == kExitOk);
            break;
        case Command::SetMode:
            w.SelectMode(*options_.mode);
            if (options_.noNc)
                w.noNc = *options_.noNc;
            code = RunOperation(ops::btnModeClick);
            report("mode", ModeName(*options_.mode), modeBefore, code == kExitOk);
            report("nonc", protocol::FlagString(w.noNc), noNcBefore, code == kExitOk);
            break;
        default:
            code = RunOperation(ops::btnFactoryClick);
            break;
    }
    record.ok = code == kExitOk;
    record.message = opStatus_;
    printer_.Result(Final(record, code));
    return code;
}

std::string Session::LiveRunEnd() const {
    if (lastOutcome_.result == ops::Result::PortGone)
        return "the port has gone: the device or its connection went away";
    return opStatus_.empty() ? "the module stopped answering" : opStatus_;
}

int Session::Io() {
    HeadlessWindow& w = *window_;
    const protocol::ChannelFlags outputs = options_.outputs.value_or(protocol::ChannelFlags{});
    w.outputs = outputs;
    const std::string outputText = protocol::FlagString(outputs);
    // A reading of a watch is one of many lines: the status is said once, by
    // the single reading or the run's last record.
    auto reading = [&](const protocol::ChannelFlags& inputs) {
        return Record{"io",
                      true,
                      options_.watch ? std::string{} : w.status,
                      {{"inputs", protocol::FlagString(inputs)}, {"outputs", outputText}},
                      std::nullopt,
                      std::nullopt};
    };
    std::optional<protocol::ChannelFlags> shown;
    if (options_.watch) {
        w.WatchReadings([&](const protocol::ChannelFlags& inputs) {
            if (shown == inputs)
                return;
            shown = inputs;
            printer_.Lamps(reading(inputs), inputs);
        });
    }
    // A stop is what the window's second click does: the run notices it
    // after its current exchange and ends as a user's stop. So does output
    // that can no longer be written.
    onPump_ = [&] {
        const bool enough = !options_.watch && device_->ExchangesSent() > 0;
        if (enough || machine_.interrupted() || printer_.OutputFailed())
            w.State().ProcessFlag = false;
    };
    const int code = RunOperation(ops::btnProcessClick);
    onPump_ = nullptr;
    w.WatchReadings(nullptr);
    if (code != kExitOk) {
        const std::string why = LiveRunEnd();
        printer_.Result(Final({"io", false, why, {}, std::nullopt, std::nullopt}, code));
        return code;
    }
    if (options_.watch) {
        Record last = shown ? reading(*shown) : Record{"io", true, "", {}, {}, {}};
        last.message = w.status;
        printer_.Closing(Final(last, kExitOk));
        return kExitOk;
    }
    const std::optional<protocol::ChannelFlags>& last = lastOutcome_.module.inputs;
    if (!last) {
        printer_.Result(Final(
            {"io", false, "no input reading in the module's reply", {}, std::nullopt, std::nullopt},
            kExitFailed));
        return kExitFailed;
    }
    printer_.Result(Final(reading(*last), kExitOk));
    return kExitOk;
}

}  // namespace vx::ctl
