#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/settings_store.h"
#include "temp_folder.h"

// What the file store's tests share: the file's first lines, its temporaries
// and a child process to write it from.
namespace vx::platform::file_store_testing {

using testing::ReadFileText;
using testing::TempFolder;
using testing::WriteFileText;

inline constexpr const char* kFormatLine = "Windows Registry Editor Version 5.00\n";
inline constexpr const char* kSection = "[HKEY_LOCAL_MACHINE\\Software\\TAVRO\\VXConfig]\n";
// Each test that could hang on a file that never ends gives up after this.
inline constexpr unsigned kHangLimitSeconds = 20;

inline mode_t NewFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0664 & ~mask;
}

// Our temporary files in the folder: ".VXConfig.reg." and six characters.
inline std::vector<std::string> Temporaries(const TempFolder& folder) {
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

}  // namespace vx::platform::file_store_testing
