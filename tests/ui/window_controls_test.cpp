// The controls the operations work: those a live run leaves working, the
// live run's caption, and the hourglass.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QKeySequence>
#include <QPushButton>
#include <QTimer>
#include <set>

#include "window_rig.h"

namespace vx::ui::testing {
namespace {

// The buttons and boxes shown: all of them, or those a user can work.
std::set<QString> Buttons(const TfrmModule& w, bool workingOnly) {
    std::set<QString> names;
    for (const QAbstractButton* button : w.findChildren<QAbstractButton*>()) {
        if (button->isVisible() && (button->isEnabled() || !workingOnly))
            names.insert(button->objectName());
    }
    return names;
}

// While a live run goes, the user can stop it, drive the outputs and choose
// the lock for the next scan, and can start nothing else; afterwards every
// control works again.
TEST(WindowControls, ALiveRunLeavesOnlyItsOwnControlsWorking) {
    WindowRig rig;
    rig.bus.AddModule(1);
    TfrmModule& w = rig.Show();
    w.btnScan->click();
    ASSERT_TRUE(w.State().ModuleFound);
    std::set<QString> whileRunning;
    QTimer::singleShot(0, [&] {
        whileRunning = Buttons(w, true);
        w.btnProcess->click();
    });
    w.btnProcess->click();

    std::set<QString> expected{w.btnProcess->objectName(), w.btnAll->objectName(),
                               w.chkLock->objectName()};
    for (const QCheckBox* output : w.chkDO) expected.insert(output->objectName());
    EXPECT_EQ(whileRunning, expected);
    EXPECT_EQ(Buttons(w, true), Buttons(w, false)) << "the run gives every control back";
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
