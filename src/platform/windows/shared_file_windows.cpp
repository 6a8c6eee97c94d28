#include <windows.h>

#include <thread>

#include "platform/shared_file.h"
#include "platform/windows/wide_text.h"

namespace vx::platform {
namespace {

constexpr auto kLockRetry = std::chrono::milliseconds(2);
// Windows locks byte ranges, and a locked range cannot be read by others.
// The lock is taken on one byte far beyond any log's end, so that it binds
// only programs that take it too.
constexpr DWORD kLockOffsetHigh = 0x40000000;
constexpr DWORD kLockBytes = 1;
constexpr int kShift = 32;

std::string ErrorText(DWORD error) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length > 0 ? std::string(text, length) : "error " + std::to_string(error);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
        message.pop_back();
    return message;
}

OVERLAPPED At(std::uint64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> kShift);
    return at;
}

class WindowsSharedFile final : public SharedFile {
public:
    explicit WindowsSharedFile(HANDLE file) : file_(file) {}
    ~WindowsSharedFile() override {
        Unlock();
        CloseHandle(file_);
    }

    bool Lock(std::chrono::milliseconds limit) override {
        const auto giveUp = std::chrono::steady_clock::now() + limit;
        for (;;) {
            OVERLAPPED at = At(std::uint64_t{kLockOffsetHigh} << kShift);
            if (LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                           kLockBytes, 0, &at)) {
                return locked_ = true;
            }
            const DWORD error = GetLastError();
            if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING)
                return Failed(error);
            if (std::chrono::steady_clock::now() >= giveUp) {
                error_ = "another program holds its lock";
                return false;
            }
            std::this_thread::sleep_for(kLockRetry);
        }
    }

    void Unlock() override {
        if (!locked_)
            return;
        OVERLAPPED at = At(std::uint64_t{kLockOffsetHigh} << kShift);
        UnlockFileEx(file_, 0, kLockBytes, 0, &at);
        locked_ = false;
    }

    std::optional<std::size_t> ReadAt(std::uint64_t offset, char* buffer,
                                      std::size_t capacity) override {
        OVERLAPPED at = At(offset);
        DWORD got = 0;
        if (ReadFile(file_, buffer, static_cast<DWORD>(capacity), &got, &at))
            return got;
        const DWORD error = GetLastError();
        if (error == ERROR_HANDLE_EOF)
            return 0;
        Failed(error);
        return std::nullopt;
    }

    bool Append(std::string_view bytes) override {
        while (!bytes.empty()) {
            DWORD put = 0;
            if (!WriteFile(file_, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr))
                return Failed(GetLastError());
            if (put == 0)
                return Failed(ERROR_DISK_FULL);
            bytes.remove_prefix(put);
        }
        return FlushFileBuffers(file_) || Failed(GetLastError());
    }

    std::string Error() const override { return error_; }

private:
    bool Failed(DWORD error) {
        error_ = ErrorText(error);
        return false;
    }

    HANDLE file_;
    bool locked_ = false;
    std::string error_;
};

}  // namespace

std::unique_ptr<SharedFile> OpenSharedFile(const std::string& path, std::string& error) {
    // Appending only: every write lands at the end, whoever wrote last.
    const HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ | FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = ErrorText(GetLastError());
        return nullptr;
    }
    return std::make_unique<WindowsSharedFile>(file);
}

}  // namespace vx::platform
