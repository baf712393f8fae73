#include "decoding/fsk/BitClock.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace ringlark {

namespace {

// How many of a seizure's crossings make a measurement, and how far from
// nominal a rate may be.
constexpr std::size_t kMinSeizureCrossings = 40;
constexpr double kMaxRateError = SeizureMaxRateError;
// The mark run: the mean decision over a bit at least this; a seizure's last
// crossing at most this many bits before the run.
constexpr double kMinRunMark = 0.3;
constexpr double kSeizureGapBits = 4;
// What the last bits before the mark run must show to be a seizure's: a level
// near the mark run's, and not mostly the space side (a seizure is half marks;
// the end of the mark run found too early in noise leaves marks there, which
// is allowed).
constexpr double kSeizureCheckBits = 48;
constexpr double kMinSeizureMeanDecision = -0.5;
constexpr double kMinSeizureEnergy = 0.25;  // of the mark run's energy per sample
// And its crossings there line up: at least this share of one per two bits.
constexpr double kMinSeizureEndCoherence = 0.5;
// A message's own changes of tone measure the clock when there are at least
// this many and their periodogram's peak holds this share of them.
constexpr std::size_t kMinDataCrossings = 40;
constexpr double kMinDataCoherence = 0.3;
// The mark run ends where its level falls under a tenth of that just before
// the edge (noise alone must not end it).
constexpr double kMinRunEnergy = 0.1;

// Whether the bits before `end` could be a channel seizure: tones at about the
// level of the mark run [runStart, edge), not mostly the space side. Call waiting sends no
// seizure, and what comes before its mark run instead (the quiet after the
// alert tones, the alert itself, whose two tones beat with a period of about
// two bits, or speech) crosses the decision level often enough, and at times
// regularly enough, to be taken for one: the bit clock then came out a few
// per cent off and the message was lost.
bool LooksLikeSeizure(const TDiscriminator& s, double end, double runStart, double edge) {
    const auto energyOver = [&s](double from, double to) {
        const auto a = static_cast<std::size_t>(std::max(0.0, from));
        const auto b = std::min(s.Size(), static_cast<std::size_t>(std::max(0.0, to)));
        double energy = 0;
        double decision = 0;
        for (std::size_t i = a; i < b; ++i) {
            energy += static_cast<double>(s.Mark[i]) + s.Space[i];
            decision += s.D(i);
        }
        const double n = b > a ? static_cast<double>(b - a) : 1.0;
        return std::pair{energy / n, decision / n};
    };
    const double runEnergy = energyOver(runStart, edge).first;
    const auto [energy, decision] = energyOver(end - kSeizureCheckBits * s.BitLength, end);
    return energy >= kMinSeizureEnergy * runEnergy && decision >= kMinSeizureMeanDecision;
}

// The angular frequency within kMaxRateError of `nominal` at which the
// crossings (times from a common origin) line up best: the peak of their
// periodogram, between grid points from a parabola through three values; 0
// when the peak's magnitude is under `least`. Each crossing's phasor is
// advanced from one grid point to the next by a fixed rotation instead of new
// sines.
double PeriodogramPeak(const std::vector<double>& crossings, double nominal, double least) {
    constexpr int kSteps = 200;
    const double wLow = nominal / (1 + kMaxRateError);
    const double wHigh = nominal / (1 - kMaxRateError);
    const double dw = (wHigh - wLow) / kSteps;
    // Grid point by grid point over all crossings (the inner loop runs over
    // independent crossings, which the compiler can vectorise).
    const std::size_t n = crossings.size();
    std::vector<double> zr(n), zi(n), rr(n), ri(n);
    for (std::size_t j = 0; j < n; ++j) {
        zr[j] = std::cos(wLow * crossings[j]);
        zi[j] = std::sin(wLow * crossings[j]);
        rr[j] = std::cos(dw * crossings[j]);
        ri[j] = std::sin(dw * crossings[j]);
    }
    std::array<double, kSteps + 1> re{};
    std::array<double, kSteps + 1> im{};
    for (std::size_t k = 0; k <= kSteps; ++k) {
        double sumRe = 0;
        double sumIm = 0;
        for (std::size_t j = 0; j < n; ++j) {
            sumRe += zr[j];
            sumIm += zi[j];
            const double next = zr[j] * rr[j] - zi[j] * ri[j];
            zi[j] = zr[j] * ri[j] + zi[j] * rr[j];
            zr[j] = next;
        }
        re[k] = sumRe;
        im[k] = sumIm;
    }
    std::array<double, kSteps + 1> values{};
    std::size_t bestK = 0;
    for (std::size_t k = 0; k <= kSteps; ++k) {
        values[k] = std::sqrt(re[k] * re[k] + im[k] * im[k]);
        if (values[k] > values[bestK]) {
            bestK = k;
        }
    }
    if (values[bestK] < least) {
        return 0;
    }
    double w = wLow + static_cast<double>(bestK) * dw;
    if (bestK > 0 && bestK < kSteps) {
        const double a = values[bestK - 1];
        const double b = values[bestK];
        const double c = values[bestK + 1];
        const double denominator = a - 2 * b + c;
        if (denominator < 0) {
            w += dw * 0.5 * (a - c) / denominator;
        }
    }
    return w;
}

// The crossings of the decision through 0, either way, over `bits` bits from
// `edge`, as times from it.
std::vector<double> DataCrossings(const TDiscriminator& s, double edge, double bits) {
    const double nominal = s.BitLength;
    const auto from = static_cast<std::size_t>(std::max(1.0, edge - 0.5 * nominal));
    const auto to = std::min(
        s.Size(), static_cast<std::size_t>(std::max(0.0, edge + bits * nominal * SlowestClock)));
    std::vector<double> crossings;
    for (std::size_t i = from; i < to; ++i) {
        const float a = s.D(i - 1);
        const float b = s.D(i);
        if ((a > 0) != (b > 0)) {
            crossings.push_back(static_cast<double>(i - 1) + (a - b != 0 ? a / (a - b) : 0.0) -
                                edge);
        }
    }
    return crossings;
}

}  // namespace

