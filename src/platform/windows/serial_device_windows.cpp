#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
// <mmsystem.h> needs the types of <windows.h>: keep it after this line.
#include <mmsystem.h>

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <utility>

#include "platform/network/network_serial_device.h"
#include "platform/serial_device.h"
#include "protocol/line_settings.h"

namespace vx::platform {
namespace {

// Reads return after at most 1 ms with whatever has arrived. A write may
// take as long as its bytes need at the slowest rate a line is set to
// (eleven bits a byte at 1200 bit/s: 9.2 ms) and half a second more; a
// driver that holds it longer (a stalled USB adapter) gives it up.
constexpr DWORD kWriteMsPerByte = 10;
constexpr DWORD kWriteSlackMs = 500;
constexpr COMMTIMEOUTS kLinkTimeouts{0, 0, 1, kWriteMsPerByte, kWriteSlackMs};
constexpr DWORD kReadWaitMs = 1;
// Without it a Sleep(1), the 1 ms read time limit and timeGetTime() all move
// in whole scheduler ticks (about 15.6 ms), and a 150 ms reply window would
// be ten polls wide.
constexpr UINT kTimerResolutionMs = 1;
// The device namespace prefix lets COM10 and above open too; the plain name
// reaches only COM1 to COM9.
constexpr const char* kDevicePrefix = "\\\\.\\";

// How the serial drivers report a port whose adapter has been pulled out.
bool MeansDeviceGone(DWORD error) {
    switch (error) {
        case ERROR_ACCESS_DENIED:
        case ERROR_BAD_COMMAND:
        case ERROR_OPERATION_ABORTED:
        case ERROR_DEVICE_REMOVED:
            return true;
        default:
            return false;
    }
}

// The text names only speed and framing; everything else would stay as the
// port's previous owner left it. The link's line is plain: parity
// checked exactly when the text names one, no handshake in either direction,
// no character replaced or dropped, and no error that stalls later reads.
void MakePlainLine(DCB& state) {
    state.fBinary = TRUE;
    state.fParity = state.Parity != NOPARITY;
    state.fOutxCtsFlow = FALSE;
    state.fOutxDsrFlow = FALSE;
    state.fDsrSensitivity = FALSE;
    state.fOutX = FALSE;
    state.fInX = FALSE;
    state.fErrorChar = FALSE;
    state.fNull = FALSE;
    state.fAbortOnError = FALSE;
    if (state.fDtrControl == DTR_CONTROL_HANDSHAKE)
        state.fDtrControl = DTR_CONTROL_ENABLE;
    // RTS toggling is left alone: RS-485 adapters use it to turn their
    // transmitter around, which is not flow control.
    if (state.fRtsControl == RTS_CONTROL_HANDSHAKE)
        state.fRtsControl = RTS_CONTROL_ENABLE;
}

BYTE ParityCode(protocol::Parity parity) {
    switch (parity) {
        case protocol::Parity::Even:
            return EVENPARITY;
        case protocol::Parity::Odd:
            return ODDPARITY;
        case protocol::Parity::Mark:
            return MARKPARITY;
        case protocol::Parity::Space:
            return SPACEPARITY;
        case protocol::Parity::None:
            break;
    }
    return NOPARITY;
}

BYTE StopBitsCode(protocol::StopBits stopBits) {
    switch (stopBits) {
        case protocol::StopBits::OneAndHalf:
            return ONE5STOPBITS;
        case protocol::StopBits::Two:
            return TWOSTOPBITS;
        case protocol::StopBits::One:
            break;
    }
    return ONESTOPBIT;
}

// The text is read by the same rules as on every other platform, which are
// those of BuildCommDCB, so the two cannot disagree on what a text means.
void SetFraming(DCB& state, const protocol::LineSettings& settings) {
    state.BaudRate = settings.baudRate;
    state.ByteSize = static_cast<BYTE>(settings.dataBits);
    state.Parity = ParityCode(settings.parity);
    state.StopBits = StopBitsCode(settings.stopBits);
}

// Windows 11 lets the 1 ms timer lapse in a process whose windows are
// minimised or covered; a link's reply windows need it while a port is open.
// Older systems have no such throttling, nor the call: it is looked up.
void HonourTimerResolution(bool honour) {
    using SetInformation = BOOL(WINAPI*)(HANDLE, PROCESS_INFORMATION_CLASS, LPVOID, DWORD);
    const auto set = reinterpret_cast<SetInformation>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetProcessInformation")));
    if (set == nullptr)
        return;
    PROCESS_POWER_THROTTLING_STATE state{};
    state.Version = PROCESS_POWER_THROTTLING_CURRENT_VERSION;
    // Under control with the state clear: timer requests are always honoured.
    // No control at all: the system decides again.
    state.ControlMask = honour ? PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION : 0;
    state.StateMask = 0;
    set(GetCurrentProcess(), ProcessPowerThrottling, &state, sizeof state);
}

// The opt-out is the process's, and a parallel search opens many ports from
// many threads: it holds from the first port opened until the last closes.
std::mutex timerHoldersMutex;
int timerHolders = 0;

void HoldTimer(bool hold) {
    const std::lock_guard lock(timerHoldersMutex);
    const bool changes = hold ? timerHolders++ == 0 : --timerHolders == 0;
    if (changes)
        HonourTimerResolution(hold);
}

// A port held by another program is refused with "access denied": the comm
// driver grants one handle at a time.
PortOpen FailedOpen(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            return {PortFailure::Missing};
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return {PortFailure::Busy};
        default:
            return {PortFailure::Other, 0, "Windows error " + std::to_string(error)};
    }
}

class WindowsSerialDevice final : public SerialDevice {
public:
    explicit WindowsSerialDevice(PortResolver resolve) : resolve_(std::move(resolve)) {}
    ~WindowsSerialDevice() override { Close(); }

