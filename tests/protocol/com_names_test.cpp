#include <gtest/gtest.h>

#include <optional>

#include "protocol/com_names.h"

namespace vx::protocol {
namespace {

struct NameCase {
    const char* name;
    std::optional<int> number;
};

// One reading of a port name for the whole tool: the port tables of both
// platforms, the command line and the simulated machine all use it.
TEST(ComNames, ComAndANumberWithoutLeadingZeros) {
    const NameCase cases[] = {
        {"COM1", 1},
        {"com16", 16},
        {"Com17", 17},
        {"COM9999", 9999},
        {"", std::nullopt},
        {"COM", std::nullopt},
        {"COM0", std::nullopt},
        {"COM01", std::nullopt},
        {"COM-1", std::nullopt},
        {"COM+1", std::nullopt},
        {"COM1x", std::nullopt},
        {"COM 1", std::nullopt},
        {" COM1", std::nullopt},
        {"CO1", std::nullopt},
        {"LPT1", std::nullopt},
        {"COM10000", std::nullopt},
        {"COM99999999999", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseComName(c.name), c.number) << '"' << c.name << '"';
    for (int n = 1; n <= kMaxComNumber; n += 997) EXPECT_EQ(ParseComName(ComName(n)), n);
}

}  // namespace
}  // namespace vx::protocol
