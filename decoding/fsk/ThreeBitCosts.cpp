#include "decoding/fsk/ThreeBitCosts.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>

#include "decoding/fsk/PhaseCorrelation.h"
#include "decoding/fsk/WholeMessageReading.h"

namespace ringlark {

namespace {

// Each pair of neighbouring bits: the phase of the second bit's correlation
// against the phase the first one's predicts. Each kind of pair (mark to
// mark, mark to space...) has its own steady offset (a tone a little off its
// nominal frequency, edges placed a little off throughout), taken out as the
// mean direction of its pairs; what is left is noise, whose spread the
// magnitudes and the noise power tell (a correlation of magnitude A in
// complex noise of power N has a phase spread of sqrt(N / 2) / A). A pair whose
// phase is off by more than kBreakSpreads of that spread, and by
// kMinBreakAngle at least, is a break: both its bits are marked.
//
// A pair that changes tone has its phase step moved by the difference of the
// tones' frequencies times the error in where its byte's edge was placed
// (0.8 radians per sample at 8000/s), up at a change to the space and down
// at a change to the mark. That error is measured for each byte from its
// other changes, weighted by their spreads, and taken out; what it leaves
// uncertain adds to the spread, and so does how far the transmitter's edges
// stray from its clock: measured on the message as the median of what its
// changes show beyond the noise (a glitch moves a few, jitter all), at least
// kChangePlacing of a sample. Such a pair must be off by kMinChangeBreakAngle
// at least. (Changes checked without the byte's error taken out withheld 28 %
// of the clean messages at 8000/s with the clock 1 % off. Without any
// placing allowance, a quarter of the capture-like recordings at 8000/s,
// 20 dB, with their edges jittered by up to an eighth of a bit, came out
// uncertain; with a fixed one, none of 200, but with the edges jittered by a
// quarter of a bit 27 of 100 (89 % exact without this check, 62 % with it);
// with the allowance measured, 89 % again. Over 21 recordings with two
// glitches each that had given a wrong message, this check with the steady
// pairs' finds both glitches, or one and caps the rest, in 12.)
void MarkPhaseBreaks(const std::vector<TBitCorrelation>& c, double noise,
                     const std::vector<TBitTones>& tones, const TBitSpacing& spacing,
                     double toneGap, std::vector<bool>& marked, double& stray) {
    constexpr double kBreakSpreads = 5.0;
    constexpr double kMinBreakAngle = 0.9;        // radians
    constexpr double kMinChangeBreakAngle = 1.2;  // radians
    // What is left of a change's placing once its byte's error is out, in
    // working samples: each window's part in the other tone, which the
    // rounding of its position and any jitter of the transmitter's edges set.
    constexpr double kChangePlacing = 0.3;
    const std::size_t n = tones.size();
    marked.assign(n, false);
    const auto tone = [&](std::size_t i) { return tones[i].ReadAsMark ? 1 : 0; };
    std::vector<TComplex> step;  // second against first, per pair starting at i
    const std::array<TComplex, 4> mean = PairSteps(c, tones, spacing, step);
    // Each pair's phase off its kind's mean, and the spread the noise gives it.
    std::vector<double> angle(n, 0.0);
    std::vector<double> spread(n, 0.0);  // 0: not a pair
    for (std::size_t i = 0; i + 1 < n; ++i) {
        if (!spacing.Joined(i) || Magnitude(step[i]) <= 0) {
            continue;
        }
        const auto x = static_cast<std::size_t>(tone(i));
        const auto y = static_cast<std::size_t>(tone(i + 1));
        const TComplex offset = mean[2 * x + y];
        angle[i] = std::arg(step[i] * (Magnitude(offset) > 0 ? std::conj(offset) : 1.0));
        const double a = Magnitude(c[i].Tone[x]);
        const double b = Magnitude(c[i + 1].Tone[y]);
        spread[i] = std::sqrt(noise / 2 * (1 / (a * a + 1e-30) + 1 / (b * b + 1e-30)));
    }
    // Each byte's changes (a pair belongs to the byte of its second bit):
    // sums of weight * direction * angle and of weight.
    const auto byteOf = [](std::size_t i) { return (i + 1) / BitsPerFrame; };
    const auto changes = [&](std::size_t i) { return spread[i] > 0 && tone(i) != tone(i + 1); };
    const auto direction = [&](std::size_t i) { return tone(i) == 1 ? 1.0 : -1.0; };
    std::vector<double> sum(n / BitsPerFrame + 1, 0.0);
    std::vector<double> weight(n / BitsPerFrame + 1, 0.0);
    for (std::size_t i = 0; i + 1 < n; ++i) {
        if (changes(i)) {
            const double w = 1 / (spread[i] * spread[i]);
            sum[byteOf(i)] += w * direction(i) * angle[i];
            weight[byteOf(i)] += w;
        }
    }
    // Each change's phase off what its byte's other changes predict, and the
    // spread that noise and that prediction allow it.
    std::vector<double> off(n, 0.0);
    std::vector<double> allowed(n, 0.0);  // 0: not checked
    std::vector<double> excess;           // of each change, squared, beyond its noise
    for (std::size_t i = 0; i + 1 < n; ++i) {
        if (spread[i] <= 0) {
            continue;
        }
        off[i] = std::fabs(angle[i]);
        allowed[i] = spread[i];
        if (changes(i)) {
            const double w = 1 / (spread[i] * spread[i]);
            const double others = weight[byteOf(i)] - w;
            if (others <= 0) {
                allowed[i] = 0;  // nothing else tells where the byte's edge lies
                continue;
            }
            const double shift =
                direction(i) * (sum[byteOf(i)] - w * direction(i) * angle[i]) / others;
            off[i] = std::fabs(std::remainder(angle[i] - shift, 2 * M_PI));
            allowed[i] = std::sqrt(spread[i] * spread[i] + 1 / others);
            excess.push_back(std::max(0.0, off[i] * off[i] - allowed[i] * allowed[i]));
        }
    }
    // How far the transmitter's own edges stray from its clock: the median
    // excess over all changes (a glitch moves a few, jitter moves them all;
    // the median of a squared normal is 0.455 of its variance), and
    // kChangePlacing of a sample at least.
    double placing = kChangePlacing * toneGap;
    if (!excess.empty()) {
        const auto middle = excess.begin() + static_cast<std::ptrdiff_t>(excess.size() / 2);
        std::nth_element(excess.begin(), middle, excess.end());
        stray = std::sqrt(*middle / 0.455);
        placing = std::max(placing, stray);
    }
    for (std::size_t i = 0; i + 1 < n; ++i) {
        if (allowed[i] <= 0) {
            continue;
        }
        const double spreadAllowed =
            changes(i) ? std::sqrt(allowed[i] * allowed[i] + placing * placing) : allowed[i];
        if (off[i] > std::max(changes(i) ? kMinChangeBreakAngle : kMinBreakAngle,
                              kBreakSpreads * spreadAllowed)) {
            marked[i] = true;
            marked[i + 1] = true;
        }
    }
}

// One bit's own log-likelihood as `tone` against noise alone, its phase
// unknown.
double OneBitMetric(const TBitCorrelation& c, const std::array<double, 2>& amplitude, double sigma2,
                    int tone) {
    const double a = amplitude[static_cast<std::size_t>(tone)];
    return LogBesselI0(a * Magnitude(c.Tone[static_cast<std::size_t>(tone)]) / sigma2) -
           c.Samples * a * a / (4 * sigma2);
}

}  // namespace

TThreeBitCosts ThreeBitCosts(const TDiscriminator& s, const std::vector<TBitTones>& tones,
                             bool overMessage, const std::vector<TSampleSpan>& erased) {
    const std::size_t n = tones.size();
    if (s.Signal.size() != s.Mark.size() || s.Signal.size() < static_cast<std::size_t>(s.Window) ||
        n == 0) {
        return {};
    }
    std::vector<TBitCorrelation> c(n);
    for (std::size_t i = 0; i < n; ++i) {
        c[i] = Correlate(s, tones[i].At, erased);
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
    const TBitSpacing spacing = SpacingOf(s, tones);

    // Each bit read on its own, either tone: its neighbour's part where a
    // bit was lost.
    std::vector<double> alone(n);
    for (std::size_t j = 0; j < n; ++j) {
        alone[j] = LogSumExp(OneBitMetric(c[j], amplitude, sigma2, 0),
                             OneBitMetric(c[j], amplitude, sigma2, 1));
    }
    TThreeBitCosts result;
    std::vector<float>& costs = result.Costs;
    std::vector<double> trellis;
    if (overMessage) {
        TWholeMessageReading whole = ReadWholeMessage(c, tones, amplitude, sigma2, w, spacing);
        trellis = std::move(whole.Llr);
        result.FirmBreak = std::move(whole.FirmBreak);
    }
    costs.reserve(n / BitsPerFrame * 8);
    for (std::size_t k = 0; k < n; ++k) {
        const int inFrame = static_cast<int>(k % BitsPerFrame);
        if (inFrame < 1 || inFrame > 8) {
            continue;
        }
        if (!trellis.empty()) {
            costs.push_back(static_cast<float>(tones[k].ReadAsMark ? trellis[k] : -trellis[k]));
            continue;
        }
        const bool hasBefore = k > 0 && spacing.Joined(k - 1);
        const bool hasAfter = spacing.Joined(k);
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
                                  amplitude[static_cast<std::size_t>(a)] * (c[k - 1].Samples / w);
                        phase = spacing.Turn(k - 1, a);
                    }
                    q += amplitude[static_cast<std::size_t>(b)] *
                         c[k].Tone[static_cast<std::size_t>(b)] * std::polar(1.0, -phase);
                    energy += amplitude[static_cast<std::size_t>(b)] *
                              amplitude[static_cast<std::size_t>(b)] * (c[k].Samples / w);
                    if (hasAfter) {
                        phase += spacing.Turn(k, b);
                        q += amplitude[static_cast<std::size_t>(cc)] *
                             c[k + 1].Tone[static_cast<std::size_t>(cc)] * std::polar(1.0, -phase);
                        energy += amplitude[static_cast<std::size_t>(cc)] *
                                  amplitude[static_cast<std::size_t>(cc)] * (c[k + 1].Samples / w);
                    }
                    const double metric =
                        LogBesselI0(Magnitude(q) / sigma2) - w * energy / (4 * sigma2);
                    likelihood[static_cast<std::size_t>(b)] =
                        LogSumExp(likelihood[static_cast<std::size_t>(b)], metric);
                }
            }
        }
        // Or the bit was lost (kLogLostBit): its window holds neither tone,
        // and its neighbours are read each on its own.
        const double lost =
            kLogLostBit + (hasBefore ? alone[k - 1] : 0.0) + (hasAfter ? alone[k + 1] : 0.0);
        const double llr = LogSumExp(likelihood[1], lost) - LogSumExp(likelihood[0], lost);
        costs.push_back(static_cast<float>(tones[k].ReadAsMark ? llr : -llr));
    }
    // The phase carried across a change of tone against across a steady tone
    // (which any transmitter keeps): pairs of bits read together.
    std::array<double, 2> together{};  // [0] steady, [1] a change
    std::array<double, 2> apart{};
    for (std::size_t i = 0; i + 1 < n; ++i) {
        if (!spacing.Joined(i)) {
            continue;
        }
        const int x = tones[i].ReadAsMark ? 1 : 0;
        const int y = tones[i + 1].ReadAsMark ? 1 : 0;
        const TComplex first =
            amplitude[static_cast<std::size_t>(x)] * c[i].Tone[static_cast<std::size_t>(x)];
        const TComplex second = amplitude[static_cast<std::size_t>(y)] *
                                c[i + 1].Tone[static_cast<std::size_t>(y)] *
                                std::polar(1.0, -spacing.Turn(i, x));
        const std::size_t change = x != y ? 1 : 0;
        together[change] += std::real(std::conj(first) * second);
        apart[change] += Magnitude(first) * Magnitude(second);
    }
    if (apart[0] > 0 && apart[1] > 0 && together[0] > 0) {
        result.Coherence = (together[1] / apart[1]) / (together[0] / apart[0]);
    }
    // The breaks are looked for between the bits as the three bits read
    // them: a bit that one bit's tones read wrong has no phase to carry.
    std::vector<TBitTones> decided = tones;
    for (std::size_t k = 0, d = 0; k < n && d < costs.size(); ++k) {
        const int inFrame = static_cast<int>(k % BitsPerFrame);
        if (inFrame >= 1 && inFrame <= 8) {
            decided[k].ReadAsMark = decided[k].ReadAsMark != (costs[d++] < 0);
        }
    }
    MarkPhaseBreaks(c, noise, decided, spacing, s.SpaceStep - s.MarkStep, result.PhaseBreak,
                    result.EdgeStray);
    for (std::size_t k = 0; k < result.FirmBreak.size(); ++k) {
        if (result.FirmBreak[k]) {
            result.PhaseBreak[k] = true;
        }
    }
    return result;
}

}  // namespace ringlark
