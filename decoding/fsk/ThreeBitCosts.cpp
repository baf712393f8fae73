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

// Each pair of neighbouring bits as `tones` reads them: the second bit's
// correlation against the phase the first one's predicts (in `step`, per pair
// starting at i; 0 where the bits are not joined), and the sum of their
// directions per kind of pair (2 * first + second tone).
template <typename TTurn, typename TJoined>
std::array<TComplex, 4> PairSteps(const std::vector<TBitCorrelation>& c,
                                  const std::vector<TBitTones>& tones, TTurn turn, TJoined joined,
                                  std::vector<TComplex>& step) {
    const std::size_t n = tones.size();
    step.assign(n, TComplex{});
    std::array<TComplex, 4> mean{};
    for (std::size_t i = 0; i + 1 < n; ++i) {
        if (!joined(i)) {
            continue;
        }
        const std::size_t x = tones[i].ReadAsMark ? 1 : 0;
        const std::size_t y = tones[i + 1].ReadAsMark ? 1 : 0;
        step[i] = std::conj(c[i].Tone[x]) * c[i + 1].Tone[y] *
                  std::polar(1.0, -turn(i, static_cast<int>(x)));
        mean[2 * x + y] += step[i] / (Magnitude(step[i]) + 1e-30);
    }
    return mean;
}

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
template <typename TTurn, typename TJoined>
void MarkPhaseBreaks(const std::vector<TBitCorrelation>& c, double noise,
                     const std::vector<TBitTones>& tones, TTurn turn, TJoined joined,
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
    const std::array<TComplex, 4> mean = PairSteps(c, tones, turn, joined, step);
    // Each pair's phase off its kind's mean, and the spread the noise gives it.
    std::vector<double> angle(n, 0.0);
    std::vector<double> spread(n, 0.0);  // 0: not a pair
    for (std::size_t i = 0; i + 1 < n; ++i) {
        if (!joined(i) || Magnitude(step[i]) <= 0) {
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

// The prior log-odds of a lost bit: one whose window holds neither tone, as
// where a sound card's buffer slip plays a stretch of samples from a third
// of a bit earlier over it (the space's phase then turns by half a turn
// there, and the two halves of the bit cancel). Such a bit has little energy
// in either tone, yet the phase carried from its neighbours reads it firmly
// one way; each bit's likelihood is therefore taken as a mixture with this
// share of "lost", which caps what a bit costs at about how much better its
// reading fits than a lost bit, plus 10. A bit read cleanly fits far better
// than a lost one, by its own energy over the noise (about 15 nats at 0 dB
// whole-band SNR at 44100/s), and keeps its cost.
// Measured: of 9 recordings with two slips each that gave a wrong message in
// 40,000 (slips and drops at 44100/s, slips at 8000/s), 4 are withheld at e^-10
// (5 at e^-8, 2 at e^-12); over 200 clean messages at each of 12 points (plain
// 44100/s at -1 to -3 dB and 8000/s at 4 and 6 dB, twist, capture-like, call
// waiting, clipped, switched oscillators) it withheld 13 more in 2400 at e^-10
// (34 at e^-8, 5 at e^-12) and gave no false message.
// Tried with the whole-message reading and not kept: a bit whose tone holds
// but whose phase jumps inside it (read in three parts, each with its own
// phase) as a third kind of bit, at e^-8. It withheld 6 of 7 recordings with
// slips that gave a wrong message, but the parts are too short to tell the
// tones apart: with 60 Hz hum 6 dB above the signal at -2 dB, 97.6 % -> 51.3 %
// exact, capture-like 8000/s at 6 dB 91.9 % -> 89.2 %.
constexpr double kLogLostBit = -10.0;

// One bit's own log-likelihood as `tone` against noise alone, its phase
// unknown.
double OneBitMetric(const TBitCorrelation& c, const std::array<double, 2>& amplitude, double sigma2,
                    double w, int tone) {
    const double a = amplitude[static_cast<std::size_t>(tone)];
    return LogBesselI0(a * Magnitude(c.Tone[static_cast<std::size_t>(tone)]) / sigma2) -
           w * a * a / (4 * sigma2);
}

// The mean cosine of the phase of a tone read in complex Gaussian noise, for
// a correlation whose power is `measured` times the noise's (the tone's own
// power taken as that less the noise's): sqrt(pi r) / 2 e^(-r/2) (I0(r/2) +
// I1(r/2)), r the tone's power over the noise's.
double MeanCosine(double measured) {
    const double r = std::max(measured - 1, 1e-3);
    const double x = r / 2;
    const double scaled =  // e^-x (I0(x) + I1(x))
        x < 30 ? std::exp(-x) * (std::cyl_bessel_i(0.0, x) + std::cyl_bessel_i(1.0, x))
               : (2 - 1 / (4 * x)) / std::sqrt(2 * M_PI * x);
    return std::sqrt(M_PI * r) / 2 * scaled;
}

// Reading a whole message at once (PhaseTrellisLlr): the carrier's phase at
// the start of each bit in kPhases steps to a turn (the loss from the nearest
// step, 1 - cos(pi / 32), is a tenth of a nat where bits are weak). From bit
// to bit the phase turns as the tone read says, plus the mean turn of that
// kind of pair (mark to space...) that the message's own pairs show, and
// then drifts by a normal spread of the phase: what the pairs of that kind,
// steady or changing tone, stray beyond what the noise explains (measured
// from their mean cosine), and kMinDrift at least. At each step the phase
// may also start anew, at odds kLogPhaseBreak (a sound card's lost samples).
// Measured over 1000 messages at each of 10 hard points of the integrity
// sweep, against three bits at a time: plain 44100/s at -3 dB 84.7 -> 90.7 %
// exact, uncertain 27 -> 10; plain 8000/s at 4 dB 72.2 -> 82.8 %; capture-like
// 8000/s at 6 dB 81.1 -> 91.7 %, 44100/s at 0 dB 91.8 -> 94.8 %; call waiting
// after its alerts, twist +6 dB, 8000/s at 4 dB 38.3 -> 48.5 %; clock 3 % slow
// at -3 dB 77.4 -> 88.6 %; twist -10 dB at 0 dB 84.8 -> 87.5 %; no false
// message. Tried: one phase per bit, not its tone, with one fixed drift: 0.3
// radians suits edges placed loosely (capture-like 8000/s 90.6 %) and costs
// clean signals (plain -3 dB 87.4 %), 0.15 the other way round (91.0 % and
// 82.1 %); the drift per kind of pair, measured, keeps both. The drift taken
// as the median of what the pairs stray beyond their noise read 0 wherever
// noise rules; the mean cosine does not. A floor of 0.1 radians instead of
// 0.15: plain -3 dB 91.5 %, but capture-like 44100/s 92.4 % with 16 uncertain
// (4 at 0.15); 0.2: plain -3 dB 89.7 %.
constexpr int kPhases = 32;
constexpr double kMinDrift = 0.15;  // radians per bit
constexpr double kLogPhaseBreak = -10.0;

struct TPairDrift {
    std::array<double, 4> Turn{};    // beyond the nominal, per kind: 2 * first + second tone
    std::array<double, 2> Spread{};  // [0] a steady tone, [1] a change
};

template <typename TTurn, typename TJoined>
TPairDrift MeasurePairDrift(const std::vector<TBitCorrelation>& c,
                            const std::vector<TBitTones>& tones, double noise, TTurn turn,
                            TJoined joined) {
    const std::size_t n = tones.size();
    const auto tone = [&](std::size_t i) { return tones[i].ReadAsMark ? 1u : 0u; };
    std::vector<TComplex> step;
    const std::array<TComplex, 4> mean = PairSteps(c, tones, turn, joined, step);
    TPairDrift drift;
    for (std::size_t k = 0; k < 4; ++k) {
        drift.Turn[k] = Magnitude(mean[k]) > 0 ? std::arg(mean[k]) : 0.0;
    }
    // Each pair's cosine off its kind's turn against what the noise alone
    // leaves of it, weighted by that.
    std::array<double, 2> cosines{};
    std::array<double, 2> expected{};
    for (std::size_t i = 0; i + 1 < n; ++i) {
        if (!joined(i) || Magnitude(step[i]) <= 0) {
            continue;
        }
        const std::size_t kind = 2 * tone(i) + tone(i + 1);
        const double weight = MeanCosine(std::norm(c[i].Tone[tone(i)]) / noise) *
                              MeanCosine(std::norm(c[i + 1].Tone[tone(i + 1)]) / noise);
        const std::size_t change = tone(i) != tone(i + 1) ? 1 : 0;
        cosines[change] += weight * std::cos(std::arg(step[i]) - drift.Turn[kind]);
        expected[change] += weight * weight;
    }
    for (std::size_t k = 0; k < 2; ++k) {
        drift.Spread[k] = kMinDrift;
        if (expected[k] > 2) {
            const double ratio = std::clamp(cosines[k] / expected[k], 0.05, 1.0);
            drift.Spread[k] = std::max(kMinDrift, std::sqrt(-2 * std::log(ratio)));
        }
    }
    drift.Spread[1] = std::max(drift.Spread[1], drift.Spread[0]);
    return drift;
}

// Where the whole reading finds the capture plainly broken: the odds that
// the phase started anew between a bit and the next, or that a bit was lost,
// against the bits read as the tones carry on, are above e^5 (with their
// priors at e^-10, the signal must say so by 15 nats). Such a break lies in
// the recording, not in one reading of it, so it is passed to the other
// readings of the same start (DecodeFrom's knownBreaks): a sound card's slip
// often shows in the readings that it makes fail and not in the one that
// passes with the bits it spoiled (of V.23 recordings with two slips, 5 in
// 18,000 gave a wrong message; with breaks passed on, 1). Measured over 1000
// messages at each of 12 hard points without glitches (plain 44100/s at -3
// and -2 dB, 8000/s at 4 dB, capture-like, hum, twist, clock 3 % slow,
// clipped, call waiting), 1 more uncertain in 12,000 and nothing else
// changed; at e^0 (more likely than not), 13 more, most on capture-like
// recordings whose distortion moves the phase. Breaks found by the pairs'
// phases alone (MarkPhaseBreaks) passed on in the same way withheld 10 % of
// those messages: readings that fail have wrong bits, whose phases jump.
constexpr double kFirmBreakOdds = 5.0;

struct TTrellisReading {
    std::vector<double> Llr;
    std::vector<bool> FirmBreak;  // per bit: kFirmBreakOdds
};

// Every data bit's log-likelihood ratio over the whole message: a forward and
// a backward pass over each bit's tone and the carrier's phase at its start.
// A bit may also be lost (kLogLostBit): it holds neither tone and the phase
// after it starts anew.
template <typename TTurn, typename TJoined>
TTrellisReading PhaseTrellisLlr(const std::vector<TBitCorrelation>& c,
                                const std::vector<TBitTones>& tones,
                                const std::array<double, 2>& amplitude, double sigma2, double w,
                                TTurn turn, TJoined joined) {
    const std::size_t n = tones.size();
    const double restart = std::exp(kLogPhaseBreak);
    const double stepAngle = 2 * M_PI / kPhases;
    constexpr unsigned kWrap = kPhases - 1;
    const TPairDrift drift = MeasurePairDrift(c, tones, w * sigma2, turn, joined);
    // The drift's kernels over whole steps, steady and at a change.
    std::array<std::vector<double>, 2> spread;
    for (std::size_t k = 0; k < 2; ++k) {
        const int reach = std::min(kPhases / 2 - 1,
                                   static_cast<int>(std::ceil(3.5 * drift.Spread[k] / stepAngle)));
        double sum = 0;
        for (int d = -reach; d <= reach; ++d) {
            const double x = d * stepAngle / drift.Spread[k];
            spread[k].push_back(std::exp(-0.5 * x * x));
            sum += spread[k].back();
        }
        for (double& v : spread[k]) {
            v /= sum;
        }
    }
    // From bit k as tone b to bit k + 1 as tone b2 (at 4 k + 2 b + b2): the
    // kernel's weights for whole steps First, First + 1...
    struct TKernel {
        int First = 0;
        std::vector<double> Weight;
    };
    std::vector<TKernel> kernels(4 * n);
    for (std::size_t k = 0; k + 1 < n; ++k) {
        if (!joined(k)) {
            continue;
        }
        for (std::size_t b = 0; b < 2; ++b) {
            for (std::size_t b2 = 0; b2 < 2; ++b2) {
                const std::vector<double>& g = spread[b == b2 ? 0 : 1];
                const double shift =
                    (turn(k, static_cast<int>(b)) + drift.Turn[2 * b + b2]) / stepAngle;
                const double whole = std::floor(shift);
                const double f = shift - whole;
                TKernel& h = kernels[4 * k + 2 * b + b2];
                h.First = static_cast<int>(whole) - static_cast<int>(g.size() / 2);
                h.Weight.assign(g.size() + 1, 0.0);
                for (std::size_t d = 0; d < g.size(); ++d) {
                    h.Weight[d] += (1 - f) * g[d];
                    h.Weight[d + 1] += f * g[d];
                }
            }
        }
    }
    using TRow = std::array<double, kPhases>;
    using TState = std::array<TRow, 2>;  // [tone][phase]
    std::array<double, kPhases> cosine{};
    std::array<double, kPhases> sine{};
    for (std::size_t i = 0; i < kPhases; ++i) {
        cosine[i] = std::cos(static_cast<double>(i) * stepAngle);
        sine[i] = std::sin(static_cast<double>(i) * stepAngle);
    }
    // What bit k's signal says of each tone and phase, less top[k], as a
    // likelihood (the log-likelihood of the tone at that phase against noise
    // alone: its correlation's real part over the noise, less its energy).
    std::vector<TState> fit(n);
    std::vector<double> top(n);
    for (std::size_t k = 0; k < n; ++k) {
        TState m{};
        double best = -1e300;
        for (std::size_t b = 0; b < 2; ++b) {
            const double re = amplitude[b] * std::real(c[k].Tone[b]) / sigma2;
            const double im = amplitude[b] * std::imag(c[k].Tone[b]) / sigma2;
            const double energy = w * amplitude[b] * amplitude[b] / (4 * sigma2);
            for (std::size_t i = 0; i < kPhases; ++i) {
                m[b][i] = re * cosine[i] + im * sine[i] - energy;
                best = std::max(best, m[b][i]);
            }
        }
        top[k] = best;
        for (std::size_t b = 0; b < 2; ++b) {
            for (std::size_t i = 0; i < kPhases; ++i) {
                fit[k][b][i] = std::exp(m[b][i] - best);
            }
        }
    }
    const auto normalise = [](TState& x) {
        double sum = 0;
        for (const TRow& r : x) {
            for (double v : r) {
                sum += v;
            }
        }
        for (TRow& r : x) {
            for (double& v : r) {
                v /= sum + 1e-300;
            }
        }
    };
    // Forward: alpha[k] holds the tone and phase of bit k given the bits
    // before it, scaled to sum to 1.
    std::vector<TState> alpha(n);
    for (TRow& r : alpha[0]) {
        r.fill(0.5 / kPhases);
    }
    for (std::size_t k = 0; k + 1 < n; ++k) {
        TState v{};
        double total = 0;
        for (std::size_t b = 0; b < 2; ++b) {
            for (std::size_t i = 0; i < kPhases; ++i) {
                v[b][i] = alpha[k][b][i] * fit[k][b][i];
                total += v[b][i];
            }
        }
        TState& next = alpha[k + 1];
        const double anew = 0.5 * (joined(k) ? restart : 1.0) * total / kPhases;
        for (std::size_t b2 = 0; b2 < 2; ++b2) {
            next[b2].fill(anew);
            if (!joined(k)) {
                continue;
            }
            for (std::size_t b = 0; b < 2; ++b) {
                const TKernel& h = kernels[4 * k + 2 * b + b2];
                for (std::size_t i = 0; i < kPhases; ++i) {
                    const double x = 0.5 * (1 - restart) * v[b][i];
                    const int from = static_cast<int>(i) + h.First;
                    for (std::size_t d = 0; d < h.Weight.size(); ++d) {
                        next[b2][static_cast<unsigned>(from + static_cast<int>(d)) & kWrap] +=
                            x * h.Weight[d];
                    }
                }
            }
        }
        normalise(next);
    }
    // Backward, each bit's ratio on the way: beta holds what the bits after
    // bit k say of its tone and phase.
    TTrellisReading reading;
    std::vector<double>& llr = reading.Llr;
    llr.assign(n, 0.0);
    reading.FirmBreak.assign(n, false);
    TState beta;
    for (TRow& r : beta) {
        r.fill(1.0);
    }
    for (std::size_t k = n; k-- > 0;) {
        double after = 0;  // beta's mean over the tones and phases: the phase anew
        for (const TRow& r : beta) {
            for (double v : r) {
                after += 0.5 * v / kPhases;
            }
        }
        TState carried{};  // what follows bit k as tone b from phase i
        for (std::size_t b = 0; b < 2; ++b) {
            carried[b].fill(joined(k) ? restart * after : after);
            if (!joined(k)) {
                continue;
            }
            for (std::size_t b2 = 0; b2 < 2; ++b2) {
                const TKernel& h = kernels[4 * k + 2 * b + b2];
                for (std::size_t i = 0; i < kPhases; ++i) {
                    double sum = 0;
                    const int from = static_cast<int>(i) + h.First;
                    for (std::size_t d = 0; d < h.Weight.size(); ++d) {
                        sum += h.Weight[d] *
                               beta[b2][static_cast<unsigned>(from + static_cast<int>(d)) & kWrap];
                    }
                    carried[b][i] += 0.5 * (1 - restart) * sum;
                }
            }
        }
        std::array<double, 2> like{};
        double before = 0;
        double anew = 0;  // the part of like where the phase starts anew after bit k
        for (std::size_t b = 0; b < 2; ++b) {
            for (std::size_t i = 0; i < kPhases; ++i) {
                beta[b][i] = fit[k][b][i] * carried[b][i];
                like[b] += alpha[k][b][i] * beta[b][i];
                before += alpha[k][b][i];
                anew += alpha[k][b][i] * fit[k][b][i] * (joined(k) ? restart * after : 0.0);
            }
        }
        const double lost = kLogLostBit - top[k] + std::log(before * after + 1e-300);
        llr[k] = LogSumExp(std::log(like[1] + 1e-300), lost) -
                 LogSumExp(std::log(like[0] + 1e-300), lost);
        const double read = like[0] + like[1];
        if (lost - std::log(read + 1e-300) > kFirmBreakOdds) {
            reading.FirmBreak[k] = true;
        }
        if (k + 1 < n &&
            std::log(anew + 1e-300) - std::log(read - anew + 1e-300) > kFirmBreakOdds) {
            reading.FirmBreak[k] = true;
            reading.FirmBreak[k + 1] = true;
        }
        normalise(beta);
    }
    return reading;
}

}  // namespace

TThreeBitCosts ThreeBitCosts(const TDiscriminator& s, const std::vector<TBitTones>& tones,
                             bool overMessage) {
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

    // Each bit read on its own, either tone: its neighbour's part where a
    // bit was lost.
    std::vector<double> alone(n);
    for (std::size_t j = 0; j < n; ++j) {
        alone[j] = LogSumExp(OneBitMetric(c[j], amplitude, sigma2, w, 0),
                             OneBitMetric(c[j], amplitude, sigma2, w, 1));
    }
    TThreeBitCosts result;
    std::vector<float>& costs = result.Costs;
    std::vector<double> trellis;
    if (overMessage) {
        TTrellisReading whole = PhaseTrellisLlr(c, tones, amplitude, sigma2, w, turn, joined);
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
    // The breaks are looked for between the bits as the three bits read
    // them: a bit that one bit's tones read wrong has no phase to carry.
    std::vector<TBitTones> decided = tones;
    for (std::size_t k = 0, d = 0; k < n && d < costs.size(); ++k) {
        const int inFrame = static_cast<int>(k % BitsPerFrame);
        if (inFrame >= 1 && inFrame <= 8) {
            decided[k].ReadAsMark = decided[k].ReadAsMark != (costs[d++] < 0);
        }
    }
    MarkPhaseBreaks(c, noise, decided, turn, joined, s.SpaceStep - s.MarkStep, result.PhaseBreak,
                    result.EdgeStray);
    for (std::size_t k = 0; k < result.FirmBreak.size(); ++k) {
        if (result.FirmBreak[k]) {
            result.PhaseBreak[k] = true;
        }
    }
    return result;
}

}  // namespace ringlark
