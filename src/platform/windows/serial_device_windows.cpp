#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <utility>

#include "platform/serial_device.h"

namespace vx::platform {
namespace {

// Reads return after at most 1 ms with whatever has arrived; writes have no
// time limit and return once their bytes are handed over.
constexpr COMMTIMEOUTS kLinkTimeouts{0, 0, 1, 0, 0};
constexpr DWORD kReadWaitMs = 1;
// The device namespace prefix lets COM10 and above open too; the plain name
// reaches only COM1 to COM9.
constexpr const char* kDevicePrefix = "\\\\.\\";

class WindowsSerialDevice final : public SerialDevice {
public:
    explicit WindowsSerialDevice(PortResolver resolve) : resolve_(std::move(resolve)) {}
    ~WindowsSerialDevice() override { Close(); }

    bool Open(const std::string& comName) override {
        Close();
        const std::string name = resolve_ ? resolve_(comName) : std::string{};
        if (name.empty())
            return false;
        const std::string path = kDevicePrefix + name;
        handle_ = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              0, nullptr);
        if (handle_ == INVALID_HANDLE_VALUE)
            return false;
        timeoutsSaved_ = GetCommTimeouts(handle_, &savedTimeouts_) != FALSE;
        COMMTIMEOUTS timeouts = kLinkTimeouts;
        SetCommTimeouts(handle_, &timeouts);
        return true;
    }

    bool ApplyLineSettings(const std::string& text) override {
        if (!IsOpen())
            return false;
        DCB state{};
        state.DCBlength = sizeof(DCB);
        return GetCommState(handle_, &state) != FALSE &&
               BuildCommDCBA(text.c_str(), &state) != FALSE &&
               SetCommState(handle_, &state) != FALSE;
    }

    void Write(const std::uint8_t* data, std::size_t count) override {
        if (!IsOpen())
            return;
        DWORD written = 0;
        WriteFile(handle_, data, static_cast<DWORD>(count), &written, nullptr);
    }

    std::optional<std::uint8_t> ReadByte() override {
        std::uint8_t byte = 0;
        DWORD got = 0;
        if (IsOpen() && ReadFile(handle_, &byte, 1, &got, nullptr) != FALSE) {
            if (got == 1)
                return byte;
            return std::nullopt;  // the read time limit has been waited out
        }
        // A failed read returns at once (an adapter pulled out); wait the
        // millisecond anyway so that a polling caller cannot spin.
        Sleep(kReadWaitMs);
        return std::nullopt;
    }

    void DiscardInput() override {
        if (IsOpen())
            PurgeComm(handle_, PURGE_RXCLEAR);
    }

    void Close() override {
        if (!IsOpen())
            return;
        if (timeoutsSaved_)
            SetCommTimeouts(handle_, &savedTimeouts_);
        CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        timeoutsSaved_ = false;
    }

    bool IsOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }

private:
    PortResolver resolve_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    COMMTIMEOUTS savedTimeouts_{};
    bool timeoutsSaved_ = false;
};

}  // namespace

std::unique_ptr<SerialDevice> CreateSystemSerialDevice(PortResolver resolve) {
    return std::make_unique<WindowsSerialDevice>(std::move(resolve));
}

}  // namespace vx::platform
