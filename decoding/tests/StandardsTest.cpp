// Caller ID of other standards: V.23 FSK (ETSI, BT) and DTMF, generated and
// decoded, and never taken for each other.
#include <gtest/gtest.h>

#include <cmath>

#include "decoding/fsk/CorrelationDecoder.h"
#include "decoding/fsk/FskFamily.h"
#include "decoding/tones/DtmfDecoder.h"
#include "generation/FskSynth.h"
#include "generation/SignalImage.h"
#include "generation/StandardsSynth.h"
#include "protocol/DtmfCallerId.h"
#include "protocol/MessageFormat.h"
#include "protocol/MessageRules.h"
#include "tests/support/TestSignals.h"
#include "tests/support/TestSupport.h"

namespace ringlark {
namespace {

Bytes EtsiMessage() {
    TCidRequest request;
    request.Kind = TMessageKind::Mdmf;
    request.NumberText = "0123456789";
    request.NameText = "ANNA";
    request.DateText = "1207";
    request.TimeText = "0930";
    return BuildCidMessage(request, {});
}

// A Bell 202 or V.23 signal at any rate, with the tones scaled by `factor`.
std::vector<float> FskSignal(const Bytes& message, double rate, bool v23, double factor = 1.0) {
    TFskSignal signal;
    signal.Rate = rate;
    signal.ToneFactor = factor;
    if (v23) {
        signal.MarkHz = V23MarkHz;
        signal.SpaceHz = V23SpaceHz;
    }
    return SynthesiseFsk(message, signal);
}

TEST(V23, GeneratedImagesDecodeWithTheV23TagAndNeverAsBell202) {
    const Bytes message = EtsiMessage();
    for (TCidStandard standard : {TCidStandard::EtsiV23, TCidStandard::Bt}) {
        for (TSignalling signalling : {TSignalling::OnHook, TSignalling::CallWaiting}) {
            const Bytes image =
                SynthesiseV23Image(message, V23TimingFor(standard, signalling, true), 63);
            const auto v23 = TCorrelationDecoder::For(standard).DecodeImage(image);
            ASSERT_EQ(v23.size(), 1u) << StandardName(standard);
            EXPECT_EQ(v23[0].Message, message);
            EXPECT_TRUE(TCorrelationDecoder().DecodeImage(image).empty());
        }
    }
}

// An image at another rate by linear interpolation, as a sound card or a
// resampler would hand it on.
std::vector<float> AtRate(const std::vector<float>& samples, double rate) {
    std::vector<float> out;
    const double step = 44100.0 / rate;
    for (double t = 0; t + 1 < static_cast<double>(samples.size()); t += step) {
        const auto i = static_cast<std::size_t>(t);
        const auto f = static_cast<float>(t - static_cast<double>(i));
        out.push_back(samples[i] * (1 - f) + samples[i + 1] * f);
    }
    return out;
}

// Call waiting sends no seizure: what comes before its mark run (the dual-tone
// alert, whose beat is nearly two bits long, and the quiet after it) must not
// set the bit clock, at any rate.
TEST(V23, CallWaitingAfterItsAlertDecodesAtEveryRate) {
    const Bytes message = EtsiMessage();
    const Bytes image = SynthesiseV23Image(
        message, V23TimingFor(TCidStandard::EtsiV23, TSignalling::CallWaiting, true), 63);
    for (double rate : {8000.0, 11025.0, 16000.0, 22050.0, 44100.0}) {
        const auto found = TCorrelationDecoder::For(TCidStandard::EtsiV23)
                               .Decode(AtRate(ImageSamples(image), rate), rate);
        ASSERT_EQ(found.size(), 1u) << rate;
        EXPECT_EQ(found[0].Message, message) << rate;
        EXPECT_FALSE(found[0].Uncertain) << rate;
    }
}

TEST(V23, EachFamilyIsTakenOnlyForItselfAtEveryRateAndWithinOnePointFivePercent) {
    const Bytes message = EtsiMessage();
    for (double rate : {8000.0, 11025.0, 22050.0, 44100.0}) {
        for (double factor : {0.985, 1.0, 1.015}) {
            for (uint64_t seed = 1; seed <= 2; ++seed) {
                const auto v23 = AddNoise(FskSignal(message, rate, true, factor), 15, 2000, seed);
                const auto bell = AddNoise(FskSignal(message, rate, false, factor), 15, 2000, seed);
                const auto v23Found =
                    TCorrelationDecoder::For(TCidStandard::EtsiV23).Decode(v23, rate);
                ASSERT_EQ(v23Found.size(), 1u) << rate << " " << factor;
                EXPECT_EQ(v23Found[0].Message, message);
                EXPECT_TRUE(TCorrelationDecoder().Decode(v23, rate).empty())
                    << rate << " " << factor;
                EXPECT_EQ(TCorrelationDecoder().Decode(bell, rate).size(), 1u)
                    << rate << " " << factor;
                EXPECT_TRUE(
                    TCorrelationDecoder::For(TCidStandard::EtsiV23).Decode(bell, rate).empty())
                    << rate << " " << factor;
            }
        }
    }
}

TEST(EtsiRules, TheEtsiTypesAndParametersAreKnownOnlyToEtsi) {
    // advice of charge with a called line identity and a call type
    const Bytes aoc = FrameMessage(0x86, test::HexBytes("03 03 31 32 33 11 01 01"));
    EXPECT_TRUE(CheckMessage(aoc, TCidStandard::EtsiV23).Passed);
    EXPECT_EQ(CheckMessage(aoc).Reason, "unknown message type");
    const Bytes badCallType = FrameMessage(0x80, test::HexBytes("11 01 09"));
    EXPECT_EQ(CheckMessage(badCallType, TCidStandard::Bt).Reason, "unknown call type");
    const Bytes absent = FrameMessage(0x80, test::HexBytes("04 01 50 08 01 4F"));
    EXPECT_TRUE(CheckMessage(absent, TCidStandard::EtsiV23).Passed);
    const Bytes sdmf = test::HexBytes("04 0C 30 31 30 31 31 32 30 30 31 32 33 34 A1");
    EXPECT_TRUE(CheckMessage(sdmf).Passed);
    EXPECT_EQ(CheckMessage(sdmf, TCidStandard::EtsiV23).Reason, "unknown message type");
}

}  // namespace
}  // namespace ringlark

