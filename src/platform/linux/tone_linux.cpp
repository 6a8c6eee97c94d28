#include "platform/clock.h"
#include "platform/tone.h"
#include "platform/tone_samples.h"

#if VX_HAVE_PULSE
#include <dlfcn.h>
#include <pulse/simple.h>

#include <optional>
#endif

namespace vx::platform {
namespace {

#if VX_HAVE_PULSE
// The sound server's client library, loaded at the first beep rather than
// with the program: it and the dozen codec libraries it brings are of no use
// until then, and loading them made the window appear later.
struct SoundServerClient {
    decltype(&pa_simple_new) New;
    decltype(&pa_simple_write) Write;
    decltype(&pa_simple_drain) Drain;
    decltype(&pa_simple_free) Free;
};

template <typename Function>
Function Symbol(void* library, const char* name) {
    return reinterpret_cast<Function>(dlsym(library, name));
}

std::optional<SoundServerClient> LoadSoundServerClient() {
    void* library = dlopen("libpulse-simple.so.0", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr)
        return std::nullopt;
    const SoundServerClient client{Symbol<decltype(&pa_simple_new)>(library, "pa_simple_new"),
                                   Symbol<decltype(&pa_simple_write)>(library, "pa_simple_write"),
                                   Symbol<decltype(&pa_simple_drain)>(library, "pa_simple_drain"),
                                   Symbol<decltype(&pa_simple_free)>(library, "pa_simple_free")};
    if (!client.New || !client.Write || !client.Drain || !client.Free)
        return std::nullopt;
    return client;
}

// Plays the samples on the desktop's sound server; false when there is none.
bool PlayOnSoundServer(const std::vector<std::int16_t>& samples) {
    static const std::optional<SoundServerClient> client = LoadSoundServerClient();
    if (!client)
        return false;
    const pa_sample_spec format{PA_SAMPLE_S16NE, kToneSampleRate, 1};
    pa_simple* stream = client->New(nullptr, "vxconfig", PA_STREAM_PLAYBACK, nullptr, "beep",
                                    &format, nullptr, nullptr, nullptr);
    if (stream == nullptr)
        return false;
    const bool played =
        client->Write(stream, samples.data(), samples.size() * sizeof(samples[0]), nullptr) == 0 &&
        client->Drain(stream, nullptr) == 0;
    client->Free(stream);
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
