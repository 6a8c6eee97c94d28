#pragma once

#include <functional>

#include "platform/event_pump.h"

namespace vx::doubles {

// Counts how often pending events were let run and lets a test act as the
// user at one of those moments (a click arriving while an operation waits).
class ScriptedEventPump final : public platform::EventPump {
public:
    // Called on every run with the 1-based count of runs so far.
    void OnRun(std::function<void(int run)> action) { action_ = std::move(action); }

    void RunPending() override {
        ++runs_;
        if (action_)
            action_(runs_);
    }

    int Runs() const { return runs_; }

private:
    std::function<void(int)> action_;
    int runs_ = 0;
};

}  // namespace vx::doubles
