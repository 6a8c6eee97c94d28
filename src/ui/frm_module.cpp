#include "ui/frm_module.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTabWidget>
#include <QToolButton>

#include "operations/window_texts.h"
#include "ui/captions.h"
#include "ui/circle_shape.h"
#include "ui/shell/spoken_texts.h"
#include "ui/shell/stored_settings.h"
#include "ui/shell/text_table.h"
#include "ui/window_font.h"

namespace vx::ui {

namespace {

using ops::Msg;

constexpr const char* kRowLabelEnd = ":";
constexpr int kModeHoldIndex = 0;

// Title bar: a title and the minimise button; no close box, no maximise box.
constexpr Qt::WindowFlags kWindowFlags =
    Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowMinimizeButtonHint;

bool IsEnterKey(const QKeyEvent* event) {
    return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}

}  // namespace

TfrmModule::TfrmModule(const WindowServices& services, QWidget* parent)
    : QWidget(parent, kWindowFlags),
      services_(services),
      link_(services.port, services.clock, services.events),
      context_{*this, link_, services.clock, services.events, services.tone} {
    setObjectName(QStringLiteral("frmModule"));
    CreateControls();
    SetTabOrder();
    ConnectHandlers();
    FormCreate();
}

TfrmModule::~TfrmModule() {
    SetHourglassCursor(false);
}

void TfrmModule::ConnectHandlers() {
    const std::pair<QAbstractButton*, void (TfrmModule::*)()> clicks[] = {
        {btnScan, &TfrmModule::btnScanClick},
        {btnProcess, &TfrmModule::btnProcessClick},
        {btnAll, &TfrmModule::btnAllClick},
        {btnID, &TfrmModule::btnIDClick},
        {btnBaudRate, &TfrmModule::btnBaudRateClick},
        {btnMode, &TfrmModule::btnModeClick},
        {btnFactory, &TfrmModule::btnFactoryClick},
        {btnEng, &TfrmModule::btnEngClick},
        {btnGB, &TfrmModule::btnGBClick},
        {btnBIG5, &TfrmModule::btnBIG5Click},
        {btnExit, &TfrmModule::btnExitClick},
    };
    for (const auto& [button, handler] : clicks) {
        connect(button, &QAbstractButton::clicked, this, handler);
    }
    connect(sbID, &QScrollBar::valueChanged, this, &TfrmModule::sbIDChange);
    connect(tmrBusy, &QTimer::timeout, this, &TfrmModule::tmrBusyTimer);
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget*, QWidget* now) { FocusMoved(now); });
#ifndef QT_NO_SESSIONMANAGER
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this] { closeAllowed_ = true; });
#endif
    // The application's quit request (the desktop session ending) closes every
    // window and must not be refused.
    qApp->installEventFilter(this);
}

void TfrmModule::FormCreate() {
    StoredSettings stored;
    ReadStoredSettings(services_.store, stored);
    shared_.ScanCommNo = stored.ScanCommNo;
    shared_.ScanBaudRate = stored.ScanBaudRate;
    shared_.ScanBaudRateNo = stored.ScanBaudRateNo;
    LanguageFlag = stored.LanguageFlag;
    LanguageNo = stored.LanguageNo;

    // The close action was taken away with the window flags: there is no
    // close box, and closeEvent lets only Exit and the session's end through.
    shared_.ProcessFlag = false;
    shared_.ModuleFound = false;
    cmbBaudRate->setCurrentIndex(shared_.ScanBaudRateNo);
    cmbMode->setCurrentIndex(kModeHoldIndex);
}

