// vxctl end to end: the program itself against vxsim on pseudo-terminals,
// with a settings file in a temporary folder. Every run names its devices,
// so the machine's own serial ports are never touched.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "case_names.h"
#include "temp_folder.h"
#include "vxsim_process.h"

namespace {

using vx::platform::testing::ReadFileText;
using vx::platform::testing::TempFolder;
using vx::test::VxsimProcess;

constexpr const char* kSerial = "58013462";
constexpr const char* kInputs = "0100000000000010";
constexpr int kUsageError = 2;
// Long enough for a loaded machine; a run that needs more has hung.
constexpr auto kWaitBound = std::chrono::seconds(20);
constexpr auto kPoll = std::chrono::milliseconds(20);

struct Outcome {
    int code = -1;
    std::string out;
    std::string err;
};

// Polls a file until it holds `word`, within the bound.
bool FileShows(const std::string& path, const std::string& word) {
    const auto deadline = std::chrono::steady_clock::now() + kWaitBound;
    while (ReadFileText(path).find(word) == std::string::npos) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(kPoll);
    }
    return true;
}

class Vxctl : public ::testing::Test {
protected:
    std::string Store() const { return folder.File("VXConfig.reg"); }
    std::string Link() const { return folder.File("com"); }
    std::string SimLog() const { return folder.File("vxsim.log"); }

    // The module at 19200,e,8,1 with ID 07, in Normal mode, one NO/NC flag at
    // each end and fixed inputs; a silent port beside it.
    void StartModule() {
        sim = std::make_unique<VxsimProcess>(std::vector<std::string>{
            "--log", SimLog(), "--silent", folder.File("silent"), "--id", "7", "--serial", kSerial,
            "--version", "04.11-07", "--mode", "S", "--nonc", "1000000000000001", "--inputs",
            std::string{"fixed:"} + kInputs, "--link", Link()});
        ASSERT_NE(sim->OutputThrough(Link()).find("ready"), std::string::npos);
    }

    std::unique_ptr<VxsimProcess> Start(std::vector<std::string> args) {
        return std::make_unique<VxsimProcess>(VXCTL_PATH, std::move(args), folder.File("err"));
    }

    Outcome Run(std::vector<std::string> args) {
        auto program = Start(std::move(args));
        Outcome outcome;
        outcome.out = program->OutputToEnd();
        outcome.code = program->ExitStatus();
        outcome.err = ReadFileText(folder.File("err"));
        return outcome;
    }

    // A command on the module's link with the folder's store.
    Outcome OnModule(std::vector<std::string> args) {
        args.insert(args.end(), {"--store", Store(), "--device", Link()});
        return Run(std::move(args));
    }

    TempFolder folder;
    std::unique_ptr<VxsimProcess> sim;
};

// One command, in text and in JSON, and what a scan afterwards must show.
struct CommandCase {
    std::vector<std::string> args;
    int code;
    std::string text;
    std::string json;
    std::string thenScan;  // in the JSON of a later scan; empty: no scan
};

void PrintTo(const CommandCase& c, std::ostream* os) {
    for (const auto& arg : c.args) *os << arg << " ";
}

