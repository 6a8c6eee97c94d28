#pragma once

#include <cstdint>
#include <vector>

namespace vx::platform {

inline constexpr unsigned kToneSampleRate = 44100;

// A sine of the given frequency lasting `durationMs`, as 16-bit mono samples,
// faded in and out over a few milliseconds so that it starts and stops
// without a click. A frequency of 0 or at or above half the sample rate gives
// silence of the same length.
std::vector<std::int16_t> GenerateToneSamples(unsigned frequencyHz, unsigned durationMs,
                                              unsigned sampleRate);

}  // namespace vx::platform
