#include "vxctl/headless_window.h"

namespace vx::ctl {

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
    if (channel == protocol::kLastChannel && busy && readingWatcher_)
        readingWatcher_(Inputs());
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

std::string ModeName(int modeIndex) {
    return modeIndex == ops::kModeHold ? "hold" : "normal";
}

}  // namespace vx::ctl
