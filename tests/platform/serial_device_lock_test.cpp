// Who may hold a port: this process, another one, a terminal program known
// only by its lock file, and a user the device's mode keeps out.
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>

#include <gtest/gtest.h>

#include "case_names.h"
#include "platform/linux/serial_device_linux.h"
#include "serial_device_fixture.h"
#include "temp_folder.h"

namespace vx::platform {
namespace {

using testing::PseudoTerminal;

TEST_F(SerialDeviceOnPty, OpenInThisProcessBarsASecondOpenerUntilClosed) {
    ASSERT_TRUE(device->Open("COM1").Opened());
    auto second = DeviceFor(pty.SlavePath());
    const PortOpen refused = second->Open("COM1");
    EXPECT_EQ(refused.failure, PortFailure::Busy);
    EXPECT_EQ(refused.ownerPid, getpid()) << "its lock names this process";
    EXPECT_FALSE(second->IsOpen());
    device->Close();
    EXPECT_TRUE(second->Open("COM1").Opened()) << "released at close for the next opener";
}

TEST_F(SerialDeviceOnPty, HeldByAnotherProcessCannotBeOpened) {
    int ready[2];
    int release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        constexpr unsigned kChildLifetimeS = 10;
        alarm(kChildLifetimeS);
        close(ready[0]);
        close(release[1]);
        const int fd = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
        const char held = (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0) ? 'y' : 'n';
        (void)!write(ready[1], &held, 1);
        char ignored = 0;
        (void)!read(release[0], &ignored, 1);
        _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    pollfd wait{ready[0], POLLIN, 0};
    char held = 0;
    constexpr int kChildStartMs = 5000;
    ASSERT_EQ(poll(&wait, 1, kChildStartMs), 1);
    ASSERT_EQ(read(ready[0], &held, 1), 1);
    ASSERT_EQ(held, 'y');

    EXPECT_EQ(device->Open("COM1").failure, PortFailure::Busy);
    EXPECT_FALSE(device->IsOpen());

    close(release[1]);
    close(ready[0]);
    int status = 0;
    waitpid(child, &status, 0);
}

// Root passes any file mode, so the opener drops to an unprivileged user
// first; the verdict comes back as the child's exit status.
TEST_F(SerialDeviceOnPty, ForbiddenNodeIsRefusedNamingTheGroupThatMayUseIt) {
    constexpr uid_t kNobody = 65534;
    struct stat node {};
    ASSERT_EQ(stat(pty.SlavePath().c_str(), &node), 0);
    const group* owner = getgrgid(node.st_gid);
    ASSERT_NE(owner, nullptr);
    const std::string groupName = owner->gr_name;
    ASSERT_EQ(chmod(pty.SlavePath().c_str(), 0), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && setuid(kNobody) != 0)
            _exit(2);
        const PortOpen opened = DeviceFor(pty.SlavePath())->Open("COM1");
        _exit(opened.failure == PortFailure::PermissionDenied && opened.detail == groupName ? 0
                                                                                            : 1);
    }
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "expected permission denied, naming " << groupName;
}

// The lock files of terminal programs: a program that opened the port with a
// plain open() is seen only by its lock file.
struct LockFileCase {
    const char* what;
    std::function<std::string()> content;  // of the lock found there; none: no lock
    bool opens;
};

void PrintTo(const LockFileCase& c, std::ostream* os) {
    *os << c.what;
}

std::string LockText(pid_t pid) {
    char text[16];
    std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(pid));
    return text;
}

// "LCK..pts_3" for /dev/pts/3.
std::string LockName(const PseudoTerminal& pty) {
    std::string name = pty.SlavePath().substr(std::string{"/dev/"}.size());
    std::replace(name.begin(), name.end(), '/', '_');
    return "LCK.." + name;
}

pid_t DeadProcess() {
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    waitpid(child, nullptr, 0);
    return child;
}

class SerialDeviceLockFiles : public ::testing::TestWithParam<LockFileCase> {
protected:
    // The lock is named after the device itself, reached here by a link.
    std::string LockPath() const { return locks.File(LockName(pty)); }

    PseudoTerminal pty;
    testing::TempFolder links;
    testing::TempFolder locks;
    std::string link = links.File("ttyVX");
};

TEST_P(SerialDeviceLockFiles, LiveOwnerRefusesOthersAreReplacedByOursUntilClose) {
    ASSERT_EQ(symlink(pty.SlavePath().c_str(), link.c_str()), 0);
    const std::string lockPath = LockPath();
    if (GetParam().content)
        testing::WriteFileText(lockPath, GetParam().content());
    auto device = CreateLinuxSerialDevice([&](const std::string&) { return link; }, locks.Path());

    const PortOpen opened = device->Open("COM1");
    EXPECT_EQ(opened.Opened(), GetParam().opens);
    if (!GetParam().opens) {
        EXPECT_EQ(opened.failure, PortFailure::Busy);
        EXPECT_EQ(LockText(static_cast<pid_t>(opened.ownerPid)), GetParam().content());
        EXPECT_EQ(testing::ReadFileText(lockPath), GetParam().content()) << "left alone";
        return;
    }
    EXPECT_EQ(testing::ReadFileText(lockPath), LockText(getpid()));
    device->Close();
    EXPECT_FALSE(std::filesystem::exists(lockPath));
}

INSTANTIATE_TEST_SUITE_P(
    Locks, SerialDeviceLockFiles,
    ::testing::Values(LockFileCase{"no lock", nullptr, true},
                      LockFileCase{"live owner", [] { return LockText(getppid()); }, false},
                      LockFileCase{"dead owner", [] { return LockText(DeadProcess()); }, true},
                      LockFileCase{"no process named", [] { return std::string{"junk\n"}; }, true}),
    vx::testing::PrintedCaseName());

TEST(SerialDeviceSystemLocks, OpenPortIsLockedInTheSystemLockFolder) {
    constexpr const char* kLockFolder = "/run/lock";
    if (access(kLockFolder, W_OK | X_OK) != 0)
        GTEST_SKIP() << kLockFolder << " is not writable here, so no lock can be left in it";
    PseudoTerminal pty;
    const std::string lockPath = std::string{kLockFolder} + "/" + LockName(pty);
    auto device = DeviceFor(pty.SlavePath());
    ASSERT_TRUE(device->Open("COM1").Opened());
    EXPECT_EQ(testing::ReadFileText(lockPath), LockText(getpid()));
    device->Close();
    EXPECT_FALSE(std::filesystem::exists(lockPath));
}

}  // namespace
}  // namespace vx::platform
