// The window as it opens: idle, every control named.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QScrollBar>
#include <QToolButton>

#include "ui/circle_shape.h"
#include "window_rig.h"

namespace vx::ui::testing {
namespace {

const QColor kRed(255, 0, 0);
const QColor kWhite(255, 255, 255);

TEST(WindowStart, WithoutStoredSettingsOpensIdleInEnglish) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    EXPECT_EQ(w.windowTitle(), "TAVRO VX-9400 Module Config V3.20-01");
    EXPECT_EQ(w.cmbBaudRate->currentText(), "19200,e,8,1");
    EXPECT_EQ(w.cmbMode->currentText(), "Hold(default)");
    EXPECT_EQ(w.cmbMode->count(), 2);
    EXPECT_EQ(w.cmbBaudRate->count(), 12);
    EXPECT_EQ(w.sbID->value(), 1);
    EXPECT_EQ(w.pnID->text(), "__");
    EXPECT_EQ(w.pnMsg->text(), "Start Scan Module!");
    EXPECT_EQ(w.pnSerial->text(), "S/N : ________");
    EXPECT_EQ(w.pnVersion->text(), "VER : __.__-__");
    EXPECT_TRUE(w.chkLock->isChecked());
    EXPECT_EQ(w.shComm->Brush(), kRed);
    EXPECT_FALSE(w.tmrBusy->isActive());
    EXPECT_EQ(w.tmrBusy->interval(), 200);
    EXPECT_FALSE(w.State().ModuleFound);
    EXPECT_FALSE(w.State().ProcessFlag);
    for (int i = 0; i < kChannelCount; ++i) {
        EXPECT_FALSE(w.chkDI[i]->isChecked());
        EXPECT_FALSE(w.chkDO[i]->isChecked());
        EXPECT_EQ(w.shDI[i]->Brush(), kWhite);
    }
    EXPECT_TRUE(w.isEnabled());
    EXPECT_FALSE(rig.store.HasProgramKey()) << "reading must not create the key";
}

TEST(WindowStart, EveryControlCarriesItsDesignName) {
    WindowRig rig;
    TfrmModule& w = rig.Create();
    EXPECT_EQ(w.objectName(), "frmModule");
    QStringList names = {"pnMsg",       "shComm",     "pnSerial",    "pnVersion", "btnScan",
                         "lblID",       "pnID",       "sbID",        "btnID",     "lblBaudRate",
                         "cmbBaudRate", "chkLock",    "btnBaudRate", "cmbMode",   "btnMode",
                         "gbNONC",      "btnProcess", "btnAll",      "gbDefault", "pcDefault",
                         "tsDefault",   "btnFactory", "btnEng",      "btnGB",     "btnBIG5",
                         "btnExit",     "pnTAVRO",    "tmrBusy"};
    for (int n = 1; n <= kChannelCount; ++n) {
        for (const char* prefix : {"chkDI", "shDI", "lblDI", "chkDO"})
            names << prefix + QString::number(n);
    }
    for (const QString& name : names)
        EXPECT_NE(w.findChild<QObject*>(name), nullptr) << name.toStdString();
    EXPECT_EQ(w.findChild<QObject*>("chkDI12"), w.chkDI[11]);
    EXPECT_EQ(w.findChild<QObject*>("btnFactory"), w.btnFactory);
}

}  // namespace
}  // namespace vx::ui::testing
