#include "testsignal/device/DevicePlay.h"

#include <cmath>
#include <cstdio>

#include "core/RinglarkError.h"
#include "core/UserMessages.h"
#include "testsignal/BenchReport.h"

namespace ringlark {

namespace {

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

}  // namespace

TDevicePlay::TDevicePlay(TPlan plan, int rate, std::optional<double> dbmAtFs)
    : plan_(std::move(plan)), rate_(rate) {
    if (rate < MinTestRate || rate > MaxTestRate) {
        throw RinglarkError(msg::ValueOutOfRange("rate", std::to_string(rate), "8000", "192000",
                                                 "samples per second"));
    }
    const double planDbm = PlanDbmAtFs(plan_);
    dbmAtFs_ = dbmAtFs.value_or(planDbm);
    if (!std::isfinite(dbmAtFs_) || dbmAtFs_ < MinDbmAtFs || dbmAtFs_ > MaxDbmAtFs) {
        throw RinglarkError(msg::ValueOutOfRange("dbm-at-fs", Number(dbmAtFs_), Number(MinDbmAtFs),
                                                 Number(MaxDbmAtFs), "dBm"));
    }
    gainDb_ = planDbm - dbmAtFs_;
    for (std::size_t c = 0; c < plan_.Conditions.size(); ++c) {
        const TPlanCondition& condition = plan_.Conditions[c];
        for (int r = 1; r <= condition.Runs; ++r) {
            runs_.push_back({c, r, PlanFileName(c, condition.Name, r)});
        }
    }
    answers_.resize(runs_.size());
}

Bytes TDevicePlay::Image(std::size_t i) const {
    const TPlayRun& run = RunAt(i);
    const TPlanSignal signal = PlanSignal(plan_, ConditionOf(i), run.Run - 1, rate_);
    const auto gain = static_cast<float>(std::pow(10.0, gainDb_ / 20));
    // The tones must keep their levels: the signal without its noise has to
    // fit. Noise peaks past full scale are clipped, as plan make clips them.
    TTestSignal clean = signal.Signal;
    clean.Impairments.SnrDb.reset();
    std::vector<float> samples = SynthesiseTestSignal(clean);
    float peak = 0;
    for (float v : samples) {
        peak = std::max(peak, std::abs(v * gain));
    }
    // a rounding step of 16 bits over full scale still encodes as full scale
    if (peak > 1 + 1.0f / 32768) {
        char over[32];
        std::snprintf(over, sizeof over, "%.1f", 20 * std::log10(peak));
        throw RinglarkError(msg::PlayWouldClip(ConditionOf(i).Name, Number(dbmAtFs_), over));
    }
    if (signal.Signal.Impairments.SnrDb) {
        samples = SynthesiseTestSignal(signal.Signal);
    }
    for (float& v : samples) {
        v *= gain;
    }
    return EncodeWav(samples, rate_, TSampleFormat::S16);
}

void TDevicePlay::Answer(std::size_t i, TOutcome outcome) {
    answers_.at(i) = outcome;
}

std::size_t TDevicePlay::NextUnanswered() const {
    std::size_t i = 0;
    while (i < answers_.size() && answers_[i]) {
        ++i;
    }
    return i;
}

std::vector<TRunResult> TDevicePlay::Results() const {
    std::vector<TRunResult> results;
    for (std::size_t i = 0; i < runs_.size(); ++i) {
        if (!answers_[i]) {
            continue;
        }
        TRunResult r;
        r.Condition = ConditionOf(i).Name;
        r.Run = runs_[i].Run;
        r.File = runs_[i].File;
        r.Expect = ConditionOf(i).Expect;
        r.Outcome = *answers_[i];
        results.push_back(std::move(r));
    }
    return results;
}

std::vector<TConditionScore> TDevicePlay::Scores() const {
    return ScorePlan(plan_, Results());
}

std::string TDevicePlay::Report() const {
    return PlayedReportHtml(plan_, Scores(), dbmAtFs_);
}

}  // namespace ringlark