// The first downward crossing of d through the level in [from, to), to a
// fraction of a sample.
double FindCrossing(const TDiscriminator& s, double from, double to, float level) {
    auto i = static_cast<std::ptrdiff_t>(std::max(1.0, std::floor(from)));
    const auto end =
        std::min(static_cast<std::ptrdiff_t>(s.Size()), static_cast<std::ptrdiff_t>(std::ceil(to)));
    bool above = i - 1 < end && s.Above(static_cast<std::size_t>(i - 1), level);
    for (; i < end; ++i) {
        const bool now = s.Above(static_cast<std::size_t>(i), level);
        if (above && !now) {
            const float a = s.D(static_cast<std::size_t>(i - 1)) - level;
            const float b = s.D(static_cast<std::size_t>(i)) - level;
            return static_cast<double>(i - 1) +
                   (a - b > 0 ? static_cast<double>(a / (a - b)) : 0.0);
        }
        above = now;
    }
    return -1;
}

double NearestCrossing(const TDiscriminator& s, double at, double reach, float level, bool down) {
    auto i = static_cast<std::ptrdiff_t>(std::max(1.0, std::floor(at - reach)));
    const auto end = std::min(static_cast<std::ptrdiff_t>(s.Size()),
                              static_cast<std::ptrdiff_t>(std::ceil(at + reach)));
    double nearest = -1;
    for (; i < end; ++i) {
        const float a = s.D(static_cast<std::size_t>(i - 1)) - level;
        const float b = s.D(static_cast<std::size_t>(i)) - level;
        if (down ? (a > 0 && b <= 0) : (a <= 0 && b > 0)) {
            const double c = static_cast<double>(i - 1) + static_cast<double>(a / (a - b));
            if (nearest < 0 || std::fabs(c - at) < std::fabs(nearest - at)) {
                nearest = c;
            }
        }
    }
    return nearest;
}

