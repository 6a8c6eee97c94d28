#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "link/link.h"
#include "operations/operations.h"
#include "platform/clock.h"
#include "platform/event_pump.h"
#include "platform/serial_device.h"
#include "platform/settings_store.h"
#include "platform/tone.h"
#include "vxctl/headless_window.h"
#include "vxctl/options.h"
#include "vxctl/output.h"
#include "vxctl/provision.h"
#include "vxctl/watched_device.h"

namespace vx::ctl {

using DeviceFactory =
    std::function<std::unique_ptr<platform::SerialDevice>(platform::PortResolver resolve)>;

// What the program takes from the machine; tests could hand in others.
struct Machine {
    platform::SettingsStore& store;
    // Whose Ports table numbers the ports: the store itself, or with
    // --no-store the machine's, read only.
    platform::SettingsStore& ports;
    platform::Clock& clock;
    platform::Tone& tone;
    DeviceFactory makeDevice;
    std::function<bool()> interrupted;
};

// A tone that can be silenced: for the scans of the provisioning loop,
// which has a tone of its own for each module, and for the workers of the
// parallel search, whose outcome beeps once, in the session.
class MutableTone final : public platform::Tone {
public:
    explicit MutableTone(platform::Tone& inner) : inner_(inner) {}
    void Beep(unsigned frequencyHz, unsigned durationMs) override {
        if (!muted)
            inner_.Beep(frequencyHz, durationMs);
    }
    bool muted = false;

private:
    platform::Tone& inner_;
};

// The one line that says why a port did not open.
Failure PortFailure(const RefusedOpen& refused, const std::string& device);

// COM number -> device, when the command line named the ports to use.
using PortMap = std::map<int, std::string>;

// One run of the command line: the store's values, the window's controls as
// plain values, the link on the machine's serial device, and the operations.
class Session {
public:
    Session(const Options& options, Machine machine, Printer& printer);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    int Run();
    // Runs as one station of a production line that several devices share.
    int RunAsStation(Station& station) {
        station_ = &station;
        return Run();
    }
    Station* station() const { return station_; }

    // For the provisioning loop.
    const Options& options() const { return options_; }
    Machine& machine() { return machine_; }
    HeadlessWindow& window() { return *window_; }
    ops::OperationContext& context() { return *ctx_; }
    link::Link& link() { return *link_; }
    WatchedDevice& device() { return *device_; }
    Printer& printer() { return printer_; }
    MutableTone& tone() { return tone_; }
    // Runs whenever the operations let pending events run.
    void OnEvents(std::function<void()> handler) { onPump_ = std::move(handler); }

    // Runs the scan (in parallel when asked) and answers the exit code.
    int Scan();
    // Runs one setting operation and answers the exit code of its outcome.
    int RunOperation(ops::Operation operation);
    // What the last scan found, and what the last operation (that scan or
    // a later one) came to.
    const ops::Outcome& LastScan() const { return lastScan_; }
    const ops::Outcome& LastOutcome() const { return lastOutcome_; }
    // The scan's findings, for printing.
    Record ScanRecord(const std::string& command) const;
    // The run's last record: its exit code, and why no port opened when
    // that was the trouble (also said on stderr).
    Record Final(Record record, int code);
    // The device behind the port of the last scan, if the command line named it.
    std::string DeviceOf(int portNumber) const;

private:
    std::string ResolvePorts();
    std::string CheckDevicePath(const std::string& device) const;
    int OutcomeExit(const ops::Outcome& outcome) const;
    int AfterScan(Command command);
    int Setting();
    int Io();
    // Why a live run ended in failure, in words a technician acts on.
    std::string LiveRunEnd() const;

    Options options_;
    Machine machine_;
    Printer& printer_;
    MutableTone tone_;
    std::optional<PortMap> ports_;
    // Numbers that the store's table does not give to their device: a scan
    // that finds the module there stores nothing.
    std::set<int> runOnly_;
    platform::PortResolver resolve_;
    platform::InstallableEventPump pump_;
    std::function<void()> onPump_;
    std::unique_ptr<WatchedDevice> device_;
    std::unique_ptr<link::Link> link_;
    std::unique_ptr<HeadlessWindow> window_;
    std::unique_ptr<ops::OperationContext> ctx_;
    std::string opStatus_;
    ops::Outcome lastScan_ = ops::Outcome::Of(ops::Result::NotFound);
    ops::Outcome lastOutcome_ = ops::Outcome::Of(ops::Result::NotFound);
    Station* station_ = nullptr;
};

}  // namespace vx::ctl
