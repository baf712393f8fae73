#include "decoding/fsk/BrokenBits.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace ringlark {

namespace {

constexpr std::size_t kBeforeStep = 6;
constexpr std::size_t kAfterStep = 8;
// Offsets count up to this many robust standard deviations from the line.
constexpr double kClipSigmas = 2.5;
// The least standard deviation assumed, in bits: a clean recording's
// crossings are not known better than the discriminator's resolution.
constexpr double kLeastSigma = 0.01;
// The unknowns of the fit: the clock's line, a shift for each kind of change
// but the first, the step.
constexpr std::size_t kColumns = ToneChangeKinds + 1;
constexpr std::size_t kStep = ToneChangeKinds;
// Steps to later changes taken out before a step to earlier ones is looked for.
constexpr int kMostLateSteps = 3;

// The end of the stretch (TToneChange::Stretch) that begins at `from`.
std::size_t StretchEnd(const std::vector<TToneChange>& changes, std::size_t from) {
    std::size_t to = from;
    while (to < changes.size() && changes[to].Stretch == changes[from].Stretch) {
        ++to;
    }
    return to;
}

// The offsets less each stretch's mean, a common line through the changes'
// places, a common shift for each kind of change and, from the change
// `split` to the end of its stretch, a step (none when `split` is -1): least
// squares, with the stretch means taken out first. Returns the residuals and
// puts the step in `step`, and its variance over the offsets' in
// `stepVariance`.
std::vector<double> Fit(const std::vector<TToneChange>& changes, const std::vector<double>& offsets,
                        int split, double& step, double& stepVariance) {
    const std::size_t m = changes.size();
    step = 0;
    stepVariance = 0;
    std::vector<double> r(m);
    std::vector<std::array<double, kColumns>> x(m);
    for (std::size_t from = 0; from < m;) {
        const std::size_t to = StretchEnd(changes, from);
        const bool stepHere = split >= 0 && static_cast<std::size_t>(split) >= from &&
                              static_cast<std::size_t>(split) < to;
        std::array<double, kColumns> mean{};
        double meanOffset = 0;
        for (std::size_t i = from; i < to; ++i) {
            x[i] = {};
            x[i][0] = static_cast<double>(changes[i].Bit);
            if (changes[i].Kind > 0) {
                x[i][static_cast<std::size_t>(changes[i].Kind)] = 1.0;
            }
            x[i][kStep] = stepHere && i >= static_cast<std::size_t>(split) ? 1.0 : 0.0;
            for (std::size_t p = 0; p < kColumns; ++p) {
                mean[p] += x[i][p];
            }
            meanOffset += offsets[i];
        }
        const auto count = static_cast<double>(to - from);
        for (std::size_t i = from; i < to; ++i) {
            for (std::size_t p = 0; p < kColumns; ++p) {
                x[i][p] -= mean[p] / count;
            }
            r[i] = offsets[i] - meanOffset / count;
        }
        from = to;
    }
    // The normal equations over the unknowns something measures (a kind of
    // change that does not occur, no step asked for: those stay 0), solved
    // by inverting them, whose diagonal gives the step's variance over the
    // offsets' variance.
    std::array<std::size_t, kColumns> used{};
    std::size_t k = 0;
    for (std::size_t p = 0; p < kColumns; ++p) {
        double norm = 0;
        for (std::size_t i = 0; i < m; ++i) {
            norm += x[i][p] * x[i][p];
        }
        if (norm > 1e-9) {
            used[k++] = p;
        }
    }
    std::array<std::array<double, 2 * kColumns>, kColumns> a{};
    std::array<double, kColumns> v{};
    for (std::size_t p = 0; p < k; ++p) {
        for (std::size_t q = 0; q < k; ++q) {
            for (std::size_t i = 0; i < m; ++i) {
                a[p][q] += x[i][used[p]] * x[i][used[q]];
            }
        }
        a[p][k + p] = 1;
        for (std::size_t i = 0; i < m; ++i) {
            v[p] += x[i][used[p]] * r[i];
        }
    }
    for (std::size_t p = 0; p < k; ++p) {
        std::size_t pivot = p;
        for (std::size_t q = p + 1; q < k; ++q) {
            if (std::fabs(a[q][p]) > std::fabs(a[pivot][p])) {
                pivot = q;
            }
        }
        if (std::fabs(a[pivot][p]) < 1e-9) {
            return r;  // the unknowns cannot be told apart
        }
        std::swap(a[p], a[pivot]);
        const double divisor = a[p][p];
        for (std::size_t col = 0; col < 2 * k; ++col) {
            a[p][col] /= divisor;
        }
        for (std::size_t q = 0; q < k; ++q) {
            if (q != p) {
                const double f = a[q][p];
                for (std::size_t col = 0; col < 2 * k; ++col) {
                    a[q][col] -= f * a[p][col];
                }
            }
        }
    }
    std::array<double, kColumns> c{};
    for (std::size_t p = 0; p < k; ++p) {
        for (std::size_t q = 0; q < k; ++q) {
            c[used[p]] += a[p][k + q] * v[q];
        }
        if (used[p] == kStep) {
            stepVariance = a[p][k + p];
        }
    }
    for (std::size_t i = 0; i < m; ++i) {
        for (std::size_t p = 0; p < kColumns; ++p) {
            r[i] -= c[p] * x[i][p];
        }
    }
    step = c[kStep];
    return r;
}

// A robust standard deviation: the median absolute deviation, scaled.
double RobustSigma(const std::vector<double>& r, double& middle) {
    middle = Median(r);
    std::vector<double> deviation(r.size());
    std::transform(r.begin(), r.end(), deviation.begin(),
                   [middle](double v) { return std::fabs(v - middle); });
    return std::max(kLeastSigma, 1.4826 * Median(deviation));
}

// The split whose clipped residuals from the line step most, to earlier
// changes (`early`) or to later ones, with its score and its stretch.
struct TSplit {
    int At = -1;
    double Score = 0;
    std::size_t From = 0;
    std::size_t To = 0;
};

TSplit BestSplit(const std::vector<TToneChange>& changes, const std::vector<double>& offsets,
                 bool early) {
    double unused = 0;
    double unusedVariance = 0;
    const std::vector<double> r = Fit(changes, offsets, -1, unused, unusedVariance);
    double middle = 0;
    const double sigma = RobustSigma(r, middle);
    std::vector<double> sum(r.size() + 1, 0.0);
    for (std::size_t i = 0; i < r.size(); ++i) {
        sum[i + 1] = sum[i] + std::clamp(r[i] - middle, -kClipSigmas * sigma, kClipSigmas * sigma);
    }
    TSplit best;
    for (std::size_t from = 0; from < changes.size();) {
        const std::size_t to = StretchEnd(changes, from);
        for (std::size_t split = from + kBeforeStep; split + kAfterStep <= to; ++split) {
            const auto before = static_cast<double>(split - from);
            const auto after = static_cast<double>(to - split);
            const double down = (sum[split] - sum[from]) / before - (sum[to] - sum[split]) / after;
            const double score =
                (early ? down : -down) / (sigma * std::sqrt(1.0 / before + 1.0 / after));
            if (score > best.Score) {
                best = {static_cast<int>(split), score, from, to};
            }
        }
        from = to;
    }
    return best;
}

// The step at a split, fitted with the line, then again with the offsets
// held within kClipSigmas of that fit; its score in standard errors, positive
// for a step to earlier changes.
TTimingStep StepAt(const std::vector<TToneChange>& changes, std::vector<double> offsets,
                   const TSplit& split) {
    double step = 0;
    double variance = 0;
    const std::vector<double> e = Fit(changes, offsets, split.At, step, variance);
    double middle = 0;
    const double spread = RobustSigma(e, middle);
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        offsets[i] -=
            e[i] - middle - std::clamp(e[i] - middle, -kClipSigmas * spread, kClipSigmas * spread);
    }
    Fit(changes, offsets, split.At, step, variance);
    return {split.At, step, variance > 0 ? -step / (spread * std::sqrt(variance)) : 0.0};
}

}  // namespace

