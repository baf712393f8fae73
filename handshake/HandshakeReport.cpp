#include "handshake/HandshakeReport.h"

#include <algorithm>
#include <cstdio>

namespace ringlark {

namespace {

std::string Fixed(const char* format, double value) {
    char text[48];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string Ms(double ms) {
    return Fixed("%.1f ms", ms);
}

std::string Range(double min, double max, const char* unit) {
    return Fixed("%g", min) + "-" + Fixed("%g", max) + " " + unit;
}

std::string Tone(double hz, double dbfs) {
    return Fixed("%.1f Hz ", hz) + Fixed("%.1f dBFS", dbfs);
}

std::string Hex(const Bytes& bytes) {
    std::string text;
    for (char c : bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X ", static_cast<unsigned>(static_cast<uint8_t>(c)));
        text += hex;
    }
    if (!text.empty()) {
        text.pop_back();
    }
    return text;
}

std::string InOrOut(double value, double min, double max, const char* below, const char* above) {
    return value < min ? below : value > max ? above : "ok";
}

}  // namespace

std::string AckVerdictName(TAckVerdict verdict) {
    switch (verdict) {
        case TAckVerdict::Valid:
            return "valid";
        case TAckVerdict::None:
            return "none";
        case TAckVerdict::Early:
            return "early";
        case TAckVerdict::Late:
            return "late";
        case TAckVerdict::TooShort:
            return "too short";
        case TAckVerdict::TooLong:
            return "too long";
        case TAckVerdict::WrongDigit:
            return "wrong digit";
    }
    return {};
}

std::string CasVerdictName(TCasVerdict verdict) {
    switch (verdict) {
        case TCasVerdict::Valid:
            return "valid";
        case TCasVerdict::TooShort:
            return "too short";
        case TCasVerdict::TooLong:
            return "too long";
        case TCasVerdict::OffFrequency:
            return "off frequency";
    }
    return {};
}

std::string DataVerdictName(TDataVerdict verdict) {
    switch (verdict) {
        case TDataVerdict::InWindow:
            return "in window";
        case TDataVerdict::Early:
            return "early";
        case TDataVerdict::Late:
            return "late";
        case TDataVerdict::None:
            return "none";
        case TDataVerdict::NotRead:
            return "not read";
    }
    return {};
}

std::vector<TStepRow> ExchangeRows(const TExchangeRun& run, const TCallWaitingTiming& t) {
    std::vector<TStepRow> rows;
    if (run.SasSent) {
        rows.push_back({"SAS sent", Ms(t.SasMs), "", ""});
    }
    rows.push_back({"CAS sent", Ms(run.CasMs), "", ""});
    if (!run.Ack) {
        rows.push_back({"ACK", "none", Range(0, t.AckWindowMs, "ms"), "none"});
    } else {
        const TAckHeard& ack = *run.Ack;
        rows.push_back({"CAS end -> ACK start", Ms(ack.DelayMs), Range(0, t.AckWindowMs, "ms"),
                        InOrOut(ack.DelayMs, 0, t.AckWindowMs, "early", "late")});
        rows.push_back({"ACK digit", std::string(1, ack.Digit), std::string(1, t.AckDigit),
                        ack.Digit == t.AckDigit ? "ok" : "wrong digit"});
        rows.push_back({"ACK length", Ms(ack.LengthMs), Range(t.AckMinMs, t.AckMaxMs, "ms"),
                        InOrOut(ack.LengthMs, t.AckMinMs, t.AckMaxMs, "too short", "too long")});
        rows.push_back({"ACK levels",
                        Tone(ack.LowHz, ack.LowDbfs) + ", " + Tone(ack.HighHz, ack.HighDbfs), "",
                        ""});
        rows.push_back({"ACK twist", Fixed("%.1f dB", ack.TwistDb), "", ""});
    }
    rows.push_back(
        {"verdict", AckVerdictName(run.Verdict), "", run.DataSent ? "data sent" : "no data"});
    if (run.AckEndToDataMs) {
        rows.push_back({"ACK end -> data", Ms(*run.AckEndToDataMs),
                        Range(t.DataMinMs, t.DataMaxMs, "ms"),
                        InOrOut(*run.AckEndToDataMs, t.DataMinMs, t.DataMaxMs, "early", "late")});
    }
    return rows;
}

std::vector<TStepRow> SetRows(const TSetRun& run, const TCallWaitingTiming& t) {
    std::vector<TStepRow> rows;
    if (run.Sas) {
        rows.push_back(
            {"SAS", Ms(run.Sas->Duration * 1000) + ", " + Tone(run.Sas->LowHz, run.Sas->LowDbfs),
             "", ""});
    }
    const double casMs = run.Cas.Duration * 1000;
    rows.push_back({"CAS length", Ms(casMs), Range(t.CasMinMs, t.CasMaxMs, "ms"),
                    InOrOut(casMs, t.CasMinMs, t.CasMaxMs, "too short", "too long")});
    rows.push_back(
        {"CAS tones",
         Tone(run.Cas.LowHz, run.Cas.LowDbfs) + ", " + Tone(run.Cas.HighHz, run.Cas.HighDbfs),
         Fixed("+-%g %%", t.CasTolerance * 100),
         run.CasVerdict == TCasVerdict::OffFrequency ? "off frequency" : "ok"});
    rows.push_back({"ACK sent",
                    run.AckSent ? std::string(1, run.AckDigit) + " after " + Ms(run.AckDelayMs) +
                                      ", " + Ms(run.AckMs)
                                : "none",
                    "", ""});
    if (run.AckEndToDataMs) {
        rows.push_back({"ACK end -> data", Ms(*run.AckEndToDataMs),
                        Range(t.DataMinMs, t.DataMaxMs, "ms"), DataVerdictName(run.DataVerdict)});
    } else {
        rows.push_back({"data", run.DataVerdict == TDataVerdict::None ? "none" : "came", "",
                        DataVerdictName(run.DataVerdict)});
    }
    if (run.MarkMs > 0) {
        rows.push_back({"mark run", Ms(run.MarkMs), Range(t.MarkMinMs, t.MarkMaxMs, "ms"),
                        InOrOut(run.MarkMs, t.MarkMinMs, t.MarkMaxMs, "short", "long")});
    }
    if (run.Message) {
        rows.push_back(
            {"message", std::string(run.Message->Tag()) + " " + Hex(run.Message->Message), "", ""});
    }
    return rows;
}

std::string RowsText(const std::vector<TStepRow>& rows) {
    std::size_t step = 0, measured = 0, limits = 0;
    // a figure with nothing after it (a message's bytes) sets no column
    for (const TStepRow& row : rows) {
        step = std::max(step, row.Step.size());
        if (!row.Limits.empty() || !row.Result.empty()) {
            measured = std::max(measured, row.Measured.size());
        }
        limits = std::max(limits, row.Limits.size());
    }
    std::string text;
    for (const TStepRow& row : rows) {
        std::string line =
            "  " + row.Step + std::string(step - row.Step.size() + 2, ' ') + row.Measured;
        if (!row.Limits.empty() || !row.Result.empty()) {
            line += std::string(measured - row.Measured.size() + 2, ' ') + row.Limits;
            line += std::string(limits - row.Limits.size() + 2, ' ') + row.Result;
        }
        while (!line.empty() && line.back() == ' ') {
            line.pop_back();
        }
        text += line + "\n";
    }
    return text;
}

TSpread SpreadOf(std::vector<double> values) {
    TSpread spread;
    spread.Count = static_cast<int>(values.size());
    if (values.empty()) {
        return spread;
    }
    std::sort(values.begin(), values.end());
    spread.Min = values.front();
    spread.Max = values.back();
    const std::size_t middle = values.size() / 2;
    spread.Median =
        values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
    return spread;
}

TExchangeSummary SummariseExchange(const std::vector<TExchangeRun>& runs) {
    TExchangeSummary summary;
    std::vector<double> delays, lengths, data;
    for (const TExchangeRun& run : runs) {
        ++summary.Runs;
        if (run.Verdict != TAckVerdict::Valid) {
            ++summary.Failures;
        }
        if (run.Ack) {
            delays.push_back(run.Ack->DelayMs);
            lengths.push_back(run.Ack->LengthMs);
        }
        if (run.AckEndToDataMs) {
            data.push_back(*run.AckEndToDataMs);
        }
    }
    summary.AckDelayMs = SpreadOf(delays);
    summary.AckLengthMs = SpreadOf(lengths);
    summary.DataDelayMs = SpreadOf(data);
    return summary;
}

TSetSummary SummariseSet(const std::vector<TSetRun>& runs) {
    TSetSummary summary;
    std::vector<double> acks, data;
    for (const TSetRun& run : runs) {
        ++summary.Runs;
        if (run.DataVerdict != TDataVerdict::InWindow || !run.Message) {
            ++summary.Failures;
        }
        if (run.AckSent) {
            acks.push_back(run.AckDelayMs);
        }
        if (run.AckEndToDataMs) {
            data.push_back(*run.AckEndToDataMs);
        }
    }
    summary.AckDelayMs = SpreadOf(acks);
    summary.DataDelayMs = SpreadOf(data);
    return summary;
}

namespace {

std::string SpreadText(const char* what, const TSpread& spread) {
    if (spread.Count == 0) {
        return {};
    }
    return std::string("; ") + what + " " + Fixed("%.1f", spread.Min) + "/" +
           Fixed("%.1f", spread.Median) + "/" + Fixed("%.1f", spread.Max) + " ms (min/median/max)";
}

std::string RunsText(int runs, int failures, const char* failure) {
    return std::to_string(runs) + (runs == 1 ? " run, " : " runs, ") + std::to_string(failures) +
           " " + failure;
}

}  // namespace

std::string SummaryText(const TExchangeSummary& summary) {
    return RunsText(summary.Runs, summary.Failures, "without a valid ACK") +
           SpreadText("CAS end -> ACK start", summary.AckDelayMs) +
           SpreadText("ACK length", summary.AckLengthMs) +
           SpreadText("ACK end -> data", summary.DataDelayMs);
}

std::string SummaryText(const TSetSummary& summary) {
    return RunsText(summary.Runs, summary.Failures, "without data read in the window") +
           SpreadText("CAS end -> ACK start", summary.AckDelayMs) +
           SpreadText("ACK end -> data", summary.DataDelayMs);
}

}  // namespace ringlark
