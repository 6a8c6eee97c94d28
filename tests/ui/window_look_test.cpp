// How the window looks: its own colours, and lamps and boxes that keep their
// shape at the display scale.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QStyle>
#include <QStyleOptionButton>
#include <map>

#include "ui/circle_shape.h"
#include "window_rig.h"

namespace vx::ui::testing {
namespace {

// What a control looks like inside its frame, as drawn; a pixel short of
// the frame, which a fractional display scale smears into its neighbours.
QImage Look(QWidget* control) {
    return control->grab(control->contentsRect().adjusted(1, 1, -1, -1)).toImage();
}

// What it would look like in the toolkit's colours instead of its own.
QImage PlainLook(QWidget* control) {
    const QPalette own = control->palette();
    control->setPalette(QPalette());
    const QImage plain = Look(control);
    control->setPalette(own);
    return plain;
}

// A scan's status stays readable while an operation has the window
// disabled; a control a user works looks disabled then, as any other.
TEST(WindowLook, OwnColoursShowOnlyWhileEnabledExceptOnPanels) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    std::map<QWidget*, QImage> enabled;
    for (QWidget* control : w.findChildren<QWidget*>()) {
        if (control->isVisible() && control->testAttribute(Qt::WA_SetPalette))
            enabled[control] = Look(control);
    }
    int panels = 0;
    for (const auto& [control, look] : enabled)
        EXPECT_NE(look, PlainLook(control)) << control->objectName().toStdString();
    w.SetWindowEnabled(false);
    for (const auto& [control, look] : enabled) {
        const std::string name = control->objectName().toStdString();
        if (qobject_cast<QLabel*>(control) != nullptr) {
            ++panels;
            EXPECT_EQ(Look(control), look) << name << " changed with the window disabled";
        } else {
            EXPECT_EQ(Look(control), PlainLook(control)) << name << " keeps its colours disabled";
        }
    }
    EXPECT_GT(panels, 0);
    EXPECT_GT(enabled.size(), static_cast<std::size_t>(panels));
}

// The painted extent of a lamp, in device pixels: wherever it differs from
// the corner, which the circle never reaches.
QRect PaintedExtent(const QImage& picture) {
    const QRgb background = picture.pixel(0, 0);
    QRect extent;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            if (picture.pixel(x, y) != background)
                extent |= QRect(x, y, 1, 1);
        }
    }
    return extent;
}

TEST(WindowScale, LampsStayRoundAndBoxesSquareAtTheDisplayScale) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    w.SetCommLamp(ops::LampColor::Yellow);
    w.SetInputLamp(1, ops::LampColor::Yellow);
    for (CircleShape* lamp : {w.shComm, w.shDI[0]}) {
        const QImage picture = lamp->grab().toImage();
        const QRect extent = PaintedExtent(picture);
        const std::string name = lamp->objectName().toStdString();
        ASSERT_FALSE(extent.isEmpty()) << name;
        EXPECT_LE(qAbs(extent.width() - extent.height()), 1) << name;
        EXPECT_EQ(picture.pixelColor(extent.center()), QColor(255, 255, 0)) << name;
        // A circle leaves the corners of its square bare.
        EXPECT_EQ(picture.pixel(extent.topLeft()), picture.pixel(0, 0)) << name;
        EXPECT_EQ(picture.pixel(extent.bottomRight()), picture.pixel(0, 0)) << name;
    }
    for (const QCheckBox* box : {w.chkLock, w.chkDI[0], w.chkDO[15]}) {
        QStyleOptionButton option;
        option.initFrom(box);
        const QRect indicator =
            box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
        EXPECT_EQ(indicator.width(), indicator.height()) << box->objectName().toStdString();
        EXPECT_TRUE(box->rect().contains(indicator)) << box->objectName().toStdString();
    }
}

}  // namespace
}  // namespace vx::ui::testing
