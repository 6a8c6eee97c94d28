#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include "platform/clock.h"
#include "platform/tone.h"

namespace vx::platform {
namespace {

class WindowsTone final : public Tone {
public:
    void Beep(unsigned frequencyHz, unsigned durationMs) override {
        Clock& clock = SystemClock();
        const std::uint32_t start = clock.TickMs();
        ::Beep(frequencyHz, durationMs);
        // Without a sound device the call returns at once; the beep still
        // lasts its duration so that the operations keep their timing.
        const std::uint32_t elapsed = clock.TickMs() - start;
        if (elapsed < durationMs)
            clock.SleepMs(durationMs - elapsed);
    }
};

}  // namespace

Tone& SystemTone() {
    static WindowsTone tone;
    return tone;
}

}  // namespace vx::platform
