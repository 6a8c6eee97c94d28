#include "platform/clock.h"
#include "platform/tone.h"
#include "platform/tone_samples.h"

#if VX_HAVE_PULSE
#include <pulse/simple.h>
#endif

namespace vx::platform {
namespace {

#if VX_HAVE_PULSE
// Plays the samples on the desktop's sound server; false when there is none.
bool PlayOnSoundServer(const std::vector<std::int16_t>& samples) {
    const pa_sample_spec format{PA_SAMPLE_S16NE, kToneSampleRate, 1};
    pa_simple* stream = pa_simple_new(nullptr, "vxconfig", PA_STREAM_PLAYBACK, nullptr, "beep",
                                      &format, nullptr, nullptr, nullptr);
    if (stream == nullptr)
        return false;
    const bool played = pa_simple_write(stream, samples.data(), samples.size() * sizeof(samples[0]),
                                        nullptr) == 0 &&
                        pa_simple_drain(stream, nullptr) == 0;
    pa_simple_free(stream);
    return played;
}
#else
bool PlayOnSoundServer(const std::vector<std::int16_t>&) {
    return false;
}
#endif

class LinuxTone final : public Tone {
public:
    void Beep(unsigned frequencyHz, unsigned durationMs) override {
        Clock& clock = SystemClock();
        const std::uint32_t start = clock.TickMs();
        PlayOnSoundServer(GenerateToneSamples(frequencyHz, durationMs, kToneSampleRate));
        // Whatever happened to the sound, the beep lasts its duration, so the
        // operations keep their timing on a machine without speakers.
        const std::uint32_t elapsed = clock.TickMs() - start;
        if (elapsed < durationMs)
            clock.SleepMs(durationMs - elapsed);
    }
};

}  // namespace

Tone& SystemTone() {
    static LinuxTone tone;
    return tone;
}

}  // namespace vx::platform
