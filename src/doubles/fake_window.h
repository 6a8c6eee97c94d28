#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "ui/shell/plain_window.h"
#include "ui/shell/text_table.h"

namespace vx::doubles {

// The plain window as the tests watch it: a journal of every visible change
// in the order the operation made it, the statuses with their virtual time,
// and each save. The lock starts unticked.
class FakeWindow final : public ui::PlainWindow {
public:
    explicit FakeWindow(platform::Clock& clock, int languageNo = ui::kLanguageEnglish)
        : PlainWindow(languageNo), clock_(clock) {
        lock = false;
    }

    std::vector<std::string> journal;
    std::vector<std::pair<std::uint32_t, std::string>> statuses;  // virtual ms, text
    std::vector<ops::SharedState> saves;
    int inputLampWrites = 0;

    void SetStatus(const std::string& text) override {
        PlainWindow::SetStatus(text);
        statuses.emplace_back(clock_.TickMs(), text);
        Log("status " + text);
    }
    void SetCommLamp(ops::LampColor color) override {
        PlainWindow::SetCommLamp(color);
        Log("lamp " + std::to_string(static_cast<int>(color)));
    }
    void SetInputLamp(int channel, ops::LampColor color) override {
        PlainWindow::SetInputLamp(channel, color);
        ++inputLampWrites;
    }
    void SetControlEnabled(ops::Control control, bool enabled) override {
        Log("control " + std::to_string(static_cast<int>(control)) + (enabled ? " on" : " off"));
    }
    void SetWindowEnabled(bool enabled) override { Log(enabled ? "window on" : "window off"); }
    void SetBusy(int flag) override {
        PlainWindow::SetBusy(flag);
        Log("busy " + std::to_string(flag));
    }
    void SetHourglassCursor(bool hourglass) override { Log(hourglass ? "hourglass" : "arrow"); }
    void SaveScanSettings() override {
        saves.push_back(state);
        Log("save");
    }
    void Log(const std::string& entry) { journal.push_back(entry); }

private:
    platform::Clock& clock_;
};

}  // namespace vx::doubles
