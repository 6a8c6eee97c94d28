// Whole store files as a group member could leave them: read through the
// file store, then one value written and read back. The store lives in a
// folder made under the working directory.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/settings_store.h"

namespace {

void Check(bool holds) {
    if (!holds)
        __builtin_trap();
}

const std::string& StorePath() {
    static const std::string path = [] {
        std::string folder = "vx-store-fuzz.XXXXXX";
        Check(mkdtemp(folder.data()) != nullptr);
        return folder + "/VXConfig.reg";
    }();
    return path;
}

void WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    Check(fd >= 0);
    Check(write(fd, data, size) == static_cast<ssize_t>(size));
    close(fd);
}

std::uint32_t Hash(const std::uint8_t* data, std::size_t size) {
    constexpr std::uint32_t kFnvBasis = 2166136261u;
    constexpr std::uint32_t kFnvPrime = 16777619u;
    std::uint32_t hash = kFnvBasis;
    for (std::size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * kFnvPrime;
    return hash;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace platform = vx::platform;
    const std::string& path = StorePath();
    unlink(path.c_str());
    WriteFile(path, data, size);
    auto store = platform::OpenFileSettingsStore(path);
    if (auto key = store->OpenKey(platform::kProgramKeyPath)) {
        for (const char* name : {"ScanCommNo", "ScanBaudRate", "ScanBaudRateNo", "LanguageFlag"}) {
            key->Exists(name);
            key->ReadInteger(name);
            key->ReadText(name);
        }
        key->ValueNames();
    }
    // Writing costs two trips to the disk: one input in 64, picked by a hash
    // the fuzzer cannot easily steer towards, is written to.
    constexpr std::uint32_t kWriteOneIn = 64;
    if (Hash(data, size) % kWriteOneIn != 0)
        return 0;
    auto key = store->CreateKey(platform::kProgramKeyPath);
    Check(key != nullptr);
    Check(key->WriteInteger("ScanCommNo", size));
    Check(store->OpenKey(platform::kProgramKeyPath)->ReadInteger("ScanCommNo") == size);
    return 0;
}
