// The controls the operations work: each alone, the live run's caption, and
// the hourglass.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QKeySequence>
#include <QPushButton>
#include <QToolButton>

#include "window_rig.h"

namespace vx::ui::testing {
namespace {

TEST(WindowControls, EachNamedControlCanBeDisabledAlone) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    const std::pair<ops::Control, QWidget*> controls[] = {
        {ops::Control::btnExit, w.btnExit},
        {ops::Control::btnScan, w.btnScan},
        {ops::Control::btnFactory, w.btnFactory},
        {ops::Control::btnID, w.btnID},
        {ops::Control::btnBaudRate, w.btnBaudRate},
        {ops::Control::btnMode, w.btnMode},
        {ops::Control::gbDefault, w.gbDefault},
        {ops::Control::btnEng, w.btnEng},
        {ops::Control::btnGB, w.btnGB},
        {ops::Control::btnBIG5, w.btnBIG5},
        {ops::Control::gbNONC, w.gbNONC}};
    for (const auto& [control, widget] : controls) {
        w.SetControlEnabled(control, false);
        EXPECT_FALSE(widget->isEnabled()) << widget->objectName().toStdString();
        EXPECT_TRUE(w.btnProcess->isEnabled());
        w.SetControlEnabled(control, true);
        EXPECT_TRUE(widget->isEnabled());
    }
}

TEST(WindowControls, ProcessCaptionKeepsAnAmpersandLiteral) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    w.SetProcessCaption("Stop & go");
    EXPECT_EQ(w.ProcessCaption(), "Stop & go");
    EXPECT_TRUE(QKeySequence::mnemonic(w.btnProcess->text()).isEmpty());
}

TEST(WindowControls, HourglassIsASettingNotACount) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    w.SetHourglassCursor(true);
    w.SetHourglassCursor(true);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    w.SetHourglassCursor(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

}  // namespace
}  // namespace vx::ui::testing
