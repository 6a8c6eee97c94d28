// vxctl where a production line meets trouble: a full disk, junk named as
// the device, a store that cannot be written, hostile bytes in the
// arguments, a port that another program holds. Each row is one run of the
// program against vxsim, under a bound on its address space (a runaway ends
// in an abort, not a hung machine) and on its time: its exit code, the one
// line that says what went wrong, and the store's bytes before and after.
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "case_names.h"
#include "temp_folder.h"
#include "vxsim_process.h"

namespace {

using vx::platform::testing::ReadFileText;
using vx::platform::testing::TempFolder;
using vx::platform::testing::WriteFileText;
using vx::test::VxsimProcess;

// Far above what the program needs, far below a runaway.
constexpr rlim_t kAddressSpaceBytes = rlim_t{1} << 30;
constexpr const char* kSanitizerRssBound = ":hard_rss_limit_mb=1024";

#if defined(__SANITIZE_ADDRESS__)
#define VX_ADDRESS_SANITIZER
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VX_ADDRESS_SANITIZER
#endif
#endif
#ifdef VX_ADDRESS_SANITIZER
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif

// The sanitizer reserves terabytes of shadow memory at start, so under it
// the bound is on resident memory, which its runtime enforces itself.
void BoundMemory() {
    if (kAddressSanitizer) {
        const char* options = std::getenv("ASAN_OPTIONS");
        const std::string bounded = std::string(options ? options : "") + kSanitizerRssBound;
        setenv("ASAN_OPTIONS", bounded.c_str(), 1);
        return;
    }
    const rlimit bound{kAddressSpaceBytes, kAddressSpaceBytes};
    setrlimit(RLIMIT_AS, &bound);
}
constexpr auto kRunBound = std::chrono::seconds(30);
constexpr uid_t kNobody = 65534;
constexpr const char* kSerialGroup = "dialout";

// What stands in the folder before the run.
enum class Setup { None, Junk, BusyPort, Unprivileged, UnprivilegedWithoutThePort };
// Where stdout goes.
enum class Out { File, FullDisk };

struct HostileCase {
    const char* name;
    Setup setup;
    Out out;
    std::vector<std::string> moduleArgs;  // vxsim's, beyond its link
    std::vector<std::string> args;        // {link} {folder} {store} are filled in
    int code;
    std::string line;  // a whole line of stdout or stderr; empty: nothing at all
    std::string storeBefore;
    std::string storeAfter;
};

void PrintTo(const HostileCase& c, std::ostream* os) {
    *os << c.name;
}

constexpr const char* kHeader = "Windows Registry Editor Version 5.00\n\n";
constexpr const char* kPorts = "[HKEY_LOCAL_MACHINE\\Software\\TAVRO\\VXConfig\\Ports]\n";
const std::string kFound = std::string{kHeader} + kPorts +
                           "\"COM1\"=\"{link}\"\n\n"
                           "[HKEY_LOCAL_MACHINE\\Software\\TAVRO\\VXConfig]\n"
                           "\"ScanCommNo\"=dword:00000001\n"
                           "\"ScanBaudRateNo\"=dword:00000005\n"
                           "\"ScanBaudRate\"=\"19200,e,8,1\"\n\n";
// A device that opened as a serial port keeps its number, whatever follows.
const std::string kLinkIsCom1 = std::string{kHeader} + kPorts + "\"COM1\"=\"{link}\"\n\n";
const std::string kLinkIsCom5 = std::string{kHeader} + kPorts + "\"COM5\"=\"{link}\"\n\n";
const std::string kCom5IsOther = std::string{kHeader} + kPorts + "\"COM5\"=\"/dev/ttyUSB7\"\n\n";

std::string SixteenJunkPorts() {
    std::string text = std::string{kHeader} + kPorts;
    for (int n = 1; n <= 16; ++n)
        text += "\"COM" + std::to_string(n) + "\"=\"{folder}/gone" + std::to_string(n) + "\"\n";
    return text + "\n";
}

std::string Fill(std::string text, const std::map<std::string, std::string>& values) {
    for (const auto& [key, value] : values) {
        for (auto at = text.find(key); at != std::string::npos; at = text.find(key, at))
            text.replace(at, key.size(), value);
    }
    return text;
}

struct Ran {
    int code = -1;
    std::string out;
    std::string err;
};

class VxctlHostile : public ::testing::TestWithParam<HostileCase> {
protected:
    void SetUp() override {
        const HostileCase& c = GetParam();
        std::vector<std::string> moduleArgs = c.moduleArgs;
        moduleArgs.insert(moduleArgs.end(), {"--id", "7", "--link", Link()});
        sim = std::make_unique<VxsimProcess>(moduleArgs);
        ASSERT_NE(sim->OutputThrough(Link()).find("ready"), std::string::npos);
        std::filesystem::create_directory(folder.File("store"));
        if (c.setup == Setup::Junk) {
            WriteFileText(folder.File("plain"), "not a serial device");
            std::filesystem::create_directory(folder.File("dir"));
            ASSERT_EQ(mkfifo(folder.File("fifo").c_str(), 0600), 0);
        }
        if (c.setup == Setup::BusyPort) {
            holder = std::make_unique<VxsimProcess>(
                VXCTL_PATH,
                std::vector<std::string>{"io", "--watch", "--no-store", "--device", Link()},
                folder.File("holder.err"));
            ASSERT_NE(holder->OutputLines(1).find("inputs="), std::string::npos);
        }
        if (Unprivileged(c)) {
            // Everyone may read and use the folder and the link, and the port
            // unless the row says otherwise; only the superuser may write the
            // store's folder.
            ASSERT_EQ(chmod(folder.Path().c_str(), 0755), 0);
            const std::string port = std::filesystem::canonical(Link()).string();
            if (c.setup == Setup::Unprivileged) {
                ASSERT_EQ(chmod(port.c_str(), 0666), 0);
            } else {
                // As a USB adapter is: for root and the serial-port group.
                const group* serialGroup = getgrnam(kSerialGroup);
                ASSERT_NE(serialGroup, nullptr);
                ASSERT_EQ(chown(port.c_str(), 0, serialGroup->gr_gid), 0);
                ASSERT_EQ(chmod(port.c_str(), 0660), 0);
            }
        }
        if (!c.storeBefore.empty())
            WriteFileText(Store(), Fill(c.storeBefore, Values()));
    }

