#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <random>

#include <gtest/gtest.h>

#include "case_names.h"

#include "platform/settings_store.h"
#include "settings_store_contract.h"
#include "temp_folder.h"

namespace vx::platform::testing {
namespace {

struct FileStoreMaker {
    std::unique_ptr<SettingsStore> Open() { return OpenFileSettingsStore(Path()); }
    // Binary data as the registry editor exports it, first in the key's section.
    void PlantOther(const std::string& keyPath, const std::string& name) {
        std::string text = ReadFileText(Path());
        const std::string section = "[HKEY_LOCAL_MACHINE\\" + keyPath + "]\n";
        const auto at = text.find(section);
        ASSERT_NE(at, std::string::npos) << text;
        WriteFileText(Path(), text.insert(at + section.size(), "\"" + name + "\"=hex:01,02\n"));
    }
    std::string Path() const { return folder.File("VXConfig.reg"); }
    TempFolder folder;
};

INSTANTIATE_TYPED_TEST_SUITE_P(File, SettingsStoreContract, FileStoreMaker);
INSTANTIATE_TYPED_TEST_SUITE_P(File, SettingsStoreOtherTypes, FileStoreMaker);

}  // namespace
}  // namespace vx::platform::testing

namespace vx::platform {
namespace {

using testing::ReadFileText;
using testing::TempFolder;
using testing::WriteFileText;

constexpr const char* kFormatLine = "Windows Registry Editor Version 5.00\n";
constexpr const char* kSection = "[HKEY_LOCAL_MACHINE\\Software\\TAVRO\\VXConfig]\n";
// Each test that could hang on a file that never ends gives up after this.
constexpr unsigned kHangLimitSeconds = 20;

mode_t NewFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0664 & ~mask;
}

// Our temporary files in the folder: ".VXConfig.reg." and six characters.
std::vector<std::string> Temporaries(const TempFolder& folder) {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(".VXConfig.reg."))
            found.push_back(entry.path().string());
    }
    return found;
}

