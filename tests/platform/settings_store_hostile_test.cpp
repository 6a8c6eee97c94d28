#include <signal.h>

#include <algorithm>
#include <functional>
#include <random>

#include <gtest/gtest.h>

#include "case_names.h"
#include "file_store_fixture.h"

namespace vx::platform {
namespace {

using namespace file_store_testing;

// What a member of the folder's group may put at the store's name. None of
// it is followed, read past a size, waited on, or lends the new store
// anything; the name itself is replaced where that is safe.
struct HostileStoreCase {
    const char* what;
    std::function<void(const TempFolder&, const std::string& store)> plant;
    bool replaced;
};

void PrintTo(const HostileStoreCase& c, std::ostream* os) {
    *os << c.what;
}

constexpr const char* kSecret = "root:$6$secret-hash:19000:0:99999:7:::";

std::string StoreText(const std::string& lines) {
    return std::string{kFormatLine} + "\n" + kSection + lines;
}

class FileStoreHostileFiles : public FileStore,
                              public ::testing::WithParamInterface<HostileStoreCase> {};

TEST_P(FileStoreHostileFiles, ReadAsAbsentAndReplacedOnlyWhereSafe) {
    const HostileStoreCase& c = GetParam();
    const std::string secret = folder.File("secret");
    WriteFileText(secret, StoreText("\"ScanCommNo\"=dword:00000009\n") + kSecret + "\n");
    ASSERT_EQ(chmod(secret.c_str(), 04640), 0);
    c.plant(folder, path);
    struct stat planted {};
    ASSERT_EQ(lstat(path.c_str(), &planted), 0);

    alarm(kHangLimitSeconds);
    EXPECT_EQ(Store()->OpenKey(kProgramKeyPath), nullptr) << "read as if there were no store";
    auto key = Store()->CreateKey(kProgramKeyPath);
    EXPECT_EQ(key && key->WriteInteger("ScanBaudRateNo", 3), c.replaced);
    alarm(0);

    struct stat now {};
    ASSERT_EQ(lstat(path.c_str(), &now), 0);
    if (c.replaced) {
        EXPECT_TRUE(S_ISREG(now.st_mode));
        EXPECT_EQ(now.st_mode & 07777, NewFileMode());
        EXPECT_EQ(ReadFileText(path).find("secret"), std::string::npos);
        EXPECT_EQ(OpenProgramKey()->ReadInteger("ScanBaudRateNo"), 3u);
        EXPECT_FALSE(OpenProgramKey()->Exists("ScanCommNo"));
    } else {
        EXPECT_EQ(now.st_ino, planted.st_ino) << "left where it was";
    }
    EXPECT_NE(ReadFileText(secret).find(kSecret), std::string::npos) << "the target is unchanged";
    struct stat target {};
    ASSERT_EQ(stat(secret.c_str(), &target), 0);
    EXPECT_EQ(target.st_mode & 07777, 04640u);
}

void LinkTo(const std::string& target, const std::string& store) {
    ASSERT_EQ(symlink(target.c_str(), store.c_str()), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Planted, FileStoreHostileFiles,
    ::testing::Values(
        HostileStoreCase{
            "link to a secret file",
            [](const TempFolder& f, const std::string& store) { LinkTo(f.File("secret"), store); },
            true},
        HostileStoreCase{
            "link to a device that never ends",
            [](const TempFolder&, const std::string& store) { LinkTo("/dev/zero", store); }, true},
        HostileStoreCase{"pipe",
                         [](const TempFolder&, const std::string& store) {
                             ASSERT_EQ(mkfifo(store.c_str(), 0666), 0);
                         },
                         false},
        HostileStoreCase{"folder",
                         [](const TempFolder&, const std::string& store) {
                             ASSERT_EQ(mkdir(store.c_str(), 0777), 0);
                         },
                         false},
        HostileStoreCase{"file over a mebibyte",
                         [](const TempFolder&, const std::string& store) {
                             std::string text = StoreText("\"ScanCommNo\"=dword:00000009\n");
                             while (text.size() <= (1u << 20)) text += "; padding\n";
                             WriteFileText(store, text);
                         },
                         true},
        HostileStoreCase{"binary file",
                         [](const TempFolder&, const std::string& store) {
                             WriteFileText(store,
                                           StoreText(std::string{"\"ScanCommNo\"=dword:00000009\n"
                                                                 "\0\0\0\0",
                                                                 32}));
                         },
                         true}),
    vx::testing::PrintedCaseName());

TEST_F(FileStore, ValueWrittenAfterALineEndingInABackslashReadsBack) {
    WriteFileText(path, StoreText("\"Binary\"=hex:01,02,\\"));
    ASSERT_TRUE(OpenProgramKey()->WriteInteger("ScanCommNo", 4));
    ASSERT_TRUE(OpenProgramKey()->WriteText("LanguageFlag", "ChineseGB"));
    auto key = OpenProgramKey();
    EXPECT_EQ(key->ReadInteger("ScanCommNo"), 4u);
    EXPECT_EQ(key->ReadText("LanguageFlag"), "ChineseGB");
    EXPECT_TRUE(key->Exists("Binary"));
}

TEST_F(FileStore, ReadOnlyStoreIsNotReplacedByWhoeverMayWriteTheFolder) {
    WriteFileText(path, StoreText("\"ScanCommNo\"=dword:00000001\n"));
    ASSERT_EQ(chmod(folder.Path().c_str(), 0777), 0);
    // The superuser may write anything; the check is for everybody else.
    const auto asSomebodyElse = [&](mode_t mode) {
        chmod(path.c_str(), mode);
        return InChild([&] {
            constexpr uid_t kNobody = 65534;
            if (geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0))
                return false;
            auto key = Store()->CreateKey(kProgramKeyPath);
            return key && key->WriteInteger("ScanCommNo", 2);
        });
    };
    EXPECT_FALSE(asSomebodyElse(0444));
    EXPECT_NE(ReadFileText(path).find("dword:00000001"), std::string::npos);
    EXPECT_TRUE(asSomebodyElse(0666)) << "a store open to all is written";
}

TEST_F(FileStore, TwoProcessesWritingAtOnceLoseNoValue) {
    ASSERT_NE(Store()->CreateKey(kProgramKeyPath), nullptr);
    constexpr int kValuesEach = 300;
    std::vector<pid_t> writers;
    for (const char* prefix : {"A", "B"}) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            auto key = OpenFileSettingsStore(path)->OpenKey(kProgramKeyPath);
            for (int i = 0; i < kValuesEach; ++i) {
                if (!key || !key->WriteInteger(prefix + std::to_string(i), i))
                    _exit(1);
            }
            _exit(0);
        }
        writers.push_back(child);
    }
    for (const pid_t writer : writers) {
        int status = -1;
        ASSERT_EQ(waitpid(writer, &status, 0), writer);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "every write succeeded";
    }
    EXPECT_EQ(OpenProgramKey()->ValueNames().size(), 2u * kValuesEach);
}

