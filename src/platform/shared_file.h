#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vx::platform {

// A file that several programs append to, one at a time: each takes the lock,
// reads what the others added since it last looked, appends its own and lets
// go. The lock binds only programs that take it; readers such as a
// spreadsheet are not kept out.
class SharedFile {
public:
    virtual ~SharedFile() = default;

    // Waits at most `limit` for the lock; false when another program held it
    // all that time, or the system refused it (`Error` says why).
    virtual bool Lock(std::chrono::milliseconds limit) = 0;
    virtual void Unlock() = 0;

    // Up to `capacity` bytes from `offset`: 0 at the end, nothing on an error.
    virtual std::optional<std::size_t> ReadAt(std::uint64_t offset, char* buffer,
                                              std::size_t capacity) = 0;
    // All of `bytes` at the end of the file, on their way to the disk before
    // it returns; false on an error.
    virtual bool Append(std::string_view bytes) = 0;

    // What the system said of the last failure.
    virtual std::string Error() const = 0;
};

// Opens `path` for reading and appending, creating it when missing (readable
// by all, as a log is). Nothing when it cannot be opened, and `error` says
// why.
std::unique_ptr<SharedFile> OpenSharedFile(const std::string& path, std::string& error);

}  // namespace vx::platform
