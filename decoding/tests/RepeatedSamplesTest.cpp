// Stretches a capture played again are found where the recording's noise
// makes an exact repeat impossible by chance, and nowhere else: not in a
// synthetic tone written at 8 or 16 bits (which repeats itself wherever its
// period divides the delay), not at a clipped signal's rails, not in silence.
#include "decoding/tones/RepeatedSamples.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/support/TestSignals.h"

namespace ringlark {
namespace {

// A steady tone in white noise (0 for none), rounded to `bits` (0: floats).
std::vector<float> Tone(double rate, double hz, double seconds, double noise, int bits,
                        uint64_t seed = 1) {
    TGaussianNoise gauss(seed);
    std::vector<float> x(static_cast<std::size_t>(seconds * rate));
    for (std::size_t i = 0; i < x.size(); ++i) {
        double v =
            0.5 * std::sin(2 * M_PI * hz * static_cast<double>(i) / rate) + noise * gauss.Next();
        if (bits > 0) {
            const double steps = std::pow(2.0, bits - 1);
            v = std::round(v * steps) / steps;
        }
        x[i] = static_cast<float>(v);
    }
    return x;
}

std::vector<TRepeat> Find(const std::vector<float>& x, double rate, double hz) {
    const TVectorSamples view(x);
    const double noise = NoiseInSteps(view, 0, x.size() / 4, rate, hz);
    return FindRepeats(view, x.size() / 4, x.size(), rate, noise);
}

TEST(RepeatedSamples, AStretchPlayedAgainIsFoundWhereItIs) {
    const double rate = 44100;
    for (int bits : {0, 16}) {
        std::vector<float> x = Tone(rate, 1200, 0.3, 0.05, bits);
        EXPECT_TRUE(Find(x, rate, 1200).empty()) << bits;
        // 0.7 ms from half a bit earlier, over 0.5 ms from 0.1 s: the second
        // reaches back further than it is long, the first does not.
        RepeatSamples(x, 6000, 31, 18);
        RepeatSamples(x, 4410 * 2, 22, 300);
        const auto found = Find(x, rate, 1200);
        ASSERT_EQ(found.size(), 2u) << bits;
        EXPECT_EQ(found[0].From, 6000u);
        EXPECT_EQ(found[0].To, 6018u);  // the rest repeats samples no longer there
        EXPECT_EQ(found[0].Delay, 18u);
        EXPECT_TRUE(found[0].MayGoOn);
        EXPECT_EQ(found[1].From, 8820u);
        EXPECT_EQ(found[1].To, 8842u);
        EXPECT_EQ(found[1].Delay, 300u);
        EXPECT_FALSE(found[1].MayGoOn);
    }
}

TEST(RepeatedSamples, NothingIsFoundWhereTheRecordingCannotTellARepeat) {
    // 1200 Hz at 8000/s repeats itself every 20 samples: written at 16 or 8
    // bits without noise, its samples are equal there, and are not a slip.
    for (int bits : {8, 16}) {
        std::vector<float> x = Tone(8000, 1200, 0.5, 0, bits);
        const TVectorSamples view(x);
        EXPECT_LT(NoiseInSteps(view, 0, 1000, 8000, 1200), kMinNoiseSteps) << bits;
        RepeatSamples(x, 3000, 6, 7);
        EXPECT_TRUE(Find(x, 8000, 1200).empty()) << bits;
    }
    // A noisy tone clipped at its rails: runs of equal samples at many delays.
    std::vector<float> clipped = Tone(44100, 1200, 0.2, 0.02, 16);
    ClipSamples(clipped, 0.3f);
    EXPECT_TRUE(Find(clipped, 44100, 1200).empty());
    // Silence, and digital silence with a click.
    std::vector<float> silence(8820, 0.0f);
    silence[5000] = 0.5f;
    EXPECT_EQ(NoiseInSteps(TVectorSamples(silence), 0, 2000, 44100, 1200), 0.0);
    EXPECT_TRUE(Find(silence, 44100, 1200).empty());
}

TEST(RepeatedSamples, ShortOrChanceRepeatsAreNotTakenForSlips) {
    // Two samples played again are too few to tell from chance at 8 bits of
    // noise; seven at float precision are enough.
    std::vector<float> coarse = Tone(8000, 1200, 0.5, 0.03, 8);
    RepeatSamples(coarse, 3000, 2, 9);
    EXPECT_TRUE(Find(coarse, 8000, 1200).empty());
    std::vector<float> fine = Tone(8000, 1200, 0.5, 0.03, 0);
    RepeatSamples(fine, 3000, 7, 9);
    const auto found = Find(fine, 8000, 1200);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].From, 3000u);
    EXPECT_EQ(found[0].To, 3007u);
}

}  // namespace
}  // namespace ringlark
