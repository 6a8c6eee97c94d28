#pragma once

#include <cstdint>

namespace vx::platform {

// The 32-bit millisecond tick counter and a plain sleep. The counter wraps
// after about 49.7 days, so callers take differences modulo 2^32.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::uint32_t TickMs() = 0;
    // Gives up the processor for at least `ms` milliseconds; runs no events.
    virtual void SleepMs(std::uint32_t ms) = 0;
};

// The machine's own clock (CLOCK_MONOTONIC on Linux, timeGetTime on Windows).
Clock& SystemClock();

}  // namespace vx::platform
