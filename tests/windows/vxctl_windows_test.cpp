// vxctl.exe itself under Wine: the ports a scan is told to look at, through
// the Ports table in the registry's 32-bit view (where an administrator's
// .reg file puts them), with and without --no-store, and `vxctl ports`
// writing that same place. The script maps COM5 and COM23 to vxsim's
// module and names a module behind ser2net.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "case_names.h"

namespace {

constexpr const char* kProgramKey = "Software\\TAVRO\\VXConfig";
constexpr const char* kPortsKey = "Software\\TAVRO\\VXConfig\\Ports";
constexpr const char* kUserCopy =
    "Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE\\WOW6432Node\\TAVRO\\VXConfig";
constexpr DWORD kRunBoundMs = 60000;
constexpr DWORD kExitPortError = 3;
constexpr DWORD kPollMs = 50;

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string{} : value;
}

void DeleteTree(HKEY root, const char* path, REGSAM view) {
    RegDeleteTreeA(root, path);
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS | view, &key) == ERROR_SUCCESS) {
        RegDeleteTreeA(key, nullptr);
        RegCloseKey(key);
    }
    RegDeleteKeyExA(root, path, view, 0);
}

// The program's settings gone from both views and the user's copy.
void ForgetSettings() {
    DeleteTree(HKEY_LOCAL_MACHINE, kProgramKey, KEY_WOW64_32KEY);
    DeleteTree(HKEY_LOCAL_MACHINE, kProgramKey, KEY_WOW64_64KEY);
    DeleteTree(HKEY_CURRENT_USER, kUserCopy, KEY_WOW64_64KEY);
}

// A Ports entry as a .reg file or `reg add /reg:32` writes it.
void MapPort(const std::string& name, const std::string& value, REGSAM view) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kPortsKey, 0, nullptr, 0, KEY_SET_VALUE | view,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
}

std::string ReadPort(const std::string& name, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPortsKey, 0, KEY_QUERY_VALUE | view, &key) !=
        ERROR_SUCCESS) {
        return {};
    }
    char value[MAX_PATH] = {};
    DWORD size = sizeof value - 1;
    const bool read = RegQueryValueExA(key, name.c_str(), nullptr, nullptr,
                                       reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS;
    RegCloseKey(key);
    return read ? value : std::string{};
}

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Ran {
    DWORD code = 0;
    std::string out;
    std::string err;
};

// vxctl.exe with its stdout and stderr in files, so both are bytes as a
// script that redirects them gets them.
std::string CommandLine(const std::string& arguments) {
    std::string exe = VXCTL_EXE;
    for (char& c : exe) c = c == '/' ? '\\' : c;
    return "\"Z:" + exe + "\" " + arguments;
}

