#include "vxctl/inventory.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "operations/operations.h"
#include "platform/event_pump.h"
#include "protocol/com_names.h"
#include "protocol/line_settings.h"
#include "ui/shell/stored_settings.h"
#include "vxctl/headless_window.h"
#include "vxctl/provision.h"
#include "vxctl/watched_device.h"

namespace vx::ctl {

namespace {

using Seconds = std::chrono::duration<double>;

// Each port is searched alone, as the one port of a machine: the first
// number stands for it and every other names nothing.
constexpr int kOnlyPort = protocol::kFirstScanPort;
constexpr const char* kCsvHeader = "port,device,found,line,id,serial,version,mode,nonc,message";

std::string Fixed(double value) {
    return std::to_string(static_cast<long long>(value + 0.5));
}

class Inventory {
public:
    Inventory(const Options& options, Machine& machine, Printer& printer,
              std::vector<InventoryPort> ports)
        : options_(options), machine_(machine), printer_(printer), ports_(std::move(ports)) {
        ui::StoredSettings stored;
        ui::ReadStoredSettings(machine_.store, stored);
        lineIndex_ = options_.lockIndex.value_or(stored.ScanBaudRateNo);
        languageNo_ = options_.languageNo.value_or(stored.LanguageNo);
    }

    int Run() {
        if (options_.csv)
            printer_.Plain(std::string{kCsvHeader} + "\n");
        const std::size_t jobs = std::min<std::size_t>(
            static_cast<std::size_t>(options_.jobs > 0 ? options_.jobs : kDefaultJobs),
            ports_.size());
        std::vector<std::thread> workers;
        for (std::size_t k = 0; k < jobs; ++k) workers.emplace_back([this] { Work(); });
        for (auto& worker : workers) worker.join();
        return Summary();
    }

private:
    void Work() {
        for (std::size_t next = next_++; next < ports_.size(); next = next_++) {
            const Record record = Inspect(ports_[next]);
            Report(record);
        }
    }

    Record Inspect(const InventoryPort& port) const {
        const std::string com = protocol::ComName(kOnlyPort);
        const platform::PortResolver onlyThis = [com, port](const std::string& name) {
            return name == com ? port.device : std::string{};
        };
        WatchedDevice device(machine_.makeDevice(onlyThis), onlyThis);
        // No saver: an inventory leaves the store as it found it.
        HeadlessWindow window(languageNo_, nullptr);
        ops::SharedState& state = window.State();
        state.ScanCommNo = 0;
        state.ScanBaudRateNo = lineIndex_;
        state.ScanBaudRate = protocol::LineSettingsList.at(static_cast<std::size_t>(lineIndex_));
        window.SelectBaudRate(lineIndex_);
        window.lock = !options_.allSettings;
        platform::InstallableEventPump noEvents;
        MutableTone silence(machine_.tone);
        silence.muted = true;
        link::Link link(device, machine_.clock, noEvents);
        link.SetReplyWait(link::Link::ReplyWait::OnDevice);
        ops::OperationContext ctx{window, link, machine_.clock, noEvents, silence};
        const ops::Outcome outcome = ops::btnScanClick(ctx);
        link.CloseCommPort();
        return Describe(port, outcome, window.status, device);
    }

    static Record Describe(const InventoryPort& port, const ops::Outcome& outcome,
                           const std::string& status, const WatchedDevice& device) {
        const bool found = outcome.result == ops::Result::Succeeded;
        Record record{"inventory", found, status, {{"device", port.device}}};
        if (!port.label.empty())
            record.fields.insert(record.fields.begin(), {"port", port.label});
        if (found) {
            const ops::ModuleFacts& m = outcome.module;
            record.fields.insert(record.fields.end(),
                                 {{"line", m.lineSettings},
                                  {"id", m.idText},
                                  {"serial", m.serial},
                                  {"version", m.version},
                                  {"mode", m.mode ? ModeName(*m.mode) : ""},
                                  {"nonc", m.noNc ? protocol::FlagString(*m.noNc) : ""}});
        } else if (device.Opened() == 0 && device.Refused()) {
            RefusedOpen refused = *device.Refused();
            refused.comName = port.label.empty() ? port.device : port.label;
            record.failure = PortFailure(refused, port.device);
            record.message = record.failure->text;
        }
        return record;
    }

    static std::string Text(const Record& record, const char* key) {
        for (const auto& [name, value] : record.fields) {
            if (name == key)
                return std::get<std::string>(value);
        }
        return "";
    }

    static std::string CsvRow(const Record& record) {
        std::string row;
        for (const char* key : {"port", "device"}) row += CsvField(Text(record, key)) + ",";
        row += record.ok ? "yes" : "no";
        for (const char* key : {"line", "id", "serial", "version", "mode", "nonc"})
            row += "," + CsvField(Text(record, key));
        return row + "," + CsvField(record.message) + "\n";
    }

    void Report(const Record& record) {
        const std::lock_guard lock(mutex_);
        ++done_;
        found_ += record.ok ? 1 : 0;
        opened_ += record.failure ? 0 : 1;
        if (options_.csv) {
            printer_.Plain(CsvRow(record));
        } else {
            printer_.Line(record);
        }
        const double elapsed = Seconds(Clock::now() - started_).count();
        const double left =
            elapsed / static_cast<double>(done_) * static_cast<double>(ports_.size() - done_);
        printer_.Progress("inventory: " + std::to_string(done_) + "/" +
                          std::to_string(ports_.size()) + " done, " + std::to_string(found_) +
                          " found, " + Fixed(elapsed) + " s, about " + Fixed(left) + " s left");
    }

    int Summary() {
        const std::size_t total = ports_.size();
        const int code = found_ == total ? kExitOk : opened_ == 0 ? kExitPortError : kExitSomeEmpty;
        Record summary{"inventory",
                       code == kExitOk,
                       std::to_string(total) + " ports: " + std::to_string(found_) +
                           " with a module, " + std::to_string(total - found_) + " without",
                       {}};
        summary.exit = code;
        if (options_.csv) {
            printer_.Problem(summary.message);
        } else {
            printer_.Line(summary);
        }
        return code;
    }

    using Clock = std::chrono::steady_clock;

    const Options& options_;
    Machine& machine_;
    Printer& printer_;
    const std::vector<InventoryPort> ports_;
    int lineIndex_ = 0;
    int languageNo_ = 0;
    std::atomic<std::size_t> next_{0};
    std::mutex mutex_;
    std::size_t done_ = 0;
    std::size_t found_ = 0;
    std::size_t opened_ = 0;
    const Clock::time_point started_ = Clock::now();
};

}  // namespace

int RunInventory(const Options& options, Machine& machine, Printer& printer) {
    std::vector<InventoryPort> ports;
    if (const std::string problem = InventoryPorts(options, machine.ports, ports);
        !problem.empty()) {
        printer.UsageError("inventory", problem, UsageLine(Command::Inventory));
        return kExitUsage;
    }
    return Inventory(options, machine, printer, std::move(ports)).Run();
}

}  // namespace vx::ctl
