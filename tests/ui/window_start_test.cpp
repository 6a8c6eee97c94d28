// The window as it opens: idle, from the same start as the plain window the
// command line runs the operations on, every control named.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QScrollBar>
#include <set>
#include <tuple>

#include "protocol/line_settings.h"
#include "ui/captions.h"
#include "ui/circle_shape.h"
#include "ui/shell/plain_window.h"
#include "ui/shell/text_table.h"
#include "window_rig.h"

namespace vx::ui::testing {
namespace {

const QColor kRed(255, 0, 0);
const QColor kWhite(255, 255, 255);

auto Fields(const ops::SharedState& s) {
    return std::tie(s.ScanCommNo, s.ScanBaudRate, s.ScanBaudRateNo, s.ModuleFound, s.ProcessFlag);
}

TEST(WindowStart, WithoutStoredSettingsOpensIdleAsThePlainWindowStarts) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    PlainWindow plain(kLanguageEnglish);
    EXPECT_EQ(w.LanguageNo, plain.languageNo);
    EXPECT_EQ(Fields(w.State()), Fields(plain.State()));
    EXPECT_EQ(w.BaudRateIndex(), plain.BaudRateIndex());
    EXPECT_EQ(w.ModeIndex(), plain.ModeIndex());
    EXPECT_EQ(w.LockTicked(), plain.LockTicked());
    EXPECT_EQ(w.IdPanel(), plain.IdPanel());
    EXPECT_EQ(w.sbID->value(), plain.idPosition);
    EXPECT_EQ(w.ProcessCaption(), plain.ProcessCaption());
    for (int channel = 1; channel <= protocol::kChannelCount; ++channel) {
        EXPECT_EQ(w.NoNcTicked(channel), plain.NoNcTicked(channel)) << channel;
        EXPECT_EQ(w.OutputTicked(channel), plain.OutputTicked(channel)) << channel;
        EXPECT_EQ(w.shDI[channel - 1]->Brush(), kWhite) << channel;
    }
    QStringList offered;
    for (int i = 0; i < w.cmbBaudRate->count(); ++i) offered << w.cmbBaudRate->itemText(i);
    QStringList lineSettings;
    for (const std::string& setting : protocol::LineSettingsList) lineSettings << ToQt(setting);
    EXPECT_EQ(offered, lineSettings);
    EXPECT_EQ(w.shComm->Brush(), kRed);
    EXPECT_FALSE(w.tmrBusy->isActive());
    EXPECT_TRUE(w.isEnabled());
    EXPECT_FALSE(rig.store.HasProgramKey()) << "reading must not create the key";
}

TEST(WindowStart, EveryControlHasANameOfItsOwnAndChannelsCountFromOne) {
    WindowRig rig;
    TfrmModule& w = rig.Show();
    std::set<QString> names;
    for (const QWidget* control : w.findChildren<QWidget*>()) {
        const QString name = control->objectName();
        if (!control->isVisible() || name.startsWith("qt_"))
            continue;  // the toolkit's own parts
        EXPECT_FALSE(name.isEmpty()) << "a " << control->metaObject()->className() << " in "
                                     << control->parentWidget()->objectName().toStdString();
        EXPECT_TRUE(names.insert(name).second) << name.toStdString() << " twice";
    }
    for (int n = 1; n <= protocol::kChannelCount; ++n) {
        const std::size_t i = static_cast<std::size_t>(n - 1);
        const QString number = QString::number(n);
        EXPECT_EQ(w.findChild<QObject*>("chkDI" + number), w.chkDI[i]);
        EXPECT_EQ(w.findChild<QObject*>("shDI" + number), w.shDI[i]);
        EXPECT_EQ(w.findChild<QObject*>("lblDI" + number), w.lblDI[i]);
        EXPECT_EQ(w.findChild<QObject*>("chkDO" + number), w.chkDO[i]);
    }
}

}  // namespace
}  // namespace vx::ui::testing
