#include "measurement/MeasurementTiming.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace ringlark {

namespace {

// The channel seizure's bits, counted back on its clock from the edge into
// its last bit (a mark): each bit before it is read over its whole length
// (both tones' energies), so a single edge that noise moved or doubled does
// not end the count. Bits that read the wrong tone are passed over while no
// more than four of the last eight do; a bit much weaker than the seizure's
// last sixteen of its tone (a quarter of their mean energy) is not part of it.
int CountSeizureBits(std::span<const float> x, double rate, const TFskTones& tones,
                     const TClock& clock) {
    const double last = clock.Start + clock.Bits * clock.Period;
    const auto slot = [&](int j) {  // mark energy, space energy of bit j back
        const double from = last - j * clock.Period;
        return std::pair{std::norm(CorrelateSpan(x, rate, tones.Mark, from, from + clock.Period)),
                         std::norm(CorrelateSpan(x, rate, tones.Space, from, from + clock.Period))};
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
        // more than four of the last eight read wrong (the first bits alone
        // cannot end it: one misread next to the mark run is not the end)
        const auto recent = static_cast<std::ptrdiff_t>(std::min<std::size_t>(8, right.size()));
        if (std::count(right.end() - recent, right.end(), false) > 4) {
            break;
        }
    }
    return counted + 1;
}

}  // namespace

