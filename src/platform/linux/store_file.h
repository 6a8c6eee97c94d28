#pragma once

// The store file lives in a folder that every member of the serial-port group
// may write, and the tool often runs as the superuser: whatever stands at the
// store's name is treated as planted there by someone else. It is never
// followed, never read beyond a small size, never blocked on, and never lends
// its permissions to the file that replaces it.

#include <sys/types.h>

#include <optional>
#include <string>

namespace vx::platform {

// Masked by the umask; nothing of an earlier file is carried over.
inline constexpr mode_t kNewFileMode = 0664;

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

StoreFile InspectStore(const std::string& path);

std::string FolderOf(const std::string& path);
void MakeFolders(const std::string& folder);

// The registry opens keys for reading and writing alike; so does this store:
// a user who could not write the settings cannot open them either.
bool StoreAccessible(const std::string& path);

// Temporary files of writers that were killed before they could tidy up.
void RemoveLeftovers(const std::string& path);

// The new text goes to a fresh file beside the store, reaches the disk, and
// only then takes the store's name in one rename: a crash at any moment
// leaves either the old store or the new one, never a mixture.
bool RenameIntoPlace(const std::string& path, const std::string& text);

// The rename itself is durable only once the folder is.
bool SyncFolder(const std::string& path);

}  // namespace vx::platform
