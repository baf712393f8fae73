#include "measurement/Measurements.h"

#include <cmath>
#include <cstdio>

// The limits of each standard that the measurements are checked against, each
// with where it comes from.
namespace ringlark {

namespace {

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

struct TLimit {
    double Low, High;
};

TLimitRow Row(const std::string& name, const std::string& value, double measured,
              std::optional<TLimit> limit, const char* unit, const std::string& source) {
    TLimitRow row{name, value, "", "not checked", source};
    if (limit && measured != 0) {
        row.Limit = Format("%g", limit->Low) + " to " + Format("%g", limit->High) + " " + unit;
        // judged as shown: every value is printed to a tenth or less
        const double shown = std::round(measured * 10) / 10;
        row.Verdict = shown >= limit->Low && shown <= limit->High ? "PASS" : "FAIL";
    }
    return row;
}

}  // namespace

std::string OwnLimits(const TCorrMessage& message, const TFskMeasures& m) {
    if (message.Standard == TCidStandard::Bell202) {
        return "bell";
    }
    if (message.Standard == TCidStandard::Bt) {
        return "bt";
    }
    // ETSI's on-hook mark run is 180 bits (155 at the least), BT's 55-90
    return m.SeizureBits > 0 && m.MarkBits > 0 && m.MarkBits < 122 ? "bt" : "etsi";
}

std::vector<TLimitRow> CheckLimits(const TFskMeasures& m, const std::string& standard,
                                   std::optional<double> dbmAtFullScale) {
    const bool bell = standard == "bell";
    const bool bt = standard == "bt";
    const double markNominal = bell ? 1200 : 1300;
    const double spaceNominal = bell ? 2200 : 2100;
    // Transmitter tolerances: Bell 202 (Telcordia GR-30, TIA-777) 1 %; V.23
    // receivers (ETSI EN 300 659, BT SIN 242) accept 1.5 %; bit rate 1 % for all.
    const double toneTolerance = bell ? 0.01 : 0.015;
    const std::string toneSource =
        bell ? "GR-30/TIA-777: 1200/2200 Hz +-1 %" : "EN 300 659-1 / SIN 242: 1300/2100 Hz +-1.5 %";
    const std::string rateSource = "1200 bit/s +-1 % (GR-30, EN 300 659-1)";
    std::vector<TLimitRow> rows;
    const auto tone = [&](const char* name, double hz, double nominal) {
        rows.push_back(Row(name, Format("%.1f Hz", hz), hz,
                           TLimit{nominal * (1 - toneTolerance), nominal * (1 + toneTolerance)},
                           "Hz", toneSource));
    };
    tone("Mark frequency (message)", m.MarkHz, markNominal);
    tone("Space frequency (message)", m.SpaceHz, spaceNominal);
    if (m.MarkRunHz != 0) {
        tone("Mark frequency (mark run)", m.MarkRunHz, markNominal);
    }
    if (m.SeizureBits > 0) {
        tone("Mark frequency (seizure)", m.SeizureMarkHz, markNominal);
        tone("Space frequency (seizure)", m.SeizureSpaceHz, spaceNominal);
    }
    rows.push_back(Row("Bit rate (message)", Format("%.1f bit/s", m.BitRate), m.BitRate,
                       TLimit{1188, 1212}, "bit/s", rateSource));
    if (m.SeizureBits > 0) {
        rows.push_back(Row("Bit rate (seizure)", Format("%.1f bit/s", m.SeizureBitRate),
                           m.SeizureBitRate, TLimit{1188, 1212}, "bit/s", rateSource));
    }
    const auto level = [&](const char* name, double dbfs) {
        std::string value = Format("%.1f dBFS", dbfs);
        if (dbmAtFullScale) {
            const double dbm = dbfs + *dbmAtFullScale;
            value += Format(" (%.1f dBm)", dbm);
            // Bell 202 transmit level -13.5 +-1 dBm into 900 ohm (GR-30); the
            // V.23 transmit level is not public: not checked
            rows.push_back(Row(name, value, dbm,
                               bell ? std::optional<TLimit>(TLimit{-14.5, -12.5}) : std::nullopt,
                               "dBm", bell ? "GR-30: -13.5 +-1 dBm" : "transmit level not public"));
        } else {
            rows.push_back(
                Row(name, value, dbfs, std::nullopt, "", "no dBm calibration (--dbm-at-fs)"));
        }
    };
    level("Mark level", m.MarkDbfs);
    level("Space level", m.SpaceDbfs);
    rows.push_back(Row("Twist (mark - space)", Format("%.1f dB", m.TwistDb),
                       m.TwistDb == 0 ? 1e-9 : m.TwistDb, bell ? TLimit{-6, 10} : TLimit{-6, 6},
                       "dB",
                       bell ? "TIA-777 receiver: -6 to +10 dB" : "EN 300 659 / SIN 242: +-6 dB"));
    if (m.SnrDb) {
        rows.push_back(Row("Signal to noise (300-3400 Hz)", Format("%.1f dB", *m.SnrDb), 0,
                           std::nullopt, "", "measured only"));
    }
    if (m.SeizureBits > 0) {  // none: the call-waiting form, which has none
        rows.push_back(
            Row("Channel seizure", Format("%.0f bits", m.SeizureBits),
                m.SeizureBits == 0 ? -1 : m.SeizureBits, bt ? TLimit{96, 315} : TLimit{299, 301},
                "bits",
                bt ? "SIN 227: 96-315 bits" : "GR-30 / EN 300 659-1: 300 bits (counted to a bit)"));
    }
    rows.push_back(
        Row("Mark bits before the message", Format("%.0f bits", m.MarkBits), m.MarkBits,
            m.SeizureBits > 0 ? (bt ? TLimit{55, 90} : TLimit{155, 205}) : TLimit{55, 105}, "bits",
            m.SeizureBits > 0 ? (bt ? "SIN 227: 55-90 bits" : "180 +-25 bits")
                              : "call waiting: 80 +-25 bits"));
    if (m.Alert) {
        const double ms = m.Alert->Duration * 1000;
        // Before data without a seizure (a set in use): Bell 202 CAS and ETSI
        // DT-AS 75-85 ms (SR-TSV-002476, ETS 300 778-2), BT 80-85 ms; on-hook:
        // BT 88-110 ms (SIN 227); the ETSI on-hook figure is not confirmed.
        const bool offHook = m.SeizureBits == 0;
        std::optional<TLimit> limit;
        std::string source = "ETSI on-hook alert length not confirmed";
        if (offHook) {
            limit = bt ? TLimit{80, 85} : TLimit{75, 85};
            source = bell ? "CAS 75-85 ms (SR-TSV-002476)"
                     : bt ? "SIN 242: 80-85 ms"
                          : "ETS 300 778-2: 75-85 ms";
        } else if (bt) {
            limit = TLimit{88, 110};
            source = "SIN 227: 88-110 ms";
        }
        rows.push_back(Row("Dual-tone alert", Format("%.1f ms", ms), ms, limit, "ms", source));
        const double low = bell ? 0.005 : 0.011;
        rows.push_back(Row("Alert low tone", Format("%.1f Hz", m.Alert->LowHz), m.Alert->LowHz,
                           TLimit{2130 * (1 - low), 2130 * (1 + low)}, "Hz",
                           bell ? "2130 Hz +-0.5 %" : "2130 Hz +-1.1 %"));
        rows.push_back(Row("Alert high tone", Format("%.1f Hz", m.Alert->HighHz), m.Alert->HighHz,
                           TLimit{2750 * (1 - low), 2750 * (1 + low)}, "Hz",
                           bell ? "2750 Hz +-0.5 %" : "2750 Hz +-1.1 %"));
        // Each tone's level and their difference: measured, no limit checked.
        const auto toneLevel = [&](const char* name, double dbfs) {
            std::string value = Format("%.1f dBFS", dbfs);
            if (dbmAtFullScale) {
                value += Format(" (%.1f dBm)", dbfs + *dbmAtFullScale);
            }
            rows.push_back(Row(name, value, 0, std::nullopt, "", "measured only"));
        };
        toneLevel("Alert low tone level", m.Alert->LowDbfs);
        toneLevel("Alert high tone level", m.Alert->HighDbfs);
        rows.push_back(Row("Alert twist (low - high)",
                           Format("%.1f dB", m.Alert->LowDbfs - m.Alert->HighDbfs), 0, std::nullopt,
                           "", "measured only"));
        rows.push_back(Row("Quiet after the alert", Format("%.1f ms", m.AlertGapSeconds * 1000),
                           m.AlertGapSeconds * 1000,
                           bell ? std::nullopt : std::optional<TLimit>(TLimit{45, 500}), "ms",
                           bell ? "set's acknowledgement window" : "EN 300 659-1: 45-500 ms"));
    }
    if (m.Subscriber) {
        // The call-waiting beep before the data: measured, no limit checked.
        rows.push_back(Row("Subscriber alert", Format("%.1f ms", m.Subscriber->Duration * 1000), 0,
                           std::nullopt, "", "measured only"));
        rows.push_back(Row("Subscriber alert tone", Format("%.1f Hz", m.Subscriber->LowHz), 0,
                           std::nullopt, "", "measured only"));
        std::string value = Format("%.1f dBFS", m.Subscriber->LowDbfs);
        if (dbmAtFullScale) {
            value += Format(" (%.1f dBm)", m.Subscriber->LowDbfs + *dbmAtFullScale);
        }
        rows.push_back(Row("Subscriber alert level", value, 0, std::nullopt, "", "measured only"));
    }
    rows.push_back(Row("Bit edge jitter (RMS)", Format("%.1f %% of a bit", m.JitterPercent), 0,
                       std::nullopt, "", "measured only"));
    return rows;
}

}  // namespace ringlark
