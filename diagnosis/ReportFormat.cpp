// The report as text and as JSON.
#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "diagnosis/DiagnosisReport.h"

namespace ringlark {

namespace {

std::string StandardKey(TCidStandard standard) {
    return std::string(StandardName(standard));
}

}  // namespace

std::string ReportText(const TDiagnosis& d, const TDiagnosisReport& report,
                       const std::string& source) {
    std::string out = "Line diagnosis of " + source +
                      ReportPrintf(": %.1f s at %.0f samples/s\n\n", d.Seconds, d.Rate);
    for (const auto& s : report.Sentences) {
        out += s + "\n";
    }
    if (!report.Evidence.empty()) {
        out += "\nEvidence\n";
        for (const auto& g : report.Evidence) {
            out += "  " + g.Title + "\n";
            std::size_t nameWidth = 0, valueWidth = 0, limitWidth = 0;
            for (const auto& r : g.Rows) {
                nameWidth = std::max(nameWidth, r.Name.size());
                valueWidth = std::max(valueWidth, r.Value.size());
                limitWidth = std::max(limitWidth, r.Limit.size());
            }
            for (const auto& r : g.Rows) {
                std::string line = "    " + r.Name +
                                   std::string(nameWidth - r.Name.size() + 2, ' ') + r.Value +
                                   std::string(valueWidth - r.Value.size() + 2, ' ') + r.Limit +
                                   std::string(limitWidth - r.Limit.size() + 2, ' ') + r.Verdict +
                                   (r.Verdict.empty() ? "" : "  ") + r.Source;
                while (!line.empty() && line.back() == ' ') {
                    line.pop_back();
                }
                out += line + "\n";
            }
        }
    }
    if (!report.Messages.empty()) {
        out += "\nMessages\n";
        for (const auto& m : report.Messages) {
            out += ReportPrintf("  %d. %.2f s, ", m.Number, m.Seconds) + m.Standard + ": " +
                   (m.Decoded ? "decoded" : "FAILED, " + m.Broke) + "\n";
            out += "     " + m.Bytes + "\n";
            if (!m.Fields.empty()) {
                out += "     " + m.Fields + "\n";
            }
        }
    }
    if (!report.Advice.empty()) {
        out += "\nAdvice\n";
        for (const auto& a : report.Advice) {
            out += "  " + ReceiverTitle(a.Receiver) + ": " + (a.Sure ? "" : "(not sure) ") +
                   a.Text + "\n    Source: " + a.Source + "\n";
        }
    }
    return out;
}

nlohmann::json ReportJson(const TDiagnosis& d, const TDiagnosisReport& report,
                          const std::string& source) {
    nlohmann::json out;
    out["source"] = source;
    out["seconds"] = d.Seconds;
    out["rate"] = d.Rate;
    out["sentences"] = report.Sentences;
    out["calls"] = d.Calls;
    out["findings"] = nlohmann::json::array();
    for (const auto& f : d.Findings) {
        out["findings"].push_back(FindingKey(f.Kind));
    }
    out["rings"] = nlohmann::json::array();
    for (const auto& r : d.Rings) {
        out["rings"].push_back({{"seconds", r.Seconds},
                                {"duration", r.Duration},
                                {"hz", r.Hz},
                                {"level_dbfs", r.LevelDbfs},
                                {"clipped", r.Clipped}});
    }
    out["evidence"] = nlohmann::json::array();
    for (const auto& g : report.Evidence) {
        nlohmann::json rows = nlohmann::json::array();
        for (const auto& r : g.Rows) {
            rows.push_back({{"name", r.Name},
                            {"value", r.Value},
                            {"limit", r.Limit},
                            {"verdict", r.Verdict},
                            {"source", r.Source}});
        }
        out["evidence"].push_back({{"title", g.Title}, {"rows", rows}});
    }
    out["messages"] = nlohmann::json::array();
    for (std::size_t i = 0; i < report.Messages.size(); ++i) {
        const auto& m = report.Messages[i];
        const auto& lm = d.Messages[i];
        nlohmann::json entry = {{"number", m.Number},
                                {"seconds", m.Seconds},
                                {"standard", StandardKey(lm.Standard)},
                                {"placement", PlacementKey(lm.Placement)},
                                {"decoded", m.Decoded},
                                {"fields", m.Fields}};
        if (lm.Standard == TCidStandard::Dtmf) {
            entry["digits"] = m.Bytes;
        } else {
            entry["bytes"] = m.Bytes;
            entry["frames"] = m.Frames;
        }
        if (!m.Broke.empty()) {
            entry["broke"] = m.Broke;
        }
        out["messages"].push_back(entry);
    }
    out["advice"] = nlohmann::json::array();
    for (const auto& a : report.Advice) {
        out["advice"].push_back(
            {{"receiver", a.Receiver}, {"text", a.Text}, {"source", a.Source}, {"sure", a.Sure}});
    }
    return out;
}

}  // namespace ringlark