    PortOpen Open(const std::string& comName) override {
        Close();
        const std::string name = resolve_ ? resolve_(comName) : std::string{};
        if (name.empty())
            return {PortFailure::Missing};
        const std::string path = kDevicePrefix + name;
        handle_ = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              0, nullptr);
        if (handle_ == INVALID_HANDLE_VALUE)
            return FailedOpen(GetLastError());
        gone_ = false;
        timeBeginPeriod(kTimerResolutionMs);
        HoldTimer(true);
        timeoutsSaved_ = GetCommTimeouts(handle_, &savedTimeouts_) != FALSE;
        COMMTIMEOUTS timeouts = kLinkTimeouts;
        if (SetCommTimeouts(handle_, &timeouts) == FALSE)
            return Refused("the driver refused the read and write time limits");
        DCB state{};
        state.DCBlength = sizeof(DCB);
        if (GetCommState(handle_, &state) == FALSE)
            return Refused("the driver did not tell its line settings");
        MakePlainLine(state);
        if (SetCommState(handle_, &state) == FALSE)
            return Refused("the driver refused a line without handshake");
        readLimitMs_ = kReadWaitMs;
        return {};
    }

    bool ApplyLineSettings(const std::string& text) override {
        const auto settings = protocol::ParseLineSettings(text);
        if (!settings || !IsOpen())
            return false;
        DCB state{};
        state.DCBlength = sizeof(DCB);
        if (GetCommState(handle_, &state) == FALSE)
            return false;
        SetFraming(state, *settings);
        MakePlainLine(state);
        return SetCommState(handle_, &state) != FALSE;
    }

    void Write(const std::uint8_t* data, std::size_t count) override {
        if (!IsOpen() || gone_)
            return;
        DWORD written = 0;
        if (WriteFile(handle_, data, static_cast<DWORD>(count), &written, nullptr) == FALSE) {
            NoteFailure();
        } else if (written < count) {
            // The time limit ran out: the rest is dropped, so that it cannot
            // reach the module in the middle of the next frame.
            PurgeComm(handle_, PURGE_TXCLEAR | PURGE_TXABORT);
        }
    }

    std::optional<std::uint8_t> ReadByte() override { return ReadWithin(kReadWaitMs); }

    std::optional<std::uint8_t> ReadByteWithin(std::uint32_t waitMs) override {
        return ReadWithin(waitMs);
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
        HoldTimer(false);
        timeEndPeriod(kTimerResolutionMs);
        handle_ = INVALID_HANDLE_VALUE;
        timeoutsSaved_ = false;
    }

    bool IsOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }
    bool Gone() const override { return IsOpen() && gone_; }

