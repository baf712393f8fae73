#include "diagnosis/DiagnosisReport.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "diagnosis/FskReading.h"
#include "diagnosis/Limits.h"

namespace ringlark {

std::string ReportPrintf(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

namespace {

// A value printed to a tenth, never "-0.0".
std::string Tenth(double value) {
    const double shown = std::round(value * 10) / 10;
    return ReportPrintf("%.1f", shown == 0 ? 0.0 : shown);
}

std::string Plural(int count, const std::string& one, const std::string& many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string StandardKey(TCidStandard standard) {
    return std::string(StandardName(standard));
}

// The message the headline is about: the first of the main standard.
const TLineMessage* MainMessage(const TDiagnosis& d) {
    const TCidStandard main = d.MainStandard();
    for (const auto& m : d.Messages) {
        if (m.Standard == main) {
            return &m;
        }
    }
    return nullptr;
}

std::string AlertName(const TLineMessage& m) {
    return m.Standard == TCidStandard::Bell202 ? "CAS" : "DT-AS";
}

std::string Headline(const TDiagnosis& d) {
    const TLineMessage* m = MainMessage(d);
    if (m == nullptr) {
        return "";
    }
    std::string text =
        "Caller ID is sent as " + StandardPhrase(m->Standard) + " " + PlacementText(m->Placement);
    if (m->Alert) {
        text += ReportPrintf(", after a dual-tone alert (%s, %.0f ms)", AlertName(*m).c_str(),
                             m->Alert->Duration * 1000);
    } else if (m->RingAlert) {
        text += ReportPrintf(", after a short ring burst (RP-AS, %.0f ms)",
                             m->RingAlert->Duration * 1000);
    }
    return text + ".";
}

std::string LevelSentence(const TDiagnosis& d) {
    // the weakest tone of the main standard's FSK messages
    const TCidStandard main = d.MainStandard();
    if (main == TCidStandard::Dtmf) {
        return "";
    }
    const TLineMessage* weakest = nullptr;
    for (const auto& m : d.Messages) {
        if (m.Standard == main && !m.Message.empty() &&
            (weakest == nullptr ||
             std::min(m.MarkDbfs, m.SpaceDbfs) < std::min(weakest->MarkDbfs, weakest->SpaceDbfs))) {
            weakest = &m;
        }
    }
    if (weakest == nullptr) {
        return "";
    }
    const double dbfs = std::min(weakest->MarkDbfs, weakest->SpaceDbfs);
    if (!d.Options.DbmAtFullScale) {
        return "Level " + Tenth(dbfs) +
               " dBFS; not sure whether that is within limits, as the recording's level in dBm "
               "is not known.";
    }
    const std::string phrase = StandardPhrase(main);
    for (const auto& f : d.Findings) {
        if (f.Kind == TFindingKind::TooWeak) {
            return "Level " + Tenth(f.Value) + " dBm, " + Tenth(f.Low - f.Value) +
                   " dB below the weakest level " + phrase + " receivers must accept (" +
                   Tenth(f.Low) + " dBm).";
        }
        if (f.Kind == TFindingKind::TooStrong) {
            return "Level " + Tenth(f.Value) + " dBm, " + Tenth(f.Value - f.High) +
                   " dB above the strongest level " + phrase + " receivers must accept (" +
                   Tenth(f.High) + " dBm).";
        }
    }
    return "Level " + Tenth(dbfs + *d.Options.DbmAtFullScale) + " dBm, within limits.";
}

std::string Range(double low, double high) {
    return ReportPrintf("%g to %+g", low, high);
}

std::string FindingSentence(const TDiagnosis& d, const TFinding& f) {
    const TLineMessage* m =
        f.Message >= 0 ? &d.Messages[static_cast<std::size_t>(f.Message)] : nullptr;
    const std::string phrase = m != nullptr ? StandardPhrase(m->Standard) : "";
    const auto messages = [&](const char* one, const char* many) {
        if (f.Count == 1 && f.Of == 1) {
            return std::string("The message ") + one;
        }
        if (f.Count == f.Of) {
            return "All " + std::to_string(f.Of) + " messages " + many;
        }
        return std::to_string(f.Count) + " of " + std::to_string(f.Of) + " messages " +
               (f.Count == 1 ? one : many);
    };
    switch (f.Kind) {
        case TFindingKind::NoSignal:
            return "No caller ID is heard: " + Plural(f.Count, "ring", "rings") +
                   ", and nothing before the first ring or between the first and second ring, "
                   "where the standards put it.";
        case TFindingKind::NothingAtAll:
            return "Nothing is heard: no ring and no caller ID.";
        case TFindingKind::OtherStandard:
            return "A receiver set for " + f.Detail + " reads nothing of it.";
        case TFindingKind::TooWeak:
        case TFindingKind::TooStrong:
            return "";  // said by the level sentence
        case TFindingKind::Twist:
            return "The twist (mark level minus space level) is " + Tenth(f.Value) +
                   " dB, outside the " + Range(f.Low, f.High) + " dB that " + phrase +
                   " receivers must accept.";
        case TFindingKind::Noise:
            return "The signal stands only " + Tenth(f.Value) + " dB above the noise; " + phrase +
                   " receivers need only cope with " + ReportPrintf("%g", f.Low) + " dB or more.";
        case TFindingKind::AlertGap:
            return ReportPrintf(
                       "The data starts %.0f ms after the dual-tone alert ends; the standard "
                       "asks for 45 to 500 ms, so a receiver may ",
                       f.Value) +
                   (f.Value < f.Low ? "not be ready for it." : "have stopped listening.");
        case TFindingKind::ShortMarkRun:
            return ReportPrintf("The mark run before the message is %.0f bits; ", f.Value) +
                   phrase +
                   ReportPrintf(
                       " asks for %.0f to %.0f bits, so a receiver may not be ready for the "
                       "first byte.",
                       f.Low, f.High);
        case TFindingKind::RingGap:
            if (f.Detail == "after") {
                return ReportPrintf("The data starts %.0f ms after the first ring ends; ",
                                    f.Value) +
                       phrase +
                       (f.High > 0 ? ReportPrintf(" asks for %g to %g ms.", f.Low, f.High)
                                   : ReportPrintf(" asks for at least %g ms.", f.Low));
            }
            return ReportPrintf(
                "The data ends %.0f ms before the next ring; the standards ask for at "
                "least %g ms.",
                f.Value, f.Low);
        case TFindingKind::Checksum:
            return messages("fails", "fail") +
                   " the checksum: a receiver that drops bad messages shows RING only.";
        case TFindingKind::Structure:
            return messages("breaks", "break") + " the message structure (" + f.Detail +
                   "): a receiver that checks it shows RING only.";
        case TFindingKind::Unreadable:
            return messages("cannot", "cannot") + " be read to the end (" + f.Detail +
                   "): a receiver shows RING only.";
        case TFindingKind::DtmfFraming:
            return "DTMF digits are heard (\"" + f.Detail +
                   "\"), but not in a framing receivers recognise (A...C, A...#, D...C or ...#): "
                   "a receiver shows RING only.";
        case TFindingKind::AfterFirstRing:
            return "The data comes after the first ring, where " + phrase +
                   " sends it before the first ring" +
                   (f.Detail == "dtas" ? " when it alerts with DT-AS" : "") +
                   ": a receiver that listens only before ringing misses it.";
        case TFindingKind::BeforeFirstRing:
            return "The data comes before the first ring, where " + phrase +
                   " sends it after the first ring: a receiver that starts listening after the "
                   "first ring misses it.";
    }
    return "";
}

std::string Summary(const TDiagnosis& d) {
    if (d.Calls == 0) {
        return "";
    }
    const std::string calls = Plural(d.Calls, "call", "calls") + " heard";
    if (d.Messages.empty()) {
        return calls + ".";
    }
    const auto decoded = static_cast<int>(std::count_if(d.Messages.begin(), d.Messages.end(),
                                                        [](const auto& m) { return m.Decoded; }));
    const bool anyFsk = std::any_of(d.Messages.begin(), d.Messages.end(),
                                    [](const auto& m) { return m.Standard != TCidStandard::Dtmf; });
    if (decoded == static_cast<int>(d.Messages.size())) {
        return calls + "; all decoded" + (anyFsk ? "; checksums good." : ".");
    }
    return calls + "; " + std::to_string(decoded) + " of " +
           Plural(static_cast<int>(d.Messages.size()), "message", "messages") + " decoded.";
}

std::string Ms(double seconds) {
    return ReportPrintf("%.0f ms", seconds * 1000);
}

TReportRow Checked(const std::string& name, const std::string& value, double measured, double low,
                   double high, const std::string& limit, const std::string& source) {
    const double shown = std::round(measured * 10) / 10;
    return {name, value, limit, shown >= low && shown <= high ? "PASS" : "FAIL", source};
}

TReportGroup MessageEvidence(const TDiagnosis& d, const TLineMessage& m, int number) {
    TReportGroup group;
    group.Title = ReportPrintf("Message %d: %.2f s, ", number, m.Seconds) +
                  StandardPhrase(m.Standard) + ", " + PlacementText(m.Placement);
    auto& rows = group.Rows;
    const bool fsk = m.Standard != TCidStandard::Dtmf;
    const bool onHook = !fsk || m.SeizureBits > 0;
    if (m.RingAlert) {
        rows.push_back({"Short ring burst before the data", Ms(m.RingAlert->Duration), "", "",
                        "RP-AS (EN 300 659-1)"});
    }
    if (m.SinceRingEnd && m.RingAlert) {
        rows.push_back({"Data after the short ring burst", Ms(*m.SinceRingEnd), "", "not checked",
                        "RP-AS to data: not confirmed"});
    } else if (m.SinceRingEnd) {
        const bool etsi = m.Standard == TCidStandard::EtsiV23;
        const double ms = *m.SinceRingEnd * 1000;
        if (m.FirstRingOfCallBefore && onHook && fsk && m.Standard != TCidStandard::Bt) {
            rows.push_back(Checked("Data after the end of the first ring", Ms(*m.SinceRingEnd), ms,
                                   kBellAfterRingMs, etsi ? kEtsiAfterRingMaxMs : 1e9,
                                   etsi ? "500 to 2000 ms" : "at least 500 ms", kRingTimingSource));
        } else {
            rows.push_back({"Data after the end of the ring before", Ms(*m.SinceRingEnd), "",
                            "not checked", ""});
        }
    }
    if (m.UntilNextRing) {
        const double ms = *m.UntilNextRing * 1000;
        rows.push_back(Checked("Data end to the next ring", Ms(*m.UntilNextRing), ms,
                               kBeforeNextRingMs, 1e9, "at least 200 ms", kRingTimingSource));
    }
    if (!fsk) {
        rows.push_back({"DTMF digits", m.Digits, "", "", ""});
        return group;
    }
    const TReceiverLimits limits = ReceiverLimits(m.Standard, !onHook);
    if (m.Alert) {
        rows.push_back({"Dual-tone alert",
                        ReportPrintf("%.1f ms, %.1f + %.1f Hz", m.Alert->Duration * 1000,
                                     m.Alert->LowHz, m.Alert->HighHz),
                        "", "", "measured"});
        if (m.Standard != TCidStandard::Bell202) {
            rows.push_back(
                Checked("Quiet after the alert", ReportPrintf("%.1f ms", m.AlertGapSeconds * 1000),
                        m.AlertGapSeconds * 1000, 45, 500, "45 to 500 ms", kAlertGapSource));
        }
    }
    const auto level = [&](const char* name, double dbfs) {
        if (d.Options.DbmAtFullScale) {
            const double dbm = dbfs + *d.Options.DbmAtFullScale;
            rows.push_back(Checked(name, Tenth(dbfs) + " dBFS (" + Tenth(dbm) + " dBm)", dbm,
                                   limits.MinDbm, limits.MaxDbm,
                                   Tenth(limits.MinDbm) + " to " + Tenth(limits.MaxDbm) + " dBm",
                                   limits.LevelSource));
        } else {
            rows.push_back({name, Tenth(dbfs) + " dBFS", "", "not checked",
                            "no dBm calibration (--dbm-at-fs)"});
        }
    };
    level("Mark level", m.MarkDbfs);
    if (m.SpaceDbfs > -119) {
        level("Space level", m.SpaceDbfs);
        rows.push_back(Checked(
            "Twist (mark - space)", Tenth(m.TwistDb) + " dB", m.TwistDb, limits.MinTwist,
            limits.MaxTwist, Range(limits.MinTwist, limits.MaxTwist) + " dB", limits.TwistSource));
    }
    if (m.SnrDb) {
        rows.push_back(Checked("Signal to noise (300-3400 Hz)", Tenth(*m.SnrDb) + " dB", *m.SnrDb,
                               limits.MinSnrDb, 1e9,
                               ReportPrintf("at least %g dB", limits.MinSnrDb), limits.SnrSource));
    }
    if (m.SeizureBits > 0) {
        rows.push_back(
            {"Channel seizure", ReportPrintf("%d bits", m.SeizureBits), "", "", "measured"});
    }
    const bool seizure = m.SeizureBits > 0;
    rows.push_back(Checked(
        "Mark bits before the message", ReportPrintf("%d bits", m.MarkBits), m.MarkBits,
        limits.MinMarkBits(seizure), limits.MaxMarkBits(seizure),
        ReportPrintf("%d to %d bits", limits.MinMarkBits(seizure), limits.MaxMarkBits(seizure)),
        limits.MarkSource(seizure)));
    // the decoder's measurements: tones, bit rate, jitter
    for (const auto& row : m.Rows) {
        if (row.Name.find("frequency") != std::string::npos || row.Name.rfind("Bit ", 0) == 0) {
            rows.push_back({row.Name, row.Value, row.Limit, row.Verdict, row.Source});
        }
    }
    return group;
}

}  // namespace

TAdviceKeys AdviceKeys(const TDiagnosis& d) {
    TAdviceKeys keys;
    const TLineMessage* m = MainMessage(d);
    if (m != nullptr) {
        keys["standard"].insert(StandardKey(m->Standard));
        keys["placement"].insert(PlacementKey(m->Placement));
        keys["alert"].insert(m->Alert ? "dtas" : m->RingAlert ? "rpas" : "none");
    } else if (!d.LooseDigits.empty()) {
        keys["standard"].insert("dtmf");
        keys["alert"].insert("none");
    } else {
        keys["standard"].insert("none");
    }
    for (const auto& f : d.Findings) {
        keys["finding"].insert(FindingKey(f.Kind));
    }
    return keys;
}

TDiagnosisReport BuildReport(const TDiagnosis& d, const TAdviceBook& advice) {
    TDiagnosisReport report;
    auto& s = report.Sentences;
    const auto add = [&](const std::string& sentence) {
        if (!sentence.empty()) {
            s.push_back(sentence);
        }
    };
    add(Headline(d));
    add(LevelSentence(d));
    for (const auto& f : d.Findings) {
        add(FindingSentence(d, f));
    }
    add(Summary(d));
    // evidence
    if (!d.Rings.empty()) {
        TReportGroup rings{"Rings", {}};
        int n = 0;
        for (const auto& r : d.Rings) {
            rings.Rows.push_back({ReportPrintf("Ring burst %d", ++n),
                                  ReportPrintf("%.2f s, lasts %.2f s", r.Seconds, r.Duration), "",
                                  "",
                                  ReportPrintf("%.0f Hz, %s%.1f dBFS", r.Hz,
                                               r.Clipped ? "clipped, " : "", r.LevelDbfs)});
        }
        report.Evidence.push_back(rings);
    }
    if (!d.Alerts.empty()) {
        TReportGroup alerts{"Alert tones", {}};
        for (const auto& a : d.Alerts) {
            const bool dual = a.Kind == TAlertTone::TKind::DualTone;
            alerts.Rows.push_back(
                {dual ? "Dual-tone alert" : "Subscriber alert (440 Hz)",
                 ReportPrintf("%.2f s, lasts %.1f ms", a.Seconds, a.Duration * 1000), "", "",
                 dual ? ReportPrintf("%.1f + %.1f Hz, %.1f / %.1f dBFS", a.LowHz, a.HighHz,
                                     a.LowDbfs, a.HighDbfs)
                      : ReportPrintf("%.1f Hz, %.1f dBFS", a.LowHz, a.LowDbfs)});
        }
        report.Evidence.push_back(alerts);
    }
    for (std::size_t i = 0; i < d.Messages.size(); ++i) {
        report.Evidence.push_back(MessageEvidence(d, d.Messages[i], static_cast<int>(i) + 1));
    }
    if (!d.LooseDigits.empty()) {
        TReportGroup loose{"DTMF digits without a recognised framing", {}};
        for (const auto& l : d.LooseDigits) {
            loose.Rows.push_back({ReportPrintf("%.2f s", l.Seconds), l.Digits,
                                  "A...C, A...#, D...C, ...#", "FAIL",
                                  "ETS 300 659-1 Annex C; spandsp adsi.h"});
        }
        report.Evidence.push_back(loose);
    }
    // messages
    for (std::size_t i = 0; i < d.Messages.size(); ++i) {
        const auto& m = d.Messages[i];
        TReportMessage rm;
        rm.Number = static_cast<int>(i) + 1;
        rm.Seconds = m.Seconds;
        rm.Standard = StandardPhrase(m.Standard);
        rm.Placement = PlacementText(m.Placement);
        rm.Decoded = m.Decoded;
        rm.Bytes = m.Standard == TCidStandard::Dtmf ? m.Digits : HexBytes(m.Message);
        rm.Fields = m.Fields;
        rm.Broke = m.Broke;
        rm.Frames = m.Frames;
        report.Messages.push_back(rm);
    }
    // advice
    const bool weak =
        std::none_of(d.Messages.begin(), d.Messages.end(), [](const auto& m) { return m.Decoded; });
    for (const auto& entry : advice.For(AdviceKeys(d))) {
        report.Advice.push_back({entry.Receiver, entry.Text, entry.Source,
                                 entry.Sure && !(weak && !d.Messages.empty())});
    }
    // telephones first, then modems, then software; the file's order within each
    const auto rank = [](const TReportAdvice& a) {
        return a.Receiver == "phone" ? 0 : a.Receiver == "modem" ? 1 : 2;
    };
    std::stable_sort(
        report.Advice.begin(), report.Advice.end(),
        [&](const TReportAdvice& a, const TReportAdvice& b) { return rank(a) < rank(b); });
    return report;
}

std::string ReportSummary(const TDiagnosisReport& report) {
    std::string text;
    for (const auto& s : report.Sentences) {
        text += (text.empty() ? "" : " ") + s;
    }
    return text;
}

}  // namespace ringlark
