// Reading continuous-phase FSK over three bits at a time.
#include <gtest/gtest.h>

#include <algorithm>

#include "decoding/fsk/ThreeBitCosts.h"
#include "tests/support/TestSignals.h"

namespace ringlark {
namespace {

// The frames of a message synthesised at 44100/s after 30 marks, read at
// their true places on the discriminator (working rate 11025/s, a window of 9
// samples ending where each bit ends).
struct TRead {
    TDiscriminator S;
    std::vector<TBitTones> Tones;
};

TRead ReadAtTruePlaces(const Bytes& message, TFskSignal signal, double snrDb,
                       uint64_t noiseSeed = 11, const std::vector<TGlitch>& glitches = {}) {
    signal.SeizureBits = 0;
    signal.MarkBits = 30;
    std::vector<float> x = SynthesiseFsk(message, signal);
    x = AddNoise(x, snrDb, 0, noiseSeed);
    ApplyGlitches(x, glitches);
    TRead read{Discriminate(x, 44100.0, kBell202Tones), {}};
    const double bit = read.S.BitLength;
    std::size_t index = 30;  // bits before the first start bit
    for (char c : message) {
        for (int k = 0; k < BitsPerFrame; ++k, ++index) {
            const bool mark = k == 9 || (k >= 1 && ((static_cast<uint8_t>(c) >> (k - 1)) & 1) != 0);
            read.Tones.push_back(
                {0, 0, mark, 0.9, false, bit * static_cast<double>(index + 1) - 0.6});
        }
    }
    return read;
}

TEST(ThreeBitCosts, ContinuousPhaseIsReadWithItsPhaseCarried) {
    const Bytes message = RandomMdmfMessage(4);
    const TRead read = ReadAtTruePlaces(message, {}, 6.0);
    const TThreeBitCosts costs = ThreeBitCosts(read.S, read.Tones);
    ASSERT_EQ(costs.Costs.size(), message.size() * 8);
    EXPECT_GT(costs.Coherence, 0.8);
    EXPECT_GT(*std::min_element(costs.Costs.begin(), costs.Costs.end()), 5.0f);

    // One data bit read the wrong way: the three bits around it say so.
    TRead wrong = read;
    const std::size_t flipped = 7 * BitsPerFrame + 4;
    wrong.Tones[flipped].ReadAsMark = !wrong.Tones[flipped].ReadAsMark;
    const TThreeBitCosts other = ThreeBitCosts(wrong.S, wrong.Tones);
    EXPECT_LT(other.Costs[7 * 8 + 3], -5.0f);
    // (about as surely as it said the right reading: one wrong bit moves the
    // levels and the noise measured from the reading a little)
    EXPECT_NEAR(other.Costs[7 * 8 + 3] / -costs.Costs[7 * 8 + 3], 1.0, 0.2);
}

TEST(ThreeBitCosts, SwitchedOscillatorsShowNoCoherence) {
    TFskSignal switched;
    switched.SwitchedTones = true;
    for (uint64_t seed : {1u, 2u, 3u}) {
        switched.StartPhase = 0.9 * static_cast<double>(seed);
        const TRead read = ReadAtTruePlaces(RandomMdmfMessage(seed), switched, 20.0);
        EXPECT_LT(ThreeBitCosts(read.S, read.Tones).Coherence, 0.5) << seed;
    }
}

TEST(ThreeBitCosts, NothingWithoutTheWorkingSamples) {
    TRead read = ReadAtTruePlaces(RandomMdmfMessage(5), {}, 20.0);
    read.S.Signal.clear();
    EXPECT_TRUE(ThreeBitCosts(read.S, read.Tones).Costs.empty());
}

// Over the whole message the phase is carried from every bit to the next, not
// only from two neighbours: far below the limit (-7 dB) fewer bits are read
// wrong.
TEST(ThreeBitCosts, TheWholeMessageReadAtOnceGetsFewerBitsWrong) {
    int acrossThree = 0;
    int acrossAll = 0;
    for (uint64_t seed = 1; seed <= 12; ++seed) {
        const TRead read = ReadAtTruePlaces(RandomMdmfMessage(seed), {}, -7.0, seed);
        const auto wrong = [](const TThreeBitCosts& c) {
            return static_cast<int>(
                std::count_if(c.Costs.begin(), c.Costs.end(), [](float v) { return v < 0; }));
        };
        const int three = wrong(ThreeBitCosts(read.S, read.Tones));
        const int all = wrong(ThreeBitCosts(read.S, read.Tones, true));
        EXPECT_LE(all, three) << seed;
        acrossThree += three;
        acrossAll += all;
    }
    // (61 bits wrong three at a time over these 12 messages, 20 at once)
    EXPECT_LE(2 * acrossAll, acrossThree);
}

// A sound card's slip across two bits of a byte (a bit's length played again
// from 0.4 of a bit earlier) is found where it lies by the whole-message
// reading alone, in 5 of these 6 messages at 10 dB; clean messages show no
// such break, even near the limit. (A slip inside one bit, whose phase comes
// back before the next, leaves only a weaker bit: that is not a plain break.)
TEST(ThreeBitCosts, APlainBreakIsFoundWhereItIsAndNowhereElse) {
    constexpr double kBit = 44100.0 / 1200.0;
    int found = 0;  // messages whose slip was found
    for (uint64_t seed = 1; seed <= 6; ++seed) {
        const Bytes message = RandomMdmfMessage(seed);
        for (double snr : {10.0, -2.0}) {
            const TRead clean = ReadAtTruePlaces(message, {}, snr, seed);
            const TThreeBitCosts whole = ThreeBitCosts(clean.S, clean.Tones, true);
            ASSERT_EQ(whole.FirmBreak.size(), clean.Tones.size());
            EXPECT_EQ(std::count(whole.FirmBreak.begin(), whole.FirmBreak.end(), true), 0)
                << seed << " at " << snr << " dB";
        }
        const std::size_t slipped = 12 * BitsPerFrame + 3 + seed;  // byte 12, bit 2 + seed
        TGlitch slip;
        slip.At = static_cast<std::size_t>((30.0 + static_cast<double>(slipped) + 0.5) * kBit);
        slip.Length = static_cast<std::size_t>(1.0 * kBit);
        slip.Delay = static_cast<std::size_t>(0.4 * kBit);
        const TRead broken = ReadAtTruePlaces(message, {}, 10.0, seed, {slip});
        const TThreeBitCosts costs = ThreeBitCosts(broken.S, broken.Tones, true);
        ASSERT_EQ(costs.FirmBreak.size(), broken.Tones.size());
        int near = 0;
        for (std::size_t k = 0; k < costs.FirmBreak.size(); ++k) {
            if (costs.FirmBreak[k]) {
                EXPECT_LE(k > slipped ? k - slipped : slipped - k, 2u) << seed << ": " << k;
                near = 1;
            }
        }
        found += near;
        // (and those bits are among the phase breaks that cap the costs)
        for (std::size_t k = 0; k < costs.FirmBreak.size(); ++k) {
            EXPECT_TRUE(!costs.FirmBreak[k] || costs.PhaseBreak[k]) << k;
        }
    }
    EXPECT_GE(found, 5);
}

}  // namespace
}  // namespace ringlark