void TfrmModule::FormShow() {
    UseLanguageFonts(*this, LanguageNo);
    setWindowTitle(ToQt(Text(Msg::WindowCaption)));
    pnTAVRO->setText(ToQt(Text(Msg::MakerBanner)));
    pnMsg->ShowStatus(ToQt(Text(Msg::StartScanModule)));
    pnSerial->setText(ToQt(ops::SerialPanelText(*this, ops::kSerialPlaceholder)));
    pnVersion->setText(ToQt(ops::VersionPanelText(*this, ops::kVersionPlaceholder)));
    lblID->setText(ToQt(Text(Msg::Id) + kRowLabelEnd));
    lblBaudRate->setText(ToQt(Text(Msg::BaudRate) + kRowLabelEnd));
    SetButtonCaption(btnScan, Text(Msg::ScanModule));
    SetButtonCaption(btnID, Text(Msg::SetModuleId));
    SetButtonCaption(btnBaudRate, Text(Msg::SetModuleBaudRateReset));
    SetButtonCaption(btnMode, Text(Msg::SetMode));
    SetButtonCaption(btnProcess, Text(Msg::ProcessModule));
    gbDefault->setTitle(LiteralCaption(Text(Msg::QuickSetting)));
    pcDefault->setTabText(pcDefault->indexOf(tsDefault), LiteralCaption(Text(Msg::Default)));
    SetButtonCaption(btnFactory, "(" + Text(Msg::FactoryDefault) + ")");
    SetButtonCaption(btnExit, Text(Msg::Exit));
    DescribeControls();
}

void TfrmModule::DescribeControls() {
    const auto spoken = [this](Spoken s) { return ToQt(SpokenText(s, LanguageNo)); };
    const QString id = ToQt(Text(Msg::Id));
    sbID->setAccessibleName(id);
    pnID->setAccessibleDescription(id);
    cmbBaudRate->setAccessibleName(ToQt(Text(Msg::BaudRate)));
    cmbMode->setAccessibleName(spoken(Spoken::Mode));
    chkLock->setAccessibleName(spoken(Spoken::LockBaudRate));
    shComm->setAccessibleName(spoken(Spoken::LinkLamp));
    btnAll->setAccessibleName(spoken(Spoken::AllOutputs));
    const std::pair<QWidget*, Spoken> helps[] = {
        {sbID, Spoken::IdScrollBarHelp},     {cmbBaudRate, Spoken::BaudRateListHelp},
        {chkLock, Spoken::LockBaudRateHelp}, {cmbMode, Spoken::ModeListHelp},
        {shComm, Spoken::LinkLampHelp},      {btnScan, Spoken::ScanHelp},
        {btnID, Spoken::SetIdHelp},          {btnBaudRate, Spoken::SetBaudRateHelp},
        {btnMode, Spoken::SetModeHelp},      {btnProcess, Spoken::ProcessHelp},
        {btnAll, Spoken::AllOutputsHelp},    {btnFactory, Spoken::FactoryHelp},
        {btnEng, Spoken::EnglishHelp},       {btnGB, Spoken::ChineseGBHelp},
        {btnBIG5, Spoken::ChineseBIG5Help},  {btnExit, Spoken::ExitHelp},
    };
    for (const auto& [control, help] : helps) control->setAccessibleDescription(spoken(help));
    for (int i = 0; i < protocol::kChannelCount; ++i) {
        shDI[i]->setAccessibleDescription(spoken(Spoken::InputLampHelp));
        chkDI[i]->setAccessibleDescription(spoken(Spoken::NoNcBoxHelp));
        chkDO[i]->setAccessibleDescription(spoken(Spoken::OutputBoxHelp));
    }
}

void TfrmModule::sbIDChange() {
    pnID->setText(ToQt(protocol::IdText(sbID->value())));
}

void TfrmModule::tmrBusyTimer() {
    if (tmrBusy->Tag == 1) {
        tmrBusy->Tag = 0;
        SetCommLamp(ops::LampColor::Yellow);
    } else {
        tmrBusy->Tag = 1;
        SetCommLamp(ops::LampColor::Red);
    }
}

