// Where the controls sit: inputs in four rows of four beside their lamps,
// nothing overlapping, and the tab order of the module operations.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "ui/circle_shape.h"
#include "window_rig.h"

namespace vx::ui::testing {
namespace {

TEST(WindowLayout, InputLabelsSitBesideTheirLampsInFourRowsOfFour) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    for (int i = 0; i < protocol::kChannelCount; ++i) {
        const QRect lamp = w.shDI[i]->geometry();
        const QRect label = w.lblDI[i]->geometry();
        EXPECT_EQ(w.lblDI[i]->text(), "DI" + QString::number(i + 1));
        EXPECT_NEAR(label.center().y(), lamp.center().y(), 2) << i + 1;
        EXPECT_GE(label.left(), lamp.right());
        EXPECT_LE(label.left() - lamp.right(), 6) << "DI" << i + 1 << " is not beside its lamp";
        if (i % 4 != 0) {
            EXPECT_EQ(lamp.top(), w.shDI[i - 1]->geometry().top());
            EXPECT_GE(lamp.left(), w.lblDI[i - 1]->geometry().right());
            EXPECT_GT(w.chkDO[i]->x(), w.chkDO[i - 1]->geometry().right() - 1);
            EXPECT_GT(w.chkDI[i]->x(), w.chkDI[i - 1]->geometry().right() - 1);
        } else if (i > 0) {
            EXPECT_GT(lamp.top(), w.shDI[i - 1]->geometry().bottom());
            EXPECT_GT(w.chkDO[i]->y(), w.chkDO[i - 1]->geometry().bottom() - 1);
            EXPECT_GT(w.chkDI[i]->y(), w.chkDI[i - 1]->geometry().bottom() - 1);
        }
        EXPECT_LT(lamp.right(), w.chkDO[i]->x()) << "lamps are left of the outputs";
    }
}

TEST(WindowLayout, NoTwoControlsOverlap) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    std::vector<const QWidget*> placed;
    const std::array<const QWidget*, 2> parents{&w, w.gbNONC};
    for (const QWidget* parent : parents) {
        for (const QWidget* control : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (control->isVisible())
                placed.push_back(control);
        }
    }
    ASSERT_GE(placed.size(), 3u * protocol::kChannelCount + protocol::kChannelCount);
    for (std::size_t i = 0; i < placed.size(); ++i) {
        for (std::size_t j = i + 1; j < placed.size(); ++j) {
            if (placed[i]->parentWidget() != placed[j]->parentWidget())
                continue;
            EXPECT_FALSE(placed[i]->geometry().intersects(placed[j]->geometry()))
                << placed[i]->objectName().toStdString() << " overlaps "
                << placed[j]->objectName().toStdString();
        }
    }
}

TEST(WindowLayout, TabOrderBeginsWithTheModuleOperations) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    const std::vector<QString> expected = {"btnScan",     "sbID",    "btnID",   "cmbBaudRate",
                                           "btnBaudRate", "cmbMode", "btnMode", "btnProcess"};
    std::vector<QString> order;
    for (QWidget* next = w.btnScan; order.size() < expected.size();
         next = next->nextInFocusChain()) {
        if (next->focusPolicy() & Qt::TabFocus && next->isVisibleTo(&w))
            order.push_back(next->objectName());
    }
    EXPECT_EQ(order, expected);
}

}  // namespace
}  // namespace vx::ui::testing