// Forks a child that runs `body` and exits with its result; the child's
// success.
template <typename Body>
bool InChild(Body body) {
    const pid_t child = fork();
    if (child == 0)
        _exit(body() ? 0 : 1);
    int status = -1;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

class FileStore : public ::testing::Test {
protected:
    std::unique_ptr<SettingsKey> OpenProgramKey() { return Store()->OpenKey(kProgramKeyPath); }
    std::unique_ptr<SettingsStore> Store() { return OpenFileSettingsStore(path); }

    TempFolder folder;
    std::string path = folder.File("VXConfig.reg");
};

TEST_F(FileStore, WritesTheRegistryEditorsExportFormat) {
    auto key = Store()->CreateKey(kProgramKeyPath);
    ASSERT_NE(key, nullptr);
    ASSERT_TRUE(key->WriteInteger("ScanCommNo", 10));
    ASSERT_TRUE(key->WriteText("ScanBaudRate", "19200,e,8,1"));
    ASSERT_TRUE(key->WriteText("Quoted", "C:\\a \"b\""));
    EXPECT_EQ(ReadFileText(path), std::string{kFormatLine} + "\n" + kSection +
                                      "\"ScanCommNo\"=dword:0000000a\n"
                                      "\"ScanBaudRate\"=\"19200,e,8,1\"\n"
                                      "\"Quoted\"=\"C:\\\\a \\\"b\\\"\"\n\n");
}

TEST_F(FileStore, RewrittenValueKeepsItsPlaceInTheFileUnderItsNewSpelling) {
    auto key = Store()->CreateKey(kProgramKeyPath);
    ASSERT_TRUE(key->WriteInteger("First", 1));
    ASSERT_TRUE(key->WriteInteger("Second", 2));
    ASSERT_TRUE(key->WriteText("FIRST", "now a text"));
    EXPECT_EQ(OpenProgramKey()->ValueNames(), (std::vector<std::string>{"FIRST", "Second"}));
}

TEST_F(FileStore, TextsThatCannotStandOnOneLineAreRefused) {
    auto key = Store()->CreateKey(kProgramKeyPath);
    EXPECT_FALSE(key->WriteText("Multi", "two\nlines"));
    EXPECT_FALSE(key->WriteText("Return", "a\rb"));
    EXPECT_FALSE(key->WriteInteger("Bad\nName", 1));
    EXPECT_FALSE(OpenProgramKey()->Exists("Multi"));
}

// Each line below stands for the value "Probe" between two sound values.
struct StoredLineCase {
    const char* line;
    bool exists;
    std::optional<std::uint32_t> integer;
    std::optional<std::string> text;
};

void PrintTo(const StoredLineCase& c, std::ostream* os) {
    *os << c.line;
}

class FileStoreStoredLines : public FileStore,
                             public ::testing::WithParamInterface<StoredLineCase> {};

TEST_P(FileStoreStoredLines, AffectOnlyTheirOwnValue) {
    const StoredLineCase& c = GetParam();
    WriteFileText(path, std::string{kFormatLine} + "\n" + kSection + "\"Before\"=dword:00000001\n" +
                            c.line + "\n\"After\"=\"ok\"\n");
    auto key = OpenProgramKey();
    ASSERT_NE(key, nullptr) << c.line;
    EXPECT_EQ(key->Exists("Probe"), c.exists) << c.line;
    EXPECT_EQ(key->ReadInteger("Probe"), c.integer) << c.line;
    EXPECT_EQ(key->ReadText("Probe"), c.text) << c.line;
    EXPECT_EQ(key->ReadInteger("Before"), 1u) << c.line;
    EXPECT_EQ(key->ReadText("After"), "ok") << c.line;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, FileStoreStoredLines,
    ::testing::Values(
        StoredLineCase{"\"Probe\"=dword:0000000a", true, 10, std::nullopt},
        StoredLineCase{"\"probe\"=DWORD:0000000A", true, 10, std::nullopt},
        StoredLineCase{"\"Probe\"=\"text\"", true, std::nullopt, "text"},
        StoredLineCase{"\"Probe\"=\"a\\\\\\\"b\"", true, std::nullopt, "a\\\"b"},
        StoredLineCase{"\"Probe\"=hex(2):41,00,42,00,00,00", true, std::nullopt, "AB"},
        StoredLineCase{"\"Probe\"=hex(2):41,00,\\\n  42,00,00,00", true, std::nullopt, "AB"},
        StoredLineCase{"\"Probe\"=hex(1):2d,4e,87,65,00,00", true, std::nullopt,
                       "\xE4\xB8\xAD\xE6\x96\x87"},
        StoredLineCase{"\"Probe\"=hex(4):0a,00,00,00", true, 10, std::nullopt},
        StoredLineCase{"\"Probe\"=hex:", true, std::nullopt, ""},
        StoredLineCase{"\"Probe\"=hex:01,02", true, std::nullopt, std::nullopt},
        StoredLineCase{"\"Probe\"=hex(7):41,00,00,00,00,00", true, std::nullopt, std::nullopt},
        StoredLineCase{"\"Probe\"=hex(2):41,00,4", true, std::nullopt, std::nullopt},
        StoredLineCase{"\"Probe\"=hex(2):00,d8,41,00", true, std::nullopt, std::nullopt},
        StoredLineCase{"\"Probe\"=hex(4):0a,00", true, std::nullopt, std::nullopt},
        StoredLineCase{"\"Probe\"=hex(zz):00", true, std::nullopt, std::nullopt},
        StoredLineCase{"\"Probe\"=dword:xyz", true, std::nullopt, std::nullopt},
        StoredLineCase{"\"Probe\"=dword:123456789", true, std::nullopt, std::nullopt},
        StoredLineCase{"\"Probe\"=dword:", true, std::nullopt, std::nullopt},
        StoredLineCase{"\"Probe\"=\"unterminated", true, std::nullopt, std::nullopt},
        StoredLineCase{"\"Probe\"=\"bad\\qescape\"", true, std::nullopt, std::nullopt},
        StoredLineCase{"\"Probe\"=\"ok\" trailing", true, std::nullopt, std::nullopt},
        StoredLineCase{"\"Probe\"", true, std::nullopt, std::nullopt},
        StoredLineCase{"\"Probe\"=", true, std::nullopt, std::nullopt},
        StoredLineCase{"\"Probe\"=-", true, std::nullopt, std::nullopt},
        StoredLineCase{"\"Probe", false, std::nullopt, std::nullopt},
        StoredLineCase{"Probe=1", false, std::nullopt, std::nullopt},
        StoredLineCase{"; \"Probe\"=dword:00000001", false, std::nullopt, std::nullopt},
        StoredLineCase{"\xFF\xFE garbage \x01", false, std::nullopt, std::nullopt}),
    vx::testing::PrintedCaseName());

TEST_F(FileStore, KeepsWhatItDoesNotUnderstandWhenItRewritesTheFile) {
    const std::vector<std::string> kept{"; written by hand",
                                        "\"Binary\"=hex:01,02,03,\\",
                                        "  04,05",
                                        "\"Path\"=hex(2):25,00,41,00,25,00,00,00",
                                        "\"Broken\"=dword:zz",
                                        "[HKEY_CURRENT_USER\\Software\\Other]",
                                        "\"Elsewhere\"=\"kept\""};
    std::string text = std::string{"\xEF\xBB\xBF"} + kFormatLine + "\r\n" + kSection;
    for (const auto& line : kept) text += line + "\r\n";
    WriteFileText(path, text);

    ASSERT_TRUE(OpenProgramKey()->WriteInteger("ScanCommNo", 4));
    const std::string rewritten = ReadFileText(path);
    for (const auto& line : kept) {
        EXPECT_NE(rewritten.find(line + "\n"), std::string::npos) << line;
    }
    auto key = OpenProgramKey();
    EXPECT_EQ(key->ReadInteger("ScanCommNo"), 4u);
    EXPECT_EQ(key->ReadText("Path"), "%A%");
    EXPECT_TRUE(key->Exists("Broken"));
}

TEST_F(FileStore, ReplacesTheFileInsteadOfOverwritingIt) {
    auto key = Store()->CreateKey(kProgramKeyPath);
    ASSERT_TRUE(key->WriteInteger("ScanCommNo", 1));
    struct stat before {};
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    const std::string hardLink = folder.File("old-store");
    ASSERT_EQ(link(path.c_str(), hardLink.c_str()), 0);

    ASSERT_TRUE(key->WriteInteger("ScanCommNo", 2));
    struct stat after {};
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode & 07777, NewFileMode()) << "no permission is taken from the old file";
    EXPECT_NE(ReadFileText(hardLink).find("dword:00000001"), std::string::npos)
        << "the old file was left whole";
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"VXConfig.reg", "VXConfig.reg.lock", "old-store"}))
        << "no temporary file is left behind";
}

