// Scan, set and find again: the window's operations on a module in vxsim.
#include "test_certificates.h"
#include "window_on_vxsim.h"

namespace vx::ui::e2e {
namespace {

TEST_F(WindowOnVxsim, ScanFindsTheModuleOnTheThirdPortAndStoresWhereItWas) {
    ASSERT_TRUE(window->chkLock->isChecked());
    ASSERT_EQ(window->cmbBaudRate->currentIndex(), kModuleLineIndex);

    window->btnScan->click();

    ASSERT_TRUE(window->State().ModuleFound) << window->pnMsg->text().toStdString() << "\n"
                                             << Log();
    EXPECT_EQ(window->pnID->text(), "07");
    EXPECT_EQ(window->sbID->value(), kModuleId);
    EXPECT_EQ(window->pnSerial->text(), QString("S/N : ") + kModuleSerial);
    EXPECT_EQ(window->pnVersion->text(), QString("VER : ") + kModuleVersion);
    EXPECT_EQ(window->cmbMode->currentIndex(), kNormalModeIndex);
    EXPECT_EQ(window->cmbBaudRate->currentText(), kModuleLine);
    EXPECT_EQ(window->shComm->Brush(), kYellow);
    EXPECT_EQ(window->pnMsg->text(), "Get Module Info Ok. (COM : #3)");
    EXPECT_EQ(LastBeepHz(), kSuccessHz);
    EXPECT_FALSE(device->IsOpen());

    // With the lock ticked the silent port hears both attempts at the one
    // line setting, and nothing else.
    const std::string log = Log();
    EXPECT_EQ(CountLines(log, {folder.File("com1"), "command=B00B", "silent port"}), 2) << log;
    EXPECT_EQ(CountLines(log, {folder.File("com1")}), 2) << log;

    // Read back from the file, as the next start of the program would.
    const auto key =
        platform::OpenFileSettingsStore(StorePath())->OpenKey(platform::kProgramKeyPath);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->ReadInteger("ScanCommNo"), std::optional<std::uint32_t>(kModulePort));
    EXPECT_EQ(key->ReadText("ScanBaudRate"), std::optional<std::string>(kModuleLine));
    EXPECT_EQ(key->ReadInteger("ScanBaudRateNo"), std::optional<std::uint32_t>(kModuleLineIndex));
}

TEST_F(WindowOnVxsim, SetIdReachesTheModuleAndTheNextScanReadsItBack) {
    ASSERT_NO_FATAL_FAILURE(ScanFindsTheModule());
    constexpr int kNewId = 12;
    constexpr int kAnyOtherId = 40;
    window->sbID->setValue(kNewId);
    ASSERT_EQ(window->pnID->text(), "12");

    window->btnID->click();

    EXPECT_EQ(window->pnMsg->text(), "Set Module ID Ok");
    EXPECT_EQ(window->shComm->Brush(), kYellow);
    EXPECT_EQ(LastBeepHz(), kSuccessHz);
    EXPECT_TRUE(window->isEnabled());
    EXPECT_FALSE(device->IsOpen());
    const std::string setId = std::string("command=B00C") + kModuleSerial + "12 checksum=ok";
    EXPECT_EQ(CountLines(Log(), {folder.File("com3"), setId, "answered"}), 1) << Log();

    // The second scan finds the module at once on the stored port.
    window->sbID->setValue(kAnyOtherId);
    ASSERT_NO_FATAL_FAILURE(ScanFindsTheModule());
    EXPECT_EQ(window->pnID->text(), "12");
    EXPECT_EQ(window->sbID->value(), kNewId);
    EXPECT_EQ(CountLines(Log(), {folder.File("com1")}), 2) << "the quick attempt needs no search";
}

// The module takes the new line settings right after its acknowledgement; the
// next operation reaches it only if the tool has adopted them too.
TEST_F(WindowOnVxsim, BaudRateChangeIsUsedByTheNextOperation) {
    ASSERT_NO_FATAL_FAILURE(ScanFindsTheModule());
    constexpr int kNewLineIndex = 7;  // "38400,e,8,1"
    window->cmbBaudRate->setCurrentIndex(kNewLineIndex);

    window->btnBaudRate->click();

    EXPECT_EQ(window->pnMsg->text(), "Set Module BaudRate Ok");
    EXPECT_EQ(window->State().ScanBaudRate, "38400,e,8,1");
    EXPECT_EQ(window->State().ScanBaudRateNo, kNewLineIndex);
    EXPECT_EQ(CountLines(Log(), {"command=B00E7 checksum=ok", "answered"}), 1) << Log();

    window->btnID->click();

    EXPECT_EQ(window->pnMsg->text(), "Set Module ID Ok") << Log();
    EXPECT_EQ(CountLines(Log(), {"baud=38400", "command=B00C", "answered"}), 1) << Log();
    // Memory only: the store keeps where the search found the module.
    const auto key =
        platform::OpenFileSettingsStore(StorePath())->OpenKey(platform::kProgramKeyPath);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->ReadText("ScanBaudRate"), std::optional<std::string>(kModuleLine));
}

