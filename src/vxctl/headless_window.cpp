#include "vxctl/headless_window.h"

#include "protocol/commands.h"

namespace vx::ctl {

namespace {

constexpr const char* kPanelJoint = " : ";

std::string PanelValue(const std::string& panel) {
    const auto joint = panel.find(kPanelJoint);
    return joint == std::string::npos ? std::string{}
                                      : panel.substr(joint + std::string{kPanelJoint}.size());
}

}  // namespace

// The ID panel starts as the scroll bar's position, so that an ID set
// without a scan before it is the one asked for, even the first.
HeadlessWindow::HeadlessWindow(int languageNo, Saver saver)
    : PlainWindow(languageNo), saver_(std::move(saver)) {
    idPanel = protocol::IdText(idPosition);
}

void HeadlessWindow::SetStatus(const std::string& text) {
    PlainWindow::SetStatus(text);
    if (statusWatcher_)
        statusWatcher_(text);
}

void HeadlessWindow::SetInputLamp(int channel, ops::LampColor color) {
    PlainWindow::SetInputLamp(channel, color);
    if (channel != link::kChannelCount || !busy)
        return;
    lastReading_ = Inputs();
    if (readingWatcher_)
        readingWatcher_(*lastReading_);
}

void HeadlessWindow::AdoptScanOf(const HeadlessWindow& other) {
    state.ScanCommNo = other.state.ScanCommNo;
    state.ScanBaudRate = other.state.ScanBaudRate;
    state.ScanBaudRateNo = other.state.ScanBaudRateNo;
    state.ModuleFound = other.state.ModuleFound;
    status = other.status;
    lamp = other.lamp;
    serialPanel = other.serialPanel;
    versionPanel = other.versionPanel;
    idPanel = other.idPanel;
    idPosition = other.idPosition;
    baudIndex = other.baudIndex;
    modeIndex = other.modeIndex;
    noNc = other.noNc;
    if (other.saved_)
        SaveScanSettings();
}

void HeadlessWindow::SaveScanSettings() {
    saved_ = true;
    if (saver_)
        saver_(state);
}

std::string HeadlessWindow::Serial() const {
    return PanelValue(serialPanel);
}

std::string HeadlessWindow::Version() const {
    return PanelValue(versionPanel);
}

std::string ModeName(int modeIndex) {
    return modeIndex == ops::kModeHold ? "hold" : "normal";
}

}  // namespace vx::ctl
