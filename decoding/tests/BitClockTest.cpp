// The correlation decoder's bit clock, measured from a message's own changes
// of tone when no channel seizure comes before it.
#include <gtest/gtest.h>

#include <cmath>

#include "decoding/fsk/BitClock.h"
#include "tests/support/TestSignals.h"

namespace ringlark {
namespace {

struct TClockCase {
    double Rate;
    double Baud;  // the transmitter's bit rate over 1200
    int IdleBits;
};

// A message after a short mark run and no seizure, in noise at 6 dB: the
// discriminator and the working sample of its first start bit.
std::pair<TDiscriminator, double> Message(const TClockCase& c, uint64_t seed,
                                          bool switched = false) {
    TFskSignal signal;
    signal.SwitchedTones = switched;
    signal.Rate = c.Rate;
    signal.BaudFactor = c.Baud;
    signal.IdleBits = c.IdleBits;
    signal.SeizureBits = 0;
    signal.MarkBits = 84;
    signal.StartPhase = 0.3 * static_cast<double>(seed);
    const auto x = AddNoise(SynthesiseFsk(RandomMdmfMessage(seed), signal), 6.0, 0, seed);
    TDiscriminator s = Discriminate(x, c.Rate, kBell202Tones);
    const double edge = signal.MarkBits / (1200.0 * c.Baud) * s.Rate;
    return {std::move(s), edge};
}

TEST(DataBitLength, MeasuresTheTransmittersClockFromTheMessage) {
    for (const TClockCase& c :
         {TClockCase{8000, 0.99, 0}, TClockCase{8000, 1.01, 0}, TClockCase{8000, 0.97, 0},
          TClockCase{44100, 1.03, 0}, TClockCase{44100, 0.98, 1}, TClockCase{8000, 1.0, 0}}) {
        for (uint64_t seed : {3u, 4u, 5u}) {
            const auto [s, edge] = Message(c, seed);
            const double measured = DataBitLength(s, edge, 300);
            // within a twentieth of a per cent of the transmitter's bit
            EXPECT_NEAR(measured / s.BitLength * c.Baud, 1.0, 5e-4)
                << c.Rate << "/s, clock " << c.Baud << ", seed " << seed;
        }
    }
}

TEST(DataBitLength, NominalWhereNoChangesLineUp) {
    // noise alone, and a steady mark
    const auto noise = AddNoise(std::vector<float>(8000, 0.0f), 0.0, 0, 9);
    const TDiscriminator s = Discriminate(noise, 8000, kBell202Tones);
    EXPECT_EQ(DataBitLength(s, 100, 300), s.BitLength);
    TFskSignal signal;
    signal.Rate = 8000;
    signal.SeizureBits = 0;
    signal.MarkBits = 400;
    const TDiscriminator mark = Discriminate(SynthesiseFsk({}, signal), 8000, kBell202Tones);
    EXPECT_EQ(DataBitLength(mark, 100, 300), mark.BitLength);
}

// Distance of a from b in bits, on the circle of one bit.
double BitsApart(double a, double b, double bit) {
    return std::fabs(std::remainder(a - b, bit)) / bit;
}

TEST(DataBitGrid, PutsTheGridWhereTheChangesOfToneCross) {
    for (const TClockCase& c : {TClockCase{8000, 1.0, 0}, TClockCase{44100, 1.01, 0}}) {
        for (uint64_t seed : {3u, 4u, 5u}) {
            const auto [s, edge] = Message(c, seed);
            const double bit = s.BitLength / c.Baud;
            const TBitGrid grid = DataBitGrid(s, edge, 300, bit);
            ASSERT_EQ(grid.Bit, bit);
            // the decision crosses where half of the window holds each tone
            const double crossing = edge + 0.5 * static_cast<double>(s.Window);
            EXPECT_LT(BitsApart(grid.Origin, crossing, bit), 0.04) << c.Rate << "/s, seed " << seed;
            const double snapped = grid.Snap(crossing + 37.4 * bit);
            EXPECT_NEAR(snapped,
                        grid.Origin + std::round((crossing - grid.Origin) / bit + 37) * bit, 1e-9);
            // Two switched oscillators: each crossing is moved by the phase
            // its jump leaves, the grid hardly.
            const auto [switched, sameEdge] = Message(c, seed, true);
            const TBitGrid other = DataBitGrid(switched, sameEdge, 300, bit);
            EXPECT_LT(BitsApart(other.Origin, grid.Origin, bit), 0.2)
                << c.Rate << "/s, seed " << seed;
        }
    }
    const auto noise = AddNoise(std::vector<float>(800, 0.0f), 0.0, 0, 9);
    const TDiscriminator quiet = Discriminate(noise, 8000, kBell202Tones);
    EXPECT_EQ(DataBitGrid(quiet, 10, 2, quiet.BitLength).Bit, 0.0);  // too few changes
    EXPECT_EQ(TBitGrid{}.Snap(12.3), 12.3);
}

}  // namespace
}  // namespace ringlark
