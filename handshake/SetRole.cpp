#include "handshake/SetRole.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "protocol/Standards.h"

namespace ringlark {

namespace {

// The decoder is fed in blocks: its search runs per block, not per sample.
constexpr std::size_t kDecoderBlock = 256;
// A mark run or message heard this long after the data window still counts
// (reported as late, not as missing).
constexpr double kLateGraceMs = 1000;
// The SAS belongs to the CAS that follows it within this time.
constexpr double kSasToCasMs = 1000;

TAlertToneDetector::TSettings MarkTone(double markHz) {
    // The mark run before the first byte: a single tone in 5 ms blocks; the
    // first start bit ends it.
    TAlertToneDetector::TSettings settings = TAlertToneDetector::Subscriber();
    settings.Frequencies = {markHz};
    settings.Tolerance = 0.02;
    settings.BlockSeconds = 0.005;
    settings.MinSeconds = 0.020;
    return settings;
}

TFskTones FskTonesFor(TCidStandard standard) {
    return standard == TCidStandard::Bell202 ? kBell202Tones
                                             : TFskTones{V23MarkHz, V23SpaceHz, 1200.0};
}

}  // namespace

TSetRole::TSetRole(double rate, TSettings settings)
    : rate_(rate),
      settings_(std::move(settings)),
      fsk_(FskTonesFor(settings_.Timing.Standard)),
      cas_(rate, TAlertToneDetector::DualTone()),
      sas_(rate, TAlertToneDetector::Subscriber()),
      mark_(rate, MarkTone(fsk_.Mark)),
      decoder_(rate) {
    CheckCallWaitingTiming(settings_.Timing);
}

int64_t TSetRole::Sample(double seconds) const {
    return static_cast<int64_t>(std::llround(seconds * rate_));
}

void TSetRole::Process(std::span<const float> in, std::span<float> out) {
    const std::size_t n = std::min(in.size(), out.size());
    for (std::size_t i = 0; i < n; ++i) {
        out[i] = track_.At(now_);
        Step(in[i]);
        ++now_;
    }
}

void TSetRole::Step(float in) {
    cas_.Push(in, tones_);
    sas_.Push(in, tones_);
    mark_.Push(in, marks_);
    pending_.push_back(in);
    if (pending_.size() >= kDecoderBlock) {
        decoder_.Feed(pending_, events_);
        pending_.clear();
    }
    TakeHeard(true);
    if (open_ && markStart_ < 0 && now_ >= dataUntil_) {
        run_.DataVerdict = TDataVerdict::None;
        EndRun();
    } else if (open_ && markStart_ >= 0 && now_ >= messageUntil_) {
        run_.DataVerdict = TDataVerdict::NotRead;
        EndRun();
    }
}

void TSetRole::Heard(const TAlertTone& cas) {
    const TCallWaitingTiming& t = settings_.Timing;
    if (open_) {
        EndRun();  // a new alert: the last one's data never came
    }
    run_ = {};
    run_.Index = static_cast<int>(runs_.size()) + 1;
    if (lastSas_ && cas.Seconds - (lastSas_->Seconds + lastSas_->Duration) <= kSasToCasMs / 1000) {
        run_.Sas = lastSas_;
    }
    lastSas_.reset();
    run_.Cas = cas;
    const double ms = cas.Duration * 1000;
    const bool onFrequency = std::fabs(cas.LowHz - 2130) <= t.CasTolerance * 2130 &&
                             std::fabs(cas.HighHz - 2750) <= t.CasTolerance * 2750;
    run_.CasVerdict = !onFrequency      ? TCasVerdict::OffFrequency
                      : ms < t.CasMinMs ? TCasVerdict::TooShort
                      : ms > t.CasMaxMs ? TCasVerdict::TooLong
                                        : TCasVerdict::Valid;
    const double casEnd = (cas.Seconds + cas.Duration) * rate_;
    watchFrom_ = static_cast<int64_t>(std::llround(casEnd));
    if (run_.CasVerdict == TCasVerdict::Valid && settings_.Answer) {
        const auto tones = DtmfTones(t.AckDigit).value_or(std::pair{0.0, 0.0});
        const std::array<double, 2> hz = {tones.first, tones.second};
        const int64_t wanted = static_cast<int64_t>(std::llround(casEnd)) +
                               MsToSamples(t.AckDelayMs, rate_) - settings_.LatencySamples;
        const int64_t length = MsToSamples(t.AckMs, rate_);
        const int64_t start = track_.Place(std::max(wanted, now_ + 1),
                                           Tones(hz, DbfsToPeak(t.AckDbfs), length, rate_));
        run_.AckSent = true;
        run_.AckDigit = t.AckDigit;
        run_.AckDelayMs =
            SamplesToMs(static_cast<double>(start + settings_.LatencySamples) - casEnd, rate_);
        run_.AckMs = SamplesToMs(static_cast<double>(length), rate_);
        watchFrom_ = start + length;
    }
    dataUntil_ = watchFrom_ + MsToSamples(t.DataMaxMs + kLateGraceMs, rate_);
    markStart_ = -1;
    open_ = true;
}

void TSetRole::MarkRun(const TAlertTone& mark) {
    const TCallWaitingTiming& t = settings_.Timing;
    const double start = mark.Seconds * rate_;
    // the mark run must follow the ACK (a block's worth of slack for its edge)
    if (!open_ || markStart_ >= 0 || start < static_cast<double>(watchFrom_) - 0.005 * rate_) {
        return;
    }
    markStart_ = static_cast<int64_t>(std::llround(start));
    messageUntil_ = markStart_ + MsToSamples(settings_.MessageWaitMs, rate_);
    run_.MarkMs = mark.Duration * 1000;
    if (run_.AckSent) {
        const double ms =
            SamplesToMs(start - static_cast<double>(watchFrom_ + settings_.LatencySamples), rate_);
        run_.AckEndToDataMs = ms;
        run_.DataVerdict = ms < t.DataMinMs   ? TDataVerdict::Early
                           : ms > t.DataMaxMs ? TDataVerdict::Late
                                              : TDataVerdict::InWindow;
    } else {
        run_.DataVerdict = TDataVerdict::InWindow;
    }
}

void TSetRole::Message(const TCorrMessage& message) {
    if (!open_ || message.Seconds * rate_ < static_cast<double>(watchFrom_)) {
        return;
    }
    run_.Message = message;
    if (markStart_ < 0) {
        run_.DataVerdict = TDataVerdict::InWindow;  // read, though its mark run was not
    }
    EndRun();
}

void TSetRole::EndRun() {
    open_ = false;
    runs_.push_back(run_);
    if (OnRun) {
        OnRun(run_);
    }
}

void TSetRole::TakeHeard(bool keepSubscriberAlert) {
    for (const TAlertTone& tone : tones_) {
        if (tone.Kind == TAlertTone::TKind::DualTone) {
            Heard(tone);
        } else if (keepSubscriberAlert) {
            lastSas_ = tone;
        }
    }
    tones_.clear();
    for (const TAlertTone& mark : marks_) {
        MarkRun(mark);
    }
    marks_.clear();
    for (const TStreamEvent& event : events_) {
        if (event.Kind == TStreamEvent::TKind::Message) {
            Message(event.Message);
        }
    }
    events_.clear();
}

void TSetRole::Finish() {
    decoder_.Feed(pending_, events_);
    pending_.clear();
    decoder_.Finish(events_);
    cas_.Finish(tones_);
    mark_.Finish(marks_);
    TakeHeard(false);
    if (open_) {
        run_.DataVerdict = markStart_ < 0 ? TDataVerdict::None : TDataVerdict::NotRead;
        EndRun();
    }
}

}  // namespace ringlark
