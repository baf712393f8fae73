#pragma once

// The correlation decoder's timing: where the decision crosses a level, the
// bit length a channel seizure or a message's own changes show, and the grid
// of that clock over a message.
#include <cmath>

#include "decoding/tones/ToneDiscriminator.h"

namespace ringlark {

// How far back before a message its channel seizure is looked for, in bits.
inline constexpr double SeizureSearchBits = 560;
// How far from nominal the measured bit rate may be.
inline constexpr double SeizureMaxRateError = 0.05;
// The longest bit a measured clock can give, over the nominal one.
inline constexpr double SlowestClock = 1 + SeizureMaxRateError;

// The first downward crossing of the decision through the level in
// [from, to), to a fraction of a sample; -1 when there is none.
double FindCrossing(const TDiscriminator& s, double from, double to, float level = 0.0f);

// The crossing of the decision through the level, downwards or upwards,
// nearest `at` within `reach` either side, to a fraction of a sample; -1 when
// there is none.
double NearestCrossing(const TDiscriminator& s, double at, double reach, float level, bool down);

// The bit length (working samples) that the channel seizure before the mark
// run ending at `edge` shows; the nominal one without a seizure. When
// crossings line up at another period but not up to the mark run (an alert's
// beat, or a seizure in deep noise), the nominal length is returned and that
// period's bit length put in `unsure`, to be tried second.
double SeizureBitLength(const TDiscriminator& s, double edge, double* unsure = nullptr);

// The bit length (working samples) that the changes of tone over `bits` bits
// from the first start bit at `edge` show; the nominal one when they do not
// line up.
double DataBitLength(const TDiscriminator& s, double edge, double bits);

// The grid of the transmitter's bit clock over the `bits` bits of a message
// from `edge`, at the bit length `bit`: where on the discriminator the
// changes of tone cross at that period, so that every change lies a whole
// number of bits from Origin. Bit is 0 where there are too few changes.
struct TBitGrid {
    double Bit = 0;
    double Origin = 0;
    // The grid point nearest `at`.
    double Snap(double at) const {
        return Bit > 0 ? Origin + std::round((at - Origin) / Bit) * Bit : at;
    }
};
TBitGrid DataBitGrid(const TDiscriminator& s, double edge, double bits, double bit);

}  // namespace ringlark
