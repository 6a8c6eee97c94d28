#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>

#include "ui/captions.h"
#include "ui/circle_shape.h"
#include "ui/frm_module.h"
#include "ui/shell/text_table.h"

// The window as the operations see it: the ModuleWindow calls, each on the
// control that shows it.
namespace vx::ui {

namespace {

constexpr int kBusyOn = 1;

QColor ToColour(ops::LampColor color) {
    switch (color) {
        case ops::LampColor::Red:
            return QColor(255, 0, 0);
        case ops::LampColor::Yellow:
            return QColor(255, 255, 0);
        case ops::LampColor::White:
            break;
    }
    return QColor(255, 255, 255);
}

}  // namespace

std::string TfrmModule::Text(ops::Msg m) const {
    return ui::Text(m, LanguageNo);
}

void TfrmModule::SetStatus(const std::string& text) {
    pnMsg->ShowStatus(ToQt(text));
}
void TfrmModule::SetCommLamp(ops::LampColor color) {
    shComm->SetBrush(ToColour(color));
}
void TfrmModule::SetSerialPanel(const std::string& text) {
    pnSerial->setText(ToQt(text));
}
void TfrmModule::SetVersionPanel(const std::string& text) {
    pnVersion->setText(ToQt(text));
}
std::string TfrmModule::IdPanel() const {
    return FromQt(pnID->text());
}
void TfrmModule::SetIdPanel(const std::string& text) {
    pnID->setText(ToQt(text));
}
void TfrmModule::SetIdPosition(int position) {
    sbID->setValue(position);
}
int TfrmModule::BaudRateIndex() const {
    return cmbBaudRate->currentIndex();
}
void TfrmModule::SelectBaudRate(int index) {
    cmbBaudRate->setCurrentIndex(index);
}
int TfrmModule::ModeIndex() const {
    return cmbMode->currentIndex();
}
void TfrmModule::SelectMode(int index) {
    cmbMode->setCurrentIndex(index);
}
bool TfrmModule::LockTicked() const {
    return chkLock->isChecked();
}

bool TfrmModule::NoNcTicked(int channel) const {
    return chkDI.at(protocol::ChannelSlot(channel))->isChecked();
}
void TfrmModule::SetNoNc(int channel, bool ticked) {
    chkDI.at(protocol::ChannelSlot(channel))->setChecked(ticked);
}
bool TfrmModule::OutputTicked(int channel) const {
    return chkDO.at(protocol::ChannelSlot(channel))->isChecked();
}
void TfrmModule::SetOutput(int channel, bool ticked) {
    chkDO.at(protocol::ChannelSlot(channel))->setChecked(ticked);
}
void TfrmModule::SetInputLamp(int channel, ops::LampColor color) {
    shDI.at(protocol::ChannelSlot(channel))->SetBrush(ToColour(color));
}

std::string TfrmModule::ProcessCaption() const {
    return ButtonCaption(btnProcess);
}
void TfrmModule::SetProcessCaption(const std::string& text) {
    SetButtonCaption(btnProcess, text);
}

QWidget* TfrmModule::ControlWidget(ops::Control control) const {
    switch (control) {
        case ops::Control::btnExit:
            return btnExit;
        case ops::Control::btnScan:
            return btnScan;
        case ops::Control::btnFactory:
            return btnFactory;
        case ops::Control::btnID:
            return btnID;
        case ops::Control::btnBaudRate:
            return btnBaudRate;
        case ops::Control::btnMode:
            return btnMode;
        case ops::Control::gbDefault:
            return gbDefault;
        case ops::Control::btnEng:
            return btnEng;
        case ops::Control::btnGB:
            return btnGB;
        case ops::Control::btnBIG5:
            return btnBIG5;
        case ops::Control::gbNONC:
            return gbNONC;
    }
    return nullptr;
}

void TfrmModule::SetControlEnabled(ops::Control control, bool enabled) {
    if (QWidget* widget = ControlWidget(control))
        widget->setEnabled(enabled);
}

void TfrmModule::SetBusy(int flag) {
    if (flag == kBusyOn) {
        tmrBusy->start();
        SetWindowEnabled(false);
    } else {
        SetWindowEnabled(true);
        tmrBusy->stop();
    }
    shComm->SetBusy(tmrBusy->isActive());
}

void TfrmModule::SetHourglassCursor(bool hourglass) {
    if (hourglass == hourglassShown_)
        return;
    hourglassShown_ = hourglass;
    if (hourglass) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

}  // namespace vx::ui
