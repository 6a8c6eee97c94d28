// The store file's parser on arbitrary text. A document written back and read
// again must come out the same, or every rewrite would change the store.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/linux/reg_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace regfile = vx::platform::regfile;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string once = regfile::Format(regfile::Parse(text));
    const std::string twice = regfile::Format(regfile::Parse(once));
    if (once != twice)
        __builtin_trap();
    return 0;
}
