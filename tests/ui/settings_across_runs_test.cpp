#include <gtest/gtest.h>

#include <QComboBox>
#include <QProcess>
#include <QTemporaryDir>

#include "platform/settings_store.h"
#include "window_rig.h"

namespace vx::ui::testing {
namespace {

TEST(StoredAcrossRuns, WindowReadsWhatAnotherProcessWrote) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString file = folder.filePath("VXConfig.reg");
    QProcess writer;
    writer.start(QStringLiteral(VX_SETTINGS_WRITER),
                 {file, "12", "8", "57600,e,8,1", "ChineseBIG5"});
    ASSERT_TRUE(writer.waitForFinished(30000));
    ASSERT_EQ(writer.exitCode(), 0) << writer.readAllStandardError().toStdString();

    const auto store = platform::OpenFileSettingsStore(file.toStdString());
    WindowRig rig;
    TfrmModule w({*store, rig.clock, rig.events, rig.tone, rig.bus});
    EXPECT_EQ(w.State().ScanCommNo, 12);
    EXPECT_EQ(w.State().ScanBaudRateNo, 8);
    EXPECT_EQ(w.State().ScanBaudRate, "57600,e,8,1");
    EXPECT_EQ(w.LanguageFlag, "ChineseBIG5");
    EXPECT_EQ(w.LanguageNo, 2);
    EXPECT_EQ(w.cmbBaudRate->currentIndex(), 8);
}

}  // namespace
}  // namespace vx::ui::testing