namespace ringlark {
namespace {

struct TDtmfSignal {
    double Rate = 8000;
    double ToneSeconds = 0.070;
    double GapSeconds = 0.070;
    double Factor = 1.0;      // both tones scaled
    double TwistDb = 0;       // column level over row level
    double Amplitude = 0.25;  // of the row tone
};

std::vector<float> DtmfSignal(std::string_view digits, const TDtmfSignal& s) {
    std::vector<float> samples(static_cast<std::size_t>(0.2 * s.Rate), 0.0f);
    const double column = s.Amplitude * std::pow(10.0, s.TwistDb / 20);
    for (char c : digits) {
        const auto tones = DtmfTones(c);
        const auto n = static_cast<std::size_t>(s.ToneSeconds * s.Rate);
        for (std::size_t i = 0; i < n; ++i) {
            const double t = static_cast<double>(i) / s.Rate;
            samples.push_back(
                static_cast<float>(s.Amplitude * std::sin(2 * M_PI * tones->first * s.Factor * t) +
                                   column * std::sin(2 * M_PI * tones->second * s.Factor * t + 1)));
        }
        samples.resize(samples.size() + static_cast<std::size_t>(s.GapSeconds * s.Rate), 0.0f);
    }
    samples.resize(samples.size() + static_cast<std::size_t>(0.2 * s.Rate), 0.0f);
    return samples;
}

TEST(Dtmf, EveryFramingIsGeneratedAndReadBack) {
    for (TDtmfFraming framing : {TDtmfFraming::StartAEndC, TDtmfFraming::StartAEndHash,
                                 TDtmfFraming::StartDEndC, TDtmfFraming::EndHash}) {
        for (bool isPrivate : {false, true}) {
            const std::string digits = DtmfDigits("012-345 6789", isPrivate, false, framing);
            const Bytes image = SynthesiseDtmfImage(digits, 63);
            const auto found = DecodeDtmfImage(image);
            ASSERT_EQ(found.size(), 1u) << digits;
            EXPECT_EQ(found[0].Digits, digits);
            EXPECT_NEAR(found[0].Seconds, 0.0, 0.002);
            // and nothing of it is FSK
            EXPECT_TRUE(TCorrelationDecoder().DecodeImage(image).empty());
        }
    }
    EXPECT_EQ(DtmfDigits("0123456789", false, false, TDtmfFraming::StartAEndC), "A0123456789C");
    EXPECT_EQ(DtmfDigits("", true, false, TDtmfFraming::StartAEndC), "B10C");
    EXPECT_EQ(DtmfDigits("", false, true, TDtmfFraming::StartAEndC), "B00C");
    EXPECT_EQ(DtmfDigits("5", true, false, TDtmfFraming::StartAEndHash), "D1#");
    EXPECT_EQ(DtmfDigits("5", false, true, TDtmfFraming::EndHash), "D3#");
    EXPECT_EQ(DtmfDigits("5", false, false, TDtmfFraming::StartDEndC), "D5C");
}

TEST(Dtmf, ReadsAtEveryRateInNoiseAndWithinTheFrequencyTolerance) {
    const std::string digits = "A0123456789C";
    for (double rate : {8000.0, 11025.0, 22050.0, 44100.0}) {
        for (double factor : {0.985, 1.0, 1.015}) {
            TDtmfSignal signal;
            signal.Rate = rate;
            signal.Factor = factor;
            const auto found = DecodeDtmf(DtmfSignal(digits, signal), rate);
            ASSERT_EQ(found.size(), 1u) << rate << " " << factor;
            EXPECT_EQ(found[0].Digits, digits);
        }
    }
    int decoded = 0;
    for (uint64_t seed = 1; seed <= 20; ++seed) {
        const auto noisy = AddNoise(DtmfSignal(digits, {}), 10, 0, seed);
        const auto found = DecodeDtmf(noisy, 8000);
        decoded += found.size() == 1 && found[0].Digits == digits ? 1 : 0;
        for (const auto& m : found) {
            EXPECT_EQ(m.Digits, digits) << seed;  // never a wrong one
        }
    }
    EXPECT_GE(decoded, 18);
}

TEST(Dtmf, RefusesWhatIsNotACallerIdDigit) {
    const std::string digits = "A0123456789C";
    TDtmfSignal far;
    far.Factor = 1.035;
    EXPECT_TRUE(DecodeDtmf(DtmfSignal(digits, far), 8000).empty());
    far.Factor = 0.965;
    EXPECT_TRUE(DecodeDtmf(DtmfSignal(digits, far), 8000).empty());
    TDtmfSignal twisted;
    for (double twist : {-8.0, 8.0}) {  // one tone 8 dB above the other
        twisted.TwistDb = twist;
        const auto found = DecodeDtmf(DtmfSignal(digits, twisted), 8000);
        ASSERT_EQ(found.size(), 1u) << twist;
        EXPECT_EQ(found[0].Digits, digits);
    }
    twisted.TwistDb = -12;
    EXPECT_TRUE(DecodeDtmf(DtmfSignal(digits, twisted), 8000).empty());
    // a lost digit or a tone broken in two would give another number
    TDtmfSignal steady;
    std::vector<float> lost = DtmfSignal("A0123456789C", steady);
    const std::size_t fifth = static_cast<std::size_t>((0.2 + 5 * 0.14) * 8000);
    std::fill(lost.begin() + static_cast<std::ptrdiff_t>(fifth),
              lost.begin() + static_cast<std::ptrdiff_t>(fifth + 560), 0.0f);
    EXPECT_TRUE(DecodeDtmf(lost, 8000).empty());
    // every other digit lost: an even cadence of double steps is no message
    TDtmfSignal sparse;
    sparse.GapSeconds = 0.070 + 0.140;
    EXPECT_TRUE(DecodeDtmf(DtmfSignal("A13579C", sparse), 8000).empty());
    // a long pause between short tones is still read (50 ms tone, 100 ms gap)
    TDtmfSignal slow;
    slow.ToneSeconds = 0.050;
    slow.GapSeconds = 0.100;
    ASSERT_EQ(DecodeDtmf(DtmfSignal(digits, slow), 8000).size(), 1u);
    TDtmfSignal short30;
    short30.ToneSeconds = 0.030;
    EXPECT_TRUE(DecodeDtmf(DtmfSignal(digits, short30), 8000).empty());
    // speech
    for (uint64_t seed = 1; seed <= 7; ++seed) {
        EXPECT_TRUE(DecodeDtmf(SpeechLike(8000, seed, 2.5), 8000).empty()) << seed;
    }
    // digits without a caller-ID shape
    EXPECT_TRUE(DecodeDtmf(DtmfSignal("12*34", {}), 8000).empty());
    // FSK of both families
    TFskSynth synth;
    EXPECT_TRUE(
        DecodeDtmfImage(SynthesiseImage(synth, EtsiMessage(), TSignalling::OnHook)).empty());
    EXPECT_TRUE(DecodeDtmfImage(SynthesiseV23Image(
                                    EtsiMessage(),
                                    V23TimingFor(TCidStandard::Bt, TSignalling::OnHook, true), 63))
                    .empty());
}

TEST(Dtmf, DigitsAreParsedByTheirFraming) {
    EXPECT_EQ(DtmfFieldsText("A0123456789C"), "Calling Number: 0123456789");
    EXPECT_EQ(DtmfFieldsText("A012D345B10C"),
              "Calling Number: 012; Redirecting Number: 345; Reason for Absence: Private");
    EXPECT_EQ(DtmfFieldsText("B00C"), "Reason for Absence: Unavailable");
    EXPECT_EQ(DtmfFieldsText("B01C", {"00", "01"}), "Reason for Absence: Private");
    EXPECT_EQ(DtmfFieldsText("D2#"), "Reason for Absence: International");
    EXPECT_EQ(DtmfFieldsText("D0123C"), "Calling Number: 0123");
    EXPECT_EQ(DtmfFieldsText("0123#"), "Calling Number: 0123");
    EXPECT_TRUE(ParseDtmfDigits("A0123C").Valid);
    EXPECT_FALSE(ParseDtmfDigits("A0123").Valid);
    EXPECT_FALSE(ParseDtmfDigits("B1C").Valid);
    EXPECT_FALSE(ParseDtmfDigits("*#").Valid);
    EXPECT_FALSE(ParseDtmfDigits("0123C").Valid);  // no start character: only #
}

}  // namespace
}  // namespace ringlark
