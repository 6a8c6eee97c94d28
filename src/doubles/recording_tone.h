#pragma once

#include <cstdint>
#include <vector>

#include "platform/clock.h"
#include "platform/tone.h"

namespace vx::doubles {

// Remembers every beep and spends its duration on the given clock, so that
// the operations keep their timing under test.
class RecordingTone final : public platform::Tone {
public:
    struct Beeped {
        unsigned frequencyHz;
        unsigned durationMs;
        std::uint32_t atMs;
    };

    explicit RecordingTone(platform::Clock& clock) : clock_(clock) {}

    void Beep(unsigned frequencyHz, unsigned durationMs) override {
        beeps_.push_back({frequencyHz, durationMs, clock_.TickMs()});
        clock_.SleepMs(durationMs);
    }

    const std::vector<Beeped>& Beeps() const { return beeps_; }

private:
    platform::Clock& clock_;
    std::vector<Beeped> beeps_;
};

}  // namespace vx::doubles
