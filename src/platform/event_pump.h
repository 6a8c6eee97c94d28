#pragma once

#include <functional>

namespace vx::platform {

// "Let pending window events run". Until a window installs its toolkit's
// call, running the pump does nothing.
class EventPump {
public:
    virtual ~EventPump() = default;
    virtual void RunPending() = 0;
};

// A pump that calls whatever function was installed last (none at first).
class InstallableEventPump final : public EventPump {
public:
    void Install(std::function<void()> runPending) { runPending_ = std::move(runPending); }
    void RunPending() override {
        if (runPending_)
            runPending_();
    }

private:
    std::function<void()> runPending_;
};

}  // namespace vx::platform
