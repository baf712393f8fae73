#include <gtest/gtest.h>

#include <cmath>

#include "decoding/StreamDecoder.h"
#include "generation/FskSynth.h"
#include "generation/SignalImage.h"
#include "tests/support/TestSignals.h"

namespace ringlark {
namespace {

std::vector<TStreamEvent> Decode(const std::vector<float>& samples, double rate) {
    TStreamDecoder decoder(rate);
    std::vector<TStreamEvent> events;
    for (std::size_t at = 0; at < samples.size(); at += 1000) {
        const std::size_t n = std::min<std::size_t>(1000, samples.size() - at);
        decoder.Feed(std::span<const float>(samples.data() + at, n), events);
    }
    decoder.Finish(events);
    return events;
}

std::vector<TAlertTone> Tones(const std::vector<float>& samples, double rate) {
    std::vector<TAlertTone> tones;
    for (const auto& e : Decode(samples, rate)) {
        if (e.Kind != TStreamEvent::TKind::Message) {
            tones.push_back(e.Tone);
        }
    }
    return tones;
}

// Tones at the given frequencies and amplitude (each), between quiet gaps.
std::vector<float> ToneBurst(double rate, std::vector<double> hz, double amplitude, double seconds,
                             double before = 0.1, double after = 0.1) {
    std::vector<float> samples(static_cast<std::size_t>(before * rate), 0.0f);
    const auto n = static_cast<std::size_t>(std::lround(seconds * rate));
    for (std::size_t i = 0; i < n; ++i) {
        double v = 0;
        for (double f : hz) {
            v += amplitude * std::sin(2 * M_PI * f * static_cast<double>(i) / rate + f);
        }
        samples.push_back(static_cast<float>(v));
    }
    samples.resize(samples.size() + static_cast<std::size_t>(after * rate), 0.0f);
    return samples;
}

TEST(AlertTones, TheCallWaitingImageReportsItsSubscriberAlertAndDualTone) {
    TFskSynth synth;
    TCidRequest request;
    request.Kind = TMessageKind::Sdmf;
    request.NumberText = "8005551212";
    request.DateText = "1207";
    request.TimeText = "0930";
    const Bytes image =
        SynthesiseImage(synth, BuildCidMessage(request, {}), TSignalling::CallWaiting);
    const auto events = Decode(ImageSamples(image), 44100);
    ASSERT_EQ(events.size(), 3u);
    ASSERT_EQ(events[0].Kind, TStreamEvent::TKind::Subscriber);
    ASSERT_EQ(events[1].Kind, TStreamEvent::TKind::DualTone);
    ASSERT_EQ(events[2].Kind, TStreamEvent::TKind::Message);
    // 300 ms of 440 Hz, then straight on 100 ms of 2130 + 2750 Hz, each tone at
    // 63 of 128 (-6.2 dBFS).
    const TAlertTone& sas = events[0].Tone;
    EXPECT_NEAR(sas.Seconds, 0.0, 0.002);
    EXPECT_NEAR(sas.Duration, 0.300, 0.002);
    EXPECT_NEAR(sas.LowHz, 440.0, 0.5);
    EXPECT_NEAR(sas.LowDbfs, 20 * std::log10(63.0 / 128), 0.3);
    const TAlertTone& cas = events[1].Tone;
    EXPECT_NEAR(cas.Seconds, 0.300, 0.002);
    EXPECT_NEAR(cas.Duration, 0.100, 0.002);
    EXPECT_NEAR(cas.LowHz, 2130.0, 1.0);
    EXPECT_NEAR(cas.HighHz, 2750.0, 1.0);
    EXPECT_NEAR(cas.LowDbfs, 20 * std::log10(63.0 / 128), 0.3);
    EXPECT_NEAR(cas.HighDbfs, 20 * std::log10(63.0 / 128), 0.3);
    EXPECT_EQ(events[2].Message.Message, BuildCidMessage(request, {}));
}

TEST(AlertTones, DurationsAndLevelsAreMeasuredAtEveryRateWhereverTheToneFalls) {
    for (double rate : {8000.0, 11025.0, 22050.0, 48000.0, 96000.0}) {
        for (double seconds : {0.021, 0.080, 0.0875, 0.110}) {
            for (double before : {0.1, 0.1013, 0.1027}) {
                const auto tones = Tones(ToneBurst(rate, {2130, 2750}, 0.1, seconds, before), rate);
                ASSERT_EQ(tones.size(), 1u) << rate << " " << seconds << " " << before;
                EXPECT_NEAR(tones[0].Duration, seconds, 0.002) << rate << " " << seconds;
                EXPECT_NEAR(tones[0].Seconds, before, 0.002) << rate << " " << before;
                EXPECT_NEAR(tones[0].LowDbfs, -20.0, 0.3) << rate;
                EXPECT_NEAR(tones[0].HighDbfs, -20.0, 0.3) << rate;
            }
        }
    }
}

TEST(AlertTones, TonesWithinTheToleranceAreTakenAndTonesOutsideAreNot) {
    const double rate = 11025;
    for (double factor : {0.99, 1.0, 1.01}) {
        const auto tones = Tones(ToneBurst(rate, {2130 * factor, 2750 * factor}, 0.2, 0.08), rate);
        ASSERT_EQ(tones.size(), 1u) << factor;
        EXPECT_NEAR(tones[0].LowHz, 2130 * factor, 2.0);
        EXPECT_NEAR(tones[0].HighHz, 2750 * factor, 2.0);
    }
    for (double factor : {0.97, 0.985, 1.015, 1.03, 1.06}) {
        EXPECT_TRUE(Tones(ToneBurst(rate, {2130 * factor, 2750 * factor}, 0.2, 0.08), rate).empty())
            << factor;
    }
}

TEST(AlertTones, NothingElseIsAnAlert) {
    const double rate = 44100;
    // a single tone of the pair, another pair, a burst of 15 ms, a 425 Hz dial
    // tone, a 350 + 440 Hz dial tone, a far too quiet pair
    EXPECT_TRUE(Tones(ToneBurst(rate, {2130}, 0.3, 0.2), rate).empty());
    EXPECT_TRUE(Tones(ToneBurst(rate, {2750}, 0.3, 0.2), rate).empty());
    EXPECT_TRUE(Tones(ToneBurst(rate, {2000, 2900}, 0.2, 0.2), rate).empty());
    EXPECT_TRUE(Tones(ToneBurst(rate, {2130, 2750}, 0.2, 0.015), rate).empty());
    EXPECT_TRUE(Tones(ToneBurst(rate, {425}, 0.3, 1.0), rate).empty());
    EXPECT_TRUE(Tones(ToneBurst(rate, {350, 440}, 0.2, 1.0), rate).empty());
    EXPECT_TRUE(Tones(ToneBurst(rate, {2130, 2750}, 0.001, 0.1), rate).empty());
    // white noise
    for (uint64_t seed = 1; seed <= 5; ++seed) {
        TGaussianNoise noise(seed);
        std::vector<float> samples(static_cast<std::size_t>(rate * 3));
        for (auto& v : samples) {
            v = static_cast<float>(0.2 * noise.Next());
        }
        EXPECT_TRUE(Tones(samples, rate).empty()) << seed;
    }
    // the FSK itself
    TFskSynth synth;
    for (uint64_t seed = 1; seed <= 5; ++seed) {
        const Bytes image = SynthesiseImage(synth, RandomMdmfMessage(seed), TSignalling::OnHook);
        EXPECT_TRUE(Tones(ImageSamples(image), 44100).empty()) << seed;
    }
}

TEST(AlertTones, SpeechIsNotAnAlert) {
    for (uint64_t seed = 1; seed <= 7; ++seed) {
        EXPECT_TRUE(Tones(SpeechLike(8000, seed, 2.5), 8000).empty()) << seed;
    }
}

TEST(AlertTones, AToneInNoiseIsStillFound) {
    const double rate = 8000;
    for (uint64_t seed = 1; seed <= 10; ++seed) {
        const auto samples =
            AddNoise(ToneBurst(rate, {2130, 2750}, 0.1, 0.08, 0.2, 0.2), 20, 0, seed);
        const auto tones = Tones(samples, rate);
        ASSERT_EQ(tones.size(), 1u) << seed;
        EXPECT_NEAR(tones[0].Duration, 0.080, 0.004) << seed;
    }
}

}  // namespace
}  // namespace ringlark
