// The window's frame: a fixed size, no maximise or close box, and closing
// only through Exit or the end of the session.
#include <gtest/gtest.h>

#include <QPushButton>

#include "window_rig.h"

namespace vx::ui::testing {
namespace {

TEST(WindowFrame, IsFixedAt560By483WithoutMaximiseOrClose) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    EXPECT_EQ(w.size(), QSize(560, 483));
    EXPECT_EQ(w.minimumSize(), w.maximumSize());
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
