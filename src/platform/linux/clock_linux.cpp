#include <cerrno>
#include <ctime>

#include "platform/clock.h"

namespace vx::platform {
namespace {

constexpr std::uint64_t kMsPerSecond = 1000;
constexpr long kNanosPerMs = 1'000'000;

class LinuxClock final : public Clock {
public:
    std::uint32_t TickMs() override {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const auto ms = static_cast<std::uint64_t>(now.tv_sec) * kMsPerSecond +
                        static_cast<std::uint64_t>(now.tv_nsec / kNanosPerMs);
        // Truncation is the point: callers work modulo 2^32, like the tick
        // counter of the other platform.
        return static_cast<std::uint32_t>(ms);
    }

    void SleepMs(std::uint32_t ms) override {
        timespec remaining{static_cast<time_t>(ms / kMsPerSecond),
                           static_cast<long>(ms % kMsPerSecond) * kNanosPerMs};
        while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
        }
    }
};

}  // namespace

Clock& SystemClock() {
    static LinuxClock clock;
    return clock;
}

}  // namespace vx::platform
