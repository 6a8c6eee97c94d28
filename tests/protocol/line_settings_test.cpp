#include <gtest/gtest.h>

#include "case_names.h"

#include "protocol/line_settings.h"

namespace vx::protocol {
namespace {

struct ValidText {
    const char* text;
    LineSettings expected;
};

void PrintTo(const ValidText& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

class LineSettingsAccepted : public ::testing::TestWithParam<ValidText> {};

TEST_P(LineSettingsAccepted, YieldsTheFieldsItNames) {
    const auto parsed = ParseLineSettings(GetParam().text);
    ASSERT_TRUE(parsed.has_value()) << GetParam().text;
    EXPECT_EQ(*parsed, GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, LineSettingsAccepted,
    ::testing::Values(ValidText{"19200,e,8,1", {19200, Parity::Even, 8, StopBits::One}},
                      ValidText{"4800,n,8,1", {4800, Parity::None, 8, StopBits::One}},
                      ValidText{"115200,E,8,1", {115200, Parity::Even, 8, StopBits::One}},
                      ValidText{"9600,o,7,2", {9600, Parity::Odd, 7, StopBits::Two}},
                      ValidText{"9600,M,6,1", {9600, Parity::Mark, 6, StopBits::One}},
                      ValidText{"9600,s,8,1", {9600, Parity::Space, 8, StopBits::One}},
                      ValidText{"1200,n,5,1.5", {1200, Parity::None, 5, StopBits::OneAndHalf}},
                      ValidText{"250000,n,8,1", {250000, Parity::None, 8, StopBits::One}},
                      ValidText{"96,n,8,1", {9600, Parity::None, 8, StopBits::One}},
                      ValidText{"19,e,8,1", {19200, Parity::Even, 8, StopBits::One}},
                      ValidText{"11,n,8,2", {110, Parity::None, 8, StopBits::Two}},
                      ValidText{" 57600 , n , 8 , 1 ", {57600, Parity::None, 8, StopBits::One}}),
    vx::testing::PrintedCaseName());

class LineSettingsRejected : public ::testing::TestWithParam<const char*> {};

TEST_P(LineSettingsRejected, YieldsNothing) {
    EXPECT_FALSE(ParseLineSettings(GetParam()).has_value()) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(Texts, LineSettingsRejected,
                         ::testing::Values("", "19200", "19200,e,8", "19200,e,8,1,x", "0,n,8,1",
                                           "-9600,n,8,1", "9600.5,n,8,1", "abc,n,8,1",
                                           "99999999999,n,8,1", "9600,x,8,1", "9600,ne,8,1",
                                           "9600,,8,1", "9600,n,4,1", "9600,n,9,1", "9600,n,8,3",
                                           "9600,n,8,1.0", "9600,n,8,1.5", "9600,n,5,2",
                                           "9600;n;8;1", "9600,n,8,1,"),
                         vx::testing::PrintedCaseName());

// The list is what the module's line-settings code names: each entry must
// read as the baud rate and parity its position stands for, and only the
// exact texts count as entries.
TEST(LineSettingsList, EntriesReadAsTheirBaudRateAndParityInCodeOrder) {
    constexpr std::uint32_t kRates[] = {4800, 9600, 19200, 38400, 57600, 115200};
    ASSERT_EQ(LineSettingsList.size(), 2 * std::size(kRates));
    for (int index = 0; index < kLineSettingsCount; ++index) {
        const auto& text = LineSettingsList[static_cast<std::size_t>(index)];
        const LineSettings expected{kRates[index / 2], index % 2 == 0 ? Parity::None : Parity::Even,
                                    8, StopBits::One};
        EXPECT_EQ(ParseLineSettings(text), expected) << text;
        EXPECT_EQ(LineSettingsIndex(text), index) << text;
    }
    EXPECT_EQ(LineSettingsList[kDefaultLineSettingsIndex], "19200,e,8,1");
}

TEST(LineSettingsList, OnlyExactEntriesHaveAnIndex) {
    for (const char* text : {"19200,E,8,1", " 19200,e,8,1", "19,e,8,1", "19200,e,8,2", ""}) {
        EXPECT_FALSE(LineSettingsIndex(text).has_value()) << '"' << text << '"';
    }
}

struct CodeCase {
    int index;
    char code;
};

TEST(LineSettingsCode, OneUppercaseHexDigitPerIndex) {
    const CodeCase cases[] = {{0, '0'}, {5, '5'}, {9, '9'}, {10, 'A'}, {11, 'B'}};
    for (const auto& c : cases) {
        EXPECT_EQ(LineSettingsCode(c.index), c.code) << c.index;
        EXPECT_EQ(ParseLineSettingsCode(c.code), c.index) << c.code;
    }
    // An index outside the list goes out as the default; unknown codes name nothing.
    EXPECT_EQ(LineSettingsCode(-1), '5');
    EXPECT_EQ(LineSettingsCode(kLineSettingsCount), '5');
    for (char code : {'C', 'a', 'b', ' ', '\0'}) EXPECT_FALSE(ParseLineSettingsCode(code)) << code;
}

}  // namespace
}  // namespace vx::protocol
