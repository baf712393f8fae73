// The costs of reading each data bit the other way, from the tones' model and
// from the message's own bit shapes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "decoding/fsk/BitCosts.h"
#include "tests/support/TestSignals.h"

namespace ringlark {
namespace {

// Frames of ten bits (start, eight data bits least significant first, stop)
// with decisions: marks at +0.9 and spaces at -0.9, except a lone space
// between two marks, which reads `loneSpace`; Gaussian noise of `noise` on
// every decision.
std::vector<TBitTones> Frames(const std::vector<uint8_t>& bytes, double loneSpace, double noise,
                              uint64_t seed) {
    std::vector<bool> bits;
    for (uint8_t b : bytes) {
        bits.push_back(false);
        for (int i = 0; i < 8; ++i) {
            bits.push_back(((b >> i) & 1) != 0);
        }
        bits.push_back(true);
    }
    TGaussianNoise gauss(seed);
    std::vector<TBitTones> tones;
    for (std::size_t i = 0; i < bits.size(); ++i) {
        const bool lone = !bits[i] && i > 0 && i + 1 < bits.size() && bits[i - 1] && bits[i + 1];
        const double d = (bits[i] ? 0.9 : lone ? loneSpace : -0.9) + noise * gauss.Next();
        const double mark = (1 + d) / 2;
        tones.push_back({mark, 1 - mark, d > 0, std::fabs(d)});
    }
    return tones;
}

std::vector<uint8_t> Text() {
    const std::string text =
        "\x80\x20\x01\x08"
        "12070930\x02\x0A"
        "8005551212\x07\x08JOHN DOE";
    return {text.begin(), text.end()};
}

// Lone spaces that every time read weakly (a twist and a filter do that) are
// still certain: they lie at their own pattern's centre, far from a mark's.
TEST(BitCosts, AWeakButConsistentPatternIsCertain) {
    const auto tones = Frames(Text(), -0.25, 0.02, 1);
    const auto shape = ShapeCosts(tones);
    const auto modelled = DataBitCosts(tones, 0.2);
    ASSERT_EQ(shape.size(), Text().size() * 8);
    ASSERT_EQ(modelled.size(), shape.size());
    // The weakest bit by its margin alone costs about a third of the others;
    // by its shape it costs as much as any.
    EXPECT_GT(*std::min_element(shape.begin(), shape.end()), 12.0f);
    EXPECT_GT(*std::min_element(modelled.begin(), modelled.end()), 12.0f);
}

// One bit far from the centres of both readings (a click, a glitch, a blend of
// both tones) costs little either way, where a straight Gaussian would call it
// certain for lying a little nearer one of them.
TEST(BitCosts, ABitThatFitsNeitherReadingCostsLittle) {
    auto tones = Frames(Text(), -0.9, 0.02, 2);
    // bit 3 of byte 5 ('2' = 0x32, bit 1 is a 1 with marks on neither side)
    const std::size_t odd = 5 * 10 + 1 + 3;
    ASSERT_FALSE(tones[odd].ReadAsMark);
    tones[odd].Margin = 0.3;
    const auto shape = ShapeCosts(tones);
    EXPECT_LT(shape[5 * 8 + 3], 2.0f);
    EXPECT_GT(shape[5 * 8 + 4], 12.0f);
    const auto modelled = DataBitCosts(tones, 0.2);
    EXPECT_LT(modelled[5 * 8 + 3], 2.0f);
}

// In plain noise the shapes add nothing: every bit costs what the spread of
// its decisions says, and the costs rise as the noise falls.
TEST(BitCosts, CostsFollowTheNoise) {
    double previous = 0;
    for (double noise : {0.8, 0.5, 0.1}) {
        const auto shape = ShapeCosts(Frames(Text(), -0.9, noise, 3));
        std::vector<float> sorted = shape;
        std::sort(sorted.begin(), sorted.end());
        const double median = sorted[sorted.size() / 2];
        EXPECT_GT(median, previous + 2) << noise;
        previous = median;
    }
    EXPECT_GE(previous, 14.0);
}

}  // namespace
}  // namespace ringlark
