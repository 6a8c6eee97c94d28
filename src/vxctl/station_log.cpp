#include "vxctl/station_log.h"

#include <chrono>
#include <filesystem>
#include <system_error>
#include <vector>

#include "protocol/commands.h"

namespace vx::ctl {

namespace {

// Another station holds the lock for a read and a row: milliseconds. One
// that holds it this long has hung, and this station stops rather than
// guess an ID.
constexpr std::chrono::milliseconds kLockLimit{5000};
constexpr std::size_t kReadChunk = 64 * 1024;

}  // namespace

std::unique_ptr<StationLog> StationLog::Open(const std::string& path,
                                             std::optional<Failure>& failure) {
    if (path.empty())
        return std::unique_ptr<StationLog>(new StationLog({}, nullptr, false));
    // Only a plain file is read back; a device such as /dev/null may take
    // the rows, but reading it could go on for ever.
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_type type = fs::status(path, error).type();
    const bool plain = type == fs::file_type::regular || type == fs::file_type::not_found;
    if (!plain && type != fs::file_type::character) {
        failure = Failure{"log", "cannot write the log " + path + ": not a file"};
        return nullptr;
    }
    std::string why;
    auto file = platform::OpenSharedFile(path, why);
    if (!file) {
        failure = Failure{"log", "cannot write the log " + path + ": " + why};
        return nullptr;
    }
    std::unique_ptr<StationLog> log(new StationLog(path, std::move(file), plain));
    const bool ready = log->Locked(
        [&log] { return log->readTo_ > 0 || log->Append(kProvisionLogHeader); }, failure);
    return ready ? std::move(log) : nullptr;
}

std::optional<int> StationLog::Reserve(const std::string& serial, int idFrom,
                                       std::optional<Failure>& failure) {
    const std::lock_guard lock(mutex_);
    int id = 0;
    const bool reserved = Locked(
        [&] {
            id = ChooseId(log_, serial, idFrom);
            if (id == 0)
                return true;
            const std::string row = CsvField(UtcNow()) + "," + CsvField(serial) + "," +
                                    protocol::IdText(id) + ",,,," + kReservedResult;
            if (!Append(row))
                return false;
            log_.Take(row);
            return true;
        },
        failure);
    return reserved ? std::optional<int>(id) : std::nullopt;
}

bool StationLog::Write(const std::string& row, std::optional<Failure>& failure) {
    const std::lock_guard lock(mutex_);
    return Locked(
        [&] {
            if (!Append(row))
                return false;
            log_.Take(row);
            return true;
        },
        failure);
}

bool StationLog::Locked(const std::function<bool()>& change, std::optional<Failure>& failure) {
    if (!file_)
        return change();
    if (!file_->Lock(kLockLimit)) {
        failure = Broken(file_->Error());
        return false;
    }
    const bool done = CatchUp() && change();
    file_->Unlock();
    if (!done)
        failure = Broken(file_->Error());
    return done;
}

// Its own rows come back too, which changes nothing: a row says the same
// the second time.
bool StationLog::CatchUp() {
    if (!readBack_)
        return true;
    std::vector<char> chunk(kReadChunk);
    for (;;) {
        const auto got = file_->ReadAt(readTo_, chunk.data(), chunk.size());
        if (!got)
            return false;
        if (*got == 0)
            return true;
        log_.Feed(std::string_view(chunk.data(), *got));
        readTo_ += *got;
    }
}

bool StationLog::Append(const std::string& row) {
    return !file_ || file_->Append(row + "\n");
}

Failure StationLog::Broken(const std::string& why) const {
    return Failure{"log", "cannot write the log " + path_ + ": " + why};
}

}  // namespace vx::ctl
