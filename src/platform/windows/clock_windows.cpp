#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <mmsystem.h>
#include <windows.h>

#include "platform/clock.h"

namespace vx::platform {
namespace {

constexpr UINT kTimerResolutionMs = 1;

class WindowsClock final : public Clock {
public:
    // Without a 1 ms timer resolution a Sleep(1) and a 1 ms read time limit
    // last a whole scheduler tick (about 15.6 ms).
    WindowsClock() { timeBeginPeriod(kTimerResolutionMs); }
    ~WindowsClock() override { timeEndPeriod(kTimerResolutionMs); }

    std::uint32_t TickMs() override { return timeGetTime(); }
    void SleepMs(std::uint32_t ms) override { Sleep(ms); }
};

}  // namespace

Clock& SystemClock() {
    static WindowsClock clock;
    return clock;
}

}  // namespace vx::platform