TTimingStep FindTimingStep(const std::vector<TToneChange>& given) {
    if (given.size() < kBeforeStep + kAfterStep) {
        return {};
    }
    // Changes that come later for good from some point (a stretch played
    // again, a pause shorter than a bit) start a stretch of their own, as
    // idle marks do; else the line through all of them tilts and the last
    // ones seem early.
    std::vector<TToneChange> changes = given;
    std::vector<double> offsets(changes.size());
    std::transform(changes.begin(), changes.end(), offsets.begin(),
                   [](const TToneChange& c) { return c.Offset; });
    int stretches = changes.back().Stretch + 1;
    for (int i = 0; i < kMostLateSteps; ++i) {
        const TSplit late = BestSplit(changes, offsets, false);
        if (late.At < 0 || -StepAt(changes, offsets, late).Score < LostSamplesMinScore) {
            break;
        }
        for (std::size_t k = static_cast<std::size_t>(late.At); k < late.To; ++k) {
            changes[k].Stretch = stretches;
        }
        ++stretches;
    }
    const TSplit split = BestSplit(changes, offsets, true);
    return split.At < 0 ? TTimingStep{} : StepAt(changes, offsets, split);
}

bool MarkLostSamples(const std::vector<TToneChange>& changes, std::vector<TBitTones>& tones) {
    const TTimingStep step = FindTimingStep(changes);
    if (step.First < 1 || -step.Step < LostSamplesMinStep || step.Score < LostSamplesMinScore) {
        return false;
    }
    const auto first = static_cast<std::size_t>(step.First);
    const std::size_t from = changes[first - 1].Bit > 0 ? changes[first - 1].Bit - 1 : 0;
    for (std::size_t i = from; i <= changes[first].Bit && i < tones.size(); ++i) {
        tones[i].Broken = true;
    }
    return true;
}

void CapBrokenBitCosts(const std::vector<TBitTones>& tones, std::vector<float>& costs) {
    if (std::none_of(tones.begin(), tones.end(), [](const TBitTones& t) { return t.Broken; })) {
        return;
    }
    std::size_t c = 0;
    for (std::size_t i = 0; i < tones.size() && c < costs.size(); ++i) {
        const auto k = static_cast<int>(i % BitsPerFrame);
        if (k < 1 || k > 8) {
            continue;
        }
        const double cap = tones[i].Broken ? BrokenBitCost : CostNearBreak;
        costs[c] = static_cast<float>(std::min(static_cast<double>(costs[c]), cap));
        ++c;
    }
}

}  // namespace ringlark
