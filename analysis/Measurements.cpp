#include "analysis/Measurements.h"

#include "analysis/ToneFit.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <numeric>

namespace ringlark {

namespace {

using TComplex = std::complex<double>;

double Db(double amplitude) {
    return 20 * std::log10(std::max(amplitude, 1e-12));
}

// The correlation of x[from, to) with a tone, phase referred to sample 0.
TComplex Correlate(std::span<const float> x, double rate, double hz, double from, double to) {
    const auto a = static_cast<std::size_t>(std::clamp(from, 0.0, static_cast<double>(x.size())));
    const auto b = static_cast<std::size_t>(std::clamp(to, 0.0, static_cast<double>(x.size())));
    TComplex sum = 0;
    const double w = 2 * M_PI * hz / rate;
    TComplex osc = std::polar(1.0, -w * static_cast<double>(a));
    const TComplex step = std::polar(1.0, -w);
    for (std::size_t i = a; i < b; ++i) {
        sum += static_cast<double>(x[i]) * osc;
        osc *= step;
    }
    return sum;
}

// A tone's frequency and amplitude over spans where it alone is sent: the
// frequency from the zero crossings (to a fraction of a sample) of `smooth`
// (the signal itself, or low-passed without phase shift, which takes the
// noise above the band but smears the tone's edges) over the time they span,
// summed over the spans; the amplitude from the RMS of x. A crossing counts
// only once the signal has gone past a third of the amplitude on the other
// side, so that noise near zero does not add crossings.
struct TToneEstimate {
    double Hz = 0;
    double Amplitude = 0;
};
TToneEstimate EstimateTone(std::span<const float> x, std::span<const float> smooth, double rate,
                           const std::vector<std::pair<double, double>>& spans) {
    double power = 0;
    double samples = 0;
    for (const auto& [from, to] : spans) {
        for (auto i = static_cast<std::size_t>(std::max(0.0, std::ceil(from)));
             i < static_cast<std::size_t>(std::min(static_cast<double>(x.size()), to)); ++i) {
            power += static_cast<double>(x[i]) * x[i];
            samples += 1;
        }
    }
    TToneEstimate estimate;
    if (samples == 0) {
        return estimate;
    }
    estimate.Amplitude = std::sqrt(2 * power / samples);
    const double threshold = estimate.Amplitude / 3;
    double halfCycles = 0;
    double time = 0;
    for (const auto& [from, to] : spans) {
        const auto a = static_cast<std::size_t>(std::max(0.0, std::ceil(from)));
        const auto b = static_cast<std::size_t>(std::min(static_cast<double>(x.size()), to));
        int side = 0;          // the side last passed beyond the threshold
        double lastZero = -1;  // the latest zero crossing seen
        double first = -1, last = -1;
        int crossings = 0;
        for (std::size_t i = a; i < b; ++i) {
            if (i > a && (smooth[i - 1] < 0) != (smooth[i] < 0)) {
                lastZero = static_cast<double>(i - 1) +
                           static_cast<double>(smooth[i - 1]) / (smooth[i - 1] - smooth[i]);
            }
            const int now = smooth[i] > threshold ? 1 : smooth[i] < -threshold ? -1 : 0;
            if (now != 0 && now != side) {
                if (side != 0 && lastZero >= 0) {
                    (first < 0 ? first : last) = lastZero;
                    last = lastZero;
                    ++crossings;
                }
                side = now;
            }
        }
        if (crossings >= 2) {
            halfCycles += crossings - 1;
            time += last - first;
        }
    }
    if (time > 0) {
        estimate.Hz = halfCycles / 2 / (time / rate);
    }
    return estimate;
}

// The tone at each sample: +1 mark, -1 space, from the energies of both tones
// over the bit centred on it (shorter windows cannot tell the tones apart); 0
// where there is almost nothing (silence).
std::vector<signed char> ToneSigns(std::span<const float> x, double rate, const TFskTones& tones,
                                   std::size_t from, std::size_t to) {
    const auto window = std::max<std::size_t>(2, static_cast<std::size_t>(rate / tones.Baud));
    std::vector<double> difference, total;
    for (std::size_t i = from; i < to; ++i) {
        const double a = static_cast<double>(i) - static_cast<double>(window) / 2;
        const double b = a + static_cast<double>(window);
        const double mark = std::norm(Correlate(x, rate, tones.Mark, a, b));
        const double space = std::norm(Correlate(x, rate, tones.Space, a, b));
        difference.push_back(mark - space);
        total.push_back(mark + space);
    }
    const double loudest = total.empty() ? 0 : *std::max_element(total.begin(), total.end());
    std::vector<signed char> signs;
    for (std::size_t i = 0; i < total.size(); ++i) {
        signs.push_back(total[i] < 1e-3 * loudest ? 0 : difference[i] >= 0 ? 1 : -1);
    }
    return signs;
}

// Where the tone changes between mark and space, to half a sample; a pair of
// changes closer than a quarter of a bit is a glitch of noise and is dropped.
std::vector<double> Transitions(const std::vector<signed char>& signs, std::size_t offset,
                                double bit) {
    std::vector<double> at;
    signed char last = 0;
    for (std::size_t i = 0; i < signs.size(); ++i) {
        if (signs[i] == 0) {
            continue;
        }
        if (last != 0 && signs[i] != last) {
            const double t = static_cast<double>(offset + i) - 0.5;
            if (!at.empty() && t - at.back() < bit / 4) {
                at.pop_back();
            } else {
                at.push_back(t);
            }
        }
        last = signs[i];
    }
    return at;
}

// Fits t = t0 + n * period to edges in time order, each counted in bits from
// the one before (so that a clock a few per cent off still counts right).
struct TClock {
    double Period = 0;
    double Residual = 0;  // RMS
    double Start = 0;     // the fitted time of the first edge
    double Bits = 0;      // bits from the first edge to the last
};
TClock FitClock(const std::vector<double>& edges, double period) {
    if (edges.size() < 2) {
        return {period, 0, edges.empty() ? 0.0 : edges.front(), 0};
    }
    std::vector<double> n(edges.size(), 0.0);
    for (std::size_t i = 1; i < edges.size(); ++i) {
        n[i] = n[i - 1] + std::max(1.0, std::round((edges[i] - edges[i - 1]) / period));
    }
    double sn = 0, st = 0, snn = 0, snt = 0;
    for (std::size_t i = 0; i < edges.size(); ++i) {
        sn += n[i];
        st += edges[i];
        snn += n[i] * n[i];
        snt += n[i] * edges[i];
    }
    const auto count = static_cast<double>(edges.size());
    const double denominator = count * snn - sn * sn;
    if (denominator <= 0) {
        return {period, 0, edges.front(), 0};
    }
    period = (count * snt - sn * st) / denominator;
    const double start = (st - period * sn) / count;
    double residual = 0;
    for (std::size_t i = 0; i < edges.size(); ++i) {
        const double e = edges[i] - (start + n[i] * period);
        residual += e * e;
    }
    return {period, std::sqrt(residual / count), start, n.back()};
}

// The channel seizure's bits, counted back on its clock from the edge into
// its last bit (a mark): each bit before it is read over its whole length
// (both tones' energies), so a single edge that noise moved or doubled does
// not end the count. Bits that read the wrong tone are passed over while most
// of the last eight read right; a bit much weaker than the seizure's last
// sixteen of its tone (a quarter of their mean energy) is not part of it.
int CountSeizureBits(std::span<const float> x, double rate, const TFskTones& tones,
                     const TClock& clock) {
    const double last = clock.Start + clock.Bits * clock.Period;
    const auto slot = [&](int j) {  // mark energy, space energy of bit j back
        const double from = last - j * clock.Period;
        return std::pair{std::norm(Correlate(x, rate, tones.Mark, from, from + clock.Period)),
                         std::norm(Correlate(x, rate, tones.Space, from, from + clock.Period))};
    };
    double reference[2] = {0, 0};  // by tone: the space may be well below the mark
    const int known = std::min(16, static_cast<int>(clock.Bits));
    for (int j = 1; j <= known; ++j) {
        const auto [mark, space] = slot(j);
        reference[j % 2] += (mark + space) / ((known + 1 - j % 2) / 2);
    }
    int counted = 0;  // bits back to the earliest that read right
    std::vector<bool> right;
    for (int j = 1;; ++j) {
        const auto [mark, space] = slot(j);
        if (last - j * clock.Period < 0 || mark + space < reference[j % 2] / 4) {
            break;
        }
        right.push_back((mark > space) == (j % 2 == 0));
        if (right.back()) {
            counted = j;
        }
        const auto recent = std::min<std::size_t>(8, right.size());
        if (std::count(right.end() - static_cast<std::ptrdiff_t>(recent), right.end(), false) >
            static_cast<std::ptrdiff_t>(recent / 2)) {
            break;
        }
    }
    return counted + 1;
}

// x limited to 300-3400 Hz (second-order high- and low-pass), zero outside
// [from, to) less a few milliseconds for the filters to settle.
std::vector<float> BandPassed(std::span<const float> x, double rate, std::size_t from,
                              std::size_t to) {
    struct TBiquad {
        double b0, b1, b2, a1, a2, z1 = 0, z2 = 0;
        double Run(double v) {
            const double y = b0 * v + z1;
            z1 = b1 * v - a1 * y + z2;
            z2 = b2 * v - a2 * y;
            return y;
        }
    };
    const auto design = [rate](double hz, bool high) {
        const double w = 2 * M_PI * hz / rate;
        const double alpha = std::sin(w) / (2 * M_SQRT1_2);
        const double c = std::cos(w);
        const double a0 = 1 + alpha;
        const double b1 = high ? -(1 + c) : 1 - c;
        const double b0 = high ? (1 + c) / 2 : (1 - c) / 2;
        return TBiquad{b0 / a0, b1 / a0, b0 / a0, -2 * c / a0, (1 - alpha) / a0};
    };
    TBiquad high = design(300, true);
    TBiquad low = design(std::min(3400.0, rate * 0.45), false);
    std::vector<float> band(x.size(), 0.0f);
    for (std::size_t i = from; i < std::min(to, x.size()); ++i) {
        band[i] = static_cast<float>(low.Run(high.Run(x[i])));
    }
    return band;
}

// The mean power in 300-3400 Hz of x[from, to).
double BandPower(std::span<const float> x, double rate, std::size_t from, std::size_t to) {
    const std::size_t settle = static_cast<std::size_t>(rate * 0.005);
    const std::size_t start = from >= settle ? from - settle : 0;
    const std::vector<float> band = BandPassed(x, rate, start, to);
    double sum = 0;
    std::size_t n = 0;
    for (std::size_t i = from; i < std::min(to, x.size()); ++i) {
        sum += static_cast<double>(band[i]) * band[i];
        ++n;
    }
    return n > 0 ? sum / static_cast<double>(n) : 0;
}

// x low-passed at 3400 Hz forwards and then backwards over [from, to): no
// phase shift at any frequency, so zero crossings stay where they were, less
// the noise above the band (zero outside).
std::vector<float> LowPassedBothWays(std::span<const float> x, double rate, std::size_t from,
                                     std::size_t to) {
    to = std::min(to, x.size());
    std::vector<float> y(x.size(), 0.0f);
    if (from >= to) {
        return y;
    }
    const double w = 2 * M_PI * std::min(3400.0, rate * 0.45) / rate;
    const double alpha = std::sin(w) / (2 * M_SQRT1_2);
    const double c = std::cos(w);
    const double a0 = 1 + alpha;
    const double b0 = (1 - c) / 2 / a0, b1 = (1 - c) / a0, a1 = -2 * c / a0, a2 = (1 - alpha) / a0;
    const auto run = [&](auto begin, auto end, auto step) {
        double z1 = 0, z2 = 0;
        for (auto i = begin; i != end; i += step) {
            const double v = y[static_cast<std::size_t>(i)];
            const double out = b0 * v + z1;
            z1 = b1 * v - a1 * out + z2;
            z2 = b0 * v - a2 * out;
            y[static_cast<std::size_t>(i)] = static_cast<float>(out);
        }
    };
    for (std::size_t i = from; i < to; ++i) {
        y[i] = x[i];
    }
    run(static_cast<std::ptrdiff_t>(from), static_cast<std::ptrdiff_t>(to), 1);
    run(static_cast<std::ptrdiff_t>(to) - 1, static_cast<std::ptrdiff_t>(from) - 1, -1);
    return y;
}

}  // namespace

TFskMeasures MeasureFsk(std::span<const float> x, double rate, const TCorrMessage& message,
                        const TFskTones& tones) {
    TFskMeasures m;
    const double bit = rate / tones.Baud;
    const double first = message.Seconds * rate;
    m.Seconds = message.Seconds;
    const auto size = static_cast<double>(x.size());

    // The message: its bytes' start edges, found on the tone signs near where
    // each byte should begin, then the bit clock fitted to every edge.
    const auto spanFrom = static_cast<std::size_t>(std::max(0.0, first - 2 * bit));
    const double lastEnd = first + static_cast<double>(message.Message.size()) * 30 * bit;
    const auto spanTo = static_cast<std::size_t>(std::min(size, lastEnd + 2 * bit));
    const std::vector<signed char> signs = ToneSigns(x, rate, tones, spanFrom, spanTo);
    const std::vector<double> changes = Transitions(signs, spanFrom, bit);
    std::vector<double> starts;  // each byte's start edge
    double edge = first;
    for (std::size_t byte = 0; byte < message.Message.size(); ++byte) {
        double found = -1;
        for (double t : changes) {
            const auto i = static_cast<std::size_t>(t + 1.5) - spanFrom;
            // the decoder places the first start edge to within a bit (a
            // line's filters delay its tone decisions); the clock does later
            const double early = starts.empty() ? 1.0 : 0.5;
            if (t >= edge - early * bit && i < signs.size() && signs[i] < 0) {
                found = t;
                break;
            }
        }
        if (found < 0 || found > edge + 20 * bit) {
            break;
        }
        starts.push_back(found);
        edge = found + 10 * bit;
    }
    if (starts.empty()) {
        return m;
    }
    const TClock clock = FitClock(starts, bit);
    const double period = clock.Period;
    const double spread = clock.Residual;
    m.BitRate = rate / period;
    m.DurationSeconds = (starts.back() + 10 * period - starts.front()) / rate;
    m.JitterPercent = 100 * spread / period;
    m.Seconds = starts.front() / rate;

    const std::vector<float> smooth = LowPassedBothWays(
        x, rate, static_cast<std::size_t>(std::max(0.0, starts.front() - 720 * bit)), spanTo);
    // Each run of equal bits in a byte, less a fifth of a bit at either end,
    // by the tone its frame gives.
    std::vector<std::pair<double, double>> markBits, spaceBits;
    for (std::size_t byte = 0; byte < starts.size() && byte < message.Frames.size(); ++byte) {
        const Bytes& frame = message.Frames[byte];
        for (std::size_t k = 0; k < frame.size();) {
            std::size_t end = k;
            while (end < frame.size() && frame[end] == frame[k]) {
                ++end;
            }
            const double from = starts[byte] + (static_cast<double>(k) + 0.25) * period;
            const double to = starts[byte] + (static_cast<double>(end) - 0.25) * period;
            (frame[k] == '1' ? markBits : spaceBits).emplace_back(from, to);
            k = end;
        }
    }
    const TToneEstimate mark = EstimateTone(x, smooth, rate, markBits);
    const TToneEstimate space = EstimateTone(x, smooth, rate, spaceBits);
    m.MarkHz = FitFrequency(x, rate, tones.Mark, markBits, true);
    m.SpaceHz = FitFrequency(x, rate, tones.Space, spaceBits, true);
    m.MarkDbfs = Db(mark.Amplitude);
    m.SpaceDbfs = Db(space.Amplitude);
    m.TwistDb = m.MarkDbfs - m.SpaceDbfs;

    // Backwards from the first start bit: the mark run, then the seizure's
    // alternating bits, each found on the tone signs.
    const double firstEdge = starts.front();
    const auto before = static_cast<std::size_t>(std::max(0.0, firstEdge - 700 * bit));
    const std::vector<signed char> lead = ToneSigns(
        x, rate, tones, before, static_cast<std::size_t>(std::max(0.0, firstEdge - 0.5 * bit)));
    const std::vector<double> leadChanges = Transitions(lead, before, bit);
    // the mark run: marks back from the first start bit (a glitch shorter than
    // a quarter of a bit does not end it; silence does)
    std::size_t markFrom = lead.size();  // the run's first sample in `lead`
    for (std::size_t j = lead.size(), glitch = 0; j-- > 0;) {
        if (lead[j] == 1) {
            glitch = 0;
            markFrom = j;
        } else if (lead[j] == 0 || static_cast<double>(++glitch) > bit / 4) {
            break;
        }
    }
    const double markStart = static_cast<double>(before + markFrom) - 0.5;
    // the seizure: edges a bit apart, back from the start of the mark run
    // (the edges lean into one tone, more so the fewer samples a bit has and
    // the weaker one tone is: at 8000/s with the space 6 dB down a space bit
    // can look 0.7 bit long and a mark 1.3; a mark and a space together
    // still take two bits)
    std::vector<double> seizure;
    for (std::size_t k = leadChanges.size(); k-- > 0;) {
        const double later = seizure.empty() ? markStart : seizure.back();
        const double gap = later - leadChanges[k];
        const double pair =
            seizure.size() >= 2 ? seizure[seizure.size() - 2] - leadChanges[k] : 2 * bit;
        if (seizure.empty() && std::fabs(gap) < 0.5 * bit) {
            seizure.push_back(leadChanges[k]);  // the edge into the mark run
        } else if (!seizure.empty() && gap > 0.3 * bit && gap < 1.7 * bit && pair > 1.6 * bit &&
                   pair < 2.4 * bit) {
            seizure.push_back(leadChanges[k]);
        } else if (!seizure.empty() || leadChanges[k] < markStart - bit) {
            break;
        }
    }
    m.MarkBits = static_cast<int>(std::lround((firstEdge - markStart) / period));
    // The seizure's clock: fitted to the edges followed back (or, with too
    // few of them, the message's), its bits counted back on it, and then
    // fitted again to every edge that falls near one of its bit edges.
    TClock seizureClock;
    int counted = 0;
    if (seizure.size() >= 2) {
        std::reverse(seizure.begin(), seizure.end());
        seizureClock = FitClock(seizure, bit);
        if (seizure.size() < 8) {
            seizureClock.Period = period;
            seizureClock.Start = seizure.back() - seizureClock.Bits * period;
        }
        counted = CountSeizureBits(x, rate, tones, seizureClock);
        const double last = seizureClock.Start + seizureClock.Bits * seizureClock.Period;
        std::vector<double> onClock;
        for (double t : leadChanges) {
            const double back = (last - t) / seizureClock.Period;
            if (back > -0.5 && back < counted - 0.5 && std::fabs(back - std::round(back)) < 0.35) {
                onClock.push_back(t);
            }
        }
        if (onClock.size() >= 8) {
            seizureClock = FitClock(onClock, seizureClock.Period);
            counted = CountSeizureBits(x, rate, tones, seizureClock);
        }
    }
    if (counted >= 8) {
        --m.MarkBits;  // the seizure's last bit is a mark too
        const double seizurePeriod = seizureClock.Period;
        m.SeizureBitRate = rate / seizurePeriod;
        m.SeizureBits = counted;
        // the last edge (into the seizure's last bit, a mark) begins the
        // run of marks; the bits are counted back from it
        const double last = seizureClock.Start + seizureClock.Bits * seizurePeriod;
        seizureClock.Bits = counted - 1;
        seizureClock.Start = last - seizureClock.Bits * seizurePeriod;
        std::vector<std::pair<double, double>> seizureMarks, seizureSpaces;
        // each bit between the fitted clock's edges (the edges found lean
        // one way into a mark and the other way out of it; the clock does
        // not), nearly whole: a single bit's tone is read best from all of it
        for (double k = 0; k < seizureClock.Bits; ++k) {
            const double start = seizureClock.Start + k * seizurePeriod;
            const double centre = start + seizurePeriod / 2;
            const auto i = static_cast<std::size_t>(centre) - before;
            const bool isMark = i < lead.size() && lead[i] > 0;
            (isMark ? seizureMarks : seizureSpaces)
                .emplace_back(start + 0.02 * seizurePeriod, start + 0.98 * seizurePeriod);
        }
        m.SeizureMarkHz = FitFrequency(x, rate, tones.Mark, seizureMarks, false);
        m.SeizureSpaceHz = FitFrequency(x, rate, tones.Space, seizureSpaces, false);
    }
    // The first bit of the data, then back over any sound before it that the
    // edges did not show (a seizure lost in noise): 5 ms blocks louder than
    // three times the quietest of the half second before.
    double burstStart = m.SeizureBits > 0 ? seizure.front() - period : markStart;
    {
        const auto block = static_cast<std::size_t>(0.005 * rate);
        const auto energy = [&](double end) {
            double sum = 0;
            for (auto j = static_cast<std::size_t>(std::max(0.0, end - static_cast<double>(block)));
                 j < static_cast<std::size_t>(end); ++j) {
                sum += static_cast<double>(x[j]) * x[j];
            }
            return sum;
        };
        double floor = 1e300;
        for (double end = burstStart; end > std::max(0.0, burstStart - 0.5 * rate);
             end -= static_cast<double>(block)) {
            floor = std::min(floor, energy(end));
        }
        while (burstStart > static_cast<double>(block) && energy(burstStart) > 3 * floor + 1e-12) {
            burstStart -= static_cast<double>(block);
        }
    }
    // The mark run's own frequency, over its inside.
    m.MarkRunHz =
        EstimateTone(x, smooth, rate, {{markStart + 2 * period, firstEdge - 2 * period}}).Hz;

    // The noise: the quiet before the data (after any alert) or after it.
    TAlertToneDetector detector(rate, TAlertToneDetector::DualTone());
    std::vector<TAlertTone> alerts;
    for (std::size_t i = before; i < static_cast<std::size_t>(std::max(0.0, burstStart)); ++i) {
        detector.Push(x[i], alerts);
    }
    detector.Finish(alerts);
    double quietFrom = std::max(0.0, burstStart - 0.3 * rate);
    if (!alerts.empty()) {
        TAlertTone alert = alerts.back();
        alert.Seconds += static_cast<double>(before) / rate;
        m.Alert = alert;
        const double alertEnd = (alert.Seconds + alert.Duration) * rate;
        m.AlertGapSeconds = (burstStart - alertEnd) / rate;
        quietFrom = std::max(quietFrom, alertEnd + 0.005 * rate);
    }
    const double quietTo = burstStart - 0.005 * rate;
    double noise = -1;
    if (quietTo - quietFrom >= 0.02 * rate) {
        noise = BandPower(x, rate, static_cast<std::size_t>(quietFrom),
                          static_cast<std::size_t>(quietTo));
    } else {
        const double after = starts.back() + 10 * period + 0.01 * rate;
        if (after + 0.02 * rate <= size) {
            noise = BandPower(x, rate, static_cast<std::size_t>(after),
                              static_cast<std::size_t>(std::min(size, after + 0.3 * rate)));
        }
    }
    if (noise >= 0) {
        const double total = BandPower(x, rate, static_cast<std::size_t>(starts.front()),
                                       static_cast<std::size_t>(starts.back() + 10 * period));
        // no noise at all (a generated file) reads as 99 dB
        m.SnrDb = std::min(
            99.0, 10 * std::log10(std::max(total - noise, 1e-20) / std::max(noise, 1e-20)));
    }
    return m;
}

}  // namespace ringlark
