#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
// <mmsystem.h> needs the types of <windows.h>: keep it after this line.
#include <mmsystem.h>

#include "platform/clock.h"

namespace vx::platform {
namespace {

// The 1 ms timer resolution that makes Sleep(1) and timeGetTime() exact is
// held by the serial device while a port is open, which is the only time the
// link needs it; outside that the machine keeps its power-saving tick.
class WindowsClock final : public Clock {
public:
    std::uint32_t TickMs() override { return timeGetTime(); }
    void SleepMs(std::uint32_t ms) override { Sleep(ms); }
};

}  // namespace

Clock& SystemClock() {
    static WindowsClock clock;
    return clock;
}

}  // namespace vx::platform