void TfrmModule::btnScanClick() {
    ops::btnScanClick(context_);
}
void TfrmModule::btnProcessClick() {
    ops::btnProcessClick(context_);
}
void TfrmModule::btnAllClick() {
    ops::btnAllClick(context_);
}
void TfrmModule::btnIDClick() {
    ops::btnIDClick(context_);
}
void TfrmModule::btnBaudRateClick() {
    ops::btnBaudRateClick(context_);
}
void TfrmModule::btnModeClick() {
    ops::btnModeClick(context_);
}
void TfrmModule::btnFactoryClick() {
    ops::btnFactoryClick(context_);
}

void TfrmModule::ChooseLanguage(int languageNo, const char* languageFlag) {
    LanguageNo = languageNo;
    LanguageFlag = languageFlag;
    SaveLanguageFlag();
    FormShow();
}

void TfrmModule::btnEngClick() {
    ChooseLanguage(kLanguageEnglish, kLanguageFlagEnglish);
}
void TfrmModule::btnGBClick() {
    ChooseLanguage(kLanguageChineseGB, kLanguageFlagChineseGB);
}
void TfrmModule::btnBIG5Click() {
    ChooseLanguage(kLanguageChineseBIG5, kLanguageFlagChineseBIG5);
}

void TfrmModule::btnExitClick() {
    closeAllowed_ = true;
    close();
}

void TfrmModule::SaveLanguageFlag() {
    ui::SaveLanguageFlag(services_.store, LanguageFlag);
}
void TfrmModule::SaveScanSettings() {
    ui::SaveScanSettings(services_.store, shared_);
}

void TfrmModule::SetWindowEnabled(bool enabled) {
    if (enabled == isEnabled())
        return;
    // Qt drops the focus of a disabled window and does not give it back, which
    // would leave a keyboard user nowhere after every operation (and Space
    // unable to stop a live run): the control that had it gets it back.
    if (!enabled)
        focusBeforeDisabling_ = focusWidget();
    setEnabled(enabled);
    if (enabled && focusBeforeDisabling_ && focusBeforeDisabling_->isEnabled())
        focusBeforeDisabling_->setFocus(Qt::OtherFocusReason);
}

void TfrmModule::FocusMoved(QWidget* now) {
    if (now == nullptr || now->window() != this)
        return;
    // The style draws the focus frame only after a move by Tab; this window is
    // driven from the keyboard as much as with the mouse, so it always shows.
    setAttribute(Qt::WA_KeyboardFocusChange);
    // Enter presses the focused push button, otherwise the scan button; the
    // default look follows that rule (a push button outside a dialog would
    // otherwise drop it for good as soon as the focus leaves it).
    auto* button = qobject_cast<QPushButton*>(now);
    btnScan->setDefault(button == nullptr || button == btnScan);
}

void TfrmModule::CentreOnScreen() {
    if (const QScreen* desktop = screen()) {
        QRect placed = rect();
        placed.moveCenter(desktop->availableGeometry().center());
        move(placed.topLeft());
    }
}

void TfrmModule::showEvent(QShowEvent* event) {
    // Only the program's own showing, not a restore by the window manager:
    // the captions are filled before anything reaches the screen.
    if (!event->spontaneous()) {
        if (!shownOnce_) {
            shownOnce_ = true;
            CentreOnScreen();
            btnScan->setFocus();
        }
        FormShow();
    }
    QWidget::showEvent(event);
}

void TfrmModule::closeEvent(QCloseEvent* event) {
    if (closeAllowed_) {
        event->accept();
    } else {
        event->ignore();
    }
}

void TfrmModule::keyPressEvent(QKeyEvent* event) {
    // Enter presses the focused push button (which takes it before it gets
    // here, or a tool button, which does not) and otherwise the scan button.
    if (IsEnterKey(event)) {
        auto* focusedTool = qobject_cast<QToolButton*>(focusWidget());
        QAbstractButton* pressed =
            focusedTool ? static_cast<QAbstractButton*>(focusedTool) : btnScan;
        pressed->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool TfrmModule::eventFilter(QObject* watched, QEvent* event) {
    if (watched == qApp && event->type() == QEvent::Quit)
        closeAllowed_ = true;
    return QWidget::eventFilter(watched, event);
}

}  // namespace vx::ui
