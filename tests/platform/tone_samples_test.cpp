#include <algorithm>
#include <cmath>
#include <numbers>

#include <gtest/gtest.h>

#include "case_names.h"

#include "platform/tone_samples.h"

namespace vx::platform {
namespace {

// Power of the samples at one frequency (Goertzel), relative to their energy.
double RelativePowerAt(const std::vector<std::int16_t>& samples, double frequencyHz) {
    const double coefficient =
        2.0 * std::cos(2.0 * std::numbers::pi * frequencyHz / kToneSampleRate);
    double previous = 0.0;
    double beforePrevious = 0.0;
    double energy = 0.0;
    for (const std::int16_t sample : samples) {
        const double current = sample + coefficient * previous - beforePrevious;
        beforePrevious = previous;
        previous = current;
        energy += static_cast<double>(sample) * sample;
    }
    const double power = previous * previous + beforePrevious * beforePrevious -
                         coefficient * previous * beforePrevious;
    return power / (energy * samples.size() / 2.0);
}

int SignChanges(const std::vector<std::int16_t>& samples) {
    int changes = 0;
    int lastSign = 0;
    for (const std::int16_t sample : samples) {
        const int sign = (sample > 0) - (sample < 0);
        if (sign != 0 && lastSign != 0 && sign != lastSign)
            ++changes;
        if (sign != 0)
            lastSign = sign;
    }
    return changes;
}

struct ToneCase {
    unsigned frequencyHz;
    unsigned durationMs;
};

void PrintTo(const ToneCase& c, std::ostream* os) {
    *os << c.frequencyHz << " Hz for " << c.durationMs << " ms";
}

class ToneSamples : public ::testing::TestWithParam<ToneCase> {};

TEST_P(ToneSamples, HaveTheFrequencyAndDurationAsked) {
    const auto [frequency, duration] = GetParam();
    const auto samples = GenerateToneSamples(frequency, duration, kToneSampleRate);
    ASSERT_EQ(samples.size(), kToneSampleRate * duration / 1000);

    const double expectedChanges = 2.0 * frequency * duration / 1000.0;
    EXPECT_NEAR(SignChanges(samples), expectedChanges, 2.0);
    EXPECT_GT(RelativePowerAt(samples, frequency), 0.8);
    EXPECT_LT(RelativePowerAt(samples, frequency * 1.5), 0.05);

    const auto loudest = *std::max_element(samples.begin(), samples.end());
    EXPECT_GT(loudest, 8000) << "audible";
    const std::size_t edge = kToneSampleRate / 2000;  // the first and last half millisecond
    for (std::size_t i = 0; i < edge; ++i) {
        EXPECT_LT(std::abs(samples[i]), loudest / 4) << "fades in, sample " << i;
        EXPECT_LT(std::abs(samples[samples.size() - 1 - i]), loudest / 4) << "fades out";
    }
}

INSTANTIATE_TEST_SUITE_P(Beeps, ToneSamples,
                         ::testing::Values(ToneCase{300, 300}, ToneCase{1000, 300},
                                           ToneCase{300, 1000}, ToneCase{1000, 1000},
                                           ToneCase{1000, 20}, ToneCase{300, 50}),
                         vx::testing::PrintedCaseName());

TEST(ToneSamplesSilence, InaudibleFrequenciesGiveSilenceOfTheSameLength) {
    for (const unsigned frequency : {0u, kToneSampleRate / 2, kToneSampleRate}) {
        const auto samples = GenerateToneSamples(frequency, 100, kToneSampleRate);
        EXPECT_EQ(samples.size(), kToneSampleRate / 10) << frequency;
        EXPECT_TRUE(std::all_of(samples.begin(), samples.end(), [](auto s) { return s == 0; }))
            << frequency;
    }
}

}  // namespace
}  // namespace vx::platform
