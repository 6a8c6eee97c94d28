#include "vxctl/session.h"

#include <filesystem>

#include "link/commands.h"
#include "operations/operation_support.h"
#include "platform/com_ports.h"
#include "platform/network_url.h"
#include "protocol/com_names.h"
#include "ui/shell/stored_settings.h"
#include "vxctl/parallel_scan.h"
#include "vxctl/provision.h"

namespace vx::ctl {

Session::Session(const Options& options, Machine machine, Printer& printer)
    : options_(options), machine_(std::move(machine)), printer_(printer), tone_(machine_.tone) {}

Session::~Session() {
    // No port stays open, whatever way the command ended.
    if (link_)
        link_->CloseCommPort();
}

// Every named port must exist before anything is touched: an unknown one is
// a usage error, not a failed search.
std::string Session::ResolvePorts() {
    if (options_.ports.empty() && options_.devices.empty())
        return "";
    PortMap ports;
    for (const std::string& device : options_.devices) {
        // A production line's adapter may come and go with its module; a
        // network port is only known to be there once it is opened.
        std::error_code error;
        const bool mayBeAbsent =
            options_.command == Command::Provision || platform::IsNetworkPortText(device);
        if (!mayBeAbsent && !std::filesystem::exists(device, error))
            return "no such device '" + device + "'";
        const int number = platform::ComNumberForDevice(device, machine_.store);
        if (!protocol::IsScanPort(number))
            return "'" + device + "' has no port number from " +
                   std::to_string(protocol::kFirstScanPort) + " to " +
                   std::to_string(protocol::kLastScanPort);
        ports[number] = device;
    }
    for (const int number : options_.ports) {
        const std::string device =
            platform::ResolveComPort(protocol::ComName(number), machine_.store);
        if (device.empty())
            return "unknown port " + protocol::ComName(number);
        ports[number] = device;
    }
    ports_ = std::move(ports);
    return "";
}

std::string Session::DeviceOf(int portNumber) const {
    if (!ports_)
        return platform::ResolveComPort(protocol::ComName(portNumber), machine_.store);
    const auto it = ports_->find(portNumber);
    return it == ports_->end() ? std::string{} : it->second;
}

int Session::Run() {
    if (const std::string problem = ResolvePorts(); !problem.empty()) {
        printer_.Problem(problem);
        return kExitUsage;
    }
    ui::StoredSettings stored;
    ui::ReadStoredSettings(machine_.store, stored);

    platform::PortResolver resolve = [this](const std::string& comName) -> std::string {
        if (!ports_)
            return platform::ResolveComPort(comName, machine_.store);
        for (const auto& [number, device] : *ports_) {
            if (protocol::ComName(number) == comName)
                return device;
        }
        return {};
    };
    device_ = std::make_unique<WatchedDevice>(machine_.makeDevice(resolve));
    pump_.Install([this] {
        if (onPump_)
            onPump_();
    });
    link_ = std::make_unique<link::Link>(*device_, machine_.clock, pump_);

    const int languageNo = options_.languageNo.value_or(stored.LanguageNo);
    platform::SettingsStore& store = machine_.store;
    window_ = std::make_unique<HeadlessWindow>(languageNo, [&store](const ops::SharedState& state) {
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
            printer_.Result(ScanRecord("scan"));
            return code;
        }
        case Command::Provision:
            return RunProvision(*this);
        default:
            return AfterScan(options_.command);
    }
}

int Session::OutcomeExit() const {
    if (window_->lamp == ops::LampColor::Yellow)
        return kExitOk;
    return device_->OpensTried() > 0 && device_->Opened() == 0 ? kExitPortError : kExitFailed;
}

int Session::Scan() {
    device_->ResetCounts();
    opStatus_.clear();
    if (options_.parallel) {
        ParallelScan(*this);
    } else {
        ops::btnScanClick(*ctx_);
    }
    return OutcomeExit();
}

int Session::RunOperation(void (*operation)(ops::OperationContext&)) {
    device_->ResetCounts();
    opStatus_.clear();
    operation(*ctx_);
    return OutcomeExit();
}

Record Session::ScanRecord(const std::string& command) const {
    const HeadlessWindow& w = *window_;
    Record record{command, w.State().ModuleFound, w.status, {}};
    if (!w.State().ModuleFound)
        return record;
    const int port = w.State().ScanCommNo;
    record.fields = {
        {"port", protocol::ComName(port)},
        {"device", DeviceOf(port)},
        {"line", w.State().ScanBaudRate},
        {"id", w.IdPanel()},
        {"serial", w.Serial()},
        {"version", w.Version()},
        {"mode", ModeName(w.ModeIndex())},
        {"nonc", link::FlagString(w.noNc)},
    };
    return record;
}

// The setting operations and the live run need a module found; like the
// window they refuse without one, so the command line scans first itself.
int Session::AfterScan(Command command) {
    if (options_.noScan) {
        window_->State().ModuleFound = window_->State().ScanCommNo > 0;
    } else if (const int code = Scan(); code != kExitOk) {
        printer_.Result(ScanRecord(CommandName(command)));
        return code;
    }
    return command == Command::Io ? Io() : Setting();
}

int Session::Setting() {
    HeadlessWindow& w = *window_;
    Record record;
    int code = kExitFailed;
    switch (options_.command) {
        case Command::SetId:
            w.SetIdPosition(options_.id);
            code = RunOperation(ops::btnIDClick);
            record = {
                "set-id", code == kExitOk, opStatus_, {{"id", protocol::IdText(options_.id)}}};
            break;
        case Command::SetBaud:
            w.SelectBaudRate(options_.lineIndex);
            code = RunOperation(ops::btnBaudRateClick);
            record = {
                "set-baud",
                code == kExitOk,
                opStatus_,
                {{"line", link::LineSettingsList[static_cast<std::size_t>(options_.lineIndex)]}}};
            break;
        case Command::SetMode:
            w.SelectMode(*options_.mode);
            if (options_.noNc)
                w.noNc = *options_.noNc;
            code = RunOperation(ops::btnModeClick);
            record = {"set-mode",
                      code == kExitOk,
                      opStatus_,
                      {{"mode", ModeName(*options_.mode)}, {"nonc", link::FlagString(w.noNc)}}};
            break;
        default:
            code = RunOperation(ops::btnFactoryClick);
            record = {"factory", code == kExitOk, opStatus_, {}};
            break;
    }
    printer_.Result(record);
    return code;
}

int Session::Io() {
    HeadlessWindow& w = *window_;
    const link::ChannelFlags outputs = options_.outputs.value_or(link::ChannelFlags{});
    w.outputs = outputs;
    const std::string outputText = link::FlagString(outputs);
    auto reading = [&outputText](const link::ChannelFlags& inputs) {
        return Record{
            "io", true, "", {{"inputs", link::FlagString(inputs)}, {"outputs", outputText}}};
    };
    std::optional<link::ChannelFlags> shown;
    if (options_.watch) {
        w.WatchReadings([&](const link::ChannelFlags& inputs) {
            if (shown == inputs)
                return;
            shown = inputs;
            std::string lamps;
            for (const bool on : inputs) lamps += on ? "\033[33m\u25CF\033[0m" : "\u25CB";
            printer_.Lamps(reading(inputs), lamps);
        });
    }
    // A stop is what the window's second click does: the run notices it
    // after its current exchange and ends as a user's stop.
    onPump_ = [&] {
        const bool enough = !options_.watch && device_->ExchangesSent() > 0;
        if (enough || machine_.interrupted())
            w.State().ProcessFlag = false;
    };
    const int code = RunOperation(ops::btnProcessClick);
    onPump_ = nullptr;
    w.WatchReadings(nullptr);
    if (code != kExitOk) {
        printer_.Result(
            {"io", false, opStatus_.empty() ? "the module stopped answering" : opStatus_, {}});
        return code;
    }
    if (!options_.watch) {
        if (!w.LastReading()) {
            printer_.Result({"io", false, "no input reading in the module's reply", {}});
            return kExitFailed;
        }
        printer_.Result(reading(*w.LastReading()));
    }
    return kExitOk;
}

}  // namespace vx::ctl