TEST_F(WindowOnVxsim, KeyboardAloneScansAndSetsTheNextId) {
    ASSERT_NO_FATAL_FAILURE(EnterScansTheModule());
    EXPECT_EQ(window->focusWidget(), window->btnScan) << "the scan keeps the focus where it was";
    EXPECT_TRUE(window->btnScan->isDefault());

    Press(Qt::Key_Tab);
    Press(Qt::Key_Right);
    Press(Qt::Key_Tab);
    ASSERT_EQ(window->focusWidget(), window->btnID);
    EXPECT_FALSE(window->btnScan->isDefault()) << "the focused button is the default one";
    Press(Qt::Key_Space);

    EXPECT_EQ(window->pnMsg->text(), "Set Module ID Ok") << Log();
    const std::string setNextId = std::string("command=B00C") + kModuleSerial + "08 checksum=ok";
    EXPECT_EQ(CountLines(Log(), {setNextId, "answered"}), 1) << Log();
    EXPECT_EQ(window->focusWidget(), window->btnID);

    // Enter presses the focused button, not the scan.
    Press(Qt::Key_Return);
    EXPECT_EQ(CountLines(Log(), {setNextId, "answered"}), 2) << Log();
    EXPECT_EQ(window->focusWidget(), window->btnID);
}

// The module behind a device server that starts at a rate it does not hear:
// found only if the scan's line settings reach the server's port, in the
// clear and through TLS with the server's self-signed certificate pinned.
TEST_F(WindowOnVxsim, KeyboardScanFindsAModuleBehindADeviceServer) {
    const test::TestCertificates certificates;
    for (const std::string certificate : {"", "self"}) {
        SCOPED_TRACE(certificate.empty() ? "in the clear" : "through TLS");
        test::Ser2net server(folder.Path(),
                             {certificates.ServerPort(folder.File("com3"), certificate, false)});
        ASSERT_TRUE(server.Ready());
        ports["COM3"] = certificate.empty()
                            ? server.Url(0)
                            : "rfc2217+tls://127.0.0.1:" + std::to_string(server.TcpPort(0)) +
                                  "?cert-sha256=" + certificates.CertificatePin(certificate);

        ASSERT_NO_FATAL_FAILURE(EnterScansTheModule());

        EXPECT_EQ(window->pnMsg->text(), "Get Module Info Ok. (COM : #3)");
        EXPECT_EQ(window->pnSerial->text(), QString("S/N : ") + kModuleSerial);
        EXPECT_EQ(window->shComm->Brush(), kYellow);
        EXPECT_FALSE(device->IsOpen());
    }
    EXPECT_GE(CountLines(Log(), {folder.File("com3"), "baud=19200 command=B00B", "answered"}), 2)
        << Log();
}

// A device server switched off in its cabinet holds the connect for its
// whole limit. The window must go on painting and running its timers all
// the while, where it once froze for over 3 s. Only that wait is probed:
// the module's own reads keep the pauses they always had.
TEST_F(WindowOnVxsim, KeyboardScanPastASwitchedOffServerKeepsTheWindowRunning) {
    // Far below the 3 s freeze, and well above the 10 ms slices the wait runs
    // events in, so a loaded machine's scheduling does not fail it.
    constexpr qint64 kLongestTimerGapMs = 100;
    constexpr qint64 kConnectLimitMs = 3'000;
    test::FakeServer off(test::Misbehaviour::NeverAccepts);
    ports["COM1"] = off.Url();
    const QString searching = QString::fromStdString(window->Text(ops::Msg::ScanModule)) + " ....";
    QElapsedTimer clock;
    qint64 lastTick = -1;
    qint64 longestGap = 0;
    int ticks = 0;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (window->pnMsg->text() != searching)
            return;
        const qint64 now = clock.elapsed();
        if (lastTick >= 0)
            longestGap = std::max(longestGap, now - lastTick);
        lastTick = now;
        ++ticks;
    });
    clock.start();
    probe.start(kSampleEveryMs);

    ASSERT_NO_FATAL_FAILURE(EnterScansTheModule());
    probe.stop();

    EXPECT_EQ(window->pnMsg->text(), "Get Module Info Ok. (COM : #3)");
    EXPECT_GE(lastTick, kConnectLimitMs - kSampleEveryMs) << "the probe saw the whole connect";
    EXPECT_LE(longestGap, kLongestTimerGapMs);
    EXPECT_GE(ticks, kConnectLimitMs / kLongestTimerGapMs);
}

}  // namespace
}  // namespace vx::ui::e2e
