// DTMF impairments read back by Ringlark's own tone detectors: the DTMF
// detector gives each digit's start and length, and the dual-tone detector,
// set to a digit's two tones, their frequencies and levels.
#include <gtest/gtest.h>

#include <cmath>

#include "decoding/tones/AlertTones.h"
#include "decoding/tones/DtmfDecoder.h"
#include "testsignal/LineEffects.h"
#include "testsignal/tests/ReadbackSupport.h"

namespace ringlark {
namespace {

TTestSignal Signal(int rate) {
    TTestSignal s;
    s.Standard = TCidStandard::Dtmf;
    s.Digits = "A8005551212C";
    s.Rate = rate;
    return s;
}

std::vector<TDtmfDigit> Digits(const std::vector<float>& x, double rate) {
    TDtmfDetector detector(rate);
    std::vector<TDtmfDigit> found;
    for (float v : x) {
        detector.Push(v, found);
    }
    detector.Finish(found);
    return found;
}

// The tones of the digit 8 (852 + 1336 Hz), searched for a frequency error.
std::vector<TAlertTone> EightTones(const std::vector<float>& x, double rate, double factor) {
    TAlertToneDetector::TSettings settings = TAlertToneDetector::DualTone();
    settings.Frequencies = {852 * factor, 1336 * factor};
    settings.Tolerance = 0.002;
    TAlertToneDetector detector(rate, settings);
    std::vector<TAlertTone> found;
    for (float v : x) {
        detector.Push(v, found);
    }
    detector.Finish(found);
    return found;
}

TEST(DtmfReadback, ToneAndGapLengths) {
    for (int rate : {8000, 44100}) {
        TTestSignal s = Signal(rate);
        s.Impairments.DtmfToneMs = 55;
        s.Impairments.DtmfGapMs = 85;
        const std::vector<float> x = test::ThroughFile(s, TSampleFormat::S16);
        const auto digits = Digits(x, rate);
        ASSERT_EQ(digits.size(), 12u) << rate;
        for (std::size_t i = 0; i < digits.size(); ++i) {
            EXPECT_EQ(digits[i].Digit, s.Digits[i]);
            EXPECT_NEAR(digits[i].Duration, 0.055, 0.005) << rate << " " << i;
            if (i > 0) {
                EXPECT_NEAR(digits[i].Seconds - digits[i - 1].Seconds, 0.140, 0.001) << rate;
            }
        }
        ASSERT_EQ(DecodeDtmf(x, rate).size(), 1u);
        EXPECT_EQ(DecodeDtmf(x, rate)[0].Digits, "A8005551212C");
    }
}

TEST(DtmfReadback, LevelTwistAndFrequencyError) {
    for (int rate : {8000, 44100}) {
        TTestSignal s = Signal(rate);
        s.Impairments.LevelDbfs = -30;
        s.Impairments.TwistDb = -6;
        s.Impairments.DtmfErrorPct = 1.5;
        const std::vector<float> x = test::ThroughFile(s, TSampleFormat::S16);
        const auto tones = EightTones(x, rate, 1.015);
        ASSERT_EQ(tones.size(), 1u) << rate;
        EXPECT_NEAR(tones[0].LowHz, 852 * 1.015, 2) << rate;
        EXPECT_NEAR(tones[0].HighHz, 1336 * 1.015, 2) << rate;
        EXPECT_NEAR(tones[0].LowDbfs, -30, 0.3) << rate;
        EXPECT_NEAR(tones[0].HighDbfs, -24, 0.3) << rate;
        EXPECT_NEAR(tones[0].Duration, 0.070, 0.001) << rate;
        // at 1.5 % the DTMF decoder still reads the number
        ASSERT_EQ(DecodeDtmf(x, rate).size(), 1u) << rate;
    }
}

TEST(DtmfReadback, NoiseIsAtTheAskedRatioAndDeterministic) {
    TTestSignal s = Signal(8000);
    s.Impairments.SnrDb = 10;
    s.Impairments.Seed = 4;
    const std::vector<float> clean = SynthesiseTestSignal(Signal(8000));
    const std::vector<float> noisy = SynthesiseTestSignal(s);
    ASSERT_EQ(clean.size(), noisy.size());
    EXPECT_EQ(noisy, SynthesiseTestSignal(s));
    s.Impairments.Seed = 5;
    EXPECT_NE(noisy, SynthesiseTestSignal(s));
    // in 300-3400 Hz: the noise alone in the quiet before the first digit, and
    // the first digit's tones
    const std::vector<float> noiseBand = LineBand(noisy, 8000);
    const std::vector<float> toneBand = LineBand(clean, 8000);
    double noise = 0, signal = 0;
    const std::size_t quiet = 1600;  // 0.2 s
    for (std::size_t i = 0; i < quiet; ++i) {
        noise += static_cast<double>(noiseBand[i]) * noiseBand[i];
    }
    const std::size_t tone = 560;  // the first 70 ms tone
    for (std::size_t i = quiet; i < quiet + tone; ++i) {
        signal += static_cast<double>(toneBand[i]) * toneBand[i];
    }
    EXPECT_NEAR(10 * std::log10((signal / tone) / (noise / quiet)), 10, 0.5);
}

// DTMF caller ID in white noise of the telephone band at 3 dB SNR, as the
// generator makes it: at least 18 of 20 read exactly at 8000 and 44100/s,
// none read wrong; at 0 dB nothing may be read wrong either.
TEST(DtmfReadback, ReadAtThreeDecibelsInTheBandAndNeverWrong) {
    for (int rate : {8000, 44100}) {
        int exact = 0;
        for (uint64_t seed = 1; seed <= 20; ++seed) {
            for (double snr : {3.0, 0.0}) {
                TTestSignal s = Signal(rate);
                s.Digits = "A0123456789C";
                s.Impairments.SnrDb = snr;
                s.Impairments.Seed = seed;
                const std::vector<float> x = test::ThroughFile(s, TSampleFormat::S16);
                for (const TDtmfMessage& m : DecodeDtmf(x, rate)) {
                    EXPECT_EQ(m.Digits, s.Digits) << rate << " " << seed << " " << snr;
                    exact += snr == 3.0 && m.Digits == s.Digits ? 1 : 0;
                }
            }
        }
        EXPECT_GE(exact, 18) << rate;
    }
}

}  // namespace
}  // namespace ringlark
