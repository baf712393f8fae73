#include "decoding/fsk/BitCosts.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace ringlark {

namespace {

// The most a bit may cost by its fit to the recording's own bit shapes (see
// ShapeCosts), in log-likelihood: two bits that make another message then
// cost well above the judge's limit (MessageJudge).
constexpr double kMaxShapeCost = 15.0;
// A bit shape is measured only from at least this many bits.
constexpr int kMinShapeBits = 6;
// The share of decisions that noise does not explain, and the range of a
// decision against the slicer level.
constexpr double kOddBits = 1e-6;
constexpr double kDecisionRange = 2.0;
// A pattern's spread is read from the distance from its centre within which
// 90 % of its bits lie (1.645 standard deviations of a Gaussian): a pattern
// whose decisions vary with where it falls in its byte (a bit clock off, a
// filter) shows that in its spread, while a lone odd bit does not.
constexpr double kSpreadQuantile = 0.9;
constexpr double kSpreadZ = 1.645;
// The least spread taken: the decisions of a clean signal still vary this much
// with where the bit falls between samples and with rounding.
constexpr double kMinSpread = 0.03;

// The value below which a share q of v lies (v is reordered).
double Quantile(std::vector<double>& v, double q) {
    if (v.empty()) {
        return 0;
    }
    const auto at =
        v.begin() + static_cast<std::ptrdiff_t>(std::min(
                        v.size() - 1, static_cast<std::size_t>(q * static_cast<double>(v.size()))));
    std::nth_element(v.begin(), at, v.end());
    return *at;
}

}  // namespace

double Median(std::vector<double> v) {
    return Quantile(v, 0.5);
}

// The costs by the recording's own bit shapes. A bit's decision, taken
// against the slicer level (positive for a mark), depends on the bit and on
// its two neighbours: a transmitter's twist, harmonics, filters and a bit
// clock off its grid make some patterns (a lone space between marks, say)
// read weaker than others, the same way every time, while noise spreads each
// pattern's decisions around its own centre. So the message's bits are
// grouped by the pattern of three they sit in; each group's median decision is
// its centre and 1.4826 times its median distance from the centre its spread
// (the standard deviation of a Gaussian: medians, so that a few odd bits move
// neither), never less than the spread of all bits together. Reading bit k the
// other way changes the pattern of k and of both neighbours; its cost is how
// much less likely the three decisions are under the changed patterns than
// under their own. A decision is Gaussian around its pattern's centre, except
// that one in kOddBits is something else (a click, a glitch, a tone blended
// in) and may lie anywhere in the decisions' range: a bit far from both
// centres then costs little either way, instead of being called certain for
// lying a little less far from one. A pattern too rare in the message to be
// measured takes the centre of all bits of its middle value and the spread of
// all bits.
std::vector<float> ShapeCosts(const std::vector<TBitTones>& tones, std::vector<bool>* odd) {
    const std::size_t n = tones.size();
    std::vector<double> decision(n);
    std::vector<int> bit(n);
    for (std::size_t i = 0; i < n; ++i) {
        decision[i] = tones[i].ReadAsMark ? tones[i].Margin : -tones[i].Margin;
        bit[i] = tones[i].ReadAsMark ? 1 : 0;
    }
    const auto valueAt = [&](std::size_t i, std::size_t k, int flip) {
        return i == k ? flip : bit[i];
    };
    // The pattern of bit i, with bit k read as `flipped` (bits outside the
    // message take the value of their neighbour inside; idle marks between
    // bytes are marks).
    const auto pattern = [&](std::size_t i, std::size_t k, int flipped) {
        const int before = i == 0                   ? valueAt(i, k, flipped)
                           : tones[i - 1].IdleAfter ? 1
                                                    : valueAt(i - 1, k, flipped);
        const int after = tones[i].IdleAfter ? 1
                          : i + 1 < n        ? valueAt(i + 1, k, flipped)
                                             : valueAt(i, k, flipped);
        return static_cast<std::size_t>(before * 4 + valueAt(i, k, flipped) * 2 + after);
    };
    constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::array<std::vector<double>, 8> groups;
    std::array<std::vector<double>, 2> values;
    for (std::size_t i = 0; i < n; ++i) {
        groups[pattern(i, kNone, 0)].push_back(decision[i]);
        values[static_cast<std::size_t>(bit[i])].push_back(decision[i]);
    }
    const std::array<double, 2> valueCentre{Median(values[0]), Median(values[1])};
    std::array<double, 8> centre{};
    std::array<bool, 8> measured{};
    for (std::size_t p = 0; p < 8; ++p) {
        measured[p] = static_cast<int>(groups[p].size()) >= kMinShapeBits;
        centre[p] = measured[p] ? Median(groups[p]) : valueCentre[(p >> 1) & 1];
    }
    std::vector<double> distances;
    distances.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        distances.push_back(std::fabs(decision[i] - centre[pattern(i, kNone, 0)]));
    }
    const double pooled = std::max(1.4826 * Median(distances), kMinSpread);
    std::array<double, 8> spread{};
    for (std::size_t p = 0; p < 8; ++p) {
        spread[p] = pooled;
        if (measured[p]) {
            for (double& d : groups[p]) {
                d = std::fabs(d - centre[p]);
            }
            spread[p] = std::max(pooled, Quantile(groups[p], kSpreadQuantile) / kSpreadZ);
        }
    }
    const auto gaussian = [&](double x, std::size_t p) {
        const double z = (x - centre[p]) / spread[p];
        return (1 - kOddBits) * std::exp(-0.5 * z * z) / (spread[p] * std::sqrt(2 * M_PI));
    };
    // log of (1 - odd) N(x; centre, spread) + odd * uniform over the range
    const auto logLikelihood = [&](double x, std::size_t p) {
        return std::log(gaussian(x, p) + kOddBits / kDecisionRange);
    };
    if (odd != nullptr) {
        odd->clear();
    }
    std::vector<float> costs;
    costs.reserve(n / BitsPerFrame * 8);
    for (std::size_t k = 0; k < n; ++k) {
        const int inFrame = static_cast<int>(k % BitsPerFrame);
        if (inFrame < 1 || inFrame > 8) {
            continue;
        }
        if (odd != nullptr) {
            odd->push_back(
                gaussian(decision[k], pattern(k, k, bit[k])) < kOddBits / kDecisionRange &&
                gaussian(decision[k], pattern(k, k, 1 - bit[k])) < kOddBits / kDecisionRange);
        }
        double cost = 0;
        for (std::size_t i = k > 0 ? k - 1 : k; i <= std::min(k + 1, n - 1); ++i) {
            cost += logLikelihood(decision[i], pattern(i, k, bit[k])) -
                    logLikelihood(decision[i], pattern(i, k, 1 - bit[k]));
        }
        costs.push_back(static_cast<float>(std::min(cost, kMaxShapeCost)));
    }
    return costs;
}

