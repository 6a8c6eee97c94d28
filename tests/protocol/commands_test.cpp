#include <gtest/gtest.h>

#include <optional>

#include "protocol/commands.h"

namespace vx::protocol {
namespace {

ChannelFlags On(std::initializer_list<int> channels) {
    ChannelFlags flags{};
    for (int k : channels) flags[static_cast<std::size_t>(k - 1)] = true;
    return flags;
}

TEST(CommandsTest, CommandsAreBuiltWithFixedWidthFields) {
    struct Case {
        std::string built;
        std::string expected;
    };
    const Case cases[] = {
        {ExchangeCommand(On({1, 3, 16})), "B00I1010000000000001"},
        {ExchangeCommand({}), "B00I0000000000000000"},
        {WriteNoNcCommand(On({1})), "B00A1000000000000000"},
        {WriteNoNcCommand(On({16})), "B00A0000000000000001"},
        {SetIdCommand("12345678", "07"), "B00C1234567807"},
        {SetLineSettingsCommand(0), "B00E0"},
        {SetLineSettingsCommand(5), "B00E5"},
        {SetLineSettingsCommand(9), "B00E9"},
        {SetLineSettingsCommand(10), "B00EA"},
        {SetLineSettingsCommand(11), "B00EB"},
        {SetLineSettingsCommand(12), "B00E5"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.built, c.expected);
}

TEST(CommandsTest, ReplyFieldsAreTakenByPositionAndCutAtTheEnd) {
    const std::string identify = "\n!07,12345678C5\r";
    struct Case {
        std::string reply;
        std::string id, serial, version;
        bool hold;
    };
    const Case cases[] = {
        {identify, "07", "12345678", "12345678", false},
        {"\n!00,H\r", "00", "H\r", "H\r", true},
        {"\n!00,S123\r", "00", "S123\r", "S123\r", false},
        {"\n!0", "0", "", "", false},
        {"", "", "", "", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReplyModuleId(c.reply), c.id);
        EXPECT_EQ(ReplySerial(c.reply), c.serial);
        EXPECT_EQ(ReplyVersion(c.reply), c.version);
        EXPECT_EQ(ReplyModeIsHold(c.reply), c.hold);
    }
}

TEST(CommandsTest, OnlyTheCharacterOneCountsAsOn) {
    // '1' at positions 6 and 21, something else in between.
    const std::string reply = "\n!00,1x" + std::string(13, '0') + "1" + "99\r";
    EXPECT_EQ(ReplyChannelFlags(reply), On({1, 16}));
    EXPECT_EQ(ReplyChannelFlags("\n!00,1"), On({1})) << "missing positions are off";
    EXPECT_EQ(ParseFlags(FlagString(On({2, 5, 9}))), On({2, 5, 9}));
}

// What a user or a command argument may give: the whole text or nothing.
TEST(CommandsTest, FlagStringsAreSixteenZerosAndOnesExactly) {
    EXPECT_EQ(ParseFlagString("1000000000000001"), On({1, 16}));
    EXPECT_EQ(ParseFlagString("0000000000000000"), ChannelFlags{});
    for (const char* text : {"", "100000000000000", "10000000000000001", "100000000000000x",
                             "1000000000000002", " 000000000000000"}) {
        EXPECT_EQ(ParseFlagString(text), std::nullopt) << '"' << text << '"';
    }
}

struct IdCase {
    const char* text;
    std::optional<int> decimal;   // as a user types it
    std::optional<int> twoDigit;  // as the command and replies carry it
    std::optional<int> digits;    // what a reply's ID field holds, in range or not
};

TEST(CommandsTest, IdsAreOneToNinetyNine) {
    const IdCase cases[] = {
        {"1", 1, std::nullopt, std::nullopt},
        {"01", 1, 1, 1},
        {"07", 7, 7, 7},
        {"99", 99, 99, 99},
        {"007", 7, std::nullopt, std::nullopt},
        {"00", std::nullopt, std::nullopt, 0},
        {"100", std::nullopt, std::nullopt, std::nullopt},
        {"+7", std::nullopt, std::nullopt, std::nullopt},
        {"-1", std::nullopt, std::nullopt, std::nullopt},
        {" 7", std::nullopt, std::nullopt, std::nullopt},
        {"7a", std::nullopt, std::nullopt, std::nullopt},
        {"", std::nullopt, std::nullopt, std::nullopt},
        {"99999999999", std::nullopt, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseModuleId(c.text), c.decimal) << '"' << c.text << '"';
        EXPECT_EQ(ParseIdText(c.text), c.twoDigit) << '"' << c.text << '"';
        EXPECT_EQ(ParseIdDigits(c.text), c.digits) << '"' << c.text << '"';
    }
    for (int id = kMinModuleId; id <= kMaxModuleId; ++id) EXPECT_EQ(ParseIdText(IdText(id)), id);
}

}  // namespace
}  // namespace vx::protocol
