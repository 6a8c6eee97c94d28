#pragma once

namespace vx::platform {

// A beep of the given frequency and duration that returns when the tone has
// ended. Without a sound output it waits the duration out silently, so the
// timing of the operations does not depend on the speakers.
class Tone {
public:
    virtual ~Tone() = default;
    virtual void Beep(unsigned frequencyHz, unsigned durationMs) = 0;
};

// The machine's tone player (Beep on Windows, the sound server on Linux).
Tone& SystemTone();

}  // namespace vx::platform
