#pragma once

// The steps of a call-waiting exchange as rows of a table (the command line
// prints them, the Line Test window lists them) and the summary over repeats.
#include <optional>
#include <string>
#include <vector>

#include "handshake/CallWaitingTiming.h"
#include "handshake/HandshakeRuns.h"

namespace ringlark {

struct TStepRow {
    std::string Step;      // "CAS end -> ACK start"
    std::string Measured;  // "50.0 ms"
    std::string Limits;    // "0-100 ms"; empty when there is no limit
    std::string Result;    // "ok", "late", ...; empty for a plain figure
};

// "valid", "none", "early", "late", "too short", "too long", "wrong digit".
std::string AckVerdictName(TAckVerdict verdict);
std::string CasVerdictName(TCasVerdict verdict);
// "in window", "early", "late", "none", "not read".
std::string DataVerdictName(TDataVerdict verdict);

std::vector<TStepRow> ExchangeRows(const TExchangeRun& run, const TCallWaitingTiming& timing);
std::vector<TStepRow> SetRows(const TSetRun& run, const TCallWaitingTiming& timing);

// The rows as aligned text, one line each, indented by two spaces.
std::string RowsText(const std::vector<TStepRow>& rows);

// Figures over the runs that have them.
struct TSpread {
    int Count = 0;
    double Min = 0, Median = 0, Max = 0;
};
TSpread SpreadOf(std::vector<double> values);

struct TExchangeSummary {
    int Runs = 0;
    int Failures = 0;  // runs without a valid ACK
    TSpread AckDelayMs, AckLengthMs, DataDelayMs;
};
TExchangeSummary SummariseExchange(const std::vector<TExchangeRun>& runs);

struct TSetSummary {
    int Runs = 0;
    int Failures = 0;  // runs whose data did not come in the window or was not read
    TSpread AckDelayMs, DataDelayMs;
};
TSetSummary SummariseSet(const std::vector<TSetRun>& runs);

// "5 runs, 1 without a valid ACK; CAS end -> ACK start 49.9/50.0/50.2 ms
// (min/median/max); ..."
std::string SummaryText(const TExchangeSummary& summary);
std::string SummaryText(const TSetSummary& summary);

}  // namespace ringlark
