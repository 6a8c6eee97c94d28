// The store file lives in a folder that every member of the serial-port group
// may write, and the tool often runs as the superuser: whatever stands at the
// store's name is treated as planted there by someone else. It is never
// followed, never read beyond a small size, never blocked on, and never lends
// its permissions to the file that replaces it.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>
#include <utility>

#include "platform/linux/reg_file.h"
#include "platform/settings_store.h"

namespace vx::platform {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

constexpr const char* kSystemStorePath = "/var/lib/vxconfig/VXConfig.reg";
// Masked by the umask; nothing of an earlier file is carried over.
constexpr mode_t kNewFileMode = 0664;
constexpr mode_t kNewFolderMode = 0755;
// The four values and a port table fit a few hundred bytes.
constexpr off_t kMaxStoreBytes = off_t{1} << 20;
constexpr const char* kLockSuffix = ".lock";
constexpr auto kLockWait = 1000ms;
constexpr auto kLockRetry = 250us;
// Old enough that no writer still works on it: a write takes milliseconds.
constexpr auto kLeftoverAge = 60s;
constexpr std::size_t kTemporarySuffixLength = 6;
constexpr int kTemporaryNameTries = 16;
constexpr std::string_view kNameCharacters =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

// The store promises values, never exceptions: running out of memory on a
// hostile file, or anything else thrown below, is one more failure.
template <typename Result, typename Action>
Result NoThrow(Result failed, Action&& action) noexcept {
    try {
        return action();
    } catch (...) {
        return failed;
    }
}

// Closes a descriptor when it goes out of scope.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() { Reset(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        Reset(std::exchange(other.fd_, -1));
        return *this;
    }

    int Get() const { return fd_; }
    void Reset(int fd = -1) {
        if (fd_ >= 0)
            close(fd_);
        fd_ = fd;
    }
    // Closes now, reporting whether the data made it out.
    bool CloseChecked() { return close(std::exchange(fd_, -1)) == 0; }

private:
    int fd_;
};

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

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

// What stands at the store's name, as far as it may be used.
struct StoreFile {
    // The text of a plain file that may be read; empty when there is none.
    std::optional<std::string> text;
    // True for a plain file, and where a new store may take the name: none
    // there yet, a symbolic link (replaced, never followed) or a plain file
    // too large or not text. False for pipes, devices, folders and files
    // that cannot be read.
    bool replaceable = false;
    bool exists = false;
};

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