// The correlation of x[from, to) with a tone, phase referred to sample 0.
std::complex<double> CorrelateSpan(std::span<const float> x, double rate, double hz, double from,
                                   double to) {
    const auto a = static_cast<std::size_t>(std::clamp(from, 0.0, static_cast<double>(x.size())));
    const auto b = static_cast<std::size_t>(std::clamp(to, 0.0, static_cast<double>(x.size())));
    std::complex<double> sum = 0;
    const double w = 2 * M_PI * hz / rate;
    std::complex<double> osc = std::polar(1.0, -w * static_cast<double>(a));
    const std::complex<double> step = std::polar(1.0, -w);
    for (std::size_t i = a; i < b; ++i) {
        sum += static_cast<double>(x[i]) * osc;
        osc *= step;
    }
    return sum;
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
        const double mark = std::norm(CorrelateSpan(x, rate, tones.Mark, a, b));
        const double space = std::norm(CorrelateSpan(x, rate, tones.Space, a, b));
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

TClock FitClockAt(const std::vector<double>& edges, const std::vector<double>& n, double period) {
    if (edges.size() < 2) {
        return {period, 0, edges.empty() ? 0.0 : edges.front(), 0};
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

// Each edge counted in bits from the one before (so that a clock a few per
// cent off still counts right), then fitted; an edge that noise moved well off
// the line (over three robust deviations and a tenth of a bit) is left out of
// a second fit, which keeps the first fit's bit numbers.
TClock FitClock(const std::vector<double>& edges, double period) {
    std::vector<double> n(edges.size(), 0.0);
    for (std::size_t i = 1; i < edges.size(); ++i) {
        n[i] = n[i - 1] + std::max(1.0, std::round((edges[i] - edges[i - 1]) / period));
    }
    const TClock first = FitClockAt(edges, n, period);
    if (edges.size() < 4) {
        return first;
    }
    std::vector<double> off(edges.size());
    for (std::size_t i = 0; i < edges.size(); ++i) {
        off[i] = std::fabs(edges[i] - (first.Start + n[i] * first.Period));
    }
    std::vector<double> sorted = off;
    std::nth_element(sorted.begin(),
                     sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2), sorted.end());
    const double limit = std::max(0.1 * first.Period, 3 * 1.4826 * sorted[sorted.size() / 2]);
    std::vector<double> kept, keptN;
    for (std::size_t i = 0; i < edges.size(); ++i) {
        if (off[i] <= limit) {
            kept.push_back(edges[i]);
            keptN.push_back(n[i]);
        }
    }
    if (kept.size() == edges.size() || kept.size() < 3) {
        return first;
    }
    // the numbers count from the first edge, kept or not
    TClock second = FitClockAt(kept, keptN, first.Period);
    second.Bits = n.back();
    return second;
}

std::vector<double> PlaceByteStarts(const std::vector<signed char>& signs, std::size_t spanFrom,
                                    const std::vector<double>& changes,
                                    const std::vector<Bytes>& frames, double first, double bit) {
    std::vector<double> starts;
    // How well the tone signs follow a byte's decoded frame from a start
    // edge at `at`: the mean over its ten bits of the signs over each bit's
    // middle, counted + where they agree (1: every sample agrees).
    const auto frameMatch = [&](const Bytes& frame, double at, double period) {
        double score = 0;
        for (std::size_t j = 0; j < frame.size(); ++j) {
            const double from = at + (static_cast<double>(j) + 0.2) * period;
            const double to = at + (static_cast<double>(j) + 0.8) * period;
            const auto a = static_cast<std::size_t>(std::max(0.0, std::ceil(from))) - spanFrom;
            const auto b = std::min(
                signs.size(), static_cast<std::size_t>(std::max(0.0, std::ceil(to))) - spanFrom);
            int sum = 0;
            for (std::size_t i = a; i < b; ++i) {
                sum += signs[i];
            }
            const double mean = b > a ? static_cast<double>(sum) / static_cast<double>(b - a) : 0;
            score += frame[j] == '1' ? mean : -mean;
        }
        return frame.empty() ? 0.0 : score / static_cast<double>(frame.size());
    };
    double edge = first;
    double pace = bit;
    for (std::size_t byte = 0; byte < frames.size(); ++byte) {
        const Bytes& frame = frames[byte];
        // Each change into a space near where the byte should start (the
        // decoder places the first to within a bit; later ones follow the
        // clock of the edges found so far) is scored by how well the whole
        // frame then matches: the best near the expected place, or with idle
        // marks between bytes the first later one that matches well; then
        // moved to the middle of the span of times that match best.
        const double early = starts.empty() ? 1.0 : 0.5;
        double found = -1;
        double best = 0.5;  // a match must be at least this good
        for (double t : changes) {
            if (t < edge - early * bit) {
                continue;
            }
            if (t > edge + 20 * bit || (found >= 0 && t > edge + early * bit)) {
                break;
            }
            const double score = frameMatch(frame, t, pace);
            if (score > best) {
                best = score;
                found = t;
            }
        }
        if (found < 0) {
            break;
        }
        double sum = 0;
        int count = 0;
        double top = -2;
        for (double at = found - 0.4 * pace; at <= found + 0.4 * pace; at += 0.25) {
            const double score = frameMatch(frame, at, pace);
            if (score > top + 1e-9) {
                top = score;
                sum = 0;
                count = 0;
            }
            if (score > top - 1e-9) {
                sum += at;
                ++count;
            }
        }
        starts.push_back(count > 0 ? sum / count : found);
        if (starts.size() >= 3) {
            const TClock sofar = FitClock(starts, bit);
            pace = sofar.Period;
            edge = sofar.Start + (sofar.Bits + 10) * sofar.Period;
        } else {
            edge = starts.back() + 10 * pace;
        }
    }
    return starts;
}

double StartEdgeJitter(std::span<const float> x, double rate, const TFskTones& tones,
                       const std::vector<double>& starts, const TClock& clock) {
    const double period = clock.Period;
    // A sinusoid at the mark over half a bit before t and one at the space
    // over half a bit after it, each fitted by least squares (what is left
    // over): both lie inside the stop bit and the start bit whatever the data
    // around them.
    const auto fitted = [&](double hz, double from, double to) {
        const auto a =
            static_cast<std::size_t>(std::clamp(from, 0.0, static_cast<double>(x.size())));
        const auto b = static_cast<std::size_t>(std::clamp(to, 0.0, static_cast<double>(x.size())));
        const std::complex<double> step = std::polar(1.0, 2 * M_PI * hz / rate);
        std::complex<double> osc = 1.0;
        double xc = 0, xs = 0, cc = 0, ss = 0, cs = 0, xx = 0;
        for (std::size_t i = a; i < b; ++i) {
            const double v = x[i];
            xx += v * v;
            xc += v * osc.real();
            xs += v * osc.imag();
            cc += osc.real() * osc.real();
            ss += osc.imag() * osc.imag();
            cs += osc.real() * osc.imag();
            osc *= step;
        }
        const double det = cc * ss - cs * cs;
        return xx - (det > 1e-9 ? (xc * xc * ss - 2 * xc * xs * cs + xs * xs * cc) / det : 0.0);
    };
    // less what neither sinusoid explains: the most where t is the edge
    const auto score = [&](double t) {
        return -(fitted(tones.Mark, t - period / 2, t) + fitted(tones.Space, t, t + period / 2));
    };
    std::vector<double> off;
    for (const double start : starts) {
        const double n = std::round((start - clock.Start) / period);
        const double ideal = clock.Start + n * period;
        double best = -1;
        double at = start;
        for (double t = std::round(start - 0.3 * period); t <= start + 0.3 * period; t += 1) {
            const double value = score(t);
            if (value > best) {
                best = value;
                at = t;
            }
        }
        // the peak between samples, from a parabola through its neighbours
        const double left = score(at - 1);
        const double right = score(at + 1);
        const double curve = left - 2 * best + right;
        const double shift = curve < 0 ? std::clamp(0.5 * (left - right) / curve, -0.5, 0.5) : 0;
        off.push_back(at + shift - ideal);
    }
    double mean = 0, square = 0;
    for (const double o : off) {
        mean += o / static_cast<double>(off.size());
    }
    for (const double o : off) {
        square += (o - mean) * (o - mean) / static_cast<double>(off.size());
    }
    return off.empty() ? 0.0 : 100 * std::sqrt(square) / period;
}

std::pair<TClock, int> FollowSeizure(std::span<const float> x, double rate, const TFskTones& tones,
                                     const std::vector<double>& leadChanges, double markStart,
                                     double messagePeriod) {
    const double bit = rate / tones.Baud;
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
    // The seizure's clock: fitted to the edges followed back (or, with too
    // few of them, the message's), its bits counted back on it, and then
    // fitted again to every edge that falls near one of its bit edges.
    TClock seizureClock;
    int counted = 0;
    if (seizure.size() >= 2) {
        std::reverse(seizure.begin(), seizure.end());
        // one bit between edges followed back (a rounded gap could count a
        // leaning 1.6-bit gap as two)
        std::vector<double> numbers(seizure.size());
        std::iota(numbers.begin(), numbers.end(), 0.0);
        seizureClock = FitClockAt(seizure, numbers, bit);
        if (seizure.size() < 8) {
            seizureClock.Period = messagePeriod;
            seizureClock.Start = seizure.back() - seizureClock.Bits * messagePeriod;
        }
        counted = CountSeizureBits(x, rate, tones, seizureClock);
        // a clock from a few edges drifts over hundreds of bits: fitted again
        // to the edges found on it, as long as that finds more bits
        for (int round = 0; round < 6; ++round) {
            const double last = seizureClock.Start + seizureClock.Bits * seizureClock.Period;
            std::vector<double> onClock, numbers;
            for (double t : leadChanges) {
                const double back = (last - t) / seizureClock.Period;
                if (back > -0.5 && back < counted - 0.5 &&
                    std::fabs(back - std::round(back)) < 0.35) {
                    onClock.push_back(t);
                    numbers.push_back(counted - std::round(back));
                }
            }
            if (onClock.size() < 8) {
                break;
            }
            const TClock refitted = FitClockAt(onClock, numbers, seizureClock.Period);
            const int more = CountSeizureBits(x, rate, tones, refitted);
            if (more < counted) {
                break;
            }
            const bool grew = more > counted;
            seizureClock = refitted;
            counted = more;
            if (!grew) {
                break;
            }
        }
    }
    return {seizureClock, counted};
}

}  // namespace ringlark
