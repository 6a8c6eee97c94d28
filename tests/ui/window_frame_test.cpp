// The window's frame: a fixed size around its controls, no maximise or close
// box, and closing only through Exit or the end of the session.
#include <gtest/gtest.h>

#include <QPushButton>

#include "window_rig.h"

namespace vx::ui::testing {
namespace {

TEST(WindowFrame, IsFixedInSizeAroundItsControlsWithoutMaximiseOrClose) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    const QSize shown = w.size();
    EXPECT_EQ(w.minimumSize(), shown);
    EXPECT_EQ(w.maximumSize(), shown);
    w.resize(shown + QSize(40, 30));
    EXPECT_EQ(w.size(), shown) << "the window cannot be resized";
    for (const QWidget* control : w.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        const bool inside = !control->isVisible() || w.rect().contains(control->geometry());
        EXPECT_TRUE(inside) << control->objectName().toStdString() << " reaches past the frame";
    }
    const Qt::WindowFlags flags = w.windowFlags();
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
}

TEST(WindowFrame, CloseRequestsAreRefusedUntilExit) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    EXPECT_FALSE(w.close());
    EXPECT_TRUE(w.isVisible());
    w.btnExit->click();
    EXPECT_FALSE(w.isVisible());
}

TEST(WindowFrame, EndingSessionClosesTheWindow) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    QEvent quit(QEvent::Quit);
    QCoreApplication::sendEvent(QCoreApplication::instance(), &quit);
    EXPECT_FALSE(w.isVisible());
}

}  // namespace
}  // namespace vx::ui::testing
