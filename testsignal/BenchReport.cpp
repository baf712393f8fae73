#include "testsignal/BenchReport.h"

#include <algorithm>
#include <cstdio>

#include <nlohmann/json.hpp>

namespace ringlark {

namespace {

std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\n") == std::string::npos) {
        return text;
    }
    std::string out = "\"";
    for (char c : text) {
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    }
    return out + "\"";
}

std::string Format(const char* format, double a, double b = 0) {
    char text[64];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

int Passed(const std::vector<TConditionScore>& scores, int& judged) {
    int passed = 0;
    judged = 0;
    for (const auto& s : scores) {
        judged += s.Verdict != "-" ? 1 : 0;
        passed += s.Verdict == "PASS" ? 1 : 0;
    }
    return passed;
}

}  // namespace

std::string ResultJsonLine(const TRunResult& r) {
    return nlohmann::json{{"condition", r.Condition},
                          {"run", r.Run},
                          {"file", r.File},
                          {"expect", ExpectName(r.Expect)},
                          {"outcome", OutcomeName(r.Outcome)},
                          {"exit_status", r.ExitStatus},
                          {"output", r.OutputFile}}
        .dump();
}

std::string ResultsCsv(const std::vector<TRunResult>& results) {
    std::string out = "condition,run,file,expect,outcome,exit_status,output\n";
    for (const auto& r : results) {
        out += CsvField(r.Condition) + "," + std::to_string(r.Run) + "," + CsvField(r.File) + "," +
               std::string(ExpectName(r.Expect)) + "," + std::string(OutcomeName(r.Outcome)) + "," +
               std::to_string(r.ExitStatus) + "," + CsvField(r.OutputFile) + "\n";
    }
    return out;
}

std::string ScoreText(const std::vector<TConditionScore>& scores) {
    std::size_t width = 9;
    for (const auto& s : scores) {
        width = std::max(width, s.Condition->Name.size());
    }
    std::string out;
    for (const auto& s : scores) {
        char line[256];
        std::snprintf(line, sizeof line,
                      "%-*s  %-6s  %d runs: %d accepted, %d rejected, %d wrong  %s\n",
                      static_cast<int>(width), s.Condition->Name.c_str(),
                      std::string(ExpectName(s.Condition->Expect)).c_str(), s.Runs, s.Accepted,
                      s.Rejected, s.Wrong, s.Verdict.c_str());
        out += line;
    }
    int judged = 0;
    const int passed = Passed(scores, judged);
    out += (passed == judged ? "PASS: " : "FAIL: ") + std::to_string(passed) + " of " +
           std::to_string(judged) + " conditions\n";
    return out;
}

std::string SensitivitySvg(const std::vector<TConditionScore>& scores) {
    std::vector<std::pair<double, double>> points;  // SNR, rate %
    for (const auto& s : scores) {
        if (s.Condition->Impairments.SnrDb && s.Runs > 0) {
            points.push_back({*s.Condition->Impairments.SnrDb, 100 * s.DecodeRate()});
        }
    }
    if (points.empty()) {
        return "";
    }
    std::sort(points.begin(), points.end());
    const double lo = points.front().first;
    const double hi = std::max(points.back().first, lo + 1);
    const double left = 50, top = 20, width = 500, height = 240;
    const auto x = [&](double snr) { return left + (snr - lo) / (hi - lo) * width; };
    const auto y = [&](double pct) { return top + (100 - pct) / 100 * height; };
    std::string svg =
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"600\" height=\"310\" "
        "viewBox=\"0 0 600 310\" font-family=\"sans-serif\" font-size=\"11\">\n";
    svg += "<rect x=\"50\" y=\"20\" width=\"500\" height=\"240\" fill=\"none\" stroke=\"#888\"/>\n";
    for (int pct = 0; pct <= 100; pct += 25) {
        svg += "<line x1=\"50\" x2=\"550\" y1=\"" + Format("%.1f", y(pct)) + "\" y2=\"" +
               Format("%.1f", y(pct)) + "\" stroke=\"#ddd\"/><text x=\"44\" y=\"" +
               Format("%.1f", y(pct) + 4) + "\" text-anchor=\"end\">" + std::to_string(pct) +
               " %</text>\n";
    }
    for (const auto& [snr, pct] : points) {
        svg += "<text x=\"" + Format("%.1f", x(snr)) + "\" y=\"276\" text-anchor=\"middle\">" +
               Format("%g", snr) + "</text>\n";
    }
    svg += "<text x=\"300\" y=\"300\" text-anchor=\"middle\">SNR in 300-3400 Hz (dB)</text>\n";
    svg += "<polyline fill=\"none\" stroke=\"#1f5fbf\" stroke-width=\"2\" points=\"";
    for (const auto& [snr, pct] : points) {
        svg += Format("%.1f,", x(snr)) + Format("%.1f ", y(pct));
    }
    svg += "\"/>\n";
    for (const auto& [snr, pct] : points) {
        svg += "<circle cx=\"" + Format("%.1f", x(snr)) + "\" cy=\"" + Format("%.1f", y(pct)) +
               "\" r=\"3.5\" fill=\"#1f5fbf\"><title>" + Format("%g dB: ", snr) +
               Format("%.0f %%", pct) + "</title></circle>\n";
    }
    return svg + "</svg>\n";
}

