// analyze --measure: how good each message's signal was, beside the limits of
// its standard.
#include <iostream>

#include "cli/CliFormat.h"
#include "cli/Commands.h"
#include "cli/batch/AnyFormat.h"
#include "cli/batch/EventFormat.h"
#include "core/NullServices.h"
#include "core/RinglarkError.h"
#include "measurement/Measurements.h"

namespace ringlark::cli {

namespace {

nlohmann::json MeasuresJson(const TFskMeasures& m) {
    nlohmann::json out = {{"seconds", m.Seconds},
                          {"mark_hz", m.MarkHz},
                          {"space_hz", m.SpaceHz},
                          {"bit_rate", m.BitRate},
                          {"mark_run_hz", m.MarkRunHz},
                          {"seizure_mark_hz", m.SeizureMarkHz},
                          {"seizure_space_hz", m.SeizureSpaceHz},
                          {"seizure_bit_rate", m.SeizureBitRate},
                          {"mark_dbfs", m.MarkDbfs},
                          {"space_dbfs", m.SpaceDbfs},
                          {"twist_db", m.TwistDb},
                          {"seizure_bits", m.SeizureBits},
                          {"mark_bits", m.MarkBits},
                          {"duration", m.DurationSeconds},
                          {"jitter_percent", m.JitterPercent}};
    out["snr_db"] = m.SnrDb ? nlohmann::json(*m.SnrDb) : nlohmann::json(nullptr);
    if (m.Alert) {
        out["alert"] = {{"seconds", m.Alert->Seconds},
                        {"duration", m.Alert->Duration},
                        {"frequencies_hz", {m.Alert->LowHz, m.Alert->HighHz}},
                        {"levels_dbfs", {m.Alert->LowDbfs, m.Alert->HighDbfs}},
                        {"twist_db", m.Alert->LowDbfs - m.Alert->HighDbfs},
                        {"quiet_after", m.AlertGapSeconds}};
    }
    if (m.Subscriber) {
        out["subscriber_alert"] = {{"seconds", m.Subscriber->Seconds},
                                   {"duration", m.Subscriber->Duration},
                                   {"frequency_hz", m.Subscriber->LowHz},
                                   {"level_dbfs", m.Subscriber->LowDbfs}};
    }
    return out;
}

}  // namespace

void AddMeasureOptions(CLI::App& command, TMeasureArgs& args, const std::string& measureHelp) {
    command.add_flag("--measure", args.Measure, measureHelp);
    command.add_option("--limits", args.Limits, "With --measure: bell, etsi or bt")
        ->check(CLI::IsMember({"bell", "etsi", "bt"}));
    command.add_option("--dbm-at-fs", args.DbmAtFullScale,
                       "With --measure: the level in dBm of a full-scale sine, to check levels");
    command.add_flag("--strict", args.Strict,
                     "With --measure: exit status 4 when any checked limit fails");
}

void CheckMeasureOptions(const TMeasureArgs& args) {
    if (!args.Measure && (args.Strict || !args.Limits.empty() || args.DbmAtFullScale)) {
        throw TUsageError("--strict, --limits and --dbm-at-fs go with --measure");
    }
}

TMeasureReport MeasureMessage(std::span<const float> samples, double rate,
                              const TCorrMessage& message, const std::string& limitsAsked,
                              std::optional<double> dbmAtFullScale) {
    TMeasureReport report;
    const TCorrelationDecoder decoder = TCorrelationDecoder::For(message.Standard);
    report.Measures = MeasureFsk(samples, rate, message, decoder.Tones);
    report.Limits = !limitsAsked.empty() ? limitsAsked : OwnLimits(message, report.Measures);
    report.Rows = CheckLimits(report.Measures, report.Limits, dbmAtFullScale);
    for (const auto& row : report.Rows) {
        report.AnyFail = report.AnyFail || row.Verdict == "FAIL";
    }
    return report;
}

std::string MeasureText(const TMeasureReport& report) {
    std::string text = "  limits: " + report.Limits + "\n";
    for (const auto& row : report.Rows) {
        char line[256];
        std::snprintf(line, sizeof line, "  %-30s %-26s %-24s %-11s %s", row.Name.c_str(),
                      row.Value.c_str(), row.Limit.c_str(), row.Verdict.c_str(),
                      row.Source.c_str());
        std::string one = line;
        while (!one.empty() && one.back() == ' ') {
            one.pop_back();
        }
        text += one + "\n";
    }
    return text;
}

void PutMeasureJson(nlohmann::json& entry, const TMeasureReport& report) {
    entry["limits"] = report.Limits;
    entry["measures"] = MeasuresJson(report.Measures);
    entry["checks"] = nlohmann::json::array();
    for (const auto& row : report.Rows) {
        entry["checks"].push_back({{"name", row.Name},
                                   {"value", row.Value},
                                   {"limit", row.Limit},
                                   {"verdict", row.Verdict},
                                   {"source", row.Source}});
    }
}

TExitStatus RunMeasure(const TAnalyzeArgs& args, std::span<const float> samples, double rate) {
    std::vector<TCorrMessage> messages;
    for (TCidStandard standard : {TCidStandard::Bell202, TCidStandard::EtsiV23}) {
        if (Wants(args.Standard, standard)) {
            const auto found = TCorrelationDecoder::For(standard).Decode(
                std::vector<float>(samples.begin(), samples.end()), rate);
            messages.insert(messages.end(), found.begin(), found.end());
        }
    }
    std::stable_sort(
        messages.begin(), messages.end(),
        [](const TCorrMessage& a, const TCorrMessage& b) { return a.Seconds < b.Seconds; });
    bool anyFail = false;
    nlohmann::json out = nlohmann::json::array();
    for (const auto& message : messages) {
        const TMeasureReport report =
            MeasureMessage(samples, rate, message, args.Limits, args.DbmAtFullScale);
        anyFail = anyFail || report.AnyFail;
        if (args.Json) {
            nlohmann::json entry = MessageJson(message);
            PutMeasureJson(entry, report);
            out.push_back(entry);
        } else {
            std::cout << MessageLine(message) << '\n' << MeasureText(report);
        }
    }
    if (args.Json) {
        std::cout << out.dump(2) << '\n';
    }
    if (messages.empty()) {
        std::cerr << "ringlark-cli: no message to measure\n";
        return TExitStatus::NotUnderstood;
    }
    return args.Strict && anyFail ? TExitStatus::LimitFailed : TExitStatus::Success;
}

}  // namespace ringlark::cli
