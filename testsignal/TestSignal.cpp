#include "testsignal/TestSignal.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/RinglarkError.h"
#include "core/UserMessages.h"
#include "testsignal/LineEffects.h"

namespace ringlark {

namespace {

constexpr double kBellMark = 1200, kBellSpace = 2200;
constexpr double kAlertLow = 2130, kAlertHigh = 2750;

double Amplitude(double dbfs) {
    return std::pow(10.0, dbfs / 20);
}

bool IsFsk(const TTestSignal& s) {
    return s.Standard != TCidStandard::Dtmf;
}

// The level of the lower tone: the FSK mark, the DTMF row tone.
double BaseLevelDbfs(const TTestSignal& s) {
    const double peak = static_cast<double>(s.Amplitude) / 128.0;
    return 20 * std::log10(IsFsk(s) ? peak : peak / 2);
}

// Appends sample after sample, each tone keeping its phase across calls.
class TWriter {
  public:
    explicit TWriter(double rate) : rate_(rate) {}
    std::vector<float> Samples;
    std::vector<bool> Data;  // the samples the SNR is referred to

    void Quiet(double seconds) { Append(seconds, {}, false); }
    struct TTone {
        double Hz, Amplitude;
    };
    void Tones(double seconds, std::vector<TTone> tones, bool data) {
        Append(seconds, tones, data);
    }
    // FSK bits at `bitRate`, phase-continuous; bits of the message are marked as data.
    void Bits(const std::vector<bool>& bits, std::size_t firstData, double bitRate, TTone mark,
              TTone space) {
        const double samplesPerBit = rate_ / bitRate;
        const double start = static_cast<double>(Samples.size());
        const auto total =
            static_cast<std::size_t>(std::lround(static_cast<double>(bits.size()) * samplesPerBit));
        for (std::size_t i = 0; i < total; ++i) {
            const auto bit = std::min(
                bits.size() - 1, static_cast<std::size_t>(static_cast<double>(i) / samplesPerBit));
            const TTone& tone = bits[bit] ? mark : space;
            Samples.push_back(static_cast<float>(tone.Amplitude * std::sin(fskPhase_)));
            Data.push_back(bit >= firstData);
            fskPhase_ = std::fmod(fskPhase_ + 2 * M_PI * tone.Hz / rate_, 2 * M_PI);
        }
        (void)start;
    }