namespace {

// The report; `how` is the paragraph saying how the receiver was run.
std::string Report(const TPlan& plan, const std::vector<TConditionScore>& scores,
                   const std::string& how) {
    int judged = 0;
    const int passed = Passed(scores, judged);
    std::string html =
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Receiver test: " +
        Escape(plan.Name) +
        "</title>\n<style>body{font-family:sans-serif;margin:2em}table{border-collapse:collapse}"
        "td,th{border:1px solid #bbb;padding:3px 8px;text-align:left}.PASS{color:#060}"
        ".FAIL{color:#b00;font-weight:bold}</style></head><body>\n";
    html += "<h1>Receiver test: " + Escape(plan.Title) + "</h1>\n";
    html += "<p>Plan <code>" + Escape(plan.Name) + "</code>, standard " +
            Escape(std::string(StandardTitle(plan.Standard))) + "; " + how + ".</p>\n";
    html += "<p id=\"summary\" class=\"" + std::string(passed == judged ? "PASS" : "FAIL") + "\">" +
            (passed == judged ? "PASS" : "FAIL") + ": " + std::to_string(passed) + " of " +
            std::to_string(judged) + " conditions</p>\n";
    const std::string svg = plan.Sensitivity ? SensitivitySvg(scores) : "";
    if (!svg.empty()) {
        html += "<h2>Decode rate against SNR</h2>\n" + svg;
    }
    html +=
        "<h2>Conditions</h2>\n<table>\n<tr><th>condition</th><th>impairments</th>"
        "<th>must</th><th>runs</th><th>accepted</th><th>rejected</th><th>wrong</th>"
        "<th>verdict</th><th>source</th></tr>\n";
    for (const auto& s : scores) {
        const TPlanCondition& c = *s.Condition;
        html += "<tr><td>" + Escape(c.Name) + "</td><td>" + Escape(ImpairmentsText(c.Impairments)) +
                "</td><td>" + std::string(ExpectName(c.Expect)) + "</td><td>" +
                std::to_string(s.Runs) + "</td><td>" + std::to_string(s.Accepted) + "</td><td>" +
                std::to_string(s.Rejected) + "</td><td>" + std::to_string(s.Wrong) +
                "</td><td class=\"" + s.Verdict + "\">" + s.Verdict + "</td><td>" +
                Escape(c.Source) + "</td></tr>\n";
    }
    html += "</table>\n<h2>Parameters</h2>\n<ul>\n";
    for (const auto& p : plan.Parameters) {
        html += "<li><code>" + Escape(p.Name) + "</code> = " + Format("%g", p.Value) + ": " +
                Escape(p.Meaning) + "</li>\n";
    }
    html += "<li><code>allowed_failures</code> = " + std::to_string(plan.AllowedFailures) +
            " per condition</li>\n</ul>\n</body></html>\n";
    return html;
}

}  // namespace

std::string ReportHtml(const TPlan& plan, const std::vector<TConditionScore>& scores,
                       const std::string& decoder, const std::string& match) {
    return Report(plan, scores,
                  "decoder <code>" + Escape(decoder) + "</code>, matching the " + Escape(match));
}

std::string PlayedReportHtml(const TPlan& plan, const std::vector<TConditionScore>& scores,
                             double dbmAtFs) {
    return Report(plan, scores,
                  "played through the sound card at " + Format("%+.2f", dbmAtFs) +
                      " dBm for a full-scale sine, the operator saying what the device showed");
}

}  // namespace ringlark
