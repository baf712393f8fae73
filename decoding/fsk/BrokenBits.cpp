#include "decoding/fsk/BrokenBits.h"

#include <algorithm>
#include <cmath>

namespace ringlark {

namespace {

// A departure from the clean trajectory counts when it exceeds this share of
// the tones' level plus this many times the noise's amplitude over the
// weaker tone's level. Measured on clean signals (Bell 202 and V.23, 44100
// and 8000/s, twist, hum, call waiting) so that no message is lost to noise.
constexpr double kStrayShare = 0.25;
constexpr double kStrayNoise = 3.5;
// A transition between two different bits counts as out of place when it
// lies further from the usual place than this many times the noise's
// amplitude over the weaker tone's level, in bits, and never within a fifth
// of a bit (tones a few percent off their frequencies move transitions that
// far in a clean signal).
constexpr double kShiftNoise = 2.0;
constexpr double kShiftLeast = 0.2;

// Broken bits further apart than this are two breaks.
constexpr std::size_t kBreakGap = 3;

double Median(std::vector<double> v) {
    if (v.empty()) {
        return 0;
    }
    const auto mid = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
    std::nth_element(v.begin(), mid, v.end());
    return *mid;
}

double Decision(double mark, double space) {
    return mark + space > 0 ? (mark - space) / (mark + space) : 0;
}

// The tones' amplitudes between two neighbouring bits' centres.
struct TPath {
    double SameLow = 1e300;  // equal bits: the tone's weakest amplitude
    double Foreign = 0;      // equal bits: the other tone's strongest
    double OldRise = 0;      // different bits: how far the first one's tone comes back
    double NewFall = 0;      // different bits: how far the second one's tone fades
    double Crossing = -1;    // where the decision passes the middle level, nearest the middle
};

TPath FollowPath(const TDiscriminator& s, double from, double to, bool oldMark, bool newMark,
                 double middle) {
    TPath path;
    double oldLow = 1e300;
    double newHigh = 0;
    double previous = 0;
    const double centre = (from + to) / 2;
    const auto first = static_cast<std::size_t>(std::ceil(std::max(0.0, from)));
    const auto last = std::min(static_cast<std::size_t>(std::max(0.0, to)), s.Size() - 1);
    for (std::size_t j = first; j <= last; ++j) {
        const double markEnergy = s.Mark[j];
        const double spaceEnergy = s.Space[j];
        const double m = std::sqrt(markEnergy);
        const double sp = std::sqrt(spaceEnergy);
        const double d = Decision(markEnergy, spaceEnergy);
        if (j > first && (previous - middle) * (d - middle) <= 0 && previous != d) {
            const double x = static_cast<double>(j) - (d - middle) / (d - previous);
            if (path.Crossing < 0 || std::fabs(x - centre) < std::fabs(path.Crossing - centre)) {
                path.Crossing = x;
            }
        }
        previous = d;
        const double oldAmp = oldMark ? m : sp;
        const double newAmp = newMark ? m : sp;
        if (oldMark == newMark) {
            path.SameLow = std::min(path.SameLow, oldAmp);
            path.Foreign = std::max(path.Foreign, oldMark ? sp : m);
        } else {
            oldLow = std::min(oldLow, oldAmp);
            path.OldRise = std::max(path.OldRise, oldAmp - oldLow);
            newHigh = std::max(newHigh, newAmp);
            path.NewFall = std::max(path.NewFall, newHigh - newAmp);
        }
    }
    return path;
}

}  // namespace

void MarkBrokenBits(const TDiscriminator& s, const std::vector<double>& centres, double bit,
                    std::vector<TBitTones>& tones) {
    const std::size_t n = tones.size();
    if (n < 2 || centres.size() != n || s.Size() == 0) {
        return;
    }
    // Each tone's level (the median amplitude of the bits read as it), the
    // noise's amplitude (what the tone not read holds beyond the leakage, as
    // DataBitCosts measures it) and the middle of the decisions.
    std::vector<double> markAmps, spaceAmps, markDecisions, spaceDecisions;
    double other = 0;
    for (const auto& t : tones) {
        (t.ReadAsMark ? markAmps : spaceAmps).push_back(t.ReadAsMark ? t.Mark : t.Space);
        (t.ReadAsMark ? markDecisions : spaceDecisions)
            .push_back(Decision(t.Mark * t.Mark, t.Space * t.Space));
        other += t.ReadAsMark ? t.Space * t.Space : t.Mark * t.Mark;
    }
    const double markLevel = Median(markAmps);
    const double spaceLevel = Median(spaceAmps);
    if (markLevel <= 0 || spaceLevel <= 0) {
        return;
    }
    const double leaked = s.Leakage * s.Leakage *
                          (static_cast<double>(markAmps.size()) * markLevel * markLevel +
                           static_cast<double>(spaceAmps.size()) * spaceLevel * spaceLevel) /
                          static_cast<double>(n);
    const double noise =
        std::sqrt(std::max(other / static_cast<double>(n) - leaked, 0.1 * leaked + 1e-30));
    const double middle = (Median(markDecisions) + Median(spaceDecisions)) / 2;

    std::vector<bool> broken(n, false);
    struct TTransition {
        std::size_t Index;
        bool Falling;  // mark to space
        double Shift;  // from the middle between the centres, in bits
        double Allowed;
    };
    std::vector<TTransition> transitions;
    std::vector<double> shifts[2];  // falling, rising
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const double from = centres[i];
        const double to = centres[i + 1];
        if (to <= from || to - from > 1.5 * bit) {
            continue;  // idle marks between the bytes: not neighbours
        }
        const bool oldMark = tones[i].ReadAsMark;
        const bool newMark = tones[i + 1].ReadAsMark;
        const double oldLevel = oldMark ? markLevel : spaceLevel;
        const double newLevel = newMark ? markLevel : spaceLevel;
        const double noiseShare = noise / std::min(oldLevel, newLevel);
        const TPath path = FollowPath(s, from, to, oldMark, newMark, middle);
        double stray = 0;
        if (oldMark == newMark) {
            stray =
                (1 - path.SameLow / oldLevel) + std::max(0.0, path.Foreign / oldLevel - s.Leakage);
        } else {
            stray = path.OldRise / oldLevel + path.NewFall / newLevel;
            if (path.Crossing >= 0) {
                const double shift = (path.Crossing - (from + to) / 2) / (to - from);
                transitions.push_back(
                    {i, oldMark, shift, std::max(kShiftLeast, kShiftNoise * noiseShare)});
                shifts[oldMark ? 0 : 1].push_back(shift);
            }
        }
        if (stray > kStrayShare + kStrayNoise * noiseShare) {
            broken[i] = broken[i + 1] = true;
        }
    }
    // Transitions are measured from where this reading's transitions of the
    // same direction usually lie: a twist or a slicer level moves them all.
    const double usual[2] = {Median(shifts[0]), Median(shifts[1])};
    for (const TTransition& t : transitions) {
        if (std::fabs(t.Shift - usual[t.Falling ? 0 : 1]) > t.Allowed) {
            broken[t.Index] = broken[t.Index + 1] = true;
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        tones[i].Broken = broken[i];
    }
}

void CapBrokenBitCosts(const std::vector<TBitTones>& tones, std::vector<float>& costs) {
    // The breaks: runs of broken bits apart from each other.
    int breaks = 0;
    std::size_t lastBroken = 0;
    for (std::size_t i = 0; i < tones.size(); ++i) {
        if (tones[i].Broken) {
            breaks += breaks == 0 || i > lastBroken + kBreakGap ? 1 : 0;
            lastBroken = i;
        }
    }
    if (breaks == 0) {
        return;
    }
    const double nearBreak = breaks >= 2 ? CostNearBreak : 1e30;
    std::size_t c = 0;
    for (std::size_t i = 0; i < tones.size() && c < costs.size(); ++i) {
        const auto k = static_cast<int>(i % BitsPerFrame);
        if (k < 1 || k > 8) {
            continue;
        }
        const double cap = tones[i].Broken ? BrokenBitCost : nearBreak;
        costs[c] = static_cast<float>(std::min(static_cast<double>(costs[c]), cap));
        ++c;
    }
}

}  // namespace ringlark
