#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <utility>

#include "platform/linux/reg_file.h"
#include "platform/settings_store.h"

namespace vx::platform {
namespace {

constexpr const char* kSystemStorePath = "/var/lib/vxconfig/VXConfig.reg";
constexpr mode_t kNewFileMode = 0644;
constexpr mode_t kNewFolderMode = 0755;
constexpr mode_t kPermissionBits = 07777;

// Closes a descriptor when it goes out of scope.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0)
            close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return fd_; }
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

// The text of the store; empty when there is no file yet, nothing when the
// file exists but cannot be read.
std::optional<std::string> ReadStoreText(const std::string& path) {
    FileDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.Get() < 0) {
        return errno == ENOENT ? std::optional<std::string>{std::string{}} : std::nullopt;
    }
    std::string text;
    constexpr std::size_t kChunk = 4096;
    std::array<char, kChunk> buffer{};
    for (;;) {
        const ssize_t got = read(file.Get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            return text;
        text.append(buffer.data(), static_cast<std::size_t>(got));
    }
}

std::optional<regfile::Document> LoadDocument(const std::string& path) {
    auto text = ReadStoreText(path);
    if (!text)
        return std::nullopt;
    return regfile::Parse(*text);
}

mode_t ModeForReplacement(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 ? status.st_mode & kPermissionBits : kNewFileMode;
}

// The new text goes to a fresh file beside the store, reaches the disk, and
// only then takes the store's name in one rename: a crash at any moment
// leaves either the old store or the new one, never a mixture.
bool ReplaceAtomically(const std::string& path, const std::string& text) {
    const std::string folder = FolderOf(path);
    std::string temporary = folder + "/." + FileNameOf(path) + ".XXXXXX";
    FileDescriptor file(mkostemp(temporary.data(), O_CLOEXEC));
    if (file.Get() < 0)
        return false;
    const bool written = fchmod(file.Get(), ModeForReplacement(path)) == 0 &&
                         WriteAll(file.Get(), text) && fsync(file.Get()) == 0 &&
                         file.CloseChecked() && rename(temporary.c_str(), path.c_str()) == 0;
    if (!written) {
        unlink(temporary.c_str());
        return false;
    }
    // The rename itself is durable only once the folder is.
    FileDescriptor folderFd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return folderFd.Get() >= 0 && fsync(folderFd.Get()) == 0;
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
    return faccessat(AT_FDCWD, path.c_str(), R_OK, AT_EACCESS) == 0 || errno == ENOENT;
}

class FileSettingsKey final : public SettingsKey {
public:
    FileSettingsKey(std::string storePath, std::string keyPath, regfile::Document snapshot)
        : storePath_(std::move(storePath)),
          keyPath_(std::move(keyPath)),
          snapshot_(std::move(snapshot)) {}

    bool Exists(const std::string& name) const override { return Find(name) != nullptr; }

    std::optional<std::uint32_t> ReadInteger(const std::string& name) const override {
        const regfile::Entry* entry = Find(name);
        if (entry == nullptr || entry->kind != ValueKind::Integer)
            return std::nullopt;
        return entry->integer;
    }

    std::optional<std::string> ReadText(const std::string& name) const override {
        const regfile::Entry* entry = Find(name);
        if (entry == nullptr || entry->kind != ValueKind::Text)
            return std::nullopt;
        return entry->text.substr(0, entry->text.find('\0'));
    }

    bool WriteInteger(const std::string& name, std::uint32_t value) override {
        return Store(regfile::IntegerEntry(name, value));
    }

    bool WriteText(const std::string& name, const std::string& value) override {
        // Everything after a zero byte would be lost to readers anyway.
        return Store(regfile::TextEntry(name, value.substr(0, value.find('\0'))));
    }

    std::vector<std::string> ValueNames() const override {
        std::vector<std::string> names;
        if (const regfile::Section* section = regfile::FindSection(snapshot_, keyPath_)) {
            for (const auto& entry : section->entries) {
                if (entry.name)
                    names.push_back(*entry.name);
            }
        }
        return names;
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
        auto current = LoadDocument(storePath_);
        if (!current)
            return false;
        regfile::SetValue(regfile::FindOrAddSection(*current, keyPath_), std::move(entry));
        if (!ReplaceAtomically(storePath_, regfile::Format(*current)))
            return false;
        snapshot_ = std::move(*current);
        return true;
    }

    std::string storePath_;
    std::string keyPath_;
    regfile::Document snapshot_;
};

class FileSettingsStore final : public SettingsStore {
public:
    explicit FileSettingsStore(std::string path) : path_(std::move(path)) {}

    std::unique_ptr<SettingsKey> OpenKey(const std::string& path) override {
        const std::string keyPath = regfile::NormalizeKeyPath(path);
        auto document = StoreAccessible(path_) ? LoadDocument(path_) : std::nullopt;
        if (!document || !regfile::KeyExists(*document, keyPath))
            return nullptr;
        return std::make_unique<FileSettingsKey>(path_, keyPath, std::move(*document));
    }

    std::unique_ptr<SettingsKey> CreateKey(const std::string& path) override {
        const std::string keyPath = regfile::NormalizeKeyPath(path);
        MakeFolders(FolderOf(path_));
        auto document = StoreAccessible(path_) ? LoadDocument(path_) : std::nullopt;
        if (!document)
            return nullptr;
        if (!regfile::KeyExists(*document, keyPath)) {
            regfile::FindOrAddSection(*document, keyPath);
            if (!ReplaceAtomically(path_, regfile::Format(*document)))
                return nullptr;
        }
        return std::make_unique<FileSettingsKey>(path_, keyPath, std::move(*document));
    }

private:
    std::string path_;
};

}  // namespace

std::unique_ptr<SettingsStore> OpenFileSettingsStore(const std::string& path) {
    return std::make_unique<FileSettingsStore>(path);
}

std::unique_ptr<SettingsStore> OpenSystemSettingsStore() {
    return OpenFileSettingsStore(kSystemStorePath);
}

}  // namespace vx::platform
