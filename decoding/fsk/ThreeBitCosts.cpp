#include "decoding/fsk/ThreeBitCosts.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>

namespace ringlark {

namespace {

using TComplex = std::complex<double>;

// |z| without the care std::abs takes against overflow (std::hypot), which
// these magnitudes do not need and which costs several times as much.
double Magnitude(const TComplex& z) {
    return std::sqrt(std::norm(z));
}

double LogSumExp(double a, double b) {
    const double m = std::max(a, b);
    return m + std::log(std::exp(a - m) + std::exp(b - m));
}

// One bit's correlations with both tones, referred to the phase each tone
// would have at the start of the bit's window.
struct TBitCorrelation {
    std::array<TComplex, 2> Tone;  // [0] space, [1] mark
};

TBitCorrelation Correlate(const TDiscriminator& s, double at) {
    const auto window = static_cast<std::ptrdiff_t>(s.Window);
    const auto last = static_cast<std::ptrdiff_t>(s.Signal.size()) - 1;
    const auto end = std::clamp<std::ptrdiff_t>(std::lround(at), window - 1, last);
    const double offset = at - static_cast<double>(end);  // of the window's start from the sample's
    TBitCorrelation c;
    const double steps[2] = {s.SpaceStep, s.MarkStep};
    for (int tone = 0; tone < 2; ++tone) {
        TComplex sum = 0;
        const TComplex step = std::polar(1.0, -steps[tone]);
        TComplex osc = 1;
        for (std::ptrdiff_t n = 0; n < window; ++n) {
            sum +=
                static_cast<double>(s.Signal[static_cast<std::size_t>(end - window + 1 + n)]) * osc;
            osc *= step;
        }
        c.Tone[static_cast<std::size_t>(tone)] = sum * std::polar(1.0, steps[tone] * offset);
    }
    return c;
}

// Each pair of neighbouring bits of one tone: the phase of the second bit's
// correlation against the phase the first one's predicts. Each tone has its
// own steady offset (a tone a little off its nominal frequency), taken out as
// the mean direction of its pairs; what is left is noise, whose spread the
// magnitudes and the noise power tell (a correlation of magnitude A in
// complex noise of power N has a phase spread of sqrt(N / 2) / A). A pair whose
// phase is off by more than kBreakSpreads of that spread, and by
// kMinBreakAngle at least, is a break: both its bits are marked. Pairs that
// change tone are left out: their phase step moves by the difference of the
// tones' frequencies times any error in where the change was placed (0.8
// radians per sample at 8000/s), and marking them withheld too many clean
// messages (at 8000/s with the clock 1 % off, 28 % of those read).
template <typename TTurn, typename TJoined>
void MarkPhaseBreaks(const std::vector<TBitCorrelation>& c, double noise,
                     const std::vector<TBitTones>& tones, TTurn turn, TJoined joined,
                     std::vector<bool>& marked) {
    constexpr double kBreakSpreads = 6.0;
    constexpr double kMinBreakAngle = 0.9;  // radians
    const std::size_t n = tones.size();
    marked.assign(n, false);
    std::vector<TComplex> step(n);  // second against first, per pair starting at i
    std::array<TComplex, 4> mean{};
    for (std::size_t i = 0; i + 1 < n; ++i) {
        if (!joined(i)) {
            continue;
        }
        const int x = tones[i].ReadAsMark ? 1 : 0;
        const int y = tones[i + 1].ReadAsMark ? 1 : 0;
        const TComplex first = c[i].Tone[static_cast<std::size_t>(x)];
        const TComplex second =
            c[i + 1].Tone[static_cast<std::size_t>(y)] * std::polar(1.0, -turn(i, x));
        step[i] = std::conj(first) * second;
        mean[static_cast<std::size_t>(2 * x + y)] += step[i] / (Magnitude(step[i]) + 1e-30);
    }
    for (std::size_t i = 0; i + 1 < n; ++i) {
        if (!joined(i) || Magnitude(step[i]) <= 0) {
            continue;
        }
        const int x = tones[i].ReadAsMark ? 1 : 0;
        const int y = tones[i + 1].ReadAsMark ? 1 : 0;
        if (x != y) {
            continue;  // its phase depends on where the tone changed (see above)
        }
        const TComplex offset = mean[static_cast<std::size_t>(2 * x + y)];
        const double angle =
            std::fabs(std::arg(step[i] * (Magnitude(offset) > 0 ? std::conj(offset) : 1.0)));
        const double a = Magnitude(c[i].Tone[static_cast<std::size_t>(x)]);
        const double b = Magnitude(c[i + 1].Tone[static_cast<std::size_t>(y)]);
        const double spread = std::sqrt(noise / 2 * (1 / (a * a + 1e-30) + 1 / (b * b + 1e-30)));
        if (angle > std::max(kMinBreakAngle, kBreakSpreads * spread)) {
            marked[i] = true;
            marked[i + 1] = true;
        }
    }
}

}  // namespace

TThreeBitCosts ThreeBitCosts(const TDiscriminator& s, const std::vector<TBitTones>& tones) {
    const std::size_t n = tones.size();
    if (s.Signal.size() != s.Mark.size() || s.Signal.size() < static_cast<std::size_t>(s.Window) ||
        n == 0) {
        return {};
    }
    std::vector<TBitCorrelation> c(n);
    for (std::size_t i = 0; i < n; ++i) {
        c[i] = Correlate(s, tones[i].At);
    }
    // Each tone's amplitude from the bits read as it, the noise from the
    // tone not read less what the read tone leaks into it over a window.
    const auto w = static_cast<double>(s.Window);
    std::array<double, 2> readPower{};
    std::array<int, 2> count{};
    double offPower = 0;
    double onPower = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t read = tones[i].ReadAsMark ? 1 : 0;
        const double on = std::norm(c[i].Tone[read]);
        readPower[read] += on;
        ++count[read];
        onPower += on;
        offPower += std::norm(c[i].Tone[1 - read]);
    }
    const auto bits = static_cast<double>(n);
    const double noise =  // w sigma^2: the noise power in one window's correlation
        std::max(offPower / bits - s.Leakage * s.Leakage * onPower / bits,
                 0.01 * s.Leakage * s.Leakage * onPower / bits + 1e-30);
    std::array<double, 2> amplitude{};  // of each tone, per sample
    for (std::size_t t = 0; t < 2; ++t) {
        const double mean = count[t] > 0 ? readPower[t] / count[t] : onPower / bits;
        amplitude[t] = 2.0 / w * std::sqrt(std::max(mean - noise, 0.05 * mean));
    }
    const double sigma2 = noise / w;  // per working sample
    const double steps[2] = {s.SpaceStep, s.MarkStep};
    // The phase a tone turns through between the starts of bits i and i + 1.
    const auto turn = [&](std::size_t i, int tone) {
        return steps[tone] * (tones[i + 1].At - tones[i].At);
    };
    const auto joined = [&](std::size_t i) { return i + 1 < n && !tones[i].IdleAfter; };