Ran RunVxctl(const std::string& arguments) {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string outPath = std::string{temp} + "vxctl-test-out.txt";
    const std::string errPath = std::string{temp} + "vxctl-test-err.txt";
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const auto open = [&](const std::string& path) {
        return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited, CREATE_ALWAYS,
                           0, nullptr);
    };
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = open(outPath);
    startup.hStdError = open(errPath);
    PROCESS_INFORMATION process{};
    std::string line = CommandLine(arguments);
    Ran ran;
    ran.code = ~DWORD{0};
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &process) != FALSE) {
        WaitForSingleObject(process.hProcess, kRunBoundMs);
        GetExitCodeProcess(process.hProcess, &ran.code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(startup.hStdOutput);
    CloseHandle(startup.hStdError);
    ran.out = FileText(outPath);
    ran.err = FileText(errPath);
    return ran;
}

struct PortCase {
    std::string name;
    std::string port;
    DWORD code;
    std::string says;  // in the JSON on stdout
};

void PrintTo(const PortCase& c, std::ostream* os) {
    *os << c.name;
}

class VxctlPortsUnderWine : public ::testing::TestWithParam<PortCase> {
protected:
    void SetUp() override {
        ForgetSettings();
        network = Environment("VX_WINE_NETWORK_URL");
        const std::string high = Environment("VX_WINE_HIGH_PORT");
        ASSERT_FALSE(network.empty() || high.empty()) << "the script names no network or high port";
        MapPort("COM7", network, KEY_WOW64_32KEY);
        MapPort("COM4", "COM" + high, KEY_WOW64_32KEY);
        MapPort("COM8", "COM99", KEY_WOW64_32KEY);
        // The 64-bit view is not the program's: an entry there is never seen.
        MapPort("COM3", network, KEY_WOW64_64KEY);
    }
    void TearDown() override { ForgetSettings(); }

    std::string network;
};

TEST_P(VxctlPortsUnderWine, ScansTheAskedPortAsTheTableMapsItWithAndWithoutTheStore) {
    const PortCase& c = GetParam();
    for (const char* store : {"", " --no-store"}) {
        const Ran ran =
            RunVxctl("scan --json --lock 19200,e,8,1 --port " + c.port + std::string{store});
        EXPECT_EQ(ran.code, c.code) << store << "\n" << ran.out << ran.err;
        EXPECT_NE(ran.out.find(c.says), std::string::npos) << store << "\n" << ran.out;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, VxctlPortsUnderWine,
    ::testing::Values(
        PortCase{"MappedToANetworkPort", "COM7", 0, R"("ok":true,"exit":0)"},
        PortCase{"MappedToAHighNativePort", "COM4", 0, R"("port":"COM4","device":"COM)"},
        PortCase{"NativeAndUnmapped", "COM5", 0, R"("port":"COM5","device":"COM5")"},
        PortCase{"Missing", "COM9", kExitPortError, "COM9 cannot be opened: no such device"},
        PortCase{"MappedToAMissingNativePort", "COM8", kExitPortError,
                 "COM8 (COM99) cannot be opened: no such device"},
        PortCase{"OnlyInThe64BitView", "COM3", kExitPortError,
                 "COM3 cannot be opened: no such device"}),
    vx::testing::PrintedCaseName{});

// `vxctl ports` writes where the reader looks, the 32-bit view, and takes on
// Windows what the reader takes there.
TEST(VxctlPortsCommandUnderWine, WritesAndRemovesInTheThirtyTwoBitView) {
    ForgetSettings();
    const Ran set = RunVxctl("ports set COM12 COM23");
    EXPECT_EQ(set.code, 0u) << set.err;
    EXPECT_EQ(ReadPort("COM12", KEY_WOW64_32KEY), "COM23");
    EXPECT_EQ(ReadPort("COM12", KEY_WOW64_64KEY), "");
    EXPECT_NE(RunVxctl("ports list").out.find("port=COM12 device=COM23"), std::string::npos);
    EXPECT_EQ(RunVxctl("ports set COM13 /dev/ttyS0").code, 2u);
    EXPECT_EQ(ReadPort("COM13", KEY_WOW64_32KEY), "");
    EXPECT_EQ(RunVxctl("ports remove COM12").code, 0u);
    EXPECT_EQ(ReadPort("COM12", KEY_WOW64_32KEY), "");
    ForgetSettings();
}

// The test's own console, made once, whose screen the tests read back cell
// by cell; a child started without handles of its own writes to it. Wine's
// console keeps a screen only on a display, which the script gives.
HANDLE Screen() {
    static const HANDLE screen = [] {
        FreeConsole();
        AllocConsole();
        return CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    }();
    return screen;
}

// The screen's characters as UTF-8, a line per row.
std::string ScreenText() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(Screen(), &info) == FALSE)
        return "no console screen";
    std::string text;
    std::wstring row(static_cast<std::size_t>(info.dwSize.X), L' ');
    for (SHORT y = 0; y < info.dwSize.Y; ++y) {
        DWORD got = 0;
        ReadConsoleOutputCharacterW(Screen(), row.data(), info.dwSize.X, {0, y}, &got);
        char bytes[4 * 512] = {};
        const int length = WideCharToMultiByte(CP_UTF8, 0, row.data(), static_cast<int>(got), bytes,
                                               sizeof bytes, nullptr, nullptr);
        text.append(bytes, static_cast<std::size_t>(length)).push_back('\n');
    }
    return text;
}

