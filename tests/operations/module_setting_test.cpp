#include <gtest/gtest.h>

#include <functional>

#include "test_bench.h"

namespace vx::ops::testing {
namespace {

using sim::Fault;

struct SettingCase {
    const char* name;
    Operation click;
    std::function<void(FakeWindow&)> choose;
    std::vector<std::pair<const char*, Fault>> faults;
    std::vector<std::string> commands;
    std::string outcome;
    std::pair<Step, int> failedAt;  // and which command of the setting
};

const std::string kSetId = "B00C1234567807", kFactoryId = "B00C1234567801";
const std::string kAllClear(16, '0');
void Nothing(FakeWindow&) {}

const SettingCase kSettings[] = {
    {"SetIdSendsSerialAndPanelCaption",
     btnIDClick,
     Nothing,
     {},
     {"B00B", kSetId},
     "Set Module ID Ok",
     {Step::None, 0}},
    {"SetIdLostReplyRepeatsIdentify",
     btnIDClick,
     Nothing,
     {{"B00C", Fault::NoReply}},
     {"B00B", kSetId, "B00B", kSetId},
     "Set Module ID Ok",
     {Step::None, 0}},
    {"OverlongIdentifyFailsBothAttempts",
     btnIDClick,
     Nothing,
     {{"B00B", Fault::WrongLength}, {"B00B", Fault::WrongLength}},
     {"B00B", "B00B"},
     "Set Module ID Error",
     {Step::Identify, 0}},
    {"BaudRateIndex10SendsA",
     btnBaudRateClick,
     [](auto& w) { w.baudIndex = 10; },
     {},
     {"B00B", "B00EA"},
     "Set Module BaudRate Ok",
     {Step::None, 0}},
    {"BaudRateIndex11SendsB",
     btnBaudRateClick,
     [](auto& w) { w.baudIndex = 11; },
     {},
     {"B00B", "B00EB"},
     "Set Module BaudRate Ok",
     {Step::None, 0}},
    {"BaudRateIndex0SendsDigit",
     btnBaudRateClick,
     [](auto& w) { w.baudIndex = 0; },
     {},
     {"B00B", "B00E0"},
     "Set Module BaudRate Ok",
     {Step::None, 0}},
    {"ModeNormalAllInputsTicked",
     btnModeClick,
     [](auto& w) { w.modeIndex = 1, w.noNc.fill(true); },
     {},
     {"B00B", "B00GS", "B00A" + std::string(16, '1')},
     "Set Module Mode Ok",
     {Step::None, 0}},
    {"ModeLostInputCommandRepeatsModeCommand",
     btnModeClick,
     [](auto& w) { w.noNc.back() = true; },
     {{"B00A", Fault::NoReply}, {"B00A", Fault::NoReply}},
     {"B00B", "B00GH", "B00A" + kAllClear.substr(1) + "1", "B00B", "B00GH",
      "B00A" + kAllClear.substr(1) + "1"},
     "Set Module Mode Error",
     {Step::Command, 2}},
    {"FactoryDefaultOrder",
     btnFactoryClick,
     Nothing,
     {},
     {"B00B", kFactoryId, "B00A" + kAllClear, "B00GH", "B00E5"},
     "Set Factory Default Ok",
     {Step::None, 0}},
    {"FactoryLostHoldRepeatsAllSteps",
     btnFactoryClick,
     Nothing,
     {{"B00GH", Fault::NoReply}},
     {"B00B", kFactoryId, "B00A" + kAllClear, "B00GH", "B00B", kFactoryId, "B00A" + kAllClear,
      "B00GH", "B00E5"},
     "Set Factory Default Ok",
     {Step::None, 0}},
};

class Setting : public ::testing::TestWithParam<SettingCase> {};

TEST_P(Setting, SendsItsStepsAfterIdentifyWithTwoAttempts) {
    const SettingCase& c = GetParam();
    Bench b;
    b.Found(1, 5);
    b.bus.AddModule(1, {.id = 3});
    for (const auto& [command, fault] : c.faults) b.bus.Faults(1).Queue(command, fault);
    b.window.idPanel = "07";
    c.choose(b.window);
    const Outcome outcome = c.click(b.ctx);

    EXPECT_EQ(b.bus.Commands(), c.commands);
    EXPECT_EQ(std::make_pair(outcome.failedAt, outcome.failedCommand), c.failedAt);
    const bool identified = c.failedAt.first != Step::Identify;
    EXPECT_EQ(std::tie(outcome.module.port, outcome.module.serial),
              std::make_tuple(1, identified ? "12345678" : ""));
    const bool ok = c.outcome.ends_with("Ok");
    EXPECT_EQ(b.window.status, c.outcome);
    EXPECT_EQ(b.BeepHz(), std::vector<unsigned>{ok ? 1000u : 300u});
    const auto& j = b.window.journal;
    const std::vector<std::string> last{
        "lamp " + std::to_string(static_cast<int>(ok ? LampColor::Yellow : LampColor::Red)),
        "status " + c.outcome, "window on", "arrow"};
    EXPECT_EQ(std::vector<std::string>(j.end() - 4, j.end()), last);
    EXPECT_EQ(std::vector<std::string>(j.begin(), j.begin() + 2),
              (std::vector<std::string>{"hourglass", "window off"}));
    EXPECT_EQ(b.bus.OpenCount(), 1);
    EXPECT_EQ(b.bus.CloseCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(Operations, Setting, ::testing::ValuesIn(kSettings),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SettingTiming, HundredMsBeforeIdentifyAndBeforeEachStep) {
    Bench b;
    b.Found(1, 5);
    auto& module = b.bus.AddModule(1);
    b.window.idPanel = "42";
    btnIDClick(b.ctx);
    // 100 ms, 8 ms of writes to the CR; 1 ms, the 16-byte reply at 19200 baud, 100 ms, 8 ms.
    EXPECT_EQ(b.FrameTimes(), (std::vector<std::uint32_t>{108, 226}));
    EXPECT_EQ(b.window.statuses.front(), std::make_pair(0u, std::string("Set Module ID = 42")));
    EXPECT_EQ(module.State().id, 42);
}

class Refusal : public ::testing::TestWithParam<Operation> {};

TEST_P(Refusal, BeforeAScanNothingIsSentAndNoControlMoves) {
    Bench b;
    b.window.state.ScanCommNo = 1;  // stored from an earlier use
    b.bus.AddModule(1);
    b.window.lamp = LampColor::Yellow;
    b.window.SetIdPosition(42), b.window.baudIndex = 7, b.window.modeIndex = 1,
                                b.window.noNc.fill(true);
    const Outcome outcome = GetParam()(b.ctx);

    EXPECT_EQ(outcome, Outcome::Of(Result::Refused));
    EXPECT_EQ(b.bus.OpenCount(), 0);
    EXPECT_EQ(b.window.status, "Start Scan Module!");
    EXPECT_EQ(b.BeepHz(), std::vector<unsigned>{300});
    EXPECT_EQ(std::tie(b.window.idPanel, b.window.baudIndex, b.window.modeIndex),
              std::make_tuple("42", 7, 1));
    EXPECT_TRUE(b.window.noNc.back());
    // Live processing changes nothing else; the settings turn the lamp red.
    EXPECT_EQ(b.window.lamp, GetParam() == btnProcessClick ? LampColor::Yellow : LampColor::Red);
}

constexpr const char* kRefusingNames[] = {"Process", "SetId", "SetBaudRate", "SetMode",
                                          "FactoryDefault"};

INSTANTIATE_TEST_SUITE_P(Operations, Refusal,
                         ::testing::Values(btnProcessClick, btnIDClick, btnBaudRateClick,
                                           btnModeClick, btnFactoryClick),
                         [](const auto& info) { return std::string(kRefusingNames[info.index]); });

struct AdoptCase {
    Fault fault;
    int expectedLine;
};

class BaudRateAdoption : public ::testing::TestWithParam<AdoptCase> {};

TEST_P(BaudRateAdoption, SuccessAdoptsInMemoryOnlyAndNextOperationUsesIt) {
    Bench b;
    b.Found(1, 5);
    b.bus.AddModule(1);
    b.bus.Faults(1).Queue("B00E", GetParam().fault, 2);
    b.window.baudIndex = 9;
    btnBaudRateClick(b.ctx);
    const int line = GetParam().expectedLine;
    EXPECT_EQ(std::tie(b.window.state.ScanBaudRateNo, b.window.state.ScanBaudRate),
              std::tie(line, protocol::LineSettingsList.at(line)));
    EXPECT_TRUE(b.window.saves.empty());
    btnIDClick(b.ctx);
    EXPECT_EQ(b.bus.Frames().back().lineSettings, protocol::LineSettingsList.at(line));
}

INSTANTIATE_TEST_SUITE_P(Operations, BaudRateAdoption,
                         ::testing::Values(AdoptCase{Fault::None, 9}, AdoptCase{Fault::NoReply, 5}),
                         [](const auto& info) {
                             return std::string(info.param.fault == Fault::None ? "Answered"
                                                                                : "Lost");
                         });

TEST(FactoryDefault, ControlsTakeFactoryValuesButScanSettingsStay) {
    Bench b;
    b.Found(1, 6);
    auto& module = b.bus.AddModule(1, {.id = 7, .mode = 'S', .lineIndex = 6});
    b.window.SetIdPosition(7), b.window.modeIndex = 1, b.window.noNc.fill(true),
                               b.window.baudIndex = 6;
    btnFactoryClick(b.ctx);

    EXPECT_EQ(b.window.status, "Set Factory Default Ok");
    EXPECT_EQ(std::tie(b.window.idPanel, b.window.modeIndex, b.window.baudIndex),
              std::make_tuple("01", 0, 5));
    EXPECT_EQ(b.window.noNc, decltype(b.window.noNc){});
    EXPECT_EQ(b.window.state.ScanBaudRate, "38400,n,8,1");
    EXPECT_EQ(std::tie(module.State().id, module.State().mode, module.State().lineIndex),
              std::make_tuple(1, 'H', 5));
}

}  // namespace
}  // namespace vx::ops::testing
