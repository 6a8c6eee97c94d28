#include "sim/module_model.h"

#include <gtest/gtest.h>

#include <functional>

#include "protocol/commands.h"
#include "sim_test_support.h"

namespace vx::sim {
namespace {

using test::CommandFrameBytes;
using test::LinkAcceptsFrame;

ModuleState BenchState() {
    ModuleState state;
    state.id = 7;
    state.serial = "87654321";
    state.version = "03.20-01";
    state.mode = 'H';
    state.noNc = protocol::ParseFlags("1000000000000001");
    return state;
}

struct AnswerCase {
    const char* name;
    std::string command;
    int length;  // 0: the module stays silent
    int fieldPosition;
    std::string field;
    // What the command leaves in the module, where it changes something.
    std::function<bool(const ModuleState&)> holds = nullptr;
};

class ModuleAnswers : public testing::TestWithParam<AnswerCase> {};

TEST_P(ModuleAnswers, ReplyHasLengthAndFieldAndPassesTheLinkCheck) {
    ModuleModel model(BenchState());
    const auto reply = model.Answer(GetParam().command);
    if (GetParam().holds) {
        EXPECT_TRUE(GetParam().holds(model.State()));
    }
    if (GetParam().length == 0) {
        EXPECT_FALSE(reply.has_value());
        return;
    }
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(static_cast<int>(reply->frame.size()), GetParam().length);
    EXPECT_TRUE(LinkAcceptsFrame(reply->frame));
    const auto field = protocol::ReplyField(reply->frame, GetParam().fieldPosition,
                                            static_cast<int>(GetParam().field.size()));
    EXPECT_EQ(field, GetParam().field);
}

INSTANTIATE_TEST_SUITE_P(
    CommandSet, ModuleAnswers,
    testing::Values(AnswerCase{"IdentifyId", "B00B", 16, 3, "07"},
                    AnswerCase{"IdentifySerial", "B00B", 16, 6, "87654321"},
                    AnswerCase{"IdentifyByOwnAddress", "B07B", 16, 6, "87654321"},
                    AnswerCase{"OtherAddressSilent", "B05B", 0, 0, ""},
                    AnswerCase{"Version", "B00V", 16, 6, "03.20-01"},
                    AnswerCase{"Mode", "B00G", 9, 6, "H"},
                    AnswerCase{"NoNcReading", "B00A", 24, 6, "1000000000000001"},
                    // Inputs follow the outputs, inverted where NO/NC is set.
                    AnswerCase{"ExchangeInvertsNcInputs", "B00I1100000000000000", 24, 6,
                               "0100000000000001",
                               [](const ModuleState& s) {
                                   return protocol::FlagString(s.outputs) == "1100000000000000";
                               }},
                    AnswerCase{"SetHoldAcknowledged", "B00GH", 8, 3, "07"},
                    AnswerCase{"SetNormalAcknowledged", "B00GS", 8, 3, "07",
                               [](const ModuleState& s) { return s.mode == 'S'; }},
                    AnswerCase{"UnknownModeSilent", "B00GX", 0, 0, ""},
                    AnswerCase{"WriteNoNcAcknowledged", "B00A0110000000000000", 8, 3, "07",
                               [](const ModuleState& s) {
                                   return protocol::FlagString(s.noNc) == "0110000000000000";
                               }},
                    AnswerCase{"MalformedNoNcSilent", "B00A00000000000000x0", 0, 0, ""},
                    AnswerCase{"SetIdAcknowledgedWithNewId", "B00C8765432142", 8, 3, "42",
                               [](const ModuleState& s) { return s.id == 42; }},
                    AnswerCase{"SetIdOtherSerialSilent", "B00C1111111142", 0, 0, "",
                               [](const ModuleState& s) { return s.id == 7; }},
                    AnswerCase{"SetIdZeroSilent", "B00C8765432100", 0, 0, ""},
                    AnswerCase{"SetLineAcknowledged", "B00EA", 8, 3, "07"},
                    AnswerCase{"SetLineUnknownCodeSilent", "B00EC", 0, 0, ""},
                    AnswerCase{"ShortExchangeSilent", "B00I0101", 0, 0, ""},
                    AnswerCase{"UnknownLetterSilent", "B00X", 0, 0, ""},
                    AnswerCase{"TooShortSilent", "B00", 0, 0, ""}),
    [](const auto& info) { return std::string(info.param.name); });

struct FrameCase {
    const char* name;
    std::string bytes;
    bool answered;
};

class ModuleFrames : public testing::TestWithParam<FrameCase> {};

TEST_P(ModuleFrames, AnswerOnlyWellFormedFrames) {
    ModuleModel model(BenchState());
    int replies = 0;
    for (char c : GetParam().bytes) {
        if (model.Receive(static_cast<std::uint8_t>(c)))
            ++replies;
    }
    EXPECT_EQ(replies, GetParam().answered ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Framing, ModuleFrames,
    testing::Values(FrameCase{"Good", CommandFrameBytes("B00V"), true},
                    FrameCase{"NoiseBeforeTab", "xx\r" + CommandFrameBytes("B00V"), true},
                    FrameCase{"BadChecksum", "\tB00V1E\r", false},
                    FrameCase{"LowercaseChecksum", "\tB00V1d\r", false},
                    FrameCase{"NoTab", "B00V1D\r", false}, FrameCase{"NoDigits", "\t\r", false},
                    FrameCase{"RestartedByTab", "\tB00" + CommandFrameBytes("B00V"), true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ModuleModel, NewLineSettingsTakeEffectOnlyWhenTheReplyIsSent) {
    ModuleModel model(BenchState());
    const auto reply = model.Answer(protocol::SetLineSettingsCommand(9));
    ASSERT_TRUE(reply.has_value());
    ASSERT_EQ(reply->lineIndexAfterReply, 9);
    EXPECT_EQ(model.LineSettings(), "19200,e,8,1");
    model.ReplySent(*reply);
    EXPECT_EQ(model.LineSettings(), "57600,e,8,1");
}

TEST(ModuleModel, FixedInputsIgnoreOutputsAndNoNc) {
    ModuleState state = BenchState();
    state.wiring = InputWiring::Fixed;
    state.fixedInputs = protocol::ParseFlags("0011000000000000");
    ModuleModel model(state);
    const auto reply = model.Answer("B00I1111111111111111");
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(protocol::ReplyField(reply->frame, 6, 16), "0011000000000000");
}

}  // namespace
}  // namespace vx::sim