    static bool Unprivileged(const HostileCase& c) {
        return c.setup == Setup::Unprivileged || c.setup == Setup::UnprivilegedWithoutThePort;
    }
    std::string Link() const { return folder.File("com"); }
    std::string Store() const { return folder.File("store/VXConfig.reg"); }
    std::map<std::string, std::string> Values() const {
        return {{"{link}", Link()},
                {"{folder}", folder.Path()},
                {"{store}", Store()},
                {"{pid}", holder ? std::to_string(holder->Pid()) : ""}};
    }

    Ran RunVxctl(const HostileCase& c) {
        std::vector<std::string> args;
        for (const auto& arg : c.args) args.push_back(Fill(arg, Values()));
        const std::string outPath = c.out == Out::FullDisk ? "/dev/full" : folder.File("out");
        const std::string errPath = folder.File("err");
        const pid_t pid = fork();
        if (pid == 0)
            Exec(args, outPath, errPath, Unprivileged(c));
        Ran ran;
        ran.code = Wait(pid);
        ran.out = c.out == Out::File ? ReadFileText(outPath) : "";
        ran.err = ReadFileText(errPath);
        return ran;
    }

    [[noreturn]] void Exec(std::vector<std::string>& args, const std::string& outPath,
                           const std::string& errPath, bool unprivileged) {
        BoundMemory();
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        if (unprivileged) {
            setenv("HOME", folder.Path().c_str(), 1);
            if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)
                _exit(126);
        }
        std::vector<char*> argv{const_cast<char*>(VXCTL_PATH)};
        for (auto& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        execv(VXCTL_PATH, argv.data());
        _exit(127);
    }