TEST_F(FileStore, SeesAndKeepsWhatAnotherProcessWrote) {
    auto keyOpenedEarlier = Store()->CreateKey(kProgramKeyPath);
    ASSERT_NE(keyOpenedEarlier, nullptr);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto key = OpenFileSettingsStore(path)->OpenKey(kProgramKeyPath);
        _exit(key && key->WriteInteger("ScanCommNo", 7) ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    EXPECT_EQ(OpenProgramKey()->ReadInteger("ScanCommNo"), 7u);
    ASSERT_TRUE(keyOpenedEarlier->WriteText("LanguageFlag", "ChineseGB"));
    auto key = OpenProgramKey();
    EXPECT_EQ(key->ReadInteger("ScanCommNo"), 7u) << "the other process's value survives";
    EXPECT_EQ(key->ReadText("LanguageFlag"), "ChineseGB");
}

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

TEST_F(FileStore, CreatesMissingFolders) {
    const std::string nested = folder.File("var/lib/vxconfig/VXConfig.reg");
    ASSERT_NE(OpenFileSettingsStore(nested)->CreateKey(kProgramKeyPath), nullptr);
    EXPECT_NE(OpenFileSettingsStore(nested)->OpenKey(kProgramKeyPath), nullptr);
}

TEST_F(FileStore, UnwritablePlaceGivesNoKeyAndNoCrash) {
    WriteFileText(folder.File("plain"), "a file, not a folder");
    auto store = OpenFileSettingsStore(folder.File("plain/VXConfig.reg"));
    EXPECT_EQ(store->CreateKey(kProgramKeyPath), nullptr);
    EXPECT_EQ(store->OpenKey(kProgramKeyPath), nullptr);
}

TEST_F(FileStore, WriteFailsWhenTheFolderHasGone) {
    const std::string sub = folder.File("sub");
    ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
    auto key = OpenFileSettingsStore(sub + "/VXConfig.reg")->CreateKey(kProgramKeyPath);
    ASSERT_NE(key, nullptr);
    std::filesystem::remove_all(sub);
    WriteFileText(sub, "a file where the folder was");
    EXPECT_FALSE(key->WriteInteger("ScanCommNo", 1));
    EXPECT_FALSE(key->WriteText("LanguageFlag", "English"));
}

}  // namespace
}  // namespace vx::platform