    TThreeBitCosts result;
    std::vector<float>& costs = result.Costs;
    costs.reserve(n / BitsPerFrame * 8);
    for (std::size_t k = 0; k < n; ++k) {
        const int inFrame = static_cast<int>(k % BitsPerFrame);
        if (inFrame < 1 || inFrame > 8) {
            continue;
        }
        const bool hasBefore = k > 0 && joined(k - 1);
        const bool hasAfter = joined(k);
        std::array<double, 2> likelihood{-1e300, -1e300};
        for (int a = 0; a < (hasBefore ? 2 : 1); ++a) {
            for (int b = 0; b < 2; ++b) {
                for (int cc = 0; cc < (hasAfter ? 2 : 1); ++cc) {
                    TComplex q = 0;
                    double energy = 0;
                    double phase = 0;
                    if (hasBefore) {
                        q += amplitude[static_cast<std::size_t>(a)] *
                             c[k - 1].Tone[static_cast<std::size_t>(a)];
                        energy += amplitude[static_cast<std::size_t>(a)] *
                                  amplitude[static_cast<std::size_t>(a)];
                        phase = turn(k - 1, a);
                    }
                    q += amplitude[static_cast<std::size_t>(b)] *
                         c[k].Tone[static_cast<std::size_t>(b)] * std::polar(1.0, -phase);
                    energy += amplitude[static_cast<std::size_t>(b)] *
                              amplitude[static_cast<std::size_t>(b)];
                    if (hasAfter) {
                        phase += turn(k, b);
                        q += amplitude[static_cast<std::size_t>(cc)] *
                             c[k + 1].Tone[static_cast<std::size_t>(cc)] * std::polar(1.0, -phase);
                        energy += amplitude[static_cast<std::size_t>(cc)] *
                                  amplitude[static_cast<std::size_t>(cc)];
                    }
                    const double metric =
                        LogBesselI0(Magnitude(q) / sigma2) - w * energy / (4 * sigma2);
                    likelihood[static_cast<std::size_t>(b)] =
                        LogSumExp(likelihood[static_cast<std::size_t>(b)], metric);
                }
            }
        }
        const double llr = likelihood[1] - likelihood[0];
        costs.push_back(static_cast<float>(tones[k].ReadAsMark ? llr : -llr));
    }
    // The phase carried across a change of tone against across a steady tone
    // (which any transmitter keeps): pairs of bits read together.
    std::array<double, 2> together{};  // [0] steady, [1] a change
    std::array<double, 2> apart{};
    for (std::size_t i = 0; i + 1 < n; ++i) {
        if (!joined(i)) {
            continue;
        }
        const int x = tones[i].ReadAsMark ? 1 : 0;
        const int y = tones[i + 1].ReadAsMark ? 1 : 0;
        const TComplex first =
            amplitude[static_cast<std::size_t>(x)] * c[i].Tone[static_cast<std::size_t>(x)];
        const TComplex second = amplitude[static_cast<std::size_t>(y)] *
                                c[i + 1].Tone[static_cast<std::size_t>(y)] *
                                std::polar(1.0, -turn(i, x));
        const std::size_t change = x != y ? 1 : 0;
        together[change] += std::real(std::conj(first) * second);
        apart[change] += Magnitude(first) * Magnitude(second);
    }
    if (apart[0] > 0 && apart[1] > 0 && together[0] > 0) {
        result.Coherence = (together[1] / apart[1]) / (together[0] / apart[0]);
    }
    MarkPhaseBreaks(c, noise, tones, turn, joined, result.PhaseBreak);
    return result;
}

}  // namespace ringlark
