#include "vxctl/provision.h"

#include <chrono>
#include <filesystem>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "link/transaction.h"
#include "operations/operation_support.h"
#include "protocol/commands.h"
#include "vxctl/session.h"
#include "vxctl/station_log.h"

namespace vx::ctl {

namespace {

// How often the loop looks for a module to come or to go.
constexpr std::uint32_t kPollMs = 250;
constexpr int kPresenceAttempts = 2;

class Loop {
public:
    // `station`: the device this loop is one station of, named in its rows;
    // empty for the only loop of a run.
    Loop(Session& session, StationLog& log, std::string station = {})
        : s_(session),
          o_(session.options()),
          w_(session.window()),
          start_(w_.State()),
          log_(log),
          station_(std::move(station)) {}

    StationTally Run() {
        StationTally tally;
        SayWhenWaitingForADevice();
        while (!Interrupted() && !tally.broken) {
            if (!WaitForModule())
                break;
            ++tally.modules;
            if (!Provision(tally))
                ++tally.failures;
            if (Interrupted() || tally.broken)
                break;
            WaitUntilGone();
        }
        return tally;
    }

private:
    bool Interrupted() { return s_.machine().interrupted(); }

    // The run cannot go on: the log or stdout can no longer be written.
    static void Break(StationTally& tally, const Failure& failure, Printer& printer) {
        printer.Problem(failure.text);
        tally.broken = failure;
    }

    void SayWhenWaitingForADevice() {
        for (const std::string& device : o_.devices) {
            std::error_code error;
            if (!std::filesystem::exists(device, error))
                s_.printer().Problem("waiting for a module on " + device);
        }
    }

    // Scans, silently, until a module has been read completely. Each module
    // is looked for as a window just started would: from the settings the
    // run began with, not those the last module was given.
    bool WaitForModule() {
        ops::SharedState& state = w_.State();
        state.ScanCommNo = start_.ScanCommNo;
        state.ScanBaudRate = start_.ScanBaudRate;
        state.ScanBaudRateNo = start_.ScanBaudRateNo;
        s_.tone().muted = true;
        // No module is being set up yet, so Ctrl-C need not wait for a whole
        // search: once no port opens any more, the search ends after its
        // current combination.
        s_.OnEvents([this] {
            if (Interrupted())
                s_.device().Abandon();
        });
        for (;;) {
            s_.Scan();
            if (w_.State().ModuleFound || Interrupted())
                break;
            s_.machine().clock.SleepMs(kPollMs);
        }
        s_.OnEvents(nullptr);
        s_.tone().muted = false;
        return w_.State().ModuleFound && !Interrupted();
    }

    bool Provision(StationTally& tally) {
        const std::string serial = s_.LastScan().module.serial;
        std::optional<Failure> logFailure;
        const std::optional<int> id = log_.Reserve(serial, o_.idFrom, logFailure);
        if (!id) {
            Break(tally, *logFailure, s_.printer());
            return false;
        }
        actualId_ = s_.LastScan().module.idText;
        std::string failure;
        s_.tone().muted = true;
        if (*id == 0) {
            failure = "no free ID left";
        } else {
            failure = Apply(*id);
        }
        if (failure.empty())
            failure = Check(serial, *id);
        s_.tone().muted = false;

        const bool ok = failure.empty();
        // The row tells the ID the module has: after a failed set-ID its
        // old one, and the ID it was to get goes back to the next module.
        Record record{"provision",
                      ok,
                      ok ? "ok" : failure,
                      {{"serial", serial},
                       {"id", actualId_},
                       {"line", w_.State().ScanBaudRate},
                       {"mode", ModeName(w_.ModeIndex())},
                       {"nonc", protocol::FlagString(w_.noNc)}}};
        if (!log_.Write(Row(record), logFailure))
            Break(tally, *logFailure, s_.printer());
        if (!station_.empty())
            record.fields.insert(record.fields.begin(), {"device", station_});
        s_.printer().Line(record);
        if (s_.printer().OutputFailed())
            Break(tally, {"output", "cannot write the output"}, s_.printer());
        if (ok) {
            ops::BeepSuccess(s_.context());
        } else {
            ops::BeepFailure(s_.context());
        }
        return ok;
    }

    // The message of an operation that failed, or empty.
    std::string Step(ops::Operation operation) {
        return s_.RunOperation(operation) == kExitOk ? std::string{} : w_.status;
    }

    std::string Apply(int id) {
        w_.SetIdPosition(id);
        if (auto failure = Step(ops::btnIDClick); !failure.empty())
            return failure;
        actualId_ = protocol::IdText(id);
        if (o_.mode || o_.noNc) {
            if (o_.mode)
                w_.SelectMode(*o_.mode);
            if (o_.noNc)
                w_.noNc = *o_.noNc;
            if (auto failure = Step(ops::btnModeClick); !failure.empty())
                return failure;
        }
        if (o_.lineIndex >= 0) {
            w_.SelectBaudRate(o_.lineIndex);
            if (auto failure = Step(ops::btnBaudRateClick); !failure.empty())
                return failure;
        }
        return "";
    }

