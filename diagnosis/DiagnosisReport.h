#pragma once

// A diagnosis said in plain words: the sentences, the evidence rows under
// them (the measurements behind each sentence, with their limits), every
// message's bytes (also those that failed, and where they broke) and the
// advice per kind of receiver. The command line and the desktop window show
// the same report.
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "diagnosis/Advice.h"
#include "diagnosis/Diagnosis.h"

namespace ringlark {

struct TReportRow {
    std::string Name, Value, Limit, Verdict, Source;
};

struct TReportGroup {
    std::string Title;
    std::vector<TReportRow> Rows;
};

struct TReportMessage {
    int Number = 0;
    double Seconds = 0;
    std::string Standard;  // "Bell 202 FSK"
    std::string Placement;
    bool Decoded = false;
    std::string Bytes;  // hex, or the DTMF digits
    std::string Fields;
    std::string Broke;
    std::vector<std::string> Frames;
};

struct TReportAdvice {
    std::string Receiver;  // "phone", "modem", "software"
    std::string Text;
    std::string Source;
    bool Sure = true;
};

struct TDiagnosisReport {
    std::vector<std::string> Sentences;
    std::vector<TReportGroup> Evidence;
    std::vector<TReportMessage> Messages;
    std::vector<TReportAdvice> Advice;
};

// The advice keys of a diagnosis: standard, placement, alert, finding.
// printf into a string of at most 511 characters: the report's figures.
std::string ReportPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

TAdviceKeys AdviceKeys(const TDiagnosis& diagnosis);

TDiagnosisReport BuildReport(const TDiagnosis& diagnosis, const TAdviceBook& advice);

// The sentences joined into one paragraph.
std::string ReportSummary(const TDiagnosisReport& report);

// The whole report as text: a title line ("Line diagnosis of FILE: ..."), the
// sentences, then "Evidence", "Messages" and "Advice".
std::string ReportText(const TDiagnosis& diagnosis, const TDiagnosisReport& report,
                       const std::string& source);

nlohmann::json ReportJson(const TDiagnosis& diagnosis, const TDiagnosisReport& report,
                          const std::string& source);

}  // namespace ringlark
