#pragma once

#include <array>
#include <string>

#include "operations/module_window.h"
#include "operations/window_texts.h"
#include "protocol/commands.h"
#include "protocol/line_settings.h"

namespace vx::ui {

// The window's controls as plain values, for running the module operations
// without a screen: the command line runs them over it, and the operations'
// tests watch it. Each value starts as the window shows it when it opens.
// The members are the controls themselves, so that a caller may set any of
// them as a user would; subclasses that follow what the operations do
// override the calls they watch and call these.
class PlainWindow : public ops::ModuleWindow {
public:
    explicit PlainWindow(int languageNo);

    ops::SharedState state;
    int languageNo;
    std::string status;                         // pnMsg
    ops::LampColor lamp = ops::LampColor::Red;  // shComm
    std::string serialPanel;                    // pnSerial
    std::string versionPanel;                   // pnVersion
    std::string idPanel = ops::kIdPlaceholder;
    int idPosition = 1;  // sbID
    int baudIndex = protocol::kDefaultLineSettingsIndex;
    int modeIndex = ops::kModeHold;
    bool lock = true;  // chkLock
    protocol::ChannelFlags noNc{};
    protocol::ChannelFlags outputs{};
    std::array<ops::LampColor, protocol::kChannelCount> inputLamps{};
    std::string caption;  // btnProcess
    bool busy = false;

    ops::SharedState& State() override { return state; }
    std::string Text(ops::Msg m) const override;
    void SetStatus(const std::string& text) override { status = text; }
    void SetCommLamp(ops::LampColor color) override { lamp = color; }
    void SetSerialPanel(const std::string& text) override { serialPanel = text; }
    void SetVersionPanel(const std::string& text) override { versionPanel = text; }
    std::string IdPanel() const override { return idPanel; }
    void SetIdPanel(const std::string& text) override { idPanel = text; }
    void SetIdPosition(int position) override;
    int BaudRateIndex() const override { return baudIndex; }
    void SelectBaudRate(int index) override { baudIndex = index; }
    int ModeIndex() const override { return modeIndex; }
    void SelectMode(int index) override { modeIndex = index; }
    bool LockTicked() const override { return lock; }
    bool NoNcTicked(int channel) const override { return noNc.at(Slot(channel)); }
    void SetNoNc(int channel, bool ticked) override { noNc.at(Slot(channel)) = ticked; }
    bool OutputTicked(int channel) const override { return outputs.at(Slot(channel)); }
    void SetOutput(int channel, bool ticked) override { outputs.at(Slot(channel)) = ticked; }
    void SetInputLamp(int channel, ops::LampColor color) override {
        inputLamps.at(Slot(channel)) = color;
    }
    std::string ProcessCaption() const override { return caption; }
    void SetProcessCaption(const std::string& text) override { caption = text; }
    void SetControlEnabled(ops::Control, bool) override {}
    void SetWindowEnabled(bool) override {}
    void SetBusy(int flag) override { busy = flag == kBusyOn; }
    void SetHourglassCursor(bool) override {}
    void SaveScanSettings() override {}

    // The input lamps as flags: lit (yellow) is on.
    protocol::ChannelFlags Inputs() const;

private:
    static constexpr int kBusyOn = 1;
    // A channel outside the module's is a fault of the caller and throws
    // rather than reach past the controls.
    static std::size_t Slot(int channel) { return protocol::ChannelSlot(channel); }
};

}  // namespace vx::ui
