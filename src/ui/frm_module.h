#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <array>
#include <string>

#include "operations/module_window.h"
#include "operations/operations.h"
#include "protocol/commands.h"
#include "ui/accessible_controls.h"
#include "ui/window_services.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QScrollBar;
class QTabWidget;
class QToolButton;

namespace vx::ui {

class CircleShape;

inline constexpr int kClientWidth = 560;
inline constexpr int kClientHeight = 483;
inline constexpr int kBusyIntervalMs = 200;

// The busy timer keeps its blink phase with it, as the classic timer
// component did in its tag.
class TagTimer final : public QTimer {
    Q_OBJECT

public:
    using QTimer::QTimer;
    int Tag = 0;
};

// The program's one window. Its controls carry the names of the window's
// design (member and object name alike); the input and output channels are
// arrays whose entry n-1 is the control numbered n.
class TfrmModule final : public QWidget, public ops::ModuleWindow {
    Q_OBJECT

public:
    // Creates the controls, attaches the link to the given port, clock and
    // event pump, and runs FormCreate.
    explicit TfrmModule(const WindowServices& services, QWidget* parent = nullptr);
    ~TfrmModule() override;

    // The language: its stored name and the column of the text table.
    std::string LanguageFlag;
    int LanguageNo = 0;

    StatusPanel* pnMsg;
    CircleShape* shComm;
    QLabel* pnSerial;
    QLabel* pnVersion;
    QPushButton* btnScan;
    QLabel* lblID;
    QLabel* pnID;
    QScrollBar* sbID;
    QPushButton* btnID;
    QLabel* lblBaudRate;
    QComboBox* cmbBaudRate;
    QCheckBox* chkLock;
    QPushButton* btnBaudRate;
    QComboBox* cmbMode;
    QPushButton* btnMode;
    QGroupBox* gbNONC;
    std::array<QCheckBox*, protocol::kChannelCount> chkDI{};
    std::array<CircleShape*, protocol::kChannelCount> shDI{};
    std::array<QLabel*, protocol::kChannelCount> lblDI{};
    std::array<QCheckBox*, protocol::kChannelCount> chkDO{};
    QPushButton* btnProcess;
    QPushButton* btnAll;
    QGroupBox* gbDefault;
    QTabWidget* pcDefault;
    QWidget* tsDefault;
    QToolButton* btnFactory;
    QPushButton* btnEng;
    QPushButton* btnGB;
    QPushButton* btnBIG5;
    QPushButton* btnExit;
    QLabel* pnTAVRO;
    TagTimer* tmrBusy;

    // Handlers, named for their control and event.
    void FormCreate();
    void FormShow();
    void sbIDChange();
    void tmrBusyTimer();
    void btnScanClick();
    void btnProcessClick();
    void btnAllClick();
    void btnIDClick();
    void btnBaudRateClick();
    void btnModeClick();
    void btnFactoryClick();
    void btnEngClick();
    void btnGBClick();
    void btnBIG5Click();
    void btnExitClick();

    void SaveLanguageFlag();

    // ops::ModuleWindow
    ops::SharedState& State() override { return shared_; }
    std::string Text(ops::Msg m) const override;
    void SetStatus(const std::string& text) override;
    void SetCommLamp(ops::LampColor color) override;
    void SetSerialPanel(const std::string& text) override;
    void SetVersionPanel(const std::string& text) override;
    std::string IdPanel() const override;
    void SetIdPanel(const std::string& text) override;
    void SetIdPosition(int position) override;
    int BaudRateIndex() const override;
    void SelectBaudRate(int index) override;
    int ModeIndex() const override;
    void SelectMode(int index) override;
    bool LockTicked() const override;
    bool NoNcTicked(int channel) const override;
    void SetNoNc(int channel, bool ticked) override;
    bool OutputTicked(int channel) const override;
    void SetOutput(int channel, bool ticked) override;
    void SetInputLamp(int channel, ops::LampColor color) override;
    std::string ProcessCaption() const override;
    void SetProcessCaption(const std::string& text) override;
    void SetControlEnabled(ops::Control control, bool enabled) override;
    void SetWindowEnabled(bool enabled) override;
    void SetBusy(int flag) override;
    void SetHourglassCursor(bool hourglass) override;
    void SaveScanSettings() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void CreateStatusArea();
    void CreateIdentityArea();
    void CreateModeArea();
    void CreateInputOutputArea();
    void CreateRightColumn();
    void ConnectHandlers();
    void SetTabOrder();
    void NameControls();
    void DescribeControls();
    void ChooseLanguage(int languageNo, const char* languageFlag);
    void CentreOnScreen();
    QWidget* ControlWidget(ops::Control control) const;
    void FocusMoved(QWidget* now);

    WindowServices services_;
    link::Link link_;
    ops::OperationContext context_;
    ops::SharedState shared_;
    QPointer<QWidget> focusBeforeDisabling_;
    bool hourglassShown_ = false;
    bool shownOnce_ = false;
    bool closeAllowed_ = false;
};

}  // namespace vx::ui
