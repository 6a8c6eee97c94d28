#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "operations/module_window.h"
#include "platform/clock.h"
#include "protocol/commands.h"
#include "ui/text_table.h"

namespace vx::ops::testing {

inline constexpr int kChannels = 16;
inline constexpr int kIdMin = protocol::kMinModuleId;
inline constexpr int kIdMax = protocol::kMaxModuleId;

// The window as plain values, with a journal of every visible change in the
// order the operation made it.
class FakeWindow final : public ModuleWindow {
public:
    explicit FakeWindow(platform::Clock& clock) : clock_(clock) {
        inputLamps.fill(LampColor::White);
    }

    SharedState state;
    int languageNo = 0;
    std::vector<std::string> journal;
    std::vector<std::pair<std::uint32_t, std::string>> statuses;  // virtual ms, text
    std::vector<SharedState> saves;
    std::string status, serialPanel, versionPanel, idPanel = "__", caption = "Process Module";
    int idPosition = 1, baudIndex = 5, modeIndex = 0;
    bool lock = false;
    LampColor lamp = LampColor::Red;
    std::array<bool, kChannels> noNc{}, outputs{};
    std::array<LampColor, kChannels> inputLamps{};

    SharedState& State() override { return state; }
    std::string Text(Msg m) const override { return ui::Text(m, languageNo); }
    void SetStatus(const std::string& text) override {
        status = text;
        statuses.emplace_back(clock_.TickMs(), text);
        Log("status " + text);
    }
    void SetCommLamp(LampColor color) override {
        lamp = color;
        Log("lamp " + std::to_string(static_cast<int>(color)));
    }
    void SetSerialPanel(const std::string& text) override { serialPanel = text; }
    void SetVersionPanel(const std::string& text) override { versionPanel = text; }
    std::string IdPanel() const override { return idPanel; }
    void SetIdPanel(const std::string& text) override { idPanel = text; }
    void SetIdPosition(int position) override {
        const int clamped = position < kIdMin ? kIdMin : position > kIdMax ? kIdMax : position;
        if (clamped == idPosition)
            return;
        idPosition = clamped;
        idPanel = (clamped < 10 ? "0" : "") + std::to_string(clamped);
    }
    int BaudRateIndex() const override { return baudIndex; }
    void SelectBaudRate(int index) override { baudIndex = index; }
    int ModeIndex() const override { return modeIndex; }
    void SelectMode(int index) override { modeIndex = index; }
    bool LockTicked() const override { return lock; }
    bool NoNcTicked(int channel) const override { return noNc.at(channel - 1); }
    void SetNoNc(int channel, bool ticked) override { noNc.at(channel - 1) = ticked; }
    bool OutputTicked(int channel) const override { return outputs.at(channel - 1); }
    void SetOutput(int channel, bool ticked) override { outputs.at(channel - 1) = ticked; }
    void SetInputLamp(int channel, LampColor color) override {
        inputLamps.at(channel - 1) = color;
        ++inputLampWrites;
    }
    std::string ProcessCaption() const override { return caption; }
    void SetProcessCaption(const std::string& text) override { caption = text; }
    void SetControlEnabled(Control control, bool enabled) override {
        Log("control " + std::to_string(static_cast<int>(control)) + (enabled ? " on" : " off"));
    }
    void SetWindowEnabled(bool enabled) override { Log(enabled ? "window on" : "window off"); }
    void SetBusy(int flag) override { Log("busy " + std::to_string(flag)); }
    void SetHourglassCursor(bool hourglass) override { Log(hourglass ? "hourglass" : "arrow"); }
    void SaveScanSettings() override {
        saves.push_back(state);
        Log("save");
    }
    void Log(const std::string& entry) { journal.push_back(entry); }

    int inputLampWrites = 0;

private:
    platform::Clock& clock_;
};

}  // namespace vx::ops::testing