class VxctlCommand : public Vxctl, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(VxctlCommand, PrintsItsOutcomeAsTextAndAsJson) {
    const CommandCase& c = GetParam();
    StartModule();
    const Outcome text = OnModule(c.args);
    EXPECT_EQ(text.code, c.code) << text.out << text.err;
    EXPECT_NE(text.out.find(c.text), std::string::npos) << text.out;
    if (c.code == 0) {
        EXPECT_EQ(text.err, "");  // progress only while stderr is a terminal
    }
    std::vector<std::string> jsonArgs = c.args;
    jsonArgs.push_back("--json");
    const Outcome json = OnModule(jsonArgs);
    EXPECT_EQ(json.code, c.code) << json.out << json.err;
    EXPECT_NE(json.out.find(c.json), std::string::npos) << json.out;
    EXPECT_EQ(std::count(json.out.begin(), json.out.end(), '\n'), 1) << json.out;
    if (!c.thenScan.empty()) {
        const Outcome scan = OnModule({"scan", "--all-settings", "--json"});
        EXPECT_NE(scan.out.find(c.thenScan), std::string::npos) << scan.out;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, VxctlCommand,
    ::testing::Values(
        CommandCase{
            {"scan"},
            0,
            "Get Module Info Ok. (COM : #1)\nport      COM1\n",
            "\"ok\":true,\"exit\":0,\"message\":\"Get Module Info Ok. (COM : #1)\",\"error\":null,"
            "\"port\":\"COM1\"",
            "\"id\":\"07\",\"serial\":\"58013462\",\"version\":\"04.11-07\","
            "\"mode\":\"normal\",\"nonc\":\"1000000000000001\""},
        CommandCase{{"--lang", "gb", "scan"},
                    0,
                    "读取模组资讯完成. (串口 : #1)",
                    "\"message\":\"读取模组资讯完成. (串口 : #1)\"",
                    ""},
        CommandCase{{"set-id", "12"},
                    0,
                    "Set Module ID Ok\nid        12\n",
                    "\"message\":\"Set Module ID Ok\",\"error\":null,\"port\":null,\"device\":null,"
                    "\"line\":null,\"id\":\"12\"",
                    "\"id\":\"12\""},
        CommandCase{
            {"set-baud", "38400,e,8,1", "--all-settings"},
            0,
            "Set Module BaudRate Ok",
            "\"message\":\"Set Module BaudRate Ok\",\"error\":null,\"port\":null,\"device\":null,"
            "\"line\":\"38400,e,8,1\"",
            "\"line\":\"38400,"},
        CommandCase{{"set-mode", "hold", "--nonc", "0110000000000000"},
                    0,
                    "Set Module Mode Ok",
                    "\"mode\":\"hold\",\"nonc\":\"0110000000000000\"",
                    "\"mode\":\"hold\",\"nonc\":\"0110000000000000\""},
        CommandCase{{"set-mode", "hold"},
                    0,
                    "nonc      1000000000000001",
                    "\"nonc\":\"1000000000000001\"",
                    "\"mode\":\"hold\""},
        CommandCase{{"factory"},
                    0,
                    "Set Factory Default Ok",
                    "\"message\":\"Set Factory Default Ok\"",
                    "\"id\":\"01\",\"serial\":\"58013462\",\"version\":\"04.11-07\","
                    "\"mode\":\"hold\",\"nonc\":\"0000000000000000\""},
        CommandCase{{"io", "--out", "1010000000000001"},
                    0,
                    "inputs    0100000000000010\noutputs   1010000000000001\n",
                    "\"inputs\":\"0100000000000010\",\"outputs\":\"1010000000000001\"",
                    ""},
        CommandCase{{"set-id", "5", "--no-scan"},
                    1,
                    "Start Scan Module!",
                    "\"ok\":false,\"exit\":1,\"message\":\"Start Scan Module!\"",
                    ""},
        CommandCase{
            {"scan", "--lock", "4800,n,8,1"},
            1,
            "Module Not Find",
            "\"ok\":false,\"exit\":1,\"message\":\"Module Not Find\",\"error\":null,\"port\":null",
            ""}),
    vx::testing::PrintedCaseName{});

TEST_F(Vxctl, TheWindowFindsWhatAScanStoredAndNoStoreLeavesItAlone) {
    StartModule();
    ASSERT_EQ(OnModule({"scan", "--no-store"}).code, kUsageError);  // it clashes with --store
    const Outcome noStore = Run({"scan", "--no-store", "--device", Link()});
    EXPECT_EQ(noStore.code, 0) << noStore.err;
    EXPECT_EQ(ReadFileText(Store()), "");
    ASSERT_EQ(OnModule({"scan", "-q"}).out, "");
    const std::string stored = ReadFileText(Store());
    EXPECT_NE(stored.find("\"ScanCommNo\"=dword:00000001"), std::string::npos) << stored;
    EXPECT_NE(stored.find("\"COM1\"=\"" + Link() + "\""), std::string::npos) << stored;
    // The next run starts at the stored port: the quick attempt, no search.
    const Outcome again = OnModule({"io", "--no-scan"});
    EXPECT_EQ(again.code, 0) << again.err;
}

// Bad input: a one-line reason and the usage, exit 2, nothing touched.
struct BadInput {
    std::vector<std::string> args;
    std::string reason;
};

void PrintTo(const BadInput& c, std::ostream* os) {
    for (const auto& arg : c.args) *os << arg << " ";
}

class VxctlBadInput : public Vxctl, public ::testing::WithParamInterface<BadInput> {};

TEST_P(VxctlBadInput, IsRefusedBeforeAnythingIsTouched) {
    StartModule();
    const Outcome outcome = OnModule(GetParam().args);
    EXPECT_EQ(outcome.code, kUsageError);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err.rfind("vxctl: " + GetParam().reason, 0), 0u) << outcome.err;
    EXPECT_NE(outcome.err.find("\nUsage: vxctl "), std::string::npos) << outcome.err;
    EXPECT_EQ(ReadFileText(Store()), "");
    EXPECT_EQ(ReadFileText(SimLog()).find("command="), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, VxctlBadInput,
    ::testing::Values(
        BadInput{{"set-id", "0"}, "the ID must be a number from 1 to 99"},
        BadInput{{"set-id", "100"}, "the ID must be a number from 1 to 99"},
        BadInput{{"set-id", "+7"}, "the ID must be a number from 1 to 99"},
        BadInput{{"set-id"}, "set-id needs its argument"},
        BadInput{{"set-baud", "19200,E,8,1"}, "the setting must be one of the twelve"},
        BadInput{{"set-mode", "fast"}, "the mode must be hold or normal"},
        BadInput{{"set-mode", "hold", "--nonc", "101"}, "--nonc takes 16 characters 0/1"},
        BadInput{{"set-mode", "hold", "--nonc", "1010000000000002"}, "--nonc takes 16"},
        BadInput{{"io", "--out", "10100000000000011"}, "--out takes 16 characters 0/1"},
        BadInput{{"io", "--watch=yes"}, "--watch takes no value"},
        BadInput{{"scan", "--port", "COM17"}, "--port takes COM1 to COM16"},
        BadInput{{"scan", "--port", "COM03"}, "--port takes COM1 to COM16"},
        BadInput{{"scan", "--port", "LPT1"}, "--port takes COM1 to COM16"},
        BadInput{{"scan", "--device", "/nonexistent/tty"}, "no such device"},
        BadInput{{"scan", "--lock", "19200"}, "--lock takes one of the twelve"},
        BadInput{{"scan", "--lock", "19200,e,8,1", "--all-settings"}, "--lock and --all-settings"},
        BadInput{{"scan", "--lang", "fr"}, "--lang takes en, gb or big5"},
        BadInput{{"scan", "--no-scan"}, "--no-scan does not go with scan"},
        BadInput{{"scan", "--bogus"}, "unknown option '--bogus'"},
        BadInput{{"scan", "extra"}, "unexpected argument 'extra'"},
        BadInput{{"frobnicate"}, "unknown command 'frobnicate'"},
        BadInput{{"provision"}, "provision needs --id-from"},
        BadInput{{"provision", "--id-from", "0"}, "--id-from takes an ID from 1 to 99"},
        BadInput{{"provision", "--id-from", "1", "--baud", "9600"}, "--baud takes one"},
        BadInput{{"provision", "--id-from", "1", "--mode", "H"}, "--mode takes hold or normal"},
        BadInput{{"provision", "--id-from", "1", "--log="}, "--log takes a file"}),
    vx::testing::PrintedCaseName{});

TEST_F(Vxctl, HelpDocumentsEveryCommand) {
    const Outcome general = Run({"--lang", "gb", "--help"});
    EXPECT_EQ(general.code, 0);
    EXPECT_NE(general.out.find("--no-scan"), std::string::npos);
    EXPECT_EQ(Run({"--version"}).out.rfind("vxctl ", 0), 0u);
    for (const char* command :
         {"scan", "set-id", "set-baud", "set-mode", "factory", "io", "provision", "ports"}) {
        EXPECT_NE(general.out.find(std::string{"vxctl "} + command), std::string::npos);
        const Outcome own = Run({command, "--help"});
        EXPECT_EQ(own.code, 0);
        EXPECT_EQ(own.out.rfind(std::string{"Usage: vxctl "} + command, 0), 0u) << own.out;
    }
}

// Ctrl-C ends the live run as the stop click does: exit 0, the port
// released, so the next run opens it at once.
TEST_F(Vxctl, InterruptStopsTheLiveRunCleanly) {
    StartModule();
    auto watch = Start(
        {"io", "--watch", "--out", "1000000000000000", "--store", Store(), "--device", Link()});
    const std::string first = watch->OutputLines(1);
    ASSERT_NE(first.find("inputs=0100000000000010 outputs=1000000000000000"), std::string::npos)
        << first;
    watch->Signal(SIGINT);
    EXPECT_EQ(watch->ExitStatus(), 0);
    EXPECT_EQ(watch->OutputToEnd(), first);  // no reading changed meanwhile
    const Outcome next = OnModule({"io", "--no-scan"});
    EXPECT_EQ(next.code, 0) << next.err;
}

// The production line: modules plugged in one after another on one link.
class VxctlProvision : public Vxctl {
protected:
    std::unique_ptr<VxsimProcess> Plug(const std::string& serial,
                                       std::vector<std::string> faults = {}) {
        faults.insert(faults.end(), {"--log", folder.File(serial + ".log"), "--serial", serial,
                                     "--link", Link()});
        auto module = std::make_unique<VxsimProcess>(faults);
        EXPECT_NE(module->OutputThrough(Link()).find("ready"), std::string::npos);
        return module;
    }

