#include "diagnosis/FskReading.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>

#include "decoding/fsk/FskFamily.h"
#include "decoding/tones/ToneDiscriminator.h"
#include "protocol/MessageRules.h"
#include "testsignal/LineEffects.h"

namespace ringlark {

namespace {

constexpr int kMinMarkRunBits = 20;
constexpr double kMarkDecision = 0.5;
constexpr double kMinToneShare = 0.5;   // the two tones' share of the window's power
constexpr double kFloorDbfs = -60;      // quieter windows hold no burst
constexpr int kMaxIdleBits = 30;        // marks allowed between characters
constexpr std::size_t kMaxBytes = 258;  // type, length 255, checksum

std::string Hex2(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value & 0xFF);
    return text;
}

// One family's working signal: the sliding correlation of each tone over a
// bit, and the window's power.
struct TLane {
    double Rate = 0;
    int Factor = 1;
    std::size_t Bit = 0;   // the correlation window: a bit, rounded
    double BitLength = 0;  // working samples per bit
    std::vector<float> Mark, Space, Power;
    double MarkGain = 1, SpaceGain = 1;  // of the decimator at the tones

    double D(std::size_t i) const {
        const double m = Mark[i], s = Space[i];
        return m + s > 0 ? (m - s) / (m + s) : 0;
    }
    bool Present(std::size_t i) const {
        const double floor = 0.5 * std::pow(10.0, kFloorDbfs / 10) * static_cast<double>(Bit);
        return Power[i] > floor &&
               Mark[i] + Space[i] >= kMinToneShare * Power[i] * static_cast<double>(Bit) / 2;
    }
    // Either tone sounds, if less cleanly (a window across a change of tone
    // holds half of each).
    bool Sounding(std::size_t i) const {
        const double floor = 0.5 * std::pow(10.0, kFloorDbfs / 10) * static_cast<double>(Bit);
        return Power[i] > floor &&
               Mark[i] + Space[i] >= kMinToneShare / 2 * Power[i] * static_cast<double>(Bit) / 2;
    }
    std::size_t Size() const { return Mark.size(); }
};

TLane Correlate(std::span<const float> samples, double rate, const TFskTones& tones) {
    const TWorkingRate working = WorkingRateFor(rate, tones);
    TLane lane;
    lane.Rate = working.Rate;
    lane.Factor = working.Factor;
    lane.BitLength = working.Rate / tones.Baud;
    lane.Bit = std::max<std::size_t>(2, static_cast<std::size_t>(std::lround(lane.BitLength)));
    const std::vector<float> x =
        DecimateTriangular(std::vector<float>(samples.begin(), samples.end()), working.Factor);
    const auto taps = TriangularTaps(working.Factor);
    const auto gain = [&](double hz) {
        std::complex<double> sum;
        for (std::size_t k = 0; k < taps.size(); ++k) {
            sum += static_cast<double>(taps[k]) *
                   std::polar(1.0, -2 * M_PI * hz * static_cast<double>(k) / rate);
        }
        return std::max(1e-3, std::abs(sum));
    };
    lane.MarkGain = gain(tones.Mark);
    lane.SpaceGain = gain(tones.Space);
    const std::complex<double> stepMark = std::polar(1.0, -2 * M_PI * tones.Mark / working.Rate);
    const std::complex<double> stepSpace = std::polar(1.0, -2 * M_PI * tones.Space / working.Rate);
    // the products inside the window, to take out as they leave it
    std::vector<std::complex<double>> mark(lane.Bit), space(lane.Bit);
    std::complex<double> oscMark = 1, oscSpace = 1, sumMark, sumSpace;
    double power = 0;
    lane.Mark.resize(x.size());
    lane.Space.resize(x.size());
    lane.Power.resize(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        const std::size_t slot = i % lane.Bit;
        if (i >= lane.Bit) {
            sumMark -= mark[slot];
            sumSpace -= space[slot];
            power -= static_cast<double>(x[i - lane.Bit]) * x[i - lane.Bit];
        }
        mark[slot] = static_cast<double>(x[i]) * oscMark;
        space[slot] = static_cast<double>(x[i]) * oscSpace;
        sumMark += mark[slot];
        sumSpace += space[slot];
        power += static_cast<double>(x[i]) * x[i];
        oscMark *= stepMark;
        oscSpace *= stepSpace;
        if (i % 1024 == 0) {  // keep the oscillators on the unit circle
            oscMark /= std::abs(oscMark);
            oscSpace /= std::abs(oscSpace);
        }
        lane.Mark[i] = static_cast<float>(std::norm(sumMark));
        lane.Space[i] = static_cast<float>(std::norm(sumSpace));
        lane.Power[i] = static_cast<float>(std::max(0.0, power));
    }
    return lane;
}

// The mean power of x over [from, to) in 300-3400 Hz (the band the
// measurements read noise in), filtered from 50 ms before.
double BandPower(std::span<const float> x, double rate, std::size_t from, std::size_t to) {
    if (to <= from + 1 || to > x.size()) {
        return -1;
    }
    const auto settle = std::min(from, static_cast<std::size_t>(0.05 * rate));
    const std::vector<float> band = LineBand(x.subspan(from - settle, to - from + settle), rate);
    double sum = 0;
    for (std::size_t i = settle; i < band.size(); ++i) {
        sum += static_cast<double>(band[i]) * band[i];
    }
    return sum / static_cast<double>(to - from);
}

void Judge(TFskReading& r) {
    const Bytes& m = r.Message;
    if (!r.Broke.empty()) {
        return;  // framing or the end of the signal came first
    }
    if (m.size() < 3) {
        r.Broke = "only " + std::to_string(m.size()) + " bytes were read";
        return;
    }
    unsigned sum = 0;
    for (std::size_t i = 0; i + 1 < m.size(); ++i) {
        sum += static_cast<uint8_t>(m[i]);
    }
    const unsigned wanted = (256 - sum % 256) % 256;
    r.ChecksumGood = wanted == static_cast<uint8_t>(m.back());
    if (!r.ChecksumGood) {
        r.Broke = "checksum " + Hex2(static_cast<uint8_t>(m.back())) + ", the bytes ask for " +
                  Hex2(wanted);
        return;
    }
    const TMessageCheck check = CheckMessage(std::string_view(m.data(), m.size()), r.Standard);
    r.StructureGood = check.Passed;
    if (!check.Passed) {
        r.Broke = check.Reason;
    }
}

void ReadLane(std::span<const float> samples, double rate, const TLane& lane, TCidStandard standard,
              std::vector<TFskReading>& out) {
    const std::size_t bit = lane.Bit;
    const double b = lane.BitLength;
    // where a window of one bit ending at a sample covers the bit that
    // started `window` samples earlier
    const double lag = static_cast<double>(bit) - b;
    const std::size_t n = lane.Size();
    const auto seconds = [&](double working) { return working / lane.Rate; };
    std::size_t i = bit;
    while (i < n) {
        // a steady mark run of the family's own mark tone: the decision
        // stays on the mark side, mostly clearly (noise dips it)
        if (!(lane.Present(i) && lane.D(i) > kMarkDecision)) {
            ++i;
            continue;
        }
        std::size_t j = i;
        std::size_t clear = 0;
        while (j < n && lane.Sounding(j) && lane.D(j) > 0) {
            clear += lane.D(j) > kMarkDecision ? 1 : 0;
            ++j;
        }
        if (j - i < kMinMarkRunBits * bit || clear < 0.8 * static_cast<double>(j - i)) {
            i = j + 1;
            continue;
        }
        const auto from = static_cast<std::size_t>(static_cast<double>(i) * lane.Factor);
        const auto to = static_cast<std::size_t>(static_cast<double>(j) * lane.Factor);
        const TFskFamily family =
            FamilyOfRatio(Bell202OverV23(samples, rate, from, std::min(to, samples.size())), 1.5);
        if (family != (standard == TCidStandard::Bell202 ? TFskFamily::Bell202 : TFskFamily::V23)) {
            i = j + 1;
            continue;
        }
        // the burst's own power: sound far below it is the line's noise
        double reference = 0;
        for (std::size_t t = i; t < j; ++t) {
            reference += lane.Power[t];
        }
        reference /= static_cast<double>(j - i);
        const auto alive = [&](std::size_t t) {
            return lane.Power[t] >= 0.1 * reference && lane.Sounding(t);
        };
        TFskReading r;
        r.Standard = standard;
        // the run's start: the window fills one bit after the tone begins
        const double markStart = static_cast<double>(i) - static_cast<double>(bit);
        // the burst's first sound: back while the tones are present
        std::size_t k = i;
        std::size_t gap = 0;
        while (k > 0 && gap < 2 * bit) {
            --k;
            gap = alive(k) ? 0 : gap + 1;
        }
        const double burstStart = static_cast<double>(k + gap) - 1;
        r.SeizureBits = std::max(0, static_cast<int>(std::lround((markStart - burstStart) / b)));
        if (r.SeizureBits < 8) {
            r.SeizureBits = 0;
        }
        r.BurstSeconds = seconds(std::max(0.0, r.SeizureBits > 0 ? burstStart : markStart));
        // mark level over the run
        double markAmp = 0;
        for (std::size_t t = i; t < j; ++t) {
            markAmp += 2 * std::sqrt(static_cast<double>(lane.Mark[t])) / b;
        }
        markAmp /= static_cast<double>(j - i) * lane.MarkGain;
        // the characters: the start edge where the decision crosses zero,
        // half a window before the sample where it does
        double spaceAmp = 0;
        int spaceBits = 0;
        std::size_t search = j;
        std::size_t expected = 3;
        bool first = true;
        while (r.Message.size() < expected && r.Message.size() < kMaxBytes) {
            std::size_t e = search;
            const std::size_t limit =
                std::min(n, search + static_cast<std::size_t>(kMaxIdleBits) * bit);
            while (e < limit && alive(e) && lane.D(e) >= 0) {
                ++e;
            }
            if (e >= limit || !alive(e)) {
                if (!first) {
                    r.Broke = "the signal ends after " + std::to_string(r.Message.size()) + " of " +
                              std::to_string(expected) + " bytes";
                }
                break;
            }
            // interpolated crossing
            double crossing = static_cast<double>(e);
            if (e > 0) {
                const double d0 = lane.D(e - 1), d1 = lane.D(e);
                crossing = static_cast<double>(e - 1) + (d0 > d1 ? d0 / (d0 - d1) : 0);
            }
            const double edge = crossing - static_cast<double>(bit) / 2;
            if (first) {
                r.Seconds = seconds(edge);
                r.MarkBits = std::max(0, static_cast<int>(std::lround((edge - markStart) / b)));
                first = false;
            }
            std::string frame;
            unsigned value = 0;
            bool ended = false;
            for (int bitIndex = 0; bitIndex < 10; ++bitIndex) {
                const auto at =
                    static_cast<std::size_t>(std::lround(edge + (bitIndex + 1) * b + lag / 2));
                if (at >= n || !alive(at)) {
                    ended = true;
                    break;
                }
                const bool mark = lane.D(at) >= 0;
                frame += mark ? '1' : '0';
                if (bitIndex >= 1 && bitIndex <= 8 && mark) {
                    value |= 1u << (bitIndex - 1);
                }
                if (!mark) {
                    spaceAmp += 2 * std::sqrt(static_cast<double>(lane.Space[at])) / b;
                    ++spaceBits;
                }
            }
            if (ended) {
                r.Broke = "the signal ends inside byte " + std::to_string(r.Message.size() + 1) +
                          (expected > 3 || r.Message.size() >= 2 ? " of " + std::to_string(expected)
                                                                 : "");
                break;
            }
            r.Message += static_cast<char>(value);
            r.Frames.push_back(frame);
            r.EndSeconds = seconds(edge + 10 * b);
            if (r.Message.size() == 1 &&
                !IsKnownMessageTypeOf(static_cast<uint8_t>(value), standard)) {
                r.Broke = "the first byte, " + Hex2(value) + ", is not a message type of " +
                          std::string(standard == TCidStandard::Bell202 ? "Bell 202" : "V.23");
                expected = 1;
            }
            if (r.Message.size() == 2) {
                expected = value + 3u;
            }
            if (r.Broke.empty() && frame[9] != '1') {
                r.Broke = "byte " + std::to_string(r.Message.size()) + " has no stop bit";
            }
            // the next start bit is looked for from where the window holds
            // the stop bit alone
            search = static_cast<std::size_t>(std::lround(edge + 10 * b + lag));
        }
        if (!r.Message.empty()) {
            r.Complete = r.Message.size() == expected && expected >= 3;
            Judge(r);
            r.MarkDbfs = 20 * std::log10(std::max(1e-9, markAmp));
            r.SpaceDbfs =
                spaceBits > 0
                    ? 20 * std::log10(std::max(1e-9, spaceAmp / spaceBits / lane.SpaceGain))
                    : -120;
            r.TwistDb = r.MarkDbfs - r.SpaceDbfs;
            // noise: the quieter of 200 ms before and after the burst
            const auto at = [&](double s) {
                return static_cast<std::size_t>(
                    std::clamp(s * rate, 0.0, static_cast<double>(samples.size())));
            };
            const std::size_t bFrom = at(r.BurstSeconds), bTo = at(r.EndSeconds);
            const double signal = BandPower(samples, rate, bFrom, bTo);
            std::vector<double> noises;
            if (bFrom > at(0.12)) {
                noises.push_back(BandPower(samples, rate, bFrom - at(0.115), bFrom - at(0.015)));
            }
            if (bTo + at(0.12) < samples.size()) {
                noises.push_back(BandPower(samples, rate, bTo + at(0.015), bTo + at(0.115)));
            }
            if (!noises.empty() && signal > 0) {
                const double noise =
                    std::max(1e-20, *std::min_element(noises.begin(), noises.end()));
                r.SnrDb = 10 * std::log10(std::max(1e-12, signal / noise - 1));
            }
            out.push_back(std::move(r));
            i = static_cast<std::size_t>(
                    std::max(static_cast<double>(j), out.back().EndSeconds * lane.Rate)) +
                1;
        } else {
            i = j + 1;
        }
    }
}

}  // namespace

std::vector<TFskReading> ReadFskBursts(std::span<const float> samples, double rate) {
    std::vector<TFskReading> out;
    if (rate < 4000 || samples.size() < 1000) {
        return out;
    }
    ReadLane(samples, rate, Correlate(samples, rate, kBell202Tones), TCidStandard::Bell202, out);
    ReadLane(samples, rate, Correlate(samples, rate, TFskTones{V23MarkHz, V23SpaceHz, 1200.0}),
             TCidStandard::EtsiV23, out);
    std::stable_sort(out.begin(), out.end(), [](const TFskReading& a, const TFskReading& b) {
        return a.Seconds < b.Seconds;
    });
    return out;
}

std::string HexBytes(const Bytes& bytes) {
    std::string text;
    char two[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(two, sizeof two, "%02X", static_cast<uint8_t>(bytes[i]));
        text += (i > 0 ? " " : "") + std::string(two);
    }
    return text;
}

}  // namespace ringlark
