// How the window looks: its own colours, and lamps and boxes that keep their
// shape at the display scale.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>

#include "ui/circle_shape.h"
#include "window_rig.h"

namespace vx::ui::testing {
namespace {

const QColor kRed(255, 0, 0);
const QColor kWhite(255, 255, 255);

TEST(WindowLook, OwnColoursShowOnlyWhileEnabledExceptOnPanels) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    const QColor kYellow(255, 255, 0);
    struct Case {
        QWidget* control;
        QPalette::ColorRole role;
        QColor colour;
        bool keptWhenDisabled;
    };
    const Case cases[] = {
        {w.btnEng, QPalette::ButtonText, kRed, false},
        {w.cmbBaudRate, QPalette::Text, kYellow, false},
        {w.cmbMode, QPalette::Text, kYellow, false},
        {w.pnMsg, QPalette::WindowText, kWhite, true},
        {w.pnSerial, QPalette::WindowText, kYellow, true},
    };
    for (const Case& c : cases) {
        const QPalette& palette = c.control->palette();
        const std::string name = c.control->objectName().toStdString();
        EXPECT_EQ(palette.color(QPalette::Active, c.role), c.colour) << name;
        EXPECT_EQ(palette.color(QPalette::Disabled, c.role) == c.colour, c.keptWhenDisabled)
            << name;
    }
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
