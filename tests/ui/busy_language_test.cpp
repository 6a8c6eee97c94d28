#include <gtest/gtest.h>

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>

#include "case_names.h"
#include "ui/circle_shape.h"
#include "ui/shell/text_table.h"
#include "window_rig.h"

namespace vx::ui::testing {
namespace {

using ops::Msg;

const QColor kRed(255, 0, 0);
const QColor kYellow(255, 255, 0);

struct BlinkCase {
    int phaseBefore;
    QColor lampAfterOneTick;
    int phaseAfter;
};

void PrintTo(const BlinkCase& c, std::ostream* os) {
    *os << "phase " << c.phaseBefore;
}

class BusyBlink : public ::testing::TestWithParam<BlinkCase> {};

TEST_P(BusyBlink, OneTickFlipsThePhaseAndTheLamp) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    w.tmrBusy->Tag = GetParam().phaseBefore;
    w.SetBusy(1);
    w.tmrBusyTimer();
    w.SetBusy(0);
    EXPECT_EQ(w.shComm->Brush(), GetParam().lampAfterOneTick);
    EXPECT_EQ(w.tmrBusy->Tag, GetParam().phaseAfter);
}

INSTANTIATE_TEST_SUITE_P(Phases, BusyBlink,
                         ::testing::Values(BlinkCase{0, kRed, 1}, BlinkCase{1, kYellow, 0}),
                         vx::testing::PrintedCaseName());

TEST(Busy, SecondPeriodContinuesTheAlternation) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    std::vector<QColor> lamps;
    for (int period = 0; period < 2; ++period) {
        w.SetBusy(1);
        w.tmrBusyTimer();
        lamps.push_back(w.shComm->Brush());
        w.SetBusy(0);
    }
    EXPECT_EQ(lamps, (std::vector<QColor>{kRed, kYellow}));
}

// What assistive tools read of the link lamp: busy while it blinks, not the
// blinking itself (a screen reader would chatter five times a second).
TEST(Busy, TheLinkLampReadsBusyNotBlinking) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    QAccessibleInterface* lamp = QAccessible::queryAccessibleInterface(w.shComm);
    ASSERT_EQ(lamp->role(), QAccessible::CheckBox);
    w.SetBusy(1);
    for (int tick = 0; tick < 3; ++tick) {
        w.tmrBusyTimer();
        EXPECT_TRUE(lamp->state().busy);
        EXPECT_FALSE(lamp->state().checked) << "tick " << tick;
    }
    w.SetBusy(0);
    w.SetCommLamp(ops::LampColor::Yellow);
    EXPECT_FALSE(lamp->state().busy);
    EXPECT_TRUE(lamp->state().checked);
    EXPECT_TRUE(lamp->state().readOnly);
}

TEST(Busy, OnDisablesTheWindowAndAnyOtherValueSwitchesOff) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    w.SetCommLamp(ops::LampColor::Yellow);
    w.SetBusy(1);
    EXPECT_FALSE(w.isEnabled());
    EXPECT_FALSE(w.btnExit->isEnabled());
    EXPECT_TRUE(w.tmrBusy->isActive());
    w.SetBusy(2);
    EXPECT_TRUE(w.isEnabled());
    EXPECT_FALSE(w.tmrBusy->isActive());
    EXPECT_EQ(w.shComm->Brush(), kYellow) << "switching does not touch the lamp";
}

TEST(Busy, TimerTicksWhileTheWindowIsDisabled) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    w.SetBusy(1);
    EXPECT_TRUE(RunEventsUntil([&w] { return w.tmrBusy->Tag == 1; }));
    EXPECT_EQ(w.shComm->Brush(), kRed);
    EXPECT_TRUE(RunEventsUntil([&w] { return w.tmrBusy->Tag == 0; }));
    EXPECT_EQ(w.shComm->Brush(), kYellow);
    w.SetBusy(0);
}

struct LanguageCase {
    const char* button;
    int languageNo;
    const char* flag;
};

void PrintTo(const LanguageCase& c, std::ostream* os) {
    *os << c.button;
}

class LanguageButton : public ::testing::TestWithParam<LanguageCase> {};

TEST_P(LanguageButton, PutsPlaceholdersBackAndStoresTheChoice) {
    WindowRig rig;
    sim::ModuleState module;
    module.id = 7;
    module.noNc[4] = true;
    rig.bus.AddModule(3, module);
    TfrmModule& w = rig.Show();
    w.btnScan->click();
    ASSERT_TRUE(w.State().ModuleFound);
    ASSERT_NE(w.pnSerial->text(), "S/N : ________");
    const QColor lamp = w.shComm->Brush();

    w.findChild<QPushButton*>(GetParam().button)->click();

    const int l = GetParam().languageNo;
    EXPECT_EQ(w.LanguageNo, l);
    EXPECT_EQ(w.LanguageFlag, GetParam().flag);
    EXPECT_EQ(rig.store.Get("LanguageFlag"), StoredValue(std::string(GetParam().flag)));
    EXPECT_EQ(w.pnSerial->text().toStdString(), Text(Msg::SerialNo, l) + " : ________");
    EXPECT_EQ(w.pnVersion->text().toStdString(), Text(Msg::Version, l) + " : __.__-__");
    EXPECT_EQ(w.pnMsg->text().toStdString(), Text(Msg::StartScanModule, l));
    EXPECT_EQ(w.btnScan->text().toStdString(), Text(Msg::ScanModule, l));
    EXPECT_EQ(w.pnID->text(), "07");
    EXPECT_EQ(w.sbID->value(), 7);
    EXPECT_TRUE(w.chkDI[4]->isChecked());
    EXPECT_EQ(w.shComm->Brush(), lamp);
    EXPECT_TRUE(w.State().ModuleFound);
    EXPECT_EQ(w.Text(Msg::Exit), Text(Msg::Exit, l));
}

INSTANTIATE_TEST_SUITE_P(Buttons, LanguageButton,
                         ::testing::Values(LanguageCase{"btnEng", 0, "English"},
                                           LanguageCase{"btnGB", 1, "ChineseGB"},
                                           LanguageCase{"btnBIG5", 2, "ChineseBIG5"}),
                         vx::testing::PrintedCaseName());

TEST(LanguageSwitch, TheCurrentLanguageIsStoredAgain) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    w.btnEng->click();
    w.btnEng->click();
    EXPECT_EQ(rig.store.writes, (std::vector<std::string>{"LanguageFlag", "LanguageFlag"}));
}

TEST(LanguageSwitch, AnUnwritableStoreIsSilentAndTheLanguageStillChanges) {
    WindowRig rig;
    rig.store.refuseCreate = true;
    TfrmModule& w = rig.Show();
    ReportedErrors().clear();
    w.btnGB->click();
    EXPECT_EQ(w.LanguageNo, 1);
    EXPECT_EQ(w.pnMsg->text().toStdString(), Text(Msg::StartScanModule, 1));
    EXPECT_FALSE(rig.store.HasProgramKey());
    EXPECT_TRUE(ReportedErrors().empty());
}

}  // namespace
}  // namespace vx::ui::testing
