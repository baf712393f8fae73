#include "measurement/Measurements.h"

#include "measurement/MeasurementTiming.h"
#include "measurement/ToneFit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace ringlark {

namespace {

double Db(double amplitude) {
    return 20 * std::log10(std::max(amplitude, 1e-12));
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

    // The message: each byte's start edge, placed by its whole frame on the
    // tone signs, then the bit clock fitted to them all.
    const auto spanFrom = static_cast<std::size_t>(std::max(0.0, first - 2 * bit));
    const double lastEnd = first + static_cast<double>(message.Message.size()) * 30 * bit;
    const auto spanTo = static_cast<std::size_t>(std::min(size, lastEnd + 2 * bit));
    const std::vector<signed char> signs = ToneSigns(x, rate, tones, spanFrom, spanTo);
    const std::vector<double> changes = Transitions(signs, spanFrom, bit);
    const std::vector<double> starts =
        PlaceByteStarts(signs, spanFrom, changes, message.Frames, first, bit);
    if (starts.empty()) {
        return m;
    }
    const TClock clock = FitClock(starts, bit);
    const double period = clock.Period;
    m.BitRate = rate / period;
    m.DurationSeconds = (starts.back() + 10 * period - starts.front()) / rate;
    m.JitterPercent = StartEdgeJitter(x, rate, tones, starts, clock);
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
            const double from = starts[byte] + (static_cast<double>(k) + 0.2) * period;
            const double to = starts[byte] + (static_cast<double>(end) - 0.2) * period;
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
    m.MarkBits = static_cast<int>(std::lround((firstEdge - markStart) / period));
    const auto [seizureFound, counted] =
        FollowSeizure(x, rate, tones, leadChanges, markStart, period);
    TClock seizureClock = seizureFound;
    if (counted >= 8) {
        const double seizurePeriod = seizureClock.Period;
        m.SeizureBitRate = rate / seizurePeriod;
        m.SeizureBits = counted;
        // the last edge (into the seizure's last bit, a mark) begins the
        // run of marks; the bits are counted back from it
        const double last = seizureClock.Start + seizureClock.Bits * seizurePeriod;
        seizureClock.Bits = counted - 1;
        seizureClock.Start = last - seizureClock.Bits * seizurePeriod;
        // the mark run from the seizure clock's last edge rather than the one
        // found (which leans), on the seizure's clock, to the first start
        // edge (placed by its whole frame, which does not lean)
        m.MarkBits = static_cast<int>(std::lround((firstEdge - last) / seizurePeriod)) - 1;
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
    double burstStart = m.SeizureBits > 0 ? seizureClock.Start : markStart;
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
    {
        TAlertToneDetector subscriber(rate, TAlertToneDetector::Subscriber());
        std::vector<TAlertTone> beeps;
        const auto from = static_cast<std::size_t>(std::max(0.0, firstEdge - 1.5 * rate));
        for (std::size_t i = from; i < static_cast<std::size_t>(std::max(0.0, burstStart)); ++i) {
            subscriber.Push(x[i], beeps);
        }
        subscriber.Finish(beeps);
        if (!beeps.empty()) {
            m.Subscriber = beeps.back();
            m.Subscriber->Seconds += static_cast<double>(from) / rate;
        }
    }
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

void UndoGain(TFskMeasures& m, double gain) {
    if (!(gain > 0) || gain == 1) {
        return;
    }
    const double db = 20 * std::log10(gain);
    m.MarkDbfs -= db;
    m.SpaceDbfs -= db;
    for (auto* tone : {&m.Alert, &m.Subscriber}) {
        if (*tone) {
            (*tone)->LowDbfs -= db;
            (*tone)->HighDbfs -= (*tone)->Kind == TAlertTone::TKind::DualTone ? db : 0;
        }
    }
}

}  // namespace ringlark