    // Reads everything back with a scan, which starts at the settings just given.
    std::string Check(const std::string& serial, int id) {
        const std::string wantedLine = w_.State().ScanBaudRate;
        const int wantedMode = w_.ModeIndex();
        const protocol::ChannelFlags wantedNoNc = w_.noNc;
        if (s_.Scan() != kExitOk)
            return "read-back: " + w_.status;
        const ops::ModuleFacts& module = s_.LastScan().module;
        actualId_ = module.idText;
        if (module.serial != serial)
            return "read-back: another module answered";
        if (module.id != id)
            return "read-back: ID is " + module.idText;
        if (w_.State().ScanBaudRate != wantedLine)
            return "read-back: line settings are " + w_.State().ScanBaudRate;
        if (w_.ModeIndex() != wantedMode)
            return "read-back: mode is " + ModeName(w_.ModeIndex());
        if (w_.noNc != wantedNoNc)
            return "read-back: NO/NC is " + protocol::FlagString(w_.noNc);
        return "";
    }

    static std::string Row(const Record& record) {
        std::string row = CsvField(UtcNow());
        for (const auto& field : record.fields)
            row.append(",").append(CsvField(std::get<std::string>(field.second)));
        return row.append(",").append(CsvField(record.message));
    }

    // The module is gone when its port no longer opens or no longer answers,
    // or when another module answers in its place.
    void WaitUntilGone() {
        const std::string serial = s_.LastScan().module.serial;
        while (!Interrupted()) {
            s_.machine().clock.SleepMs(kPollMs);
            const ops::SharedState& state = w_.State();
            link::Link& link = s_.link();
            if (!link.OpenCommPort(state.ScanCommNo, state.ScanBaudRate))
                return;
            bool same = false;
            for (int attempt = 0; attempt < kPresenceAttempts && !same; ++attempt) {
                same = ops::ModuleAnswersIdentify(link) &&
                       protocol::ReplySerial(link.ReplyText()) == serial;
            }
            link.CloseCommPort();
            if (!same)
                return;
        }
    }

    Session& s_;
    const Options& o_;
    HeadlessWindow& w_;
    const ops::SharedState start_;
    StationLog& log_;
    const std::string station_;
    std::string actualId_;
};

// A tone that one station at a time plays.
class SharedTone final : public platform::Tone {
public:
    explicit SharedTone(platform::Tone& inner) : inner_(inner) {}
    void Beep(unsigned frequencyHz, unsigned durationMs) override {
        const std::lock_guard lock(mutex_);
        inner_.Beep(frequencyHz, durationMs);
    }

private:
    platform::Tone& inner_;
    std::mutex mutex_;
};

// One station per device, each a run of its own on one port, all on one log.
StationTally RunStations(Session& session, StationLog& log) {
    const Options& options = session.options();
    SharedTone tone(session.machine().tone);
    std::vector<Station> stations;
    stations.reserve(options.devices.size());
    for (const std::string& device : options.devices) stations.push_back({device, log, {}});
    std::vector<std::thread> threads;
    for (Station& station : stations) {
        threads.emplace_back([&session, &tone, &station] {
            Options own = session.options();
            own.devices = {station.device};
            const Machine& shared = session.machine();
            Machine machine{shared.store, shared.ports,      shared.clock,
                            tone,         shared.makeDevice, shared.interrupted};
            Session(own, std::move(machine), session.printer()).RunAsStation(station);
        });
    }
    StationTally total;
    for (std::size_t k = 0; k < threads.size(); ++k) {
        threads[k].join();
        const StationTally& tally = stations[k].tally;
        total.modules += tally.modules;
        total.failures += tally.failures;
        if (!total.broken)
            total.broken = tally.broken;
    }
    return total;
}

}  // namespace

int RunProvision(Session& session) {
    if (Station* station = session.station()) {
        station->tally = Loop(session, station->log, station->device).Run();
        return station->tally.broken || station->tally.failures > 0 ? kExitFailed : kExitOk;
    }
    std::optional<Failure> failure;
    const std::unique_ptr<StationLog> log = StationLog::Open(session.options().logPath, failure);
    StationTally tally;
    if (!log) {
        session.printer().Problem(failure->text);
        tally.broken = failure;
    } else if (session.options().devices.size() > 1) {
        tally = RunStations(session, *log);
    } else {
        tally = Loop(session, *log).Run();
    }
    const int code = tally.broken || tally.failures > 0 ? kExitFailed : kExitOk;
    const std::string summary = std::to_string(tally.modules) + " modules, " +
                                std::to_string(tally.failures) + " failed" +
                                (tally.broken ? "; " + tally.broken->text : std::string{});
    session.printer().Closing({"provision", code == kExitOk, summary, {}, code, tally.broken});
    return code;
}

}  // namespace vx::ctl
