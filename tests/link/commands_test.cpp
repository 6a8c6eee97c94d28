#include <gtest/gtest.h>

#include "link/comm_port.h"
#include "link/commands.h"

namespace vx::link {
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
    };
    for (const auto& c : cases) EXPECT_EQ(c.built, c.expected);
}

TEST(CommandsTest, LineSettingsListHasTheTwelveEntriesInOrder) {
    EXPECT_EQ(LineSettingsList.front(), "4800,n,8,1");
    EXPECT_EQ(LineSettingsList[kDefaultLineSettingsIndex], "19200,e,8,1");
    EXPECT_EQ(LineSettingsList[9], "57600,e,8,1");
    EXPECT_EQ(LineSettingsList.back(), "115200,e,8,1");
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

}  // namespace
}  // namespace vx::link
