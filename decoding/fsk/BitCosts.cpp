#include "decoding/fsk/BitCosts.h"

#include <algorithm>
#include <cmath>

#include "decoding/fsk/BrokenBits.h"

namespace ringlark {

namespace {

// The most a bit with the mean decision margin may cost in log-likelihood: one
// at a third of the mean then costs about 5, so two such bits that make
// another message are a contender (see MessageJudge).
constexpr double kMarginCostScale = 15.0;

// log I0(x), the modified Bessel function, without overflow for large x.
double LogBesselI0(double x) {
    return x < 500 ? std::log(std::cyl_bessel_i(0.0, x)) : x - 0.5 * std::log(2 * M_PI * x);
}

}  // namespace

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
    // The mean decision margin of each tone's bits: with a twist the weaker
    // tone's bits have smaller margins, and are measured against their own.
    double markMargin = 0;
    double spaceMargin = 0;
    for (const auto& t : tones) {
        (t.ReadAsMark ? markMargin : spaceMargin) += t.Margin;
    }
    markMargin = std::max(marks > 0 ? markMargin / marks : 0.0, 1e-6);
    spaceMargin = std::max(n > marks ? spaceMargin / (n - marks) : 0.0, 1e-6);
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
        // The model knows only Gaussian noise. A bit where the other tone is
        // far above the noise (an echo, interference, a tone blended in) fits
        // neither hypothesis, and the model would call it certain; so no bit
        // is believed beyond what its share of its tone's mean decision margin
        // supports.
        const double byMargin =
            kMarginCostScale * t.Margin / (t.ReadAsMark ? markMargin : spaceMargin);
        costs.push_back(static_cast<float>(std::min(t.ReadAsMark ? llr : -llr, byMargin)));
    }
    CapBrokenBitCosts(tones, costs);
    return costs;
}

}  // namespace ringlark
