#include "platform/linux/store_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <string_view>
#include <utility>

#include "platform/linux/file_descriptor.h"

namespace vx::platform {
namespace {

using namespace std::chrono_literals;

constexpr mode_t kNewFolderMode = 0755;
// The four values and a port table fit a few hundred bytes.
constexpr off_t kMaxStoreBytes = off_t{1} << 20;
// Old enough that no writer still works on it: a write takes milliseconds.
constexpr auto kLeftoverAge = 60s;
constexpr std::size_t kTemporarySuffixLength = 6;
constexpr int kTemporaryNameTries = 16;
constexpr std::string_view kNameCharacters =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

std::string FileNameOf(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

// ".VXConfig.reg." and six characters: our temporary files.
std::string TemporaryPrefix(const std::string& path) {
    return "." + FileNameOf(path) + ".";
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        done += static_cast<std::size_t>(written);
    }
    return true;
}

std::optional<std::string> ReadAtMost(int fd, off_t limit) {
    std::string text;
    std::array<char, 4096> buffer{};
    for (;;) {
        const ssize_t got = read(fd, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            return text;
        text.append(buffer.data(), static_cast<std::size_t>(got));
        if (static_cast<off_t>(text.size()) > limit)
            return std::nullopt;
    }
}

std::string RandomSuffix() {
    std::array<unsigned char, kTemporarySuffixLength> random{};
    if (getrandom(random.data(), random.size(), 0) != static_cast<ssize_t>(random.size()))
        return {};
    std::string suffix;
    for (const unsigned char r : random) suffix += kNameCharacters[r % kNameCharacters.size()];
    return suffix;
}

// A fresh file of our own beside the store; never one that was there.
std::pair<FileDescriptor, std::string> CreateTemporary(const std::string& path) {
    const std::string prefix = FolderOf(path) + "/" + TemporaryPrefix(path);
    for (int attempt = 0; attempt < kTemporaryNameTries; ++attempt) {
        const std::string suffix = RandomSuffix();
        if (suffix.empty())
            break;
        std::string name = prefix + suffix;
        const int fd =
            open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kNewFileMode);
        if (fd >= 0)
            return {FileDescriptor(fd), std::move(name)};
        if (errno != EEXIST)
            break;
    }
    return {FileDescriptor(), std::string{}};
}

}  // namespace

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

StoreFile InspectStore(const std::string& path) {
    // Not blocking: opening a pipe for reading would wait for a writer.
    FileDescriptor file(
        open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.Get() < 0) {
        if (errno == ENOENT)
            return {std::string{}, true, false};
        return {std::nullopt, errno == ELOOP, errno != ENOTDIR};
    }
    struct stat status {};
    if (fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode))
        return {std::nullopt, false, true};
    if (status.st_size > kMaxStoreBytes)
        return {std::nullopt, true, true};
    auto text = ReadAtMost(file.Get(), kMaxStoreBytes);
    // A zero byte means no text file (a UTF-16 export, or binary data).
    if (!text || text->find('\0') != std::string::npos)
        return {std::nullopt, true, true};
    return {std::move(text), true, true};
}

void RemoveLeftovers(const std::string& path) {
    const std::string prefix = TemporaryPrefix(path);
    DIR* folder = opendir(FolderOf(path).c_str());
    if (folder == nullptr)
        return;
    const auto oldest = std::chrono::system_clock::now() - kLeftoverAge;
    const auto oldestSeconds = std::chrono::system_clock::to_time_t(oldest);
    while (const dirent* entry = readdir(folder)) {
        const std::string_view name = entry->d_name;
        if (!name.starts_with(prefix) || name.size() != prefix.size() + kTemporarySuffixLength)
            continue;
        struct stat status {};
        if (fstatat(dirfd(folder), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(status.st_mode) && status.st_mtime < oldestSeconds) {
            unlinkat(dirfd(folder), entry->d_name, 0);
        }
    }
    closedir(folder);
}

bool RenameIntoPlace(const std::string& path, const std::string& text) {
    auto [file, temporary] = CreateTemporary(path);
    if (file.Get() < 0)
        return false;
    const bool written = WriteAll(file.Get(), text) && fsync(file.Get()) == 0 &&
                         file.CloseChecked() && rename(temporary.c_str(), path.c_str()) == 0;
    if (!written)
        unlink(temporary.c_str());
    return written;
}

bool SyncFolder(const std::string& path) {
    FileDescriptor folder(open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return folder.Get() >= 0 && fsync(folder.Get()) == 0;
}

void MakeFolders(const std::string& folder) {
    for (auto slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        mkdir(folder.substr(0, slash).c_str(), kNewFolderMode);
        if (slash == std::string::npos)
            return;
    }
}

bool StoreAccessible(const std::string& path) {
    if (faccessat(AT_FDCWD, FolderOf(path).c_str(), W_OK | X_OK, AT_EACCESS) != 0)
        return false;
    // A link is judged by itself: it is replaced, never followed.
    return faccessat(AT_FDCWD, path.c_str(), R_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW) == 0 ||
           errno == ENOENT;
}

}  // namespace vx::platform
