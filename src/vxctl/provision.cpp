#include "vxctl/provision.h"

#include <cerrno>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>

#include "link/transaction.h"
#include "operations/operation_support.h"
#include "protocol/commands.h"
#include "vxctl/session.h"

namespace vx::ctl {

namespace {

// How often the loop looks for a module to come or to go.
constexpr std::uint32_t kPollMs = 250;
constexpr int kPresenceAttempts = 2;
std::string UtcNow() {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &now);
#else
    gmtime_r(&now, &utc);
#endif
    char text[sizeof "2000-01-01T00:00:00Z"];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

class Loop {
public:
    explicit Loop(Session& session)
        : s_(session), o_(session.options()), w_(session.window()), start_(w_.State()) {}

    int Run() {
        int modules = 0;
        int failures = 0;
        if (OpenLog())
            SayWhenWaitingForADevice();
        while (!Interrupted() && !broken_) {
            if (!WaitForModule())
                break;
            ++modules;
            if (!Provision())
                ++failures;
            if (Interrupted() || broken_)
                break;
            WaitUntilGone();
        }
        const int code = broken_ || failures > 0 ? kExitFailed : kExitOk;
        const std::string summary = std::to_string(modules) + " modules, " +
                                    std::to_string(failures) + " failed" +
                                    (broken_ ? "; " + broken_->text : std::string{});
        s_.printer().Closing({"provision", code == kExitOk, summary, {}, code, broken_});
        return code;
    }

private:
    bool Interrupted() { return s_.machine().interrupted(); }

    // The run cannot go on: the log or stdout can no longer be written.
    void Break(const std::string& kind, const std::string& text) {
        s_.printer().Problem(text);
        Failure failure;
        failure.kind = kind;
        failure.text = text;
        broken_ = failure;
    }

    // A log that cannot take its rows ends the run: a line that goes on
    // without its record would give IDs twice.
    bool CheckLog() {
        if (logFile_.good())
            return true;
        const int error = errno;
        Break("log", "cannot write the log " + o_.logPath + ": " +
                         (error != 0 ? std::generic_category().message(error)
                                     : std::string{"write error"}));
        return false;
    }

    // Only a plain file is read back; a device such as /dev/null may take
    // the rows, but reading it could go on for ever.
    bool OpenLog() {
        if (o_.logPath.empty())
            return true;
        namespace fs = std::filesystem;
        std::error_code error;
        const fs::file_type type = fs::status(o_.logPath, error).type();
        const bool plain = type == fs::file_type::regular;
        if (!plain && type != fs::file_type::not_found && type != fs::file_type::character) {
            Break("log", "cannot write the log " + o_.logPath + ": not a file");
            return false;
        }
        bool fresh = true;
        if (plain) {
            std::ifstream existing(o_.logPath, std::ios::binary);
            log_ = ReadProvisionLog(existing);
            fresh = fs::file_size(o_.logPath, error) == 0;
        }
        errno = 0;
        logFile_.open(o_.logPath, std::ios::app | std::ios::binary);
        if (!logFile_.is_open()) {
            Break("log", "cannot write the log " + o_.logPath);
            return false;
        }
        if (fresh)
            logFile_ << kProvisionLogHeader << "\n" << std::flush;
        return CheckLog();
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

    bool Provision() {
        const std::string serial = s_.LastScan().module.serial;
        const int id = ChooseId(log_, serial, o_.idFrom);
        actualId_ = s_.LastScan().module.idText;
        std::string failure;
        s_.tone().muted = true;
        if (id == 0) {
            failure = "no free ID left";
        } else {
            failure = Apply(id);
        }
        if (failure.empty())
            failure = Check(serial, id);
        s_.tone().muted = false;

        const bool ok = failure.empty();
        if (ok)
            log_.Note(serial, id);
        // The row tells the ID the module has: after a failed set-ID its
        // old one, and the ID it was to get stays free for the next module.
        Record record{"provision",
                      ok,
                      ok ? "ok" : failure,
                      {{"serial", serial},
                       {"id", actualId_},
                       {"line", w_.State().ScanBaudRate},
                       {"mode", ModeName(w_.ModeIndex())},
                       {"nonc", protocol::FlagString(w_.noNc)}}};
        WriteRow(record);
        s_.printer().Line(record);
        if (s_.printer().OutputFailed())
            Break("output", "cannot write the output");
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

    void WriteRow(const Record& record) {
        if (!logFile_.is_open())
            return;
        std::string row = CsvField(UtcNow());
        for (const auto& field : record.fields)
            row.append(",").append(CsvField(std::get<std::string>(field.second)));
        row.append(",").append(CsvField(record.message));
        errno = 0;
        logFile_ << row << "\n" << std::flush;
        CheckLog();
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
    ProvisionLog log_;
    std::ofstream logFile_;
    std::string actualId_;
    std::optional<Failure> broken_;
};

}  // namespace

int RunProvision(Session& session) {
    return Loop(session).Run();
}

}  // namespace vx::ctl
