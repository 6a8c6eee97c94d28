#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "case_names.h"

#include "platform/settings_store.h"
#include "temp_folder.h"

namespace vx::platform {
namespace {

using testing::ReadFileText;
using testing::TempFolder;
using testing::WriteFileText;

constexpr const char* kFormatLine = "Windows Registry Editor Version 5.00\n";
constexpr const char* kSection = "[HKEY_LOCAL_MACHINE\\Software\\TAVRO\\VXConfig]\n";

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

TEST_F(FileStore, ReadsBackWhatWasWrittenWithTheirTypes) {
    const std::vector<std::pair<std::string, std::uint32_t>> integers{
        {"ScanCommNo", 3}, {"ScanBaudRateNo", 0}, {"Largest", 0xFFFFFFFF}};
    const std::vector<std::pair<std::string, std::string>> texts{
        {"ScanBaudRate", "19200,e,8,1"},
        {"Empty", ""},
        {"Escapes", "\\\\server\\\"x\"\\"},
        {"Chinese", "\xE4\xB8\xAD\xE6\x96\x87"},
        {"", "default value"}};
    {
        auto key = Store()->CreateKey(kProgramKeyPath);
        ASSERT_NE(key, nullptr);
        for (const auto& [name, value] : integers) ASSERT_TRUE(key->WriteInteger(name, value));
        for (const auto& [name, value] : texts) ASSERT_TRUE(key->WriteText(name, value));
    }
    auto key = OpenProgramKey();
    ASSERT_NE(key, nullptr);
    for (const auto& [name, value] : integers) {
        EXPECT_TRUE(key->Exists(name)) << name;
        EXPECT_EQ(key->ReadInteger(name), value) << name;
        EXPECT_EQ(key->ReadText(name), std::nullopt) << name << " is no text";
    }
    for (const auto& [name, value] : texts) {
        EXPECT_TRUE(key->Exists(name)) << name;
        EXPECT_EQ(key->ReadText(name), value) << name;
        EXPECT_EQ(key->ReadInteger(name), std::nullopt) << name << " is no integer";
    }
    EXPECT_EQ(key->ValueNames().size(), integers.size() + texts.size());
    EXPECT_FALSE(key->Exists("Missing"));
}

TEST_F(FileStore, RewritingAValueChangesItsTypeAndKeepsItsPlace) {
    auto key = Store()->CreateKey(kProgramKeyPath);
    ASSERT_TRUE(key->WriteInteger("First", 1));
    ASSERT_TRUE(key->WriteInteger("Second", 2));
    ASSERT_TRUE(key->WriteText("FIRST", "now a text"));
    auto reopened = OpenProgramKey();
    EXPECT_EQ(reopened->ValueNames(), (std::vector<std::string>{"FIRST", "Second"}));
    EXPECT_EQ(reopened->ReadText("first"), "now a text");
    EXPECT_EQ(reopened->ReadInteger("first"), std::nullopt);
}

TEST_F(FileStore, TextsThatCannotStandOnOneLineAreRefused) {
    auto key = Store()->CreateKey(kProgramKeyPath);
    EXPECT_FALSE(key->WriteText("Multi", "two\nlines"));
    EXPECT_FALSE(key->WriteText("Return", "a\rb"));
    EXPECT_FALSE(key->WriteInteger("Bad\nName", 1));
    EXPECT_FALSE(OpenProgramKey()->Exists("Multi"));
}

TEST_F(FileStore, TextIsCutAtItsFirstZeroByte) {
    auto key = Store()->CreateKey(kProgramKeyPath);
    ASSERT_TRUE(key->WriteText("Zero", std::string{"ab\0cd", 5}));
    EXPECT_EQ(OpenProgramKey()->ReadText("Zero"), "ab");
}

struct KeyPathCase {
    const char* path;
    bool opens;
};

void PrintTo(const KeyPathCase& c, std::ostream* os) {
    *os << c.path;
}

class FileStoreKeyPaths : public FileStore, public ::testing::WithParamInterface<KeyPathCase> {};

TEST_P(FileStoreKeyPaths, OpenFindsCreatedKeysAndTheirParentsInAnyCase) {
    EXPECT_EQ(Store()->OpenKey(GetParam().path), nullptr) << "nothing before creation";
    ASSERT_NE(Store()->CreateKey("Software\\TAVRO\\VXConfig"), nullptr);
    EXPECT_EQ(Store()->OpenKey(GetParam().path) != nullptr, GetParam().opens) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(Paths, FileStoreKeyPaths,
                         ::testing::Values(KeyPathCase{"Software\\TAVRO\\VXConfig", true},
                                           KeyPathCase{"\\Software\\TAVRO\\VXConfig", true},
                                           KeyPathCase{"SOFTWARE\\tavro\\vxconfig", true},
                                           KeyPathCase{"Software\\TAVRO", true},
                                           KeyPathCase{"Software", true},
                                           KeyPathCase{"Software\\TAV", false},
                                           KeyPathCase{"Software\\TAVRO\\VXConfig\\Ports", false},
                                           KeyPathCase{"Other", false}),
                         vx::testing::PrintedCaseName());

TEST_F(FileStore, ValuesOfOneKeyAreNotSeenFromAnother) {
    ASSERT_TRUE(Store()->CreateKey("Software\\TAVRO\\VXConfig\\Ports")->WriteText("COM1", "/x"));
    ASSERT_TRUE(Store()->CreateKey(kProgramKeyPath)->WriteInteger("ScanCommNo", 1));
    EXPECT_FALSE(OpenProgramKey()->Exists("COM1"));
    EXPECT_FALSE(Store()->OpenKey("Software\\TAVRO\\VXConfig\\Ports")->Exists("ScanCommNo"));
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
    EXPECT_EQ(after.st_mode & 07777, 0640u) << "the replacement keeps the permissions";
    EXPECT_NE(ReadFileText(hardLink).find("dword:00000001"), std::string::npos)
        << "the old file was left whole";
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"VXConfig.reg", "old-store"}))
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
