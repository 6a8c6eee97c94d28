#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/shared_file.h"
#include "vxctl/output.h"
#include "vxctl/provision.h"

namespace vx::ctl {

// The production log that every station shares, the stations of this run
// and those of other vxctl runs on the same file. An ID is taken under the
// log's lock, after reading the rows the others added since, and a row that
// reserves it is written before the lock is let go: no two stations ever
// give one ID, and a crash before the module is done leaves its ID taken.
// Without a file, the stations of this run still share one sequence.
class StationLog {
public:
    // Nothing when the log cannot be used; `failure` then says why.
    static std::unique_ptr<StationLog> Open(const std::string& path,
                                            std::optional<Failure>& failure);

    // The ID for this serial number (0: none left), reserved in the log.
    // Nothing when the log failed; `failure` then says why.
    std::optional<int> Reserve(const std::string& serial, int idFrom,
                               std::optional<Failure>& failure);
    // The module's last row (without its line end); false when the log failed.
    bool Write(const std::string& row, std::optional<Failure>& failure);

private:
    StationLog(std::string path, std::unique_ptr<platform::SharedFile> file, bool readBack)
        : path_(std::move(path)), file_(std::move(file)), readBack_(readBack) {}
    // Runs `change` under the lock, after the rows that others added.
    bool Locked(const std::function<bool()>& change, std::optional<Failure>& failure);
    bool CatchUp();
    bool Append(const std::string& row);
    Failure Broken(const std::string& why) const;

    std::string path_;
    std::unique_ptr<platform::SharedFile> file_;
    bool readBack_ = false;
    std::mutex mutex_;
    std::uint64_t readTo_ = 0;
    ProvisionLog log_;
};

}  // namespace vx::ctl