  private:
    void Append(double seconds, const std::vector<TTone>& tones, bool data) {
        const auto n = static_cast<std::size_t>(std::lround(seconds * rate_));
        for (std::size_t i = 0; i < n; ++i) {
            double v = 0;
            for (const TTone& tone : tones) {
                v += tone.Amplitude * std::sin(2 * M_PI * tone.Hz * static_cast<double>(i) / rate_);
            }
            Samples.push_back(static_cast<float>(v));
            Data.push_back(data);
        }
    }
    double rate_;
    double fskPhase_ = 0;
};

std::string Peak(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", v);
    return text;
}

void NeedNot(bool given, const char* option, const char* where) {
    if (given) {
        throw RinglarkError(std::string("--") + option + " applies " + where);
    }
}

bool HasAlert(const TTestSignal& s, const TTestTiming& t) {
    return t.AlertSeconds > 0 || (s.Impairments.AlertMs && *s.Impairments.AlertMs > 0);
}

}  // namespace

TTestTiming NominalTiming(const TTestSignal& s) {
    TTestTiming t;
    if (s.Standard == TCidStandard::Bell202) {
        if (s.Signalling == TSignalling::OnHook) {
            t.SeizureBits = 300;
            t.MarkBits = 180;
        } else {
            t.SubscriberAlertSeconds = 0.3;
            t.AlertSeconds = 0.1;
            t.QuietSeconds = 0.2;
            t.MarkBits = 84;  // 70 ms
        }
    } else if (s.Standard != TCidStandard::Dtmf) {
        const TV23Timing v23 = V23TimingFor(s.Standard, s.Signalling, s.Alert);
        t.SeizureBits = v23.SeizureBits;
        t.MarkBits = v23.MarkBits;
        t.AlertSeconds = v23.AlertSeconds;
        t.QuietSeconds = v23.AlertSeconds > 0 ? v23.QuietSeconds : 0.060;
    }
    return t;
}

void CheckTestSignal(const TTestSignal& s) {
    const TImpairments& m = s.Impairments;
    CheckImpairments(m);
    if (s.Rate < MinTestRate || s.Rate > MaxTestRate) {
        throw RinglarkError(msg::ValueOutOfRange("rate", std::to_string(s.Rate), "8000", "192000",
                                                 "samples per second"));
    }
    const TTestTiming t = NominalTiming(s);
    if (IsFsk(s)) {
        const char* where = "to --standard dtmf";
        NeedNot(m.DtmfToneMs.has_value(), "dtmf-tone-ms", where);
        NeedNot(m.DtmfGapMs.has_value(), "dtmf-gap-ms", where);
        NeedNot(m.DtmfErrorPct.has_value(), "dtmf-error-pct", where);
    } else {
        const char* where = "to FSK (--standard bell, etsi or bt)";
        NeedNot(m.MarkErrorPct.has_value(), "mark-error-pct", where);
        NeedNot(m.SpaceErrorPct.has_value(), "space-error-pct", where);
        NeedNot(m.BaudErrorPct.has_value(), "baud-error-pct", where);
        NeedNot(m.SeizureBits.has_value(), "seizure-bits", where);
        NeedNot(m.MarkBits.has_value(), "mark-bits", where);
        NeedNot(m.IdleBits.has_value(), "idle-bits", where);
        NeedNot(m.AlertMs.has_value(), "alert-ms", "to FSK signals");
    }
    if (s.Standard == TCidStandard::Bell202 && s.Signalling == TSignalling::OnHook) {
        NeedNot(m.AlertMs.has_value(), "alert-ms",
                "to call waiting, bt and etsi: Bell 202 on-hook has no alert tone");
    }
    if (!HasAlert(s, t)) {
        const char* where = "only when a dual-tone alert is sent";
        NeedNot(m.AlertLevelDbfs.has_value(), "alert-level-dbfs", where);
        NeedNot(m.AlertErrorPct.has_value(), "alert-error-pct", where);
        NeedNot(m.AlertTwistDb.has_value(), "alert-twist-db", where);
    }
    const double level = m.LevelDbfs.value_or(BaseLevelDbfs(s));
    const double twist = m.TwistDb.value_or(0);
    const double low = Amplitude(level), high = Amplitude(level - twist);
    const double peak = IsFsk(s) ? std::max(low, high) : low + high;
    if (peak > 1.0001) {
        throw RinglarkError(
            msg::PeakAboveFullScale(IsFsk(s) ? "the FSK tones" : "the DTMF tones", Peak(peak)));
    }
    if (HasAlert(s, t)) {
        const double alert = m.AlertLevelDbfs.value_or(level - 20 * std::log10(2.0));
        const double alertPeak = Amplitude(alert) + Amplitude(alert - m.AlertTwistDb.value_or(0));
        if (alertPeak > 1.0001) {
            throw RinglarkError(msg::PeakAboveFullScale("the alert tones", Peak(alertPeak)));
        }
    }
}

std::vector<float> SynthesiseTestSignal(const TTestSignal& s) {
    CheckTestSignal(s);
    const TImpairments& m = s.Impairments;
    const TTestTiming t = NominalTiming(s);
    const double rate = s.Rate;
    const double level = m.LevelDbfs.value_or(BaseLevelDbfs(s));
    const double twist = m.TwistDb.value_or(0);
    TWriter w(rate);
    w.Quiet(TestSignalPaddingSeconds);
    if (IsFsk(s)) {
        if (t.SubscriberAlertSeconds > 0) {
            w.Tones(t.SubscriberAlertSeconds, {{440, Amplitude(level)}}, false);
        }
        const double alertSeconds = m.AlertMs ? *m.AlertMs / 1000 : t.AlertSeconds;
        if (alertSeconds > 0) {
            const double alert = m.AlertLevelDbfs.value_or(level - 20 * std::log10(2.0));
            const double factor = 1 + m.AlertErrorPct.value_or(0) / 100;
            w.Tones(alertSeconds,
                    {{kAlertLow * factor, Amplitude(alert)},
                     {kAlertHigh * factor, Amplitude(alert - m.AlertTwistDb.value_or(0))}},
                    false);
        }
        w.Quiet(t.QuietSeconds);
        const bool bell = s.Standard == TCidStandard::Bell202;
        std::vector<bool> bits;
        for (int i = 0; i < m.SeizureBits.value_or(t.SeizureBits); ++i) {
            bits.push_back(i % 2 == 1);
        }
        bits.insert(bits.end(), static_cast<std::size_t>(m.MarkBits.value_or(t.MarkBits)), true);
        const std::size_t firstData = bits.size();
        for (char c : s.Message) {
            const auto byte = static_cast<uint8_t>(c);
            bits.push_back(false);
            for (int k = 0; k < 8; ++k) {
                bits.push_back(((byte >> k) & 1) != 0);
            }
            bits.push_back(true);
            bits.insert(bits.end(), static_cast<std::size_t>(m.IdleBits.value_or(0)), true);
        }
        if (!bits.empty()) {
            const double markHz =
                (bell ? kBellMark : V23MarkHz) * (1 + m.MarkErrorPct.value_or(0) / 100);
            const double spaceHz =
                (bell ? kBellSpace : V23SpaceHz) * (1 + m.SpaceErrorPct.value_or(0) / 100);
            w.Bits(bits, firstData, 1200 * (1 + m.BaudErrorPct.value_or(0) / 100),
                   {markHz, Amplitude(level)}, {spaceHz, Amplitude(level - twist)});
        }
    } else {
        const double tone = m.DtmfToneMs ? *m.DtmfToneMs / 1000 : t.DtmfToneSeconds;
        const double gap = m.DtmfGapMs ? *m.DtmfGapMs / 1000 : t.DtmfGapSeconds;
        const double factor = 1 + m.DtmfErrorPct.value_or(0) / 100;
        for (char c : s.Digits) {
            if (const auto tones = DtmfTones(c)) {
                w.Tones(tone,
                        {{tones->first * factor, Amplitude(level)},
                         {tones->second * factor, Amplitude(level - twist)}},
                        true);
                w.Quiet(gap);
            }
        }
    }
    w.Quiet(TestSignalPaddingSeconds);
    std::vector<float> x = m.TelephoneBand ? LineBand(w.Samples, rate) : std::move(w.Samples);
    if (m.SnrDb) {
        AddBandNoise(x, rate, w.Data, *m.SnrDb, m.Seed.value_or(1));
    }
    return x;
}

Bytes EncodeWav(const std::vector<float>& samples, int rate, TSampleFormat format) {
    const uint32_t bytesPerSample = format == TSampleFormat::U8 ? 1 : 2;
    const auto dataSize = static_cast<uint32_t>(samples.size() * bytesPerSample);
    Bytes out;
    out.reserve(44 + dataSize);
    const auto u32 = [&out](uint32_t v) {
        for (int k = 0; k < 4; ++k) {
            out += static_cast<char>((v >> (8 * k)) & 0xFF);
        }
    };
    const auto u16 = [&out](uint32_t v) {
        out += static_cast<char>(v & 0xFF);
        out += static_cast<char>((v >> 8) & 0xFF);
    };
    out += "RIFF";
    u32(36 + dataSize);
    out += "WAVEfmt ";
    u32(16);
    u16(1);  // PCM
    u16(1);  // mono
    u32(static_cast<uint32_t>(rate));
    u32(static_cast<uint32_t>(rate) * bytesPerSample);
    u16(bytesPerSample);
    u16(8 * bytesPerSample);
    out += "data";
    u32(dataSize);
    for (float v : samples) {
        const double x = std::clamp(static_cast<double>(v), -1.0, 1.0);
        if (format == TSampleFormat::U8) {
            out += static_cast<char>(std::clamp(128L + std::lround(x * 128), 0L, 255L));
        } else {
            u16(static_cast<uint16_t>(
                static_cast<int16_t>(std::clamp(std::lround(x * 32768), -32768L, 32767L))));
        }
    }
    return out;
}

}  // namespace ringlark
