#include "platform/tone_samples.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vx::platform {
namespace {

constexpr unsigned kFadeMs = 5;
constexpr unsigned kMsPerSecond = 1000;
// Half of full scale: loud enough to hear, far from clipping after mixing.
constexpr double kAmplitude = 0.5 * 32767.0;

// The gain of sample `index` of `count`, rising over the first `fadeLength`
// samples and falling over the last.
double Envelope(std::size_t index, std::size_t count, std::size_t fadeLength) {
    const std::size_t distanceToEdge = std::min(index, count - 1 - index);
    if (distanceToEdge >= fadeLength)
        return 1.0;
    return static_cast<double>(distanceToEdge) / static_cast<double>(fadeLength);
}

}  // namespace

std::vector<std::int16_t> GenerateToneSamples(unsigned frequencyHz, unsigned durationMs,
                                              unsigned sampleRate) {
    const auto count =
        static_cast<std::size_t>(std::uint64_t{sampleRate} * durationMs / kMsPerSecond);
    std::vector<std::int16_t> samples(count, 0);
    if (frequencyHz == 0 || 2 * std::uint64_t{frequencyHz} >= sampleRate)
        return samples;
    // Short tones fade over half their length at most, so they still peak.
    const std::size_t fadeLength =
        std::min<std::size_t>(std::uint64_t{sampleRate} * kFadeMs / kMsPerSecond, count / 2);
    const double step = 2.0 * std::numbers::pi * frequencyHz / sampleRate;
    for (std::size_t i = 0; i < count; ++i) {
        const double value = kAmplitude * Envelope(i, count, fadeLength) * std::sin(step * i);
        samples[i] = static_cast<std::int16_t>(std::lround(value));
    }
    return samples;
}

}  // namespace vx::platform
