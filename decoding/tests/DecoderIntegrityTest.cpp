// Method 3 never reports a wrong message: readings that another reading could
// explain are withheld, cut-off and malformed bursts give nothing, and the
// decoding quality stays above a floor at the key points of the sweep with no
// false message at any of them.
#include <gtest/gtest.h>

#include <cmath>

#include "decoding/fsk/CorrelationDecoder.h"
#include "decoding/fsk/MessageJudge.h"
#include "protocol/MessageFormat.h"
#include "protocol/MessageRules.h"
#include "tests/support/TestSignals.h"
#include "tests/support/TestSupport.h"

namespace ringlark {
namespace {

struct TCount {
    int Exact = 0;
    int False = 0;
    int Uncertain = 0;
};

TCount Decode(const std::vector<float>& samples, double rate, const Bytes& sent) {
    TCorrelationDecoder decoder;
    decoder.IncludeUncertain = true;
    TCount count;
    for (const auto& found : decoder.Decode(samples, rate)) {
        if (found.Uncertain) {
            ++count.Uncertain;
            EXPECT_TRUE(CheckMessage(found.Alternative).Passed);
        } else if (found.Message == sent) {
            ++count.Exact;
        } else {
            ++count.False;
            ADD_FAILURE() << "false message " << test::ToHex(found.Message) << " for "
                          << test::ToHex(sent);
        }
    }
    return count;
}

// Bits at the same position of two bytes, one a 1 and the other a 0: read the
// other way together, the byte sum is unchanged and so is the checksum. Both
// are sent near a tie (a blend of the two tones, up to 60 % of the wrong one;
// beyond that the signal itself carries the other message).
TEST(DecoderIntegrity, TwoErrorsThatCancelInTheChecksumAreNeverReported) {
    const Bytes sent = RandomMdmfMessage(3);
    // Two digits of the number (bytes 14 on) that differ in bit 1.
    std::size_t a = 0, b = 0;
    for (std::size_t i = 14; i < 24 && b == 0; ++i) {
        for (std::size_t j = i + 1; j < 24; ++j) {
            if (((ByteAt(sent, i) ^ ByteAt(sent, j)) & 0x02) != 0) {
                a = i;
                b = j;
                break;
            }
        }
    }
    ASSERT_NE(b, 0u) << test::ToHex(sent);
    Bytes corrupted = sent;
    corrupted[a] = static_cast<char>(corrupted[a] ^ 0x02);
    corrupted[b] = static_cast<char>(corrupted[b] ^ 0x02);
    ASSERT_TRUE(CheckMessage(corrupted).Passed);  // what a checksum alone would accept

    int seen = 0;
    for (double share : {0.45, 0.5, 0.55, 0.6}) {
        for (uint64_t seed = 1; seed <= 6; ++seed) {
            TFskSignal signal;
            signal.Blends = {{a * 8 + 1, share}, {b * 8 + 1, share}};
            const auto noisy = AddNoise(SynthesiseFsk(sent, signal), 14.0, 4410, seed);
            TCorrelationDecoder decoder;
            decoder.IncludeUncertain = true;
            for (const auto& found : decoder.Decode(noisy, 44100.0)) {
                ++seen;
                EXPECT_TRUE(found.Uncertain || found.Message == sent)
                    << "share " << share << " seed " << seed << ": " << test::ToHex(found.Message);
                if (found.Message == corrupted) {
                    EXPECT_TRUE(found.Uncertain);
                    EXPECT_EQ(found.Alternative, sent);
                }
            }
        }
    }
    EXPECT_GT(seen, 20);  // the bursts were read, and withheld where they had to be
}

TEST(DecoderIntegrity, CorruptedLengthsAndCutBurstsGiveNothing) {
    // A date/time whose length byte says 0x28, with a checksum that passes.
    const Bytes badLength =
        FrameMessage(0x80, Bytes("\x01\x28", 2) + "12070930" + Bytes("\x02\x03", 2) + "555");
    EXPECT_EQ(Decode(SynthesiseFsk(badLength, {}), 44100.0, badLength).Exact, 0);
    // A burst cut off in its middle, and one cut just before its checksum.
    const Bytes sent = RandomMdmfMessage(9);
    const auto whole = SynthesiseFsk(sent, {});
    for (double kept : {0.5, 0.97}) {
        const std::vector<float> cut(
            whole.begin(),
            whole.begin() + static_cast<std::ptrdiff_t>(static_cast<double>(whole.size()) * kept));
        const TCount count = Decode(cut, 44100.0, sent);
        EXPECT_EQ(count.Exact + count.False + count.Uncertain, 0) << kept;
    }
}

TEST(DecoderIntegrity, NothingFromNoiseHumOrTones) {
    for (uint64_t seed = 1; seed <= 3; ++seed) {
        const auto noise = AddNoise(std::vector<float>(1, 0.3f), 0.0, 88200, seed);
        EXPECT_EQ(Decode(noise, 44100.0, "").Uncertain, 0);
        auto hum = noise;
        AddHum(hum, 44100.0, 60.0, 10.0);
        EXPECT_EQ(Decode(hum, 44100.0, "").Uncertain, 0);
    }
    // the alert tones alone: 440 Hz and the 2130 + 2750 Hz dual tone
    std::vector<float> tones;
    for (int n = 0; n < 44100; ++n) {
        const double t = n / 44100.0;
        tones.push_back(static_cast<float>(
            n < 13230 ? 0.4 * std::sin(2 * M_PI * 440 * t)
                      : 0.2 * (std::sin(2 * M_PI * 2130 * t) + std::sin(2 * M_PI * 2750 * t))));
    }
    EXPECT_EQ(Decode(AddNoise(tones, 20.0, 0, 5), 44100.0, "").Uncertain, 0);
}

// A transmitter 3 % off the nominal bit rate reads as well as a nominal one:
// the bit clock comes from the channel seizure.
TEST(DecoderIntegrity, BitRateOffByThreePercent) {
    for (double factor : {0.97, 1.03}) {
        int exact = 0;
        for (uint64_t seed = 1; seed <= 10; ++seed) {
            const Bytes sent = RandomMdmfMessage(seed);
            TFskSignal signal;
            signal.BaudFactor = factor;
            exact +=
                Decode(AddNoise(SynthesiseFsk(sent, signal), 6.0, 4410, seed), 44100.0, sent).Exact;
        }
        EXPECT_EQ(exact, 10) << factor;
    }
}

// A generator that times its bits loosely: each edge up to a quarter of a
// bit off the clock, the clock 4 % fast, through a sound card (harmonics,
// clipped, a telephone band) at 8000/s and 10 dB. Read over three bits,
// these three gave a wrong message each (two digits whose bit 2 cancels in
// the checksum): the phase that carries across a change of tone moves with
// where the edge lies. Such a message is read one bit at a time.
TEST(DecoderIntegrity, EdgesFarOffTheClockGiveNoWrongMessage) {
    for (int seed : {177, 215, 450}) {
        const Bytes sent = RandomMdmfMessage(static_cast<uint64_t>(seed));
        TFskSignal signal;
        signal.Rate = 8000;
        signal.TwistDb = -4.5;
        signal.BaudFactor = 1.04;
        signal.BitJitter = 0.25;
        signal.StartPhase = 0.37 * seed;
        signal.JitterSeed = static_cast<uint64_t>(seed);
        std::vector<float> clean = SynthesiseFsk(sent, signal);
        AddHarmonics(clean, signal.Amplitude, 0.2, 0.0);
        ClipSamples(clean, 0.85f * static_cast<float>(signal.Amplitude));
        clean = TelephoneBand(clean, signal.Rate);
        const auto noisy = AddNoiseAtPower(clean, MeanPower(clean), 10.0, 800,
                                           static_cast<uint64_t>(seed) * 7919 + 60);
        EXPECT_EQ(Decode(noisy, signal.Rate, sent).False, 0) << seed;
    }
}

// Twenty bits cheaper than any pair the judge should find, none in the two
// bytes given, each a 0 in bits 0 to 5: read the other way they only add to
// the byte sum (at most 4 x 32 < 256), so no combination of them keeps the
// checksum. How many were set.
int AddDecoys(TSoftMessage& reading, std::size_t skip, std::size_t alsoSkip) {
    const Bytes& m = reading.Message;
    int decoys = 0;
    for (std::size_t i = 0; i < m.size() * 8 && decoys < 20; ++i) {
        if (i % 8 <= 5 && ((static_cast<uint8_t>(m[i / 8]) >> (i % 8)) & 1) == 0 && i / 8 != skip &&
            i / 8 != alsoSkip) {
            reading.DataCosts[i] = 1.0f + 0.05f * static_cast<float>(decoys++);
        }
    }
    return decoys;
}

// The judge on its own: a clean reading is accepted; one whose two weakest
// bits could be read the other way with a message that passes is withheld.
TEST(MessageJudge, WithholdsWhenTheWeakestBitsAllowAnotherMessage) {
    const Bytes sent =
        FrameMessage(0x80, Bytes("\x01\x08", 2) + "12070930" + Bytes("\x02\x04", 2) + "5512");
    TSoftMessage reading{sent, std::vector<float>(sent.size() * 8, 40.0f), true};
    EXPECT_EQ(JudgeMessage(reading).Judgement, TJudgement::Accepted);
    EXPECT_DOUBLE_EQ(JudgeMessage(reading).Quality, 1.0);
    // '5' (0x35) and '2' (0x32) differ in bit 0: "4513" passes as well
    reading.DataCosts[14 * 8 + 0] = 2.0f;
    reading.DataCosts[17 * 8 + 0] = 3.0f;
    const TVerdict verdict = JudgeMessage(reading);
    EXPECT_EQ(verdict.Judgement, TJudgement::Uncertain);
    EXPECT_EQ(verdict.Alternative.substr(14, 4), "4513");
    EXPECT_DOUBLE_EQ(verdict.AlternativeCost, 5.0);
    // the same two bits, but each far from a tie: accepted
    reading.DataCosts[14 * 8 + 0] = 8.0f;
    reading.DataCosts[17 * 8 + 0] = 8.0f;
    EXPECT_EQ(JudgeMessage(reading).Judgement, TJudgement::Accepted);
    reading.FramingHolds = false;
    EXPECT_EQ(JudgeMessage(reading).Reason, "a start or stop bit does not hold");
}

// A noisy message may have more cheap bits than the judge tries in every
// combination; every pair that could make a contender is still looked at.
TEST(MessageJudge, APairBehindManyCheaperBitsStillWithholds) {
    const Bytes sent =
        FrameMessage(0x80, Bytes("\x01\x08", 2) + "12070930" + Bytes("\x02\x04", 2) + "5512");
    TSoftMessage reading{sent, std::vector<float>(sent.size() * 8, 40.0f), true};
    ASSERT_EQ(AddDecoys(reading, 14, 17), 20);  // twenty bits cheaper than the pair
    // '5' (0x35) and '2' (0x32) differ in bit 0: "4513" passes as well
    reading.DataCosts[14 * 8 + 0] = 4.0f;
    reading.DataCosts[17 * 8 + 0] = 4.5f;
    const TVerdict verdict = JudgeMessage(reading);
    EXPECT_EQ(verdict.Judgement, TJudgement::Uncertain);
    EXPECT_EQ(verdict.Alternative.substr(14, 4), "4513");
    EXPECT_DOUBLE_EQ(verdict.AlternativeCost, 8.5);
}

// What an alternative needs is weighed with how likely its content is: a
// parameter code no standard defines, holding a byte above 0x7F where digits
// stood, is far less likely than the reading, however weak the two bits.
TEST(MessageJudge, AnAlternativeWithAnUnknownCodeAndAHighByteDoesNotWithholdTheReading) {
    const Bytes sent =
        FrameMessage(0x80, Bytes("\x01\x08", 2) + "12070930" + Bytes("\x02\x0A", 2) + "8905551212");
    TSoftMessage reading{sent, std::vector<float>(sent.size() * 8, 40.0f), true};
    // bit 7 of the parameter code (0x02 -> 0x82) and of the '9' (0x39 -> 0xB9)
    // cancel in the checksum, and 0x82 is no code whose content is checked
    reading.DataCosts[12 * 8 + 7] = 1.5f;
    reading.DataCosts[15 * 8 + 7] = 2.0f;
    Bytes alternative = sent;
    alternative[12] = static_cast<char>(0x82);
    alternative[15] = static_cast<char>(0xB9);
    ASSERT_TRUE(CheckMessage(alternative).Passed);
    EXPECT_GE(MessagePriorCost(alternative), 9.2);
    EXPECT_EQ(MessagePriorCost(sent), 0.0);
    const TVerdict verdict = JudgeMessage(reading);
    EXPECT_EQ(verdict.Judgement, TJudgement::Accepted) << verdict.Reason;
    // The reverse: the reading is the unusual one and its typical neighbour
    // is cheap; withheld, and the alternative is the typical message.
    TSoftMessage unusual{alternative, reading.DataCosts, true};
    const TVerdict doubt = JudgeMessage(unusual);
    EXPECT_EQ(doubt.Judgement, TJudgement::Uncertain);
    EXPECT_EQ(doubt.Alternative, sent);
    EXPECT_LT(doubt.AlternativeCost, 0.0);
}

// A reading whose own content is unlikely (an unknown code holding a high
// byte) has contenders among dearer bits: the one that mends it costs its
// bits less that prior. Behind twenty cheaper bits, the pair's dearer bit is
// not among the weakest the judge combines, and is still looked at.
TEST(MessageJudge, AnUnlikelyReadingIsWithheldForADearerPairThatMendsIt) {
    const Bytes typical =
        FrameMessage(0x80, Bytes("\x01\x08", 2) + "12070930" + Bytes("\x02\x0A", 2) + "8905551212");
    Bytes unusual = typical;
    unusual[12] = static_cast<char>(0x82);
    unusual[15] = static_cast<char>(0xB9);
    ASSERT_TRUE(CheckMessage(unusual).Passed);
    const double prior = MessagePriorCost(unusual);
    ASSERT_GE(prior, 9.0);
    TSoftMessage reading{unusual, std::vector<float>(unusual.size() * 8, 40.0f), true};
    ASSERT_EQ(AddDecoys(reading, 12, 15), 20);
    reading.DataCosts[12 * 8 + 7] = 1.5f;
    reading.DataCosts[15 * 8 + 7] = 12.0f;  // dearer than any alternative alone may cost
    const TVerdict verdict = JudgeMessage(reading);
    EXPECT_EQ(verdict.Judgement, TJudgement::Uncertain);
    EXPECT_EQ(verdict.Alternative, typical);
    EXPECT_NEAR(verdict.AlternativeCost, 13.5 - prior, 1e-6);
}

TEST(MessageRules, PriorCostsCountWhatRealMessagesHardlyHold) {
    const Bytes call =
        FrameMessage(0x80, Bytes("\x01\x08", 2) + "12070930" + Bytes("\x07\x08", 2) + "JOHN DOE");
    EXPECT_EQ(MessagePriorCost(call), 0.0);
    EXPECT_DOUBLE_EQ(MessagePriorCost(FrameMessage(0x80, Bytes("\x07\x08", 2) + "JOH^ DOE")), 2.3);
    // a repeated code
    EXPECT_DOUBLE_EQ(MessagePriorCost(FrameMessage(
                         0x80, Bytes("\x02\x01", 2) + "1" + Bytes("\x02\x01", 2) + "2")),
                     4.6);
    // a message waiting indicator carrying a date: a call's type with a bit flipped
    EXPECT_DOUBLE_EQ(MessagePriorCost(FrameMessage(0x82, Bytes("\x01\x08", 2) + "12070930")), 6.9);
    // ETSI knows 0x11 (call type); Bell 202 does not
    const Bytes callType = FrameMessage(0x80, Bytes("\x11\x01\x01", 3));
    EXPECT_EQ(MessagePriorCost(callType, TCidStandard::EtsiV23), 0.0);
    EXPECT_DOUBLE_EQ(MessagePriorCost(callType), 6.9 + 2.3);
    EXPECT_EQ(MessagePriorCost(ExampleMdmfMessage()), 0.0);
}

}  // namespace
}  // namespace ringlark
