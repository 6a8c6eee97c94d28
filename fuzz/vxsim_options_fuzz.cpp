// vxsim's command line: arguments separated by zero bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/vxsim_options.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            args.emplace_back();
        else
            args.back() += static_cast<char>(data[i]);
    }
    const auto parsed = vx::sim::ParseVxsimOptions(args);
    if (parsed.error.empty() && !parsed.options.help && parsed.options.ports.empty())
        __builtin_trap();
    return 0;
}