// The bit length that the channel seizure before a message shows. Its
// alternating bits cross downwards every two bits, a hundred times and more,
// so the period that lines most of the crossings up measures the
// transmitter's actual bit rate far better than any one byte can: a
// transmitter 2 % fast then reads as well as a nominal one. The period is the
// peak of the crossings' periodogram near the nominal one; crossings from
// noise add only incoherently. (Chains of regularly spaced crossings were
// tried first: at 10 dB a noise crossing breaks a chain every few dozen bits
// and the estimate came out 0.2 % low.) Without a seizure (call waiting), the
// nominal length.
double SeizureBitLength(const TDiscriminator& s, double edge, double* unsure) {
    const double nominal = s.BitLength;
    // The mark run before the message: back from the edge while the mean
    // decision over the last bit stays a mark and its level stays near that
    // of the marks just before the edge (in a quiet stretch the decision is a
    // ratio of two tiny energies and may read as a mark).
    const auto window = static_cast<std::ptrdiff_t>(std::max(1.0, std::round(nominal)));
    auto runStart = static_cast<std::ptrdiff_t>(edge - nominal);
    const auto energyAt = [&s](std::ptrdiff_t j) {
        return j >= 0 ? static_cast<double>(s.Mark[static_cast<std::size_t>(j)]) +
                            s.Space[static_cast<std::size_t>(j)]
                      : 0.0;
    };
    double sum = 0;
    double energy = 0;
    for (std::ptrdiff_t j = runStart - window; j < runStart; ++j) {
        sum += j >= 0 ? s.D(static_cast<std::size_t>(j)) : 0.0f;
        energy += energyAt(j);
    }
    const double minEnergy = kMinRunEnergy * energy;
    while (runStart > window && sum / static_cast<double>(window) >= kMinRunMark &&
           energy >= minEnergy) {
        --runStart;
        sum += s.D(static_cast<std::size_t>(runStart - window)) -
               s.D(static_cast<std::size_t>(runStart));
        energy += energyAt(runStart - window) - energyAt(runStart);
    }
    // A seizure ends where the mark run begins; crossings of anything else
    // (the dual-tone alert of call waiting, whose beat is nearly two bits
    // long, and the quiet after it) must not set the bit clock.
    const double seizureEnd = static_cast<double>(runStart) + nominal;
    const double from = std::max(1.0, seizureEnd - SeizureSearchBits * nominal);
    std::vector<double> crossings;
    for (double at = from; at < seizureEnd;) {
        const double c = FindCrossing(s, at, seizureEnd);
        if (c < 0) {
            break;
        }
        crossings.push_back(c - from);
        at = std::floor(c) + 2.0;  // past the sample after the crossing
    }
    if (crossings.size() < kMinSeizureCrossings ||
        crossings.back() + from < static_cast<double>(runStart) - kSeizureGapBits * nominal ||
        !LooksLikeSeizure(s, seizureEnd, static_cast<double>(runStart), edge)) {
        return nominal;
    }
    const double w = PeriodogramPeak(crossings, M_PI / nominal, kMinSeizureCrossings);
    if (w <= 0) {
        return nominal;  // no seizure: the crossings do not line up
    }
    // The seizure must reach the mark run: its last bits' crossings line up
    // at that period too. Crossings that line up only further back (the two
    // tones of a call-waiting alert beat at nearly two bits) with noise
    // between them and the mark run are no seizure of this message.
    double lastRe = 0;
    double lastIm = 0;
    const double lastFrom = seizureEnd - kSeizureCheckBits * nominal - from;
    for (double c : crossings) {
        if (c >= lastFrom) {
            lastRe += std::cos(w * c);
            lastIm += std::sin(w * c);
        }
    }
    if (std::hypot(lastRe, lastIm) < kMinSeizureEndCoherence * kSeizureCheckBits / 2) {
        // In deep noise a real seizure's last crossings are scattered too:
        // the clock found is offered as a second choice.
        if (unsure != nullptr) {
            *unsure = M_PI / w;
        }
        return nominal;
    }
    return M_PI / w;
}

// The bit length that a message's own changes of tone show. Every change
// lies a whole number of bits after the first start bit (bytes follow one
// another, or after whole idle bits), so the period at which the crossings of
// the decision in either direction line up is the transmitter's bit. Over a
// message of 30 bytes and more it measures the clock to a small part of a per
// cent; a clock 1 % off, read at the nominal one, leaves the last bits of
// each byte a tenth of a bit off their centres, which costs about 2 dB at
// 8000/s. The nominal length when there are too few changes or they do not
// line up.
double DataBitLength(const TDiscriminator& s, double edge, double bits) {
    const double nominal = s.BitLength;
    const std::vector<double> crossings = DataCrossings(s, edge, bits);
    if (crossings.size() < kMinDataCrossings) {
        return nominal;
    }
    const double w = PeriodogramPeak(crossings, 2 * M_PI / nominal,
                                     kMinDataCoherence * static_cast<double>(crossings.size()));
    return w > 0 ? 2 * M_PI / w : nominal;
}

// The phase at which the crossings line up at that period: one crossing
// moved by noise, or by whatever phase a jump of two switched oscillators
// happens to leave, moves it by a small share of that.
TBitGrid DataBitGrid(const TDiscriminator& s, double edge, double bits, double bit) {
    const std::vector<double> crossings = DataCrossings(s, edge, bits);
    if (crossings.size() < kMinDataCrossings || bit <= 0) {
        return {};
    }
    const double w = 2 * M_PI / bit;
    double re = 0;
    double im = 0;
    for (double c : crossings) {
        re += std::cos(w * c);
        im += std::sin(w * c);
    }
    return {bit, edge + std::atan2(im, re) / w};
}

}  // namespace ringlark
