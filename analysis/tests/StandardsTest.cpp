// Caller ID of other standards: V.23 FSK (ETSI, BT) and DTMF, generated and
// decoded, and never taken for each other.
#include <gtest/gtest.h>

#include "analysis/CorrelationDecoder.h"
#include "analysis/FskFamily.h"
#include "generation/FskSynth.h"
#include "generation/MessageBuilder.h"
#include "generation/SignalImage.h"
#include "generation/Standards.h"
#include "inspection/MessageRules.h"
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

// A V.23 signal at any rate, with the tones scaled by `factor`.
std::vector<float> V23Signal(const Bytes& message, double rate, double factor = 1.0) {
    TFskSignal signal;
    signal.Rate = rate;
    signal.ToneFactor = factor;
    signal.MarkHz = V23MarkHz;
    signal.SpaceHz = V23SpaceHz;
    return SynthesiseFsk(message, signal);
}

std::vector<float> BellSignal(const Bytes& message, double rate, double factor = 1.0) {
    TFskSignal signal;
    signal.Rate = rate;
    signal.ToneFactor = factor;
    return SynthesiseFsk(message, signal);
}

TEST(V23, GeneratedImagesDecodeWithTheV23TagAndNeverAsBell202) {
    const Bytes message = EtsiMessage();
    for (TCidStandard standard : {TCidStandard::EtsiV23, TCidStandard::Bt}) {
        for (TSignalling signalling : {TSignalling::OnHook, TSignalling::CallWaiting}) {
            const Bytes image = SynthesiseV23Image(
                message, V23TimingFor(standard, signalling, true), 63);
            const auto v23 = TCorrelationDecoder::For(standard).DecodeImage(image);
            ASSERT_EQ(v23.size(), 1u) << StandardName(standard);
            EXPECT_EQ(v23[0].Message, message);
            EXPECT_TRUE(TCorrelationDecoder().DecodeImage(image).empty());
        }
    }
}

TEST(V23, EachFamilyIsTakenOnlyForItselfAtEveryRateAndWithinOnePointFivePercent) {
    const Bytes message = EtsiMessage();
    for (double rate : {8000.0, 11025.0, 22050.0, 44100.0}) {
        for (double factor : {0.985, 1.0, 1.015}) {
            for (uint64_t seed = 1; seed <= 2; ++seed) {
                const auto v23 = AddNoise(V23Signal(message, rate, factor), 15, 2000, seed);
                const auto bell = AddNoise(BellSignal(message, rate, factor), 15, 2000, seed);
                const auto v23Found =
                    TCorrelationDecoder::For(TCidStandard::EtsiV23).Decode(v23, rate);
                ASSERT_EQ(v23Found.size(), 1u) << rate << " " << factor;
                EXPECT_EQ(v23Found[0].Message, message);
                EXPECT_TRUE(TCorrelationDecoder().Decode(v23, rate).empty()) << rate << " " << factor;
                EXPECT_EQ(TCorrelationDecoder().Decode(bell, rate).size(), 1u) << rate << " " << factor;
                EXPECT_TRUE(TCorrelationDecoder::For(TCidStandard::EtsiV23).Decode(bell, rate).empty())
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