    std::unique_ptr<VxsimProcess> StartLoop(const std::string& idFrom = "1") {
        return Start({"provision", "--id-from", idFrom, "--mode", "normal", "--nonc",
                      "1100000000000011", "--baud", "57600,e,8,1", "--log", Log(), "--store",
                      Store(), "--device", Link(), "--lock", "19200,e,8,1"});
    }

    std::string Log() const { return folder.File("line.csv"); }
};

TEST_F(VxctlProvision, GivesEachNewModuleTheNextIdAndARepeatedOneItsOwn) {
    auto loop = StartLoop();
    const std::vector<std::pair<std::string, std::string>> plugs{
        {"AAAA0001", "01"}, {"BBBB0002", "02"}, {"CCCC0003", "03"}, {"AAAA0001", "01"}};
    std::string out;
    for (std::size_t k = 0; k < plugs.size(); ++k) {
        const auto& [serial, id] = plugs[k];
        auto module = Plug(serial);
        out = loop->OutputLines(k + 1);
        EXPECT_NE(out.find("serial=" + serial + " id=" + id +
                           " line=57600,e,8,1 mode=normal nonc=1100000000000011 ok\n"),
                  std::string::npos)
            << out;
        EXPECT_NE(ReadFileText(folder.File(serial + ".log")).find("command=B00C" + serial + id),
                  std::string::npos);
    }  // each module is unplugged as the next one comes
    loop->Signal(SIGINT);
    EXPECT_EQ(loop->ExitStatus(), 0);

    std::istringstream rows(ReadFileText(Log()));
    std::vector<std::string> lines;
    for (std::string line; std::getline(rows, line);) {
        if (!line.ends_with(",reserved"))  // the ID taken before the module is set up
            lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), plugs.size() + 1);
    EXPECT_EQ(lines[0], "time,serial,id,line,mode,nonc,result");
    for (std::size_t k = 0; k < plugs.size(); ++k) {
        EXPECT_NE(lines[k + 1].find("Z," + plugs[k].first + "," + plugs[k].second +
                                    ",\"57600,e,8,1\",normal,1100000000000011,ok"),
                  std::string::npos)
            << lines[k + 1];
    }
}