    static int Wait(pid_t pid) {
        const auto deadline = std::chrono::steady_clock::now() + kRunBound;
        int status = 0;
        while (waitpid(pid, &status, WNOHANG) != pid) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    TempFolder folder;
    std::unique_ptr<VxsimProcess> sim;
    std::unique_ptr<VxsimProcess> holder;
};

TEST_P(VxctlHostile, EndsWithItsCodeAndItsLineAndLeavesTheStoreAsItShould) {
    const HostileCase& c = GetParam();
    const Ran ran = RunVxctl(c);
    EXPECT_EQ(ran.code, c.code) << ran.out << ran.err;
    const std::string printed = "\n" + ran.out + ran.err;
    if (c.line.empty()) {
        EXPECT_EQ(printed, "\n");
    } else {
        EXPECT_NE(printed.find("\n" + Fill(c.line, Values()) + "\n"), std::string::npos) << printed;
    }
    EXPECT_EQ(ReadFileText(Store()), Fill(c.storeAfter, Values()));
}

std::string NotSerial(const std::string& device) {
    return "vxctl: COM1 (" + device + ") is not a serial device";
}

std::string NullFields(const std::string& from) {
    std::string json;
    bool started = false;
    for (const char* key : {"port", "device", "line", "id", "serial", "version", "mode", "nonc",
                            "inputs", "outputs"}) {
        started = started || key == from;
        if (started)
            json += ",\"" + std::string{key} + "\":null";
    }
    return json + "}";
}

// One row a line where it fits: name, setup, stdout, vxsim's extra options,
// vxctl's arguments, exit code, line, store before, store after.
// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cases, VxctlHostile,
    ::testing::Values(
        HostileCase{"log_on_a_full_disk", Setup::None, Out::File, {},
            {"provision", "--id-from", "1", "--log", "/dev/full", "--device", "{link}", "--store", "{store}"},
            1, "vxctl: cannot write the log /dev/full: No space left on device", "", kLinkIsCom1},
        HostileCase{"log_a_folder", Setup::None, Out::File, {},
            {"provision", "--id-from", "1", "--log", "{folder}", "--device", "{link}", "--store", "{store}"},
            1, "vxctl: cannot write the log {folder}: not a file", "", kLinkIsCom1},
        HostileCase{"output_to_a_full_disk", Setup::None, Out::FullDisk, {},
            {"scan", "--device", "{link}", "--store", "{store}"},
            1, "vxctl: cannot write the output: No space left on device", "", kFound},
        HostileCase{"device_a_plain_file", Setup::Junk, Out::File, {},
            {"scan", "--device", "{folder}/plain", "--store", "{store}"},
            3, NotSerial("{folder}/plain"), "", ""},
        HostileCase{"device_a_folder", Setup::Junk, Out::File, {},
            {"scan", "--device", "{folder}/dir", "--store", "{store}"},
            3, NotSerial("{folder}/dir"), "", ""},
        HostileCase{"device_a_fifo", Setup::Junk, Out::File, {},
            {"scan", "--device", "{folder}/fifo", "--store", "{store}"},
            3, NotSerial("{folder}/fifo"), "", ""},
        HostileCase{"device_dev_null", Setup::None, Out::File, {},
            {"scan", "--device", "/dev/null", "--store", "{store}"},
            3, NotSerial("/dev/null"), "", ""},
        HostileCase{"device_dev_zero", Setup::None, Out::File, {},
            {"scan", "--device", "/dev/zero", "--store", "{store}"},
            3, NotSerial("/dev/zero"), "", ""},
        HostileCase{"table_full_of_junk", Setup::None, Out::File, {},
            {"scan", "--device", "{link}", "--store", "{store}"},
            0, "Get Module Info Ok. (COM : #1)", SixteenJunkPorts(), SixteenJunkPorts()},
        HostileCase{"busy_port", Setup::BusyPort, Out::File, {},
            {"scan", "--device", "{link}", "--store", "{store}"},
            3, "vxctl: COM1 ({link}) is in use by process {pid} (vxctl)", "", ""},
        HostileCase{"unwritable_store_that_maps_the_device", Setup::Unprivileged, Out::File, {},
            {"scan", "--device", "{link}", "--store", "{store}"},
            0, "Get Module Info Ok. (COM : #5)", kLinkIsCom5, kLinkIsCom5},
        HostileCase{"unwritable_store_that_does_not", Setup::Unprivileged, Out::File, {},
            {"scan", "--device", "{link}", "--store", "{store}"},
            0, "Get Module Info Ok. (COM : #1)", kCom5IsOther, kCom5IsOther},
        HostileCase{"port_not_open_to_the_user", Setup::UnprivilegedWithoutThePort, Out::File, {},
            {"scan", "--device", "{link}", "--store", "{store}"},
            3, "vxctl: COM1 ({link}) cannot be opened: permission denied; members of the group dialout may use it",
            kCom5IsOther, kCom5IsOther},
        HostileCase{"store_in_a_missing_folder", Setup::None, Out::File, {},
            {"scan", "--device", "{link}", "--store", "{folder}/nowhere/VXConfig.reg"},
            2, "vxctl: the folder of --store does not exist", kFound, kFound},
        HostileCase{"provision_device_in_a_missing_folder", Setup::None, Out::File, {},
            {"provision", "--id-from", "1", "--device", "{folder}/nowhere/tty", "--store", "{store}"},
            2, "vxctl: no such folder for the device '{folder}/nowhere/tty'", "", ""},
        HostileCase{"invalid_utf8_in_json", Setup::None, Out::File, {},
            {"--json", "scan", "--device", "{folder}/\xff\xfe", "--store", "{store}"},
            2, "{\"command\":\"scan\",\"ok\":false,\"exit\":2,"
               "\"message\":\"no such device '{folder}/\\u00ff\\u00fe'\",\"error\":{\"kind\":\"usage\","
               "\"text\":\"no such device '{folder}/\\u00ff\\u00fe'\",\"reason\":null,\"device\":null,"
               "\"pid\":null,\"program\":null,\"group\":null}" + NullFields("port"),
            "", ""},
        HostileCase{"escapes_in_the_command", Setup::None, Out::File, {},
            {"scan\x1b]0;x\a\x1b[2J", "--store", "{store}"},
            2, "vxctl: unknown command 'scan?]0;x??[2J'", "", ""},
        HostileCase{"escapes_in_an_option", Setup::None, Out::File, {},
            {"scan", "--x\x1b[31mRED", "--store", "{store}"},
            2, "vxctl: unknown option '--x?[31mRED'", "", ""},
        HostileCase{"quiet_json_usage_error", Setup::None, Out::File, {},
            {"-q", "--json", "scan", "--bogus"},
            2, "", "", ""},
        HostileCase{"set_mode_no_scan_without_flags", Setup::None, Out::File, {},
            {"set-mode", "hold", "--no-scan", "--device", "{link}", "--store", "{store}"},
            2, "vxctl: set-mode --no-scan needs --nonc: without a scan the NO/NC flags are unknown",
            kFound, kFound},
        HostileCase{"failed_set_id_reports_the_id_it_has", Setup::None, Out::File,
            {"--fault", "B00C:no-reply:4"},
            {"set-id", "12", "--json", "--device", "{link}", "--store", "{store}"},
            1, "{\"command\":\"set-id\",\"ok\":false,\"exit\":1,\"message\":\"Set Module ID Error\","
               "\"error\":null,\"port\":null,\"device\":null,\"line\":null,\"id\":\"07\"" + NullFields("serial"),
            "", kFound}),
    vx::testing::PrintedCaseName{});
// clang-format on

}  // namespace
