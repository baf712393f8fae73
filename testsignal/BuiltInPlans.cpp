// The built-in receiver test plans, one per standard, from the receivers'
// acceptance figures of the standards note (its tags [Sn] name the sources),
// and the sensitivity plans.
#include <cmath>
#include <functional>

#include "testsignal/TestPlan.h"

namespace ringlark {

namespace {

// The level of a full-scale sine: +3.14 dBm, a codec whose digital milliwatt
// (0 dBm0) is -3.14 dBFS. The line interface decides the real figure.
constexpr double kDbmAtFullScale = 3.14;
constexpr double kDbvToDbm = 2.22;

using TSet = std::function<void(TImpairments&)>;

struct TBuilder {
    TPlan Plan;
    int Runs = 3;
    double DbmAtFs() const { return Plan.Parameters.front().Value; }
    void Add(std::string name, std::string description, std::string source, TSet set,
             TExpect expect = TExpect::Accept) {
        TPlanCondition c;
        c.Name = std::move(name);
        c.Description = std::move(description);
        c.Source = std::move(source);
        if (set) {
            set(c.Impairments);
        }
        c.Runs = Runs;
        c.Expect = expect;
        Plan.Conditions.push_back(std::move(c));
    }
    void Level(std::string name, double dbm, std::string source, TExpect expect) {
        const double dbfs = dbm - DbmAtFs();
        char text[96];
        std::snprintf(text, sizeof text, "level %.2f dBm (%.2f dBFS)", dbm, dbfs);
        Add(
            std::move(name), text, std::move(source),
            [dbfs](TImpairments& m) { m.LevelDbfs = dbfs; }, expect);
    }
    void Percent(const std::string& what, std::optional<double> TImpairments::*member, double pct,
                 const std::string& source) {
        for (double sign : {1.0, -1.0}) {
            char name[64], text[96];
            std::snprintf(name, sizeof name, "%s%+g%%", what.c_str(), sign * pct);
            std::snprintf(text, sizeof text, "%s error %+g %%", what.c_str(), sign * pct);
            Add(name, text, source, [member, v = sign * pct](TImpairments& m) { m.*member = v; });
        }
    }
    void Twist(double up, double down, const std::string& source) {
        for (double twist : {up, -down}) {
            char name[32], text[64];
            std::snprintf(name, sizeof name, "twist%+gdB", twist);
            std::snprintf(text, sizeof text, "twist %+g dB (lower tone minus higher)", twist);
            // the louder tone at the generator's level, so that nothing clips
            const bool lower = twist < 0 && Plan.Standard != TCidStandard::Dtmf;
            Add(name, text, source, [twist, lower](TImpairments& m) {
                m.TwistDb = twist;
                if (lower) {
                    m.LevelDbfs = 20 * std::log10(63.0 / 128) + twist;
                }
            });
        }
    }
    void Bits(const std::string& what, std::optional<int> TImpairments::*member, int bits,
              const std::string& source) {
        Add(what + "-" + std::to_string(bits), what + " of " + std::to_string(bits) + " bits",
            source, [member, bits](TImpairments& m) { m.*member = bits; });
    }
    void BadChecksum() {
        Add("bad-checksum", "the checksum byte changed: the message must not be shown",
            "receiver test practice (note 6.2)", {}, TExpect::Reject);
        Plan.Conditions.back().Message.CorruptChecksum = true;
    }
};

TBuilder Start(std::string name, std::string title, TCidStandard standard) {
    TBuilder b;
    b.Plan.Name = std::move(name);
    b.Plan.Title = std::move(title);
    b.Plan.Standard = standard;
    b.Plan.Parameters.push_back({"dbm_at_fs", kDbmAtFullScale,
                                 "level in dBm of a full-scale sine (assumed: a codec with "
                                 "0 dBm0 at -3.14 dBFS)"});
    b.Add("nominal", "the generator's own signal", "-", {});
    return b;
}

TPlan Bell() {
    TBuilder b = Start("bell", "Bell 202 on-hook receiver acceptance", TCidStandard::Bell202);
    b.Plan.Parameters.push_back(
        {"short_seizure_bits", 150, "a short channel seizure (no source gives a minimum)"});
    b.Level("level-max", -4.23, "TIA-777 receiver, 476 mVrms [S7]", TExpect::Accept);
    b.Level("level-min", -36.2, "TIA-777 receiver, 12 mVrms [S7]", TExpect::Accept);
    b.Level("level-below-no-response", -50, "must not respond below -48.24 dBm [S7]",
            TExpect::Reject);
    b.Twist(10, 10, "-6 to +10 dB, sign convention not stated: both ways [S7] [S10]");
    b.Percent("mark", &TImpairments::MarkErrorPct, 1, "1200 Hz +- 1 % [S7] [S10]");
    b.Percent("space", &TImpairments::SpaceErrorPct, 1, "2200 Hz +- 1 % [S7] [S10]");
    b.Percent("baud", &TImpairments::BaudErrorPct, 1, "1200 baud +- 1 % [S7]");
    b.Bits("seizure", &TImpairments::SeizureBits, 150, "short_seizure_bits (unconfirmed)");
    b.Bits("mark-run", &TImpairments::MarkBits, 126, "130 - 25 ms, derived [S13]");
    b.Bits("mark-run", &TImpairments::MarkBits, 186, "130 + 25 ms, derived [S13]");
    b.Bits("idle", &TImpairments::IdleBits, 20, "up to 20 extra mark bits [S10]");
    b.BadChecksum();
    return b.Plan;
}

TPlan V23(bool bt) {
    TBuilder b = bt ? Start("bt", "BT idle-state receiver acceptance", TCidStandard::Bt)
                    : Start("etsi", "ETSI V.23 on-hook receiver acceptance (with DT-AS)",
                            TCidStandard::EtsiV23);
    b.Plan.Alert = !bt;
    if (bt) {
        b.Level("level-max", -8 + kDbvToDbm, "-8 dBV [S10]", TExpect::Accept);
        b.Level("level-min", -40 + kDbvToDbm, "-40 dBV [S10]", TExpect::Accept);
    } else {
        b.Plan.Parameters.push_back({"reject_dbm", -50,
                                     "a level below -47.78 dBm, which must not be answered "
                                     "(unconfirmed [S7])"});
        b.Level("level-max", -8 + kDbvToDbm, "on-hook -8 dBV [S7]", TExpect::Accept);
        b.Level("level-min", -36 + kDbvToDbm, "on-hook -36 dBV [S7]", TExpect::Accept);
        b.Level("level-reject", -50, "reject_dbm (unconfirmed [S7])", TExpect::Reject);
    }
    const std::string s = bt ? "[S10]" : "[S7]";
    b.Twist(6, 6, "+- 6 dB " + s);
    b.Percent("mark", &TImpairments::MarkErrorPct, 1.5, "1300 Hz +- 1.5 % " + s);
    b.Percent("space", &TImpairments::SpaceErrorPct, 1.5, "2100 Hz +- 1.5 % " + s);
    b.Percent("baud", &TImpairments::BaudErrorPct, 1, "1200 baud +- 1 % " + s);
    if (bt) {
        b.Bits("seizure", &TImpairments::SeizureBits, 96, "96-315 bits [S18]");
        b.Bits("seizure", &TImpairments::SeizureBits, 315, "96-315 bits [S18]");
        b.Bits("mark-run", &TImpairments::MarkBits, 55, "55-90 bits [S18]");
        b.Bits("mark-run", &TImpairments::MarkBits, 90, "55-90 bits [S18]");
        b.Bits("idle", &TImpairments::IdleBits, 9, "1 to 10 stop bits [S10]");
        for (double ms : {88.0, 110.0}) {
            b.Add("alert-" + std::to_string(static_cast<int>(ms)) + "ms",
                  "dual-tone alert of " + std::to_string(static_cast<int>(ms)) + " ms",
                  "88-110 ms [S18]", [ms](TImpairments& m) { m.AlertMs = ms; });
        }
        b.Percent("alert", &TImpairments::AlertErrorPct, 1.1, "2130 + 2750 Hz +- 1.1 % [S18]");
        b.Add("snr-20dB", "white noise 20 dB below the signal in 300-3400 Hz", "[S10]",
              [](TImpairments& m) { m.SnrDb = 20; });
    } else {
        b.Bits("mark-run", &TImpairments::MarkBits, 155, "180 - 25 bits [S15] [S5]");
        b.Bits("mark-run", &TImpairments::MarkBits, 205, "180 + 25 bits [S15] [S5]");
        b.Add("snr-25dB", "white noise 25 dB below the signal in 300-3400 Hz", "[S7]",
              [](TImpairments& m) { m.SnrDb = 25; });
    }
    b.BadChecksum();
    return b.Plan;
}

TPlan Dtmf() {
    TBuilder b =
        Start("dtmf", "DTMF caller-ID receiver acceptance (A<number>C)", TCidStandard::Dtmf);
    const std::string s = "[S20] (unconfirmed)";
    b.Level("level-max", -4, "single tone -4 dBm " + s, TExpect::Accept);
    b.Level("level-min", -28, "single tone -28 dBm " + s, TExpect::Accept);
    b.Level("level-reject", -40, "reject below -36 dBm " + s, TExpect::Reject);
    b.Twist(7, 7, "tones less than 8 dB apart " + s);
    b.Percent("tones", &TImpairments::DtmfErrorPct, 1.5, "+- 1.5 % " + s);
    b.Add("tone-gap-55ms", "55 ms tones and gaps", "must detect above 50 ms " + s,
          [](TImpairments& m) { m.DtmfToneMs = m.DtmfGapMs = 55; });
    b.Add(
        "tone-15ms", "15 ms tones", "ignore below 20 ms " + s,
        [](TImpairments& m) { m.DtmfToneMs = 15; }, TExpect::Reject);
    return b.Plan;
}

TPlan Sensitivity(std::string name, std::string title, TCidStandard standard) {
    TBuilder b;
    b.Plan.Name = std::move(name);
    b.Plan.Title = std::move(title);
    b.Plan.Standard = standard;
    b.Plan.Alert = false;
    b.Plan.Sensitivity = true;
    b.Plan.Parameters.push_back({"dbm_at_fs", kDbmAtFullScale, "as in the other plans"});
    b.Runs = 10;
    for (double snr : {30.0, 20.0, 15.0, 12.0, 10.0, 8.0, 6.0, 4.0, 2.0, 0.0}) {
        char name2[32], text[96];
        std::snprintf(name2, sizeof name2, "snr-%gdB", snr);
        std::snprintf(text, sizeof text, "white noise %g dB below the signal in 300-3400 Hz", snr);
        b.Add(
            name2, text, "decode rate against SNR (no pass or fail)",
            [snr](TImpairments& m) { m.SnrDb = snr; }, TExpect::Any);
    }
    return b.Plan;
}

}  // namespace

std::vector<std::string> BuiltInPlanNames() {
    return {"bell", "etsi", "bt", "dtmf", "sensitivity", "sensitivity-etsi", "sensitivity-dtmf"};
}

std::optional<TPlan> BuiltInPlan(const std::string& name) {
    if (name == "bell") {
        return Bell();
    }
    if (name == "etsi" || name == "bt") {
        return V23(name == "bt");
    }
    if (name == "dtmf") {
        return Dtmf();
    }
    if (name == "sensitivity") {
        return Sensitivity(name, "Bell 202 decode rate against SNR", TCidStandard::Bell202);
    }
    if (name == "sensitivity-etsi") {
        return Sensitivity(name, "ETSI V.23 decode rate against SNR", TCidStandard::EtsiV23);
    }
    if (name == "sensitivity-dtmf") {
        return Sensitivity(name, "DTMF decode rate against SNR", TCidStandard::Dtmf);
    }
    return std::nullopt;
}

}  // namespace ringlark
