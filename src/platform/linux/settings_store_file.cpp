// The settings store as a registry-export text file, changed one
// read-modify-write at a time under the lock file beside it.
#include <fcntl.h>
#include <unistd.h>

#include <functional>
#include <utility>

#include "platform/linux/reg_file.h"
#include "platform/linux/store_file.h"
#include "platform/linux/store_lock.h"
#include "platform/settings_store.h"

namespace vx::platform {
namespace {

constexpr const char* kSystemStorePath = "/var/lib/vxconfig/VXConfig.reg";

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

std::optional<regfile::Document> LoadDocument(const std::string& path) {
    auto file = InspectStore(path);
    if (!file.text)
        return std::nullopt;
    return regfile::Parse(*file.text);
}

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

    bool DeleteValue(const std::string& name) override {
        return NoThrow(false, [&] {
            // Another program may have removed the key since: the file is
            // then left as it is.
            return Find(name) == nullptr || Change([&](regfile::Document& document) {
                       if (!regfile::FindSection(document, keyPath_))
                           return;
                       regfile::Section& section = regfile::FindOrAddSection(document, keyPath_);
                       const regfile::Entry* doomed = regfile::FindValue(section, name);
                       std::erase_if(section.entries, [doomed](const regfile::Entry& entry) {
                           return &entry == doomed;
                       });
                   });
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
        return Change([&](regfile::Document& document) {
            regfile::SetValue(regfile::FindOrAddSection(document, keyPath_), std::move(entry));
        });
    }

    bool Change(const std::function<void(regfile::Document&)>& change) {
        regfile::Document written;
        const bool stored = UpdateStore(storePath_, *lock_, [&](regfile::Document& document) {
            change(document);
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
