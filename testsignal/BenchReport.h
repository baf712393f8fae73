#pragma once

// The results of a bench run: one JSON object per run, CSV, a text summary
// and a self-contained HTML report (the sensitivity chart as inline SVG).
#include <string>
#include <vector>

#include "testsignal/Scoring.h"

namespace ringlark {

std::string ResultJsonLine(const TRunResult& result);  // no line end
std::string ResultsCsv(const std::vector<TRunResult>& results);

// One line per condition: "nominal  accept  3 runs: 3 accepted, 0 rejected,
// 0 wrong  PASS", then "PASS: 12 of 12 conditions" (or FAIL).
std::string ScoreText(const std::vector<TConditionScore>& scores);

// The decode rate (%) against SNR (dB) of the conditions that add noise, as
// an SVG drawing; "" when no condition does.
std::string SensitivitySvg(const std::vector<TConditionScore>& scores);

std::string ReportHtml(const TPlan& plan, const std::vector<TConditionScore>& scores,
                       const std::string& decoder, const std::string& match);
// The same report for a device played through the sound card, the operator
// saying what it showed.
std::string PlayedReportHtml(const TPlan& plan, const std::vector<TConditionScore>& scores,
                             double dbmAtFs);

}  // namespace ringlark