void ClearScreen() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    GetConsoleScreenBufferInfo(Screen(), &info);
    DWORD done = 0;
    FillConsoleOutputCharacterW(Screen(), L' ', static_cast<DWORD>(info.dwSize.X * info.dwSize.Y),
                                {0, 0}, &done);
    SetConsoleCursorPosition(Screen(), {0, 0});
}

// vxctl.exe on the console, as in a person's window, until the screen shows
// `wanted` or the run's bound passes; the program is then ended, as a watch
// never ends by itself.
std::string ScreenOf(const std::string& arguments, const std::regex& wanted) {
    ClearScreen();
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    std::string line = CommandLine(arguments);
    PROCESS_INFORMATION process{};
    if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &process) == FALSE) {
        return "vxctl.exe did not start";
    }
    const DWORD started = GetTickCount();
    std::string screen = ScreenText();
    while (!std::regex_search(screen, wanted) && GetTickCount() - started < kRunBoundMs) {
        Sleep(kPollMs);
        screen = ScreenText();
    }
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, kRunBoundMs);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return screen;
}

// What a person and a script get of the same text: the console shows the
// characters themselves and draws the lamps' colour, never an escape as
// text; a pipe or file gets UTF-8 bytes without escapes.
struct TextCase {
    std::string name;
    bool console;
    std::string arguments;
    std::string shown;  // a regular expression over UTF-8 bytes
};

void PrintTo(const TextCase& c, std::ostream* os) {
    *os << c.name;
}

class VxctlTextUnderWine : public ::testing::TestWithParam<TextCase> {};

TEST_P(VxctlTextUnderWine, ReachesTheScreenOrTheFileAsUtf8) {
    const TextCase& c = GetParam();
    const std::string arguments = c.arguments + " --no-store --lock 19200,e,8,1 --port COM" +
                                  Environment("VX_WINE_MODULE_PORT");
    const std::regex shown(c.shown);
    if (c.console) {
        const std::string screen = ScreenOf(arguments, shown);
        EXPECT_TRUE(std::regex_search(screen, shown)) << screen;
        EXPECT_EQ(screen.find('['), std::string::npos) << screen;  // an escape drawn as text
        return;
    }
    const Ran ran = RunVxctl(arguments);
    EXPECT_TRUE(std::regex_search(ran.out, shown)) << ran.out;
    EXPECT_EQ(ran.out.find('\x1b'), std::string::npos) << ran.out;
}

// The lamps: U+25CF lit, U+25CB dark. The status in traditional Chinese:
// "讀取模組資訊完成".
#define LAMP "(\xE2\x97[\x8B\x8F])"
#define STATUS                                                                                     \
    "\xE8\xAE\x80\xE5\x8F\x96\xE6\xA8\xA1\xE7\xB5\x84\xE8\xB3\x87\xE8\xA8\x8A\xE5\xAE\x8C\xE6\x88" \
    "\x90"
INSTANTIATE_TEST_SUITE_P(
    Table, VxctlTextUnderWine,
    ::testing::Values(TextCase{"LampRowOnTheConsole", true, "io --watch", "DI " LAMP "{16}"},
                      TextCase{"ChineseOnTheConsole", true, "scan --lang big5", STATUS},
                      TextCase{"ReadingRedirected", false, "io", "inputs +[01]{16}"},
                      TextCase{"ChineseRedirected", false, "scan --lang big5", "^" STATUS}),
    vx::testing::PrintedCaseName{});
#undef LAMP
#undef STATUS

}  // namespace
