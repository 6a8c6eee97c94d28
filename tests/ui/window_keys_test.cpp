// The keyboard: Enter presses the focused button or else scans, and the ID
// scroll bar steps by one and by ten.
#include <gtest/gtest.h>

#include <QKeySequence>
#include <QLabel>
#include <QScrollBar>
#include <QTest>

#include "case_names.h"
#include "window_rig.h"

namespace vx::ui::testing {
namespace {

// Enter with the focus on a control: a push button takes it itself, any
// other control hands it to the scan.
struct EnterCase {
    const char* focused;
    const char* statusAfter;
};

void PrintTo(const EnterCase& c, std::ostream* os) {
    *os << c.focused;
}

class EnterKey : public ::testing::TestWithParam<EnterCase> {};

TEST_P(EnterKey, PressesTheFocusedButtonOrElseScans) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    auto* focused = w.findChild<QWidget*>(GetParam().focused);
    focused->setFocus();
    ASSERT_TRUE(focused->hasFocus());
    w.SetStatus("idle");
    QTest::keyClick(focused, Qt::Key_Return);
    EXPECT_EQ(w.pnMsg->text().toStdString(), GetParam().statusAfter);
    EXPECT_EQ(rig.tone.Beeps().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Focus, EnterKey,
                         ::testing::Values(EnterCase{"cmbMode", "Module Not Find"},
                                           EnterCase{"cmbBaudRate", "Module Not Find"},
                                           EnterCase{"sbID", "Module Not Find"},
                                           EnterCase{"chkLock", "Module Not Find"},
                                           EnterCase{"chkDO7", "Module Not Find"},
                                           EnterCase{"btnScan", "Module Not Find"},
                                           EnterCase{"btnID", "Start Scan Module!"},
                                           EnterCase{"btnMode", "Start Scan Module!"},
                                           EnterCase{"btnFactory", "Start Scan Module!"}),
                         vx::testing::PrintedCaseName());

struct IdStep {
    int from;
    Qt::Key key;
    int to;
};

void PrintTo(const IdStep& step, std::ostream* os) {
    *os << "from " << step.from << " " << QKeySequence(step.key).toString().toStdString();
}

class IdScrollBar : public ::testing::TestWithParam<IdStep> {};

TEST_P(IdScrollBar, StepsByOneAndByTenAndShowsTwoDigits) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    w.SetIdPosition(GetParam().from);
    QTest::keyClick(w.sbID, GetParam().key);
    EXPECT_EQ(w.sbID->value(), GetParam().to);
    EXPECT_EQ(w.pnID->text(), QString::asprintf("%02d", GetParam().to));
}

INSTANTIATE_TEST_SUITE_P(
    Keys, IdScrollBar,
    ::testing::Values(IdStep{50, Qt::Key_Right, 51}, IdStep{50, Qt::Key_Left, 49},
                      IdStep{50, Qt::Key_Down, 51}, IdStep{50, Qt::Key_Up, 49},
                      IdStep{50, Qt::Key_PageDown, 60}, IdStep{50, Qt::Key_PageUp, 40},
                      IdStep{95, Qt::Key_PageDown, 99}, IdStep{5, Qt::Key_PageUp, 1},
                      IdStep{2, Qt::Key_Left, 1}, IdStep{99, Qt::Key_Right, 99},
                      IdStep{50, Qt::Key_End, 99}, IdStep{50, Qt::Key_Home, 1}),
    vx::testing::PrintedCaseName());

TEST(IdScrollBarChange, RunsOnlyOnARealChangeAndStaysInRange) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    w.SetIdPosition(1);
    EXPECT_EQ(w.pnID->text(), "__");
    w.SetIdPosition(150);
    EXPECT_EQ(w.pnID->text(), "99");
    w.SetIdPosition(-3);
    EXPECT_EQ(w.pnID->text(), "01");
}

}  // namespace
}  // namespace vx::ui::testing