TEST_F(FileStore, WriterKilledAtAnyMomentLeavesAWholeStoreAndNoLitter) {
    ASSERT_TRUE(Store()->CreateKey(kProgramKeyPath)->WriteInteger("Counter", 0));
    std::mt19937 random(8);
    std::uniform_int_distribution<int> killAfterUs(0, 4000);
    constexpr int kKills = 200;
    for (int k = 0; k < kKills; ++k) {
        const pid_t writer = fork();
        ASSERT_GE(writer, 0);
        if (writer == 0) {
            auto key = OpenFileSettingsStore(path)->OpenKey(kProgramKeyPath);
            for (std::uint32_t i = 1; key; ++i) key->WriteInteger("Counter", i);
            _exit(1);
        }
        usleep(static_cast<useconds_t>(killAfterUs(random)));
        kill(writer, SIGKILL);
        waitpid(writer, nullptr, 0);
        auto key = OpenProgramKey();
        ASSERT_NE(key, nullptr) << "after kill " << k;
        ASSERT_TRUE(key->ReadInteger("Counter").has_value()) << "after kill " << k;
    }
    // Leftovers go once they are old enough that no writer can still own them.
    const timespec longAgo[2] = {{0, UTIME_OMIT}, {time(nullptr) - 120, 0}};
    for (const auto& temporary : Temporaries(folder))
        utimensat(AT_FDCWD, temporary.c_str(), longAgo, AT_SYMLINK_NOFOLLOW);
    ASSERT_TRUE(OpenProgramKey()->WriteInteger("Counter", 0));
    EXPECT_EQ(Temporaries(folder), std::vector<std::string>{});
}

}  // namespace
}  // namespace vx::platform