private:
    // The port's read time limit follows the caller's wait, so a read of the
    // whole reply window blocks in the driver rather than in a loop here.
    std::optional<std::uint8_t> ReadWithin(DWORD waitMs) {
        std::uint8_t byte = 0;
        DWORD got = 0;
        if (IsOpen() && !gone_) {
            SetReadLimit(waitMs);
            if (ReadFile(handle_, &byte, 1, &got, nullptr) != FALSE) {
                if (got == 1)
                    return byte;
                return std::nullopt;  // the read time limit has been waited out
            }
            NoteFailure();
        }
        // A failed read returns at once; wait the millisecond anyway so that
        // a polling caller cannot spin.
        Sleep(waitMs);
        return std::nullopt;
    }

    void SetReadLimit(DWORD waitMs) {
        if (waitMs == readLimitMs_)
            return;
        COMMTIMEOUTS timeouts = kLinkTimeouts;
        timeouts.ReadTotalTimeoutConstant = waitMs;
        if (SetCommTimeouts(handle_, &timeouts) != FALSE)
            readLimitMs_ = waitMs;
    }

    // A port whose driver will not run it as the link needs is not opened:
    // a read without a time limit could wait for ever.
    PortOpen Refused(const char* what) {
        const DWORD error = GetLastError();
        Close();
        return {PortFailure::Other, 0,
                std::string{what} + " (Windows error " + std::to_string(error) + ")"};
    }

    // A removed adapter leaves the handle open but every call failing: the
    // port is treated as gone until it is closed, as a hang-up is on Linux.
    // Other failures are line errors (parity, framing, overrun), which must
    // be cleared before the port reads again; under an abort-on-error that a
    // rejected line setting left in place they too end in
    // ERROR_OPERATION_ABORTED, but the cleared error flags tell them apart.
    void NoteFailure() {
        const DWORD error = GetLastError();
        DWORD lineErrors = 0;
        const bool lineError =
            ClearCommError(handle_, &lineErrors, nullptr) != FALSE && lineErrors != 0;
        gone_ = MeansDeviceGone(error) && !lineError;
    }

    PortResolver resolve_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    COMMTIMEOUTS savedTimeouts_{};
    DWORD readLimitMs_ = kReadWaitMs;
    bool timeoutsSaved_ = false;
    bool gone_ = false;
};

// A kernel object's name may not hold a backslash and is limited in length;
// an endpoint that could break either is named by its FNV-1a hash instead.
std::string MutexNameOf(const std::string& endpoint) {
    constexpr std::size_t kLongestPlainName = 64;
    constexpr std::uint64_t kFnvOffset = 14695981039346656037ULL;
    constexpr std::uint64_t kFnvPrime = 1099511628211ULL;
    const std::string prefix = "Global\\vxconfig-port-";
    if (endpoint.size() <= kLongestPlainName && endpoint.find('\\') == std::string::npos)
        return prefix + endpoint;
    std::uint64_t hash = kFnvOffset;
    for (const unsigned char c : endpoint) hash = (hash ^ c) * kFnvPrime;
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    return prefix + "h" + hex;
}

// A network port is held by a named mutex, in the global namespace so that
// other login sessions see it too: the comm driver's one-handle rule that
// keeps a second program off a native port does not reach a socket.
class NetworkPortMutex final : public PortClaim {
public:
    ~NetworkPortMutex() override { Release(); }
    long Take(const std::string& endpoint) override {
        Release();
        mutex_ = CreateMutexA(nullptr, FALSE, MutexNameOf(endpoint).c_str());
        if (mutex_ != nullptr && GetLastError() != ERROR_ALREADY_EXISTS)
            return 0;
        Release();
        return -1;
    }
    void Release() override {
        if (mutex_ != nullptr)
            CloseHandle(mutex_);
        mutex_ = nullptr;
    }

private:
    HANDLE mutex_ = nullptr;
};

}  // namespace

std::unique_ptr<SerialDevice> CreateSystemSerialDevice(PortResolver resolve) {
    return CreateRoutingSerialDevice(
        std::move(resolve),
        [](PortResolver local) { return std::make_unique<WindowsSerialDevice>(std::move(local)); },
        CreateNetworkSerialDevice(std::make_unique<NetworkPortMutex>()));
}

}  // namespace vx::platform