// What reading each data bit the other way costs in log-likelihood, for a
// non-coherent receiver: under "mark" the mark correlation is a tone of
// amplitude Am in complex Gaussian noise (Rician) and the space correlation is
// noise alone, and the other way round. The amplitudes are the mean
// correlations of the tone read; the noise power is the mean power of the tone
// not read, less what a tone leaks into the other tone's correlator over one
// bit (a known fraction of its amplitude, `leakage`).
//   LLR = log I0(Am |M| / s2) - log I0(As |S| / s2) - (Am^2 - As^2) / (2 s2)
std::vector<float> DataBitCosts(const std::vector<TBitTones>& tones, double leakage) {
    double markSum = 0, spaceSum = 0, noise = 0;
    int marks = 0;
    for (const auto& t : tones) {
        (t.ReadAsMark ? markSum : spaceSum) += t.ReadAsMark ? t.Mark : t.Space;
        noise += t.ReadAsMark ? t.Space * t.Space : t.Mark * t.Mark;
        marks += t.ReadAsMark ? 1 : 0;
    }
    const auto n = static_cast<double>(tones.size());
    const double markAmplitude = marks > 0 ? markSum / marks : 0;
    const double spaceAmplitude = n > marks ? spaceSum / (n - marks) : 0;
    const double leaked =
        leakage * leakage *
        (marks * markAmplitude * markAmplitude + (n - marks) * spaceAmplitude * spaceAmplitude) / n;
    // The noise is never taken as less than a tenth of the leakage: the tones'
    // phases make the leakage vary, and a noise power near zero would make
    // every decision look certain. (The spread of the amplitudes of the tone
    // read was tried as the noise measure too: it made weak decisions look up
    // to four times surer than they turned out to be.)
    const double s2 = std::max(noise / n - leaked, 0.1 * leaked + 1e-30) / 2;
    const std::vector<float> shape = ShapeCosts(tones);
    std::vector<float> costs;
    costs.reserve(tones.size() / BitsPerFrame * 8);
    for (std::size_t i = 0; i < tones.size(); ++i) {
        const int k = static_cast<int>(i % BitsPerFrame);
        if (k < 1 || k > 8) {
            continue;
        }
        const auto& t = tones[i];
        const double llr =
            LogBesselI0(markAmplitude * t.Mark / s2) - LogBesselI0(spaceAmplitude * t.Space / s2) -
            (markAmplitude * markAmplitude - spaceAmplitude * spaceAmplitude) / (2 * s2);
        // The model knows only Gaussian noise and tones of one level. A bit
        // where the other tone is far above the noise (an echo, interference,
        // a tone blended in) fits neither hypothesis, and the model would call
        // it certain; a distorted recording's weak but steady patterns it
        // would call doubtful. So no bit is believed beyond what its fit to
        // the recording's own bit shapes supports (ShapeCosts). (Capping each
        // bit at its share of its tone's mean decision margin, times 15, was
        // used before: it made every bit of a twisted, clipped capture with
        // its bits off the clock look weak, and withheld such messages.)
        const double modelled = t.ReadAsMark ? llr : -llr;
        costs.push_back(
            static_cast<float>(std::min(modelled, static_cast<double>(shape[costs.size()]))));
    }
    return costs;
}

// log I0(x) for x >= 0 by the polynomials of Abramowitz and Stegun (9.8.1,
// 9.8.2), to a relative error under 2e-7: the exact Bessel function costs
// twenty times as much, and eight of these are taken per bit.
double LogBesselI0(double x) {
    if (x < 3.75) {
        const double t = (x / 3.75) * (x / 3.75);
        return std::log(
            1 + t * (3.5156229 +
                     t * (3.0899424 +
                          t * (1.2067492 + t * (0.2659732 + t * (0.0360768 + t * 0.0045813))))));
    }
    const double t = 3.75 / x;
    const double p =
        0.39894228 +
        t * (0.01328592 +
             t * (0.00225319 +
                  t * (-0.00157565 +
                       t * (0.00916281 +
                            t * (-0.02057706 +
                                 t * (0.02635537 + t * (-0.01647633 + t * 0.00392377)))))));
    return x - 0.5 * std::log(x) + std::log(p);
}

}  // namespace ringlark
