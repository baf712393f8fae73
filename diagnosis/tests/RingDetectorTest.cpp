#include <gtest/gtest.h>

#include <cmath>

#include "diagnosis/LineRecording.h"
#include "diagnosis/RingDetector.h"
#include "tests/support/TestSignals.h"
#include "testsignal/TestSignal.h"

namespace ringlark {
namespace {

void ExpectCadence(const std::vector<TRingBurst>& found, const std::vector<TRingBurstShape>& sent,
                   double hz) {
    ASSERT_EQ(found.size(), sent.size());
    for (std::size_t i = 0; i < sent.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(found[i].Seconds, sent[i].Seconds, 0.02);
        EXPECT_NEAR(found[i].Duration, sent[i].Duration, 0.03);
        EXPECT_NEAR(found[i].Hz, hz, hz * 0.1);
        EXPECT_TRUE(found[i].Clipped);
    }
}

TEST(RingDetector, ClippedRingingInTheNorthAmericanAndUkCadencesAtAnyRate) {
    for (double rate : {8000.0, 11025.0, 44100.0, 48000.0}) {
        SCOPED_TRACE(rate);
        TLineRecordingLayout na;
        na.Rate = rate;
        na.Seconds = 15;
        na.Rings = NorthAmericanCadence(0.5, 3);
        const auto naRec = SynthesiseLineRecording(na);
        ExpectCadence(DetectRings(naRec, rate), na.Rings, 20);

        TLineRecordingLayout uk;
        uk.Rate = rate;
        uk.Seconds = 7;
        uk.RingHz = 25;
        uk.Rings = UkCadence(0.3, 2);
        const auto ukRec = SynthesiseLineRecording(uk);
        ExpectCadence(DetectRings(ukRec, rate), uk.Rings, 25);
    }
}

TEST(RingDetector, SlowFastAndRectifiedRingingAndAQuietInterface) {
    for (double hz : {16.0, 33.0, 50.0, 68.0}) {
        SCOPED_TRACE(hz);
        TLineRecordingLayout layout;
        layout.Seconds = 10;
        layout.RingHz = hz;
        layout.Rings = NorthAmericanCadence(1.0, 2);
        const auto found = DetectRings(SynthesiseLineRecording(layout), layout.Rate);
        ExpectCadence(found, layout.Rings, hz);
    }
    // an interface that rectifies 25 Hz ringing: bursts at 50 Hz
    TLineRecordingLayout rectified;
    rectified.Seconds = 8;
    rectified.RingHz = 25;
    rectified.Rectified = true;
    rectified.Rings = NorthAmericanCadence(0.7, 2);
    const auto found = DetectRings(SynthesiseLineRecording(rectified), rectified.Rate);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_NEAR(found[1].Seconds, 6.7, 0.02);
    EXPECT_NEAR(found[1].Hz, 50, 5);
    // not clipped at all: a ring at a quarter of full scale
    TLineRecordingLayout quiet;
    quiet.Seconds = 4;
    quiet.RingPeak = 0.25;
    quiet.Rings = {{1.0, 1.5}};
    const auto soft = DetectRings(SynthesiseLineRecording(quiet), quiet.Rate);
    ASSERT_EQ(soft.size(), 1u);
    EXPECT_FALSE(soft[0].Clipped);
    EXPECT_NEAR(soft[0].LevelDbfs, -12, 1);
}

TEST(RingDetector, FedInPiecesItFindsWhatTheWholeRecordingHolds) {
    TLineRecordingLayout layout;
    layout.Rate = 22050;
    layout.Seconds = 9;
    layout.Rings = UkCadence(0.2, 3);
    const auto samples = SynthesiseLineRecording(layout);
    const auto whole = DetectRings(samples, layout.Rate);
    TRingDetector detector(layout.Rate);
    std::vector<TRingBurst> pieces;
    for (std::size_t i = 0, n = 1; i < samples.size(); i += n, n = n * 3 % 4001 + 1) {
        detector.Push(std::span<const float>(samples).subspan(i, std::min(n, samples.size() - i)),
                      pieces);
    }
    detector.Finish(pieces);
    ASSERT_EQ(pieces.size(), whole.size());
    ASSERT_EQ(whole.size(), 6u);
    for (std::size_t i = 0; i < whole.size(); ++i) {
        EXPECT_DOUBLE_EQ(pieces[i].Seconds, whole[i].Seconds);
        EXPECT_DOUBLE_EQ(pieces[i].Duration, whole[i].Duration);
    }
    // a ring still running when the stream ends is reported by Finish
    TRingDetector cut(layout.Rate);
    std::vector<TRingBurst> early;
    cut.Push(std::span<const float>(samples).first(static_cast<std::size_t>(0.5 * layout.Rate)),
             early);
    EXPECT_TRUE(early.empty());
    cut.Finish(early);
    ASSERT_EQ(early.size(), 1u);
    EXPECT_NEAR(early[0].Duration, 0.3, 0.03);
}

TEST(RingDetector, NoRingInSpeechAlertTonesHumOrCallerId) {
    for (uint64_t seed = 1; seed <= 7; ++seed) {
        SCOPED_TRACE(seed);
        for (double gain : {1.0, 5.0}) {
            auto speech = SpeechLike(8000, seed, 6);
            for (auto& v : speech) {
                v = std::clamp(v * static_cast<float>(gain), -1.0f, 1.0f);
            }
            EXPECT_TRUE(DetectRings(speech, 8000).empty());
        }
    }
    EXPECT_TRUE(DetectRings(CallWaitingAlerts(8000, 0.9), 8000).empty());
    TTestSignal etsi;
    etsi.Standard = TCidStandard::EtsiV23;
    etsi.Alert = true;
    etsi.Message = ExampleMdmfMessage();
    etsi.Rate = 8000;
    etsi.Amplitude = 127;
    EXPECT_TRUE(DetectRings(SynthesiseTestSignal(etsi), 8000).empty());
    TTestSignal dtmf;
    dtmf.Standard = TCidStandard::Dtmf;
    dtmf.Digits = "A8005551212C";
    dtmf.Rate = 8000;
    EXPECT_TRUE(DetectRings(SynthesiseTestSignal(dtmf), 8000).empty());
    // loud mains hum that never stops is not ringing
    std::vector<float> hum(8000 * 10);
    for (std::size_t i = 0; i < hum.size(); ++i) {
        hum[i] = static_cast<float>(0.8 * std::sin(2 * M_PI * 50 * static_cast<double>(i) / 8000));
    }
    EXPECT_TRUE(DetectRings(hum, 8000).empty());
}

}  // namespace
}  // namespace ringlark
