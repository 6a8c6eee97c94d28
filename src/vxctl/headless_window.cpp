#include "vxctl/headless_window.h"

#include <algorithm>

#include "protocol/commands.h"
#include "ui/text_table.h"

namespace vx::ctl {

namespace {

constexpr const char* kPanelJoint = " : ";

std::string PanelValue(const std::string& panel) {
    const auto joint = panel.find(kPanelJoint);
    return joint == std::string::npos ? std::string{}
                                      : panel.substr(joint + std::string{kPanelJoint}.size());
}

}  // namespace

HeadlessWindow::HeadlessWindow(int languageNo, Saver saver)
    : languageNo_(languageNo), saver_(std::move(saver)) {
    processCaption_ = Text(ops::Msg::ProcessModule);
}

std::string HeadlessWindow::Text(ops::Msg m) const {
    return ui::Text(m, languageNo_);
}

void HeadlessWindow::SetStatus(const std::string& text) {
    status_ = text;
    if (statusWatcher_)
        statusWatcher_(text);
}

// The scroll bar's range and its change handler, which rewrites the panel
// only when the position really moves.
void HeadlessWindow::SetIdPosition(int position) {
    const int clamped = std::clamp(position, protocol::kMinModuleId, protocol::kMaxModuleId);
    if (clamped == idPosition_)
        return;
    idPosition_ = clamped;
    idPanel_ = protocol::IdText(clamped);
}

void HeadlessWindow::SetInputLamp(int channel, ops::LampColor color) {
    inputs_[Slot(channel)] = color == ops::LampColor::Yellow;
    if (channel != link::kChannelCount || !busy_)
        return;
    lastReading_ = inputs_;
    if (readingWatcher_)
        readingWatcher_(inputs_);
}

void HeadlessWindow::AdoptScanOf(const HeadlessWindow& other) {
    state_.ScanCommNo = other.state_.ScanCommNo;
    state_.ScanBaudRate = other.state_.ScanBaudRate;
    state_.ScanBaudRateNo = other.state_.ScanBaudRateNo;
    state_.ModuleFound = other.state_.ModuleFound;
    status_ = other.status_;
    lamp_ = other.lamp_;
    serialPanel_ = other.serialPanel_;
    versionPanel_ = other.versionPanel_;
    idPanel_ = other.idPanel_;
    idPosition_ = other.idPosition_;
    baudRateIndex_ = other.baudRateIndex_;
    modeIndex_ = other.modeIndex_;
    noNc_ = other.noNc_;
    if (other.saved_)
        SaveScanSettings();
}

void HeadlessWindow::SaveScanSettings() {
    saved_ = true;
    if (saver_)
        saver_(state_);
}

std::string HeadlessWindow::Serial() const {
    return PanelValue(serialPanel_);
}

std::string HeadlessWindow::Version() const {
    return PanelValue(versionPanel_);
}

std::string ModeName(int modeIndex) {
    return modeIndex == ops::kModeHold ? "hold" : "normal";
}

}  // namespace vx::ctl
