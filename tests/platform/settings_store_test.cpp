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

#include "file_store_fixture.h"
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

using namespace file_store_testing;

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
