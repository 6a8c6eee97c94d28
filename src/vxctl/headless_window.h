#pragma once

#include <functional>
#include <string>

#include "protocol/commands.h"
#include "ui/shell/plain_window.h"

namespace vx::ctl {

// The plain window as the command line drives it: it hands the scan
// settings to the store and reports each status and each input reading as
// they come. What the operations found, the command line reads from their
// outcomes, not from here.
class HeadlessWindow final : public ui::PlainWindow {
public:
    using Saver = std::function<void(const ops::SharedState&)>;
    using StatusWatcher = std::function<void(const std::string&)>;
    using ReadingWatcher = std::function<void(const protocol::ChannelFlags&)>;

    HeadlessWindow(int languageNo, Saver saver);

    using PlainWindow::State;
    const ops::SharedState& State() const { return state; }
    void SetStatus(const std::string& text) override;
    void SetInputLamp(int channel, ops::LampColor color) override;
    void SaveScanSettings() override;

    void WatchStatus(StatusWatcher watcher) { statusWatcher_ = std::move(watcher); }
    // Called with each row of input lamps that a live run shows while its
    // busy indication is on, that is each reading, not the tidying at its end.
    void WatchReadings(ReadingWatcher watcher) { readingWatcher_ = std::move(watcher); }
    // True once the search stored the scan settings (not the quick attempt).
    bool Saved() const { return saved_; }
    // What a scan in another window found and showed, as if found here.
    void AdoptScanOf(const HeadlessWindow& other);

private:
    Saver saver_;
    StatusWatcher statusWatcher_;
    ReadingWatcher readingWatcher_;
    bool saved_ = false;
};

// How the command line names what the window shows.
std::string ModeName(int modeIndex);  // "hold" or "normal"

}  // namespace vx::ctl
