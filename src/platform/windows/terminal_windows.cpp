#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <streambuf>
#include <string>

#include "platform/terminal.h"

namespace vx::platform {

namespace {

std::atomic<bool> interrupted{false};

// Runs on a thread of its own that the console starts; answering TRUE keeps
// the process alive so that the program ends by itself.
BOOL WINAPI OnConsoleControl(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        interrupted = true;
        return TRUE;
    }
    return FALSE;
}

// Far above a line of the program's; past it the text goes out even
// without a flush.
constexpr std::size_t kPendingLimit = 4096;
constexpr unsigned char kUtf8Lead = 0xC0;
constexpr unsigned char kUtf8Continuation = 0x80;

// How many bytes at the end of `text` begin a UTF-8 sequence whose rest is
// still to come; they wait for it, so that no character is cut in two.
std::size_t UnfinishedTail(const std::string& text) {
    const std::size_t reach = std::min<std::size_t>(text.size(), 3);
    for (std::size_t back = 1; back <= reach; ++back) {
        const auto byte = static_cast<unsigned char>(text[text.size() - back]);
        if ((byte & kUtf8Lead) == kUtf8Continuation)
            continue;
        if (byte < kUtf8Lead)
            return 0;
        const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : 2;
        return length > back ? back : 0;
    }
    return 0;
}

// The text as UTF-16 through WriteConsoleW: the console shows it as it is
// whatever code page it has, where bytes through WriteFile would be read in
// that code page.
class ConsoleBuffer final : public std::streambuf {
public:
    explicit ConsoleBuffer(HANDLE console) : console_(console) {}
    ~ConsoleBuffer() override { sync(); }

protected:
    int_type overflow(int_type c) override {
        if (!traits_type::eq_int_type(c, traits_type::eof()))
            pending_ += traits_type::to_char_type(c);
        return pending_.size() > kPendingLimit && sync() != 0 ? traits_type::eof()
                                                              : traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        pending_.append(text, static_cast<std::size_t>(count));
        if (pending_.size() > kPendingLimit && sync() != 0)
            return 0;
        return count;
    }
    int sync() override {
        const std::size_t whole = pending_.size() - UnfinishedTail(pending_);
        if (whole == 0)
            return 0;
        const int bytes = static_cast<int>(whole);
        const int units = MultiByteToWideChar(CP_UTF8, 0, pending_.data(), bytes, nullptr, 0);
        std::wstring wide(static_cast<std::size_t>(units), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, pending_.data(), bytes, wide.data(), units);
        pending_.erase(0, whole);
        for (std::size_t at = 0; at < wide.size();) {
            DWORD written = 0;
            if (WriteConsoleW(console_, wide.data() + at, static_cast<DWORD>(wide.size() - at),
                              &written, nullptr) == FALSE ||
                written == 0) {
                return -1;
            }
            at += written;
        }
        return 0;
    }

private:
    HANDLE console_;
    std::string pending_;
};

// Some consoles take the escape mode and still draw escapes as text (Wine's
// does). A harmless one is written and the cursor watched: where it moved,
// the cells it drew are blanked and the cursor put back.
bool DrawsEscapes(HANDLE console) {
    constexpr wchar_t kProbe[] = L"\x1b[0m";
    constexpr DWORD kProbeLength = sizeof kProbe / sizeof kProbe[0] - 1;
    CONSOLE_SCREEN_BUFFER_INFO before{};
    CONSOLE_SCREEN_BUFFER_INFO after{};
    DWORD written = 0;
    if (GetConsoleScreenBufferInfo(console, &before) == FALSE ||
        WriteConsoleW(console, kProbe, kProbeLength, &written, nullptr) == FALSE ||
        GetConsoleScreenBufferInfo(console, &after) == FALSE) {
        return false;
    }
    if (after.dwCursorPosition.X == before.dwCursorPosition.X &&
        after.dwCursorPosition.Y == before.dwCursorPosition.Y) {
        return true;
    }
    FillConsoleOutputCharacterW(console, L' ', kProbeLength, before.dwCursorPosition, &written);
    SetConsoleCursorPosition(console, before.dwCursorPosition);
    return false;
}

}  // namespace

struct Terminal::Console {
    Console(HANDLE console, DWORD found, std::ostream& standard)
        : handle(console), mode(found), stream(standard), buffer(console) {}
    HANDLE handle;
    DWORD mode;
    std::ostream& stream;
    ConsoleBuffer buffer;
    std::streambuf* previous = nullptr;
};

// A console is told apart by its mode: a pipe, a file and the NUL device
// (which the C runtime takes for a terminal) have none. Windows 10 before
// 1511, and some consoles of other programs, refuse escape processing; the
// text then goes without escapes rather than showing them.
Terminal::Terminal(Stream which, std::ostream& stream) {
    const HANDLE handle = GetStdHandle(which == Stream::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr ||
        GetConsoleMode(handle, &mode) == FALSE)
        return;
    terminal_ = true;
    escapes_ = SetConsoleMode(handle, mode | ENABLE_PROCESSED_OUTPUT |
                                          ENABLE_VIRTUAL_TERMINAL_PROCESSING) != FALSE &&
               DrawsEscapes(handle);
    console_ = std::make_unique<Console>(handle, mode, stream);
    stream.flush();
    console_->previous = stream.rdbuf(&console_->buffer);
}

// The console outlives the program: the mode it was found in is given back.
Terminal::~Terminal() {
    if (!console_)
        return;
    console_->stream.flush();
    console_->stream.rdbuf(console_->previous);
    SetConsoleMode(console_->handle, console_->mode);
}

void CatchInterrupts() {
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

bool InterruptRequested() {
    return interrupted;
}

std::string ProcessName(long) {
    return {};
}

std::unique_ptr<SettingsStore> OpenSettingsStoreAt(const std::string&) {
    return nullptr;
}

}  // namespace vx::platform