std::optional<regfile::Document> LoadDocument(const std::string& path) {
    auto file = InspectStore(path);
    if (!file.text)
        return std::nullopt;
    return regfile::Parse(*file.text);
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

// Temporary files of writers that were killed before they could tidy up.
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

// The new text goes to a fresh file beside the store, reaches the disk, and
// only then takes the store's name in one rename: a crash at any moment
// leaves either the old store or the new one, never a mixture.
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

// The rename itself is durable only once the folder is.
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

// The registry opens keys for reading and writing alike; so does this store:
// a user who could not write the settings cannot open them either.
bool StoreAccessible(const std::string& path) {
    if (faccessat(AT_FDCWD, FolderOf(path).c_str(), W_OK | X_OK, AT_EACCESS) != 0)
        return false;
    // A link is judged by itself: it is replaced, never followed.
    return faccessat(AT_FDCWD, path.c_str(), R_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW) == 0 ||
           errno == ENOENT;
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Byte 0 of the lock file carries a shared record lock for every writer
// waiting for the flock (the two kinds of lock do not meet). Waiters poll, so
// a writer that locked again the moment it let go would starve them: a
// newcomer first lets those already waiting have their turn, up to a bound
// so that a stuck waiter costs a delay, not the write.
constexpr auto kWaitersTurnLimit = 100ms;

bool SetQueueLock(int fd, short type) {
    struct flock record {};
    record.l_type = type;
    record.l_whence = SEEK_SET;
    record.l_len = 1;
    return fcntl(fd, F_OFD_SETLK, &record) == 0;
}

bool OthersWaiting(int fd) {
    struct flock record {};
    record.l_type = F_WRLCK;
    record.l_whence = SEEK_SET;
    record.l_len = 1;
    return fcntl(fd, F_OFD_GETLK, &record) == 0 && record.l_type != F_UNLCK;
}

// Polls for the flock until the deadline; false on time-out or an error.
bool WaitForFlock(int fd, SteadyClock::time_point deadline) {
    for (;;) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if ((errno != EWOULDBLOCK && errno != EINTR) || SteadyClock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(kLockRetry);
    }
}

// The advisory lock file beside the store, held with flock for one
// read-modify-write. Someone may swap the file while we wait; the lock counts
// only on the file that still bears the name.
class StoreLock {
public:
    StoreLock() = default;
    explicit StoreLock(const std::string& path) {
        const std::string lockPath = path + kLockSuffix;
        const auto start = SteadyClock::now();
        while (SteadyClock::now() < start + kLockWait) {
            FileDescriptor lock(open(lockPath.c_str(),
                                     O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                                     kNewFileMode));
            struct stat held {};
            if (lock.Get() < 0 || fstat(lock.Get(), &held) != 0 || !S_ISREG(held.st_mode))
                return;
            while (OthersWaiting(lock.Get()) && SteadyClock::now() < start + kWaitersTurnLimit)
                std::this_thread::sleep_for(kLockRetry);
            SetQueueLock(lock.Get(), F_RDLCK);
            if (!WaitForFlock(lock.Get(), start + kLockWait))
                return;
            struct stat named {};
            if (lstat(lockPath.c_str(), &named) == 0 && SameFile(held, named)) {
                SetQueueLock(lock.Get(), F_UNLCK);
                fd_ = std::move(lock);
                return;
            }
        }
    }

    bool Held() const { return fd_.Get() >= 0; }

private:
    FileDescriptor fd_;
};

// Whether the store's lock is held for a run of several changes, and whether
// getting it failed (then every change in the run fails at once).
struct LockState {
    int depth = 0;
    bool failed = false;
};

// One read-modify-write of the file as it is now, under the store's lock.
bool ChangeUnderLock(const std::string& path, const LockState& state,
                     const std::function<void(regfile::Document&)>& change) {
    StoreLock lock;
    if (state.depth == 0) {
        lock = StoreLock(path);
        if (!lock.Held())
            return false;
    }
    RemoveLeftovers(path);
    auto file = InspectStore(path);
    if (!file.replaceable)
        return false;
    // A read-only store stays, even for someone who may write its folder.
    if (file.text && file.exists && faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0)
        return false;
    regfile::Document document = file.text ? regfile::Parse(*file.text) : regfile::Document{};
    change(document);
    return RenameIntoPlace(path, regfile::Format(document));
}

// Every reader and writer sees the renamed file at once, so the folder
// reaches the disk after the lock has gone: the next writer waits one trip
// to the disk less.
bool UpdateStore(const std::string& path, const LockState& state,
                 const std::function<void(regfile::Document&)>& change) {
    return !state.failed && ChangeUnderLock(path, state, change) && SyncFolder(path);
}

class FileSettingsKey final : public SettingsKey {
public:
    FileSettingsKey(std::string storePath, std::string keyPath, regfile::Document snapshot,
                    std::shared_ptr<LockState> lock)
        : storePath_(std::move(storePath)),
          keyPath_(std::move(keyPath)),
          snapshot_(std::move(snapshot)),
          lock_(std::move(lock)) {}

    bool Exists(const std::string& name) const override {
        return NoThrow(false, [&] { return Find(name) != nullptr; });
    }

    std::optional<std::uint32_t> ReadInteger(const std::string& name) const override {
        const regfile::Entry* entry = Find(name);
        if (entry == nullptr || entry->kind != ValueKind::Integer)
            return std::nullopt;
        return entry->integer;
    }

    std::optional<std::string> ReadText(const std::string& name) const override {
        return NoThrow(std::optional<std::string>{}, [&]() -> std::optional<std::string> {
            const regfile::Entry* entry = Find(name);
            if (entry == nullptr || entry->kind != ValueKind::Text)
                return std::nullopt;
            return entry->text.substr(0, entry->text.find('\0'));
        });
    }

    bool WriteInteger(const std::string& name, std::uint32_t value) override {
        return NoThrow(false, [&] { return Store(regfile::IntegerEntry(name, value)); });
    }

    bool WriteText(const std::string& name, const std::string& value) override {
        // Everything after a zero byte would be lost to readers anyway.
        return NoThrow(false, [&] {
            return Store(regfile::TextEntry(name, value.substr(0, value.find('\0'))));
        });
    }

    std::vector<std::string> ValueNames() const override {
        return NoThrow(std::vector<std::string>{}, [&] {
            std::vector<std::string> names;
            if (const regfile::Section* section = regfile::FindSection(snapshot_, keyPath_)) {
                for (const auto& entry : section->entries) {
                    if (entry.name)
                        names.push_back(*entry.name);
                }
            }
            return names;
        });
    }

private:
    const regfile::Entry* Find(const std::string& name) const {
        const regfile::Section* section = regfile::FindSection(snapshot_, keyPath_);
        return section == nullptr ? nullptr : regfile::FindValue(*section, name);
    }

    // Another program may have changed the file since this key was opened:
    // the change is made to the file as it is now.
    bool Store(regfile::Entry entry) {
        if (!regfile::Representable(*entry.name) || !regfile::Representable(entry.text)) {
            return false;
        }
        regfile::Document written;
        const bool stored = UpdateStore(storePath_, *lock_, [&](regfile::Document& document) {
            regfile::SetValue(regfile::FindOrAddSection(document, keyPath_), std::move(entry));
            written = document;
        });
        if (stored)
            snapshot_ = std::move(written);
        return stored;
    }

    std::string storePath_;
    std::string keyPath_;
    regfile::Document snapshot_;
    std::shared_ptr<LockState> lock_;
};

class FileSettingsStore final : public SettingsStore {
public:
    explicit FileSettingsStore(std::string path)
        : path_(std::move(path)), lock_(std::make_shared<LockState>()) {}

    std::unique_ptr<SettingsKey> OpenKey(const std::string& path) override {
        return Open(path, StoreAccessible(path_));
    }

    std::unique_ptr<SettingsKey> OpenKeyToRead(const std::string& path) override {
        return Open(path, true);
    }

    std::unique_ptr<SettingsKey> CreateKey(const std::string& path) override {
        return NoThrow(std::unique_ptr<SettingsKey>{}, [&]() -> std::unique_ptr<SettingsKey> {
            const std::string keyPath = regfile::NormalizeKeyPath(path);
            MakeFolders(FolderOf(path_));
            if (!StoreAccessible(path_))
                return nullptr;
            auto document = LoadDocument(path_);
            if (!document || !regfile::KeyExists(*document, keyPath)) {
                regfile::Document written;
                const bool created = UpdateStore(path_, *lock_, [&](regfile::Document& current) {
                    regfile::FindOrAddSection(current, keyPath);
                    written = current;
                });
                if (!created)
                    return nullptr;
                document = std::move(written);
            }
            return std::make_unique<FileSettingsKey>(path_, keyPath, std::move(*document), lock_);
        });
    }

    bool Exclusively(const std::function<void()>& update) override {
        if (lock_->depth > 0) {
            update();
            return !lock_->failed;
        }
        StoreLock held = NoThrow(StoreLock(), [&] {
            MakeFolders(FolderOf(path_));
            return StoreLock(path_);
        });
        lock_->failed = !held.Held();
        ++lock_->depth;
        struct Release {
            LockState& state;
            ~Release() {
                --state.depth;
                state.failed = false;
            }
        } release{*lock_};
        update();
        return held.Held();
    }

private:
    std::unique_ptr<SettingsKey> Open(const std::string& path, bool allowed) {
        return NoThrow(std::unique_ptr<SettingsKey>{}, [&]() -> std::unique_ptr<SettingsKey> {
            const std::string keyPath = regfile::NormalizeKeyPath(path);
            auto document = allowed ? LoadDocument(path_) : std::nullopt;
            if (!document || !regfile::KeyExists(*document, keyPath))
                return nullptr;
            return std::make_unique<FileSettingsKey>(path_, keyPath, std::move(*document), lock_);
        });
    }

    std::string path_;
    std::shared_ptr<LockState> lock_;
};

}  // namespace

std::unique_ptr<SettingsStore> OpenFileSettingsStore(const std::string& path) {
    return std::make_unique<FileSettingsStore>(path);
}

std::unique_ptr<SettingsStore> OpenSystemSettingsStore() {
    return OpenFileSettingsStore(kSystemStorePath);
}

}  // namespace vx::platform
