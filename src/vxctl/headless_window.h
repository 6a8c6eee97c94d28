#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>

#include "link/commands.h"
#include "operations/module_window.h"

namespace vx::ctl {

// The window's controls as plain values, for running the module operations
// without a screen. It keeps what each control would show, so that the
// command line can print it afterwards.
class HeadlessWindow final : public ops::ModuleWindow {
public:
    using Saver = std::function<void(const ops::SharedState&)>;
    using StatusWatcher = std::function<void(const std::string&)>;
    using ReadingWatcher = std::function<void(const link::ChannelFlags&)>;

    HeadlessWindow(int languageNo, Saver saver);

    // ModuleWindow
    ops::SharedState& State() override { return state_; }
    const ops::SharedState& State() const { return state_; }
    std::string Text(ops::Msg m) const override;
    void SetStatus(const std::string& text) override;
    void SetCommLamp(ops::LampColor color) override { lamp_ = color; }
    void SetSerialPanel(const std::string& text) override { serialPanel_ = text; }
    void SetVersionPanel(const std::string& text) override { versionPanel_ = text; }
    std::string IdPanel() const override { return idPanel_; }
    void SetIdPanel(const std::string& text) override { idPanel_ = text; }
    void SetIdPosition(int position) override;
    int BaudRateIndex() const override { return baudRateIndex_; }
    void SelectBaudRate(int index) override { baudRateIndex_ = index; }
    int ModeIndex() const override { return modeIndex_; }
    void SelectMode(int index) override { modeIndex_ = index; }
    bool LockTicked() const override { return lockTicked_; }
    bool NoNcTicked(int channel) const override { return noNc_[Slot(channel)]; }
    void SetNoNc(int channel, bool ticked) override { noNc_[Slot(channel)] = ticked; }
    bool OutputTicked(int channel) const override { return outputs_[Slot(channel)]; }
    void SetOutput(int channel, bool ticked) override { outputs_[Slot(channel)] = ticked; }
    void SetInputLamp(int channel, ops::LampColor color) override;
    std::string ProcessCaption() const override { return processCaption_; }
    void SetProcessCaption(const std::string& text) override { processCaption_ = text; }
    void SetControlEnabled(ops::Control, bool) override {}
    void SetWindowEnabled(bool) override {}
    void SetBusy(int flag) override { busy_ = flag == kBusyOn; }
    void SetHourglassCursor(bool) override {}
    void SaveScanSettings() override;

    // For the command line.
    void TickLock(bool ticked) { lockTicked_ = ticked; }
    int LanguageNo() const { return languageNo_; }
    void WatchStatus(StatusWatcher watcher) { statusWatcher_ = std::move(watcher); }
    // Called with each row of input lamps that a live run shows while its
    // busy indication is on, that is each reading, not the tidying at its end.
    void WatchReadings(ReadingWatcher watcher) { readingWatcher_ = std::move(watcher); }
    const std::string& Status() const { return status_; }
    ops::LampColor Lamp() const { return lamp_; }
    // The value part of the serial-number and version panels ("S/N : x").
    std::string Serial() const;
    std::string Version() const;
    int IdPosition() const { return idPosition_; }
    link::ChannelFlags NoNc() const { return noNc_; }
    link::ChannelFlags Outputs() const { return outputs_; }
    const std::optional<link::ChannelFlags>& LastReading() const { return lastReading_; }
    void SetNoNc(const link::ChannelFlags& flags) { noNc_ = flags; }
    void SetOutputs(const link::ChannelFlags& flags) { outputs_ = flags; }
    // True once the search stored the scan settings (not the quick attempt).
    bool Saved() const { return saved_; }
    // What a scan in another window found and showed, as if found here.
    void AdoptScanOf(const HeadlessWindow& other);

private:
    static constexpr int kBusyOn = 1;
    static std::size_t Slot(int channel) { return static_cast<std::size_t>(channel - 1); }

    int languageNo_;
    Saver saver_;
    StatusWatcher statusWatcher_;
    ReadingWatcher readingWatcher_;
    ops::SharedState state_;
    std::string status_;
    ops::LampColor lamp_ = ops::LampColor::White;
    std::string serialPanel_;
    std::string versionPanel_;
    std::string idPanel_ = "01";
    int idPosition_ = 1;
    int baudRateIndex_ = link::kDefaultLineSettingsIndex;
    int modeIndex_ = ops::kModeHold;
    bool lockTicked_ = true;  // ticked when the window opens
    link::ChannelFlags noNc_{};
    link::ChannelFlags outputs_{};
    link::ChannelFlags inputs_{};
    std::optional<link::ChannelFlags> lastReading_;
    bool busy_ = false;
    std::string processCaption_;
    bool saved_ = false;
};

// How the command line names what the window shows.
std::string ModeName(int modeIndex);  // "hold" or "normal"

}  // namespace vx::ctl
