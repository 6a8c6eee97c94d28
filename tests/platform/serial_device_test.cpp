#include <asm/termbits.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>

#include <gtest/gtest.h>

#include "case_names.h"

#include "platform/linux/serial_device_linux.h"
#include "platform/serial_device.h"
#include "serial_device_fixture.h"
#include "temp_folder.h"

namespace vx::platform {
namespace {

using testing::PseudoTerminal;
using Clock = std::chrono::steady_clock;

constexpr tcflag_t kFraming = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double CpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

bool SameSettings(const termios2& a, const termios2& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && a.c_ispeed == b.c_ispeed && a.c_ospeed == b.c_ospeed;
}

TEST_F(SerialDeviceOnPty, OpenSetsTheLineAndCloseRestoresWhatWasThere) {
    termios2 previous = pty.Settings();
    previous.c_cflag = (previous.c_cflag & ~(CBAUD | CRTSCTS)) | B9600 | CRTSCTS;
    previous.c_iflag |= IXON | IXOFF | ICRNL;
    previous.c_lflag |= ICANON | ECHO;
    pty.SetSettings(previous);
    previous = pty.Settings();

    ASSERT_TRUE(device->Open("COM1").Opened());
    EXPECT_TRUE(device->ApplyLineSettings("19200,n,8,1"));
    const termios2 applied = pty.Settings();
    EXPECT_EQ(applied.c_ospeed, 19200u);
    EXPECT_EQ(applied.c_cflag & CBAUD, static_cast<tcflag_t>(B19200));
    EXPECT_EQ(applied.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(applied.c_cflag & (CRTSCTS | CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(applied.c_iflag & (IXON | IXOFF | ICRNL), 0u);
    EXPECT_EQ(applied.c_lflag & (ICANON | ECHO), 0u);

    device->Close();
    EXPECT_FALSE(device->IsOpen());
    EXPECT_TRUE(SameSettings(pty.Settings(), previous));
}

struct RawByteCase {
    const char* what;
    std::uint8_t byte;
};

void PrintTo(const RawByteCase& c, std::ostream* os) {
    *os << c.what;
}

class SerialDeviceRawBytes : public SerialDeviceOnPty,
                             public ::testing::WithParamInterface<RawByteCase> {};

TEST_P(SerialDeviceRawBytes, PassUnchangedBothWays) {
    const std::uint8_t byte = GetParam().byte;
    ASSERT_TRUE(device->Open("COM1").Opened());
    constexpr int kArrivalMs = 1000;
    const std::vector<std::uint8_t> frame{'A', byte, 'Z'};

    device->Write(frame.data(), frame.size());
    EXPECT_EQ(pty.Receive(frame.size(), kArrivalMs), frame) << GetParam().what;

    pty.Send(frame);
    std::vector<std::uint8_t> received;
    constexpr int kMaxReads = 1000;
    for (int i = 0; i < kMaxReads && received.size() < frame.size(); ++i) {
        if (const auto got = device->ReadByte())
            received.push_back(*got);
    }
    EXPECT_EQ(received, frame) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(Bytes, SerialDeviceRawBytes,
                         ::testing::Values(RawByteCase{"tab", 0x09}, RawByteCase{"cr", 0x0D},
                                           RawByteCase{"lf", 0x0A}, RawByteCase{"ctrl-c", 0x03},
                                           RawByteCase{"ctrl-d", 0x04}, RawByteCase{"xon", 0x11},
                                           RawByteCase{"xoff", 0x13}, RawByteCase{"del", 0x7F},
                                           RawByteCase{"nul", 0x00}, RawByteCase{"high", 0xFF}),
                         vx::testing::PrintedCaseName());

enum class Outcome { Applied, Refused };

struct LineCase {
    const char* text;
    Outcome outcome;
    std::uint32_t speed;
    tcflag_t framing;
};

void PrintTo(const LineCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

class SerialDeviceLineSettings : public SerialDeviceOnPty,
                                 public ::testing::WithParamInterface<LineCase> {};

// A pseudo-terminal keeps 8 data bits whatever it is told, so other sizes are
// refused there; it has no parity bit, so a parity is taken as given and reads
// back as none. Either way the settings change wholly or not at all.
TEST_P(SerialDeviceLineSettings, ApplyWhollyOrLeaveThePortAsItWas) {
    const LineCase& c = GetParam();
    ASSERT_TRUE(device->Open("COM1").Opened());
    ASSERT_TRUE(device->ApplyLineSettings("38400,n,8,1"));
    const termios2 before = pty.Settings();

    const bool applied = device->ApplyLineSettings(c.text);
    const termios2 after = pty.Settings();
    EXPECT_EQ(applied, c.outcome == Outcome::Applied) << c.text;
    if (applied) {
        EXPECT_EQ(after.c_ospeed, c.speed) << c.text;
        EXPECT_EQ(after.c_ispeed, c.speed) << c.text;
        EXPECT_EQ(after.c_cflag & kFraming, c.framing) << c.text;
    } else {
        EXPECT_TRUE(SameSettings(after, before)) << c.text;
    }
    EXPECT_TRUE(device->IsOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SerialDeviceLineSettings,
    ::testing::Values(LineCase{"19200,n,8,1", Outcome::Applied, 19200, CS8},
                      LineCase{"115200,n,8,2", Outcome::Applied, 115200, CS8 | CSTOPB},
                      LineCase{"12345,n,8,1", Outcome::Applied, 12345, CS8},
                      LineCase{"96,n,8,1", Outcome::Applied, 9600, CS8},
                      LineCase{"19200,e,8,1", Outcome::Applied, 19200, CS8},
                      LineCase{"115200,e,8,1", Outcome::Applied, 115200, CS8},
                      LineCase{"9600,o,7,1", Outcome::Refused, 0, 0},
                      LineCase{"9600,m,8,1", Outcome::Applied, 9600, CS8 | PARODD | CMSPAR},
                      LineCase{"9600,s,8,1", Outcome::Applied, 9600, CS8 | CMSPAR},
                      LineCase{"1200,n,5,1.5", Outcome::Refused, 0, 0},
                      LineCase{"19200,x,8,1", Outcome::Refused, 0, 0},
                      LineCase{"0,n,8,1", Outcome::Refused, 0, 0},
                      LineCase{"fast", Outcome::Refused, 0, 0},
                      LineCase{"", Outcome::Refused, 0, 0}),
    vx::testing::PrintedCaseName());

struct AbsentCase {
    const char* what;
    std::string (*path)(const testing::TempFolder& folder);
    PortFailure failure;
};

void PrintTo(const AbsentCase& c, std::ostream* os) {
    *os << c.what;
}

class SerialDeviceAbsent : public ::testing::TestWithParam<AbsentCase> {};

TEST_P(SerialDeviceAbsent, FailsToOpenAndLeavesNoPortOpen) {
    testing::TempFolder folder;
    testing::WriteFileText(folder.File("plain"), "not a port");
    ASSERT_EQ(mkfifo(folder.File("pipe").c_str(), 0600), 0);
    auto device = DeviceFor(GetParam().path(folder));
    EXPECT_EQ(device->Open("COM1").failure, GetParam().failure) << GetParam().what;
    EXPECT_FALSE(device->IsOpen()) << GetParam().what;
    EXPECT_FALSE(device->ApplyLineSettings("19200,e,8,1"));
}

INSTANTIATE_TEST_SUITE_P(
    Ports, SerialDeviceAbsent,
    ::testing::Values(
        AbsentCase{"no such node", [](const testing::TempFolder& f) { return f.File("ttyUSB9"); },
                   PortFailure::Missing},
        AbsentCase{"unresolved name", [](const testing::TempFolder&) { return std::string{}; },
                   PortFailure::Missing},
        AbsentCase{"regular file", [](const testing::TempFolder& f) { return f.File("plain"); },
                   PortFailure::NotSerial},
        AbsentCase{"folder", [](const testing::TempFolder& f) { return f.Path(); },
                   PortFailure::NotSerial},
        AbsentCase{"pipe", [](const testing::TempFolder& f) { return f.File("pipe"); },
                   PortFailure::NotSerial},
        AbsentCase{"character device that is no terminal",
                   [](const testing::TempFolder&) { return std::string{"/dev/null"}; },
                   PortFailure::NotSerial}),
    vx::testing::PrintedCaseName());

// Reads with nothing to receive must cost about a millisecond each, open or
// not, so that the reply wait above can poll its clock.
class SerialDeviceIdleRead : public SerialDeviceOnPty,
                             public ::testing::WithParamInterface<bool> {};

TEST_P(SerialDeviceIdleRead, ReturnsNothingAfterAboutOneMillisecond) {
    if (GetParam()) {
        ASSERT_TRUE(device->Open("COM1").Opened());
    }
    constexpr int kReads = 20;
    const auto start = Clock::now();
    for (int i = 0; i < kReads; ++i) EXPECT_FALSE(device->ReadByte().has_value());
    const double averageMs = MsSince(start) / kReads;
    EXPECT_GE(averageMs, 0.5);
    EXPECT_LT(averageMs, 50.0);
}

INSTANTIATE_TEST_SUITE_P(PortOpen, SerialDeviceIdleRead, ::testing::Bool(),
                         vx::testing::PrintedCaseName());

TEST_F(SerialDeviceOnPty, HungUpPortReadsNothingWithoutSpinning) {
    ASSERT_TRUE(device->Open("COM1").Opened());
    pty.CloseMaster();
    const std::vector<std::uint8_t> frame{0x09, 'B', '0', '0', 'B', '3', '9', 0x0D};
    device->Write(frame.data(), frame.size());

    constexpr int kReads = 150;
    const double cpuStart = CpuMs();
    const auto start = Clock::now();
    int bytes = 0;
    for (int i = 0; i < kReads; ++i) bytes += device->ReadByte().has_value() ? 1 : 0;
    const double wallMs = MsSince(start);
    const double cpuMs = CpuMs() - cpuStart;
    std::cout << "[ measured ] " << kReads << " reads after hang-up: wall " << wallMs << " ms, cpu "
              << cpuMs << " ms\n";

    EXPECT_EQ(bytes, 0);
    EXPECT_GE(wallMs, 150.0);
    EXPECT_LT(cpuMs, 0.3 * wallMs);
    EXPECT_TRUE(device->IsOpen());
    device->Close();
    EXPECT_FALSE(device->IsOpen());
}

}  // namespace
}  // namespace vx::platform