// A module that kept its ID 01 is logged with it, and the ID it was to get
// goes to the next module, so the log never names one ID twice.
TEST_F(VxctlProvision, AModuleWhoseIdWasNotSetIsLoggedWithTheIdItHas) {
    auto loop = StartLoop("11");
    {
        auto refuses = Plug("EEEE0005", {"--fault", "B00C:no-reply:4"});
        EXPECT_NE(loop->OutputLines(1).find("serial=EEEE0005 id=01 "), std::string::npos);
    }
    auto next = Plug("FFFF0006");
    EXPECT_NE(loop->OutputLines(2).find("serial=FFFF0006 id=11 "), std::string::npos);
    loop->Signal(SIGINT);
    EXPECT_EQ(loop->ExitStatus(), 1);  // one module failed
    const std::string log = ReadFileText(Log());
    EXPECT_NE(log.find(",EEEE0005,01,"), std::string::npos) << log;
    EXPECT_NE(log.find(",FFFF0006,11,\"57600,e,8,1\",normal,1100000000000011,ok"),
              std::string::npos)
        << log;
}

TEST_F(VxctlProvision, InterruptEndsAfterTheCurrentModule) {
    auto loop = StartLoop();
    auto module = Plug("DDDD0004");
    ASSERT_TRUE(FileShows(folder.File("DDDD0004.log"), "command=B00C"));
    loop->Signal(SIGINT);
    EXPECT_EQ(loop->ExitStatus(), 0);  // while the module is still plugged in
    EXPECT_NE(ReadFileText(Log()).find(",DDDD0004,01,\"57600,e,8,1\",normal,1100000000000011,ok"),
              std::string::npos);
    // Port closed and unlocked: the next program opens it at the new setting.
    const Outcome next = OnModule({"scan", "--lock", "57600,e,8,1"});
    EXPECT_EQ(next.code, 0) << next.err;
}

// Modules on COM2 and COM3 behind a silent COM1: both searches take COM2.
TEST_F(Vxctl, ParallelScanFindsWhatTheSequentialScanFinds) {
    sim = std::make_unique<VxsimProcess>(std::vector<std::string>{
        "--silent", folder.File("a"), "--serial", "22222222", "--link", folder.File("b"),
        "--serial", "33333333", "--link", folder.File("c")});
    ASSERT_NE(sim->OutputThrough(folder.File("c")).find("ready"), std::string::npos);
    const std::vector<std::string> args{"scan",           "--no-store",     "--json",
                                        "--device",       folder.File("a"), "--device",
                                        folder.File("b"), "--device",       folder.File("c")};
    const Outcome sequential = Run(args);
    std::vector<std::string> parallelArgs = args;
    parallelArgs.push_back("--parallel");
    const Outcome parallel = Run(parallelArgs);
    EXPECT_EQ(sequential.code, 0);
    EXPECT_NE(sequential.out.find("\"port\":\"COM2\""), std::string::npos) << sequential.out;
    EXPECT_NE(sequential.out.find("\"serial\":\"22222222\""), std::string::npos);
    EXPECT_EQ(parallel.code, 0);
    EXPECT_EQ(parallel.out, sequential.out);
}

}  // namespace
