#include "decoding/StreamDecoder.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>

#include "core/RinglarkError.h"
#include "core/SampleValues.h"
#include "decoding/fsk/FskFamily.h"

namespace ringlark {

namespace {

// The search runs after this many working samples (about 6 ms): a message is
// reported that soon after it can be.
constexpr std::size_t kSearchEvery = 64;
// The oldest samples are let go in steps of this many level strides.
constexpr std::size_t kDropStrides = 8;

// The gain of the decimating low-pass and the high-pass at a frequency, so
// that tone levels are reported as they were at the input.
double PathGain(const TWorkingRate& working, double inputRate, double hz) {
    const std::vector<float> taps = TriangularTaps(working.Factor);
    std::complex<double> low = 0;
    for (std::size_t k = 0; k < taps.size(); ++k) {
        low += static_cast<double>(taps[k]) *
               std::polar(1.0, -2.0 * M_PI * hz * static_cast<double>(k) / inputRate);
    }
    const double alpha = 1.0 - std::exp(-2.0 * M_PI * kWorkingHighPassHz / working.Rate);
    const std::complex<double> z1 = std::polar(1.0, -2.0 * M_PI * hz / working.Rate);
    const std::complex<double> high = (1.0 - alpha) * (1.0 - z1) / (1.0 - (1.0 - alpha) * z1);
    return std::abs(low) * std::abs(high);
}

TAlertToneDetector::TSettings WithGain(TAlertToneDetector::TSettings settings,
                                       const TWorkingRate& working, double inputRate) {
    settings.PathGain = [working, inputRate](double hz) {
        return PathGain(working, inputRate, hz);
    };
    return settings;
}

double CheckedRate(double rate) {
    if (!(rate >= TStreamDecoder::MinRate && rate <= TStreamDecoder::MaxRate)) {
        char text[128];
        std::snprintf(text, sizeof text, "Sample rate %g is outside %g to %g", rate,
                      TStreamDecoder::MinRate, TStreamDecoder::MaxRate);
        throw RinglarkError(text);
    }
    return rate;
}

}  // namespace

TStreamDecoder::TStreamDecoder(double rate, bool includeUncertain, bool includeFailed)
    : rate_(CheckedRate(rate)),
      workingRate_(WorkingRateFor(rate_, kBell202Tones)),
      decimator_(workingRate_.Factor),
      highPass_(workingRate_.Rate, kWorkingHighPassHz),
      dualTone_(workingRate_.Rate, WithGain(TAlertToneDetector::DualTone(), workingRate_, rate_)),
      subscriber_(workingRate_.Rate,
                  WithGain(TAlertToneDetector::Subscriber(), workingRate_, rate_)),
      dtmf_(workingRate_.Rate, [working = workingRate_, rate = rate_](double hz) {
          return PathGain(working, rate, hz);
      }) {
    for (TCidStandard standard : {TCidStandard::Bell202, TCidStandard::EtsiV23}) {
        const TCorrelationDecoder decoder = TCorrelationDecoder::For(standard);
        TToneCorrelator correlator(workingRate_.Rate, workingRate_.BitLength, workingRate_.Window,
                                   decoder.Tones);
        TDiscriminator s = correlator.Empty();
        s.Open = true;
        TCorrelationSearch search;
        search.IncludeUncertain = includeUncertain;
        search.IncludeFailed = includeFailed;
        search.Standard = decoder.Standard;
        lanes_.push_back({decoder.Standard, std::move(correlator), std::move(s), search});
    }
}

bool TStreamDecoder::OwnFamily(const TLane& lane, const TCorrMessage& message) const {
    const double bit = workingRate_.BitLength;
    const double first = message.Seconds * workingRate_.Rate - static_cast<double>(lane.S.Dropped);
    const double from = std::max(0.0, first - 40 * bit);
    const double to = std::max(0.0, first - bit);
    const double ratio = Bell202OverV23(working_, workingRate_.Rate, static_cast<std::size_t>(from),
                                        static_cast<std::size_t>(to));
    return lane.Standard == TCidStandard::Bell202 ? FamilyOfRatio(ratio, 2.0) != TFskFamily::V23
                                                  : FamilyOfRatio(ratio, 1.5) == TFskFamily::V23;
}

void TStreamDecoder::Push(float sample, std::vector<TStreamEvent>& events) {
    ++fed_;
    // One bad sample (not a number, or absurdly large) must not poison the
    // running sums for the rest of the stream.
    sample = SaneSample(sample);
    float decimated = 0;
    if (!decimator_.Push(sample, decimated)) {
        return;
    }
    const float x = highPass_.Push(decimated);
    working_.push_back(x);
    for (auto& lane : lanes_) {
        lane.Correlator.Push(x, lane.S);
    }
    dualTone_.Push(x, tones_);
    subscriber_.Push(x, tones_);
    dtmf_.Push(x, digits_);
    if (++sinceSearch_ >= kSearchEvery) {
        Search(events);
    }
}

void TStreamDecoder::Search(std::vector<TStreamEvent>& events) {
    sinceSearch_ = 0;
    mostHeld_ = std::max(mostHeld_, working_.size());
    for (auto& lane : lanes_) {
        std::vector<TCorrMessage> found;
        lane.Search.Run(lane.S, found);
        for (auto& message : found) {
            if (OwnFamily(lane, message)) {
                messages_.push_back(std::move(message));
            }
        }
    }
    // Tones and messages in the order they began.
    std::vector<TStreamEvent> now;
    for (auto& tone : tones_) {
        TStreamEvent e;
        e.Kind = tone.Kind == TAlertTone::TKind::DualTone ? TStreamEvent::TKind::DualTone
                                                          : TStreamEvent::TKind::Subscriber;
        e.Tone = tone;
        now.push_back(std::move(e));
    }
    for (auto& message : messages_) {
        TStreamEvent e;
        e.Kind = TStreamEvent::TKind::Message;
        e.Message = std::move(message);
        now.push_back(std::move(e));
    }
    std::vector<TDtmfMessage> dtmf;
    for (const auto& digit : digits_) {
        dtmfMessages_.Add(digit, dtmf);
    }
    digits_.clear();
    for (auto& message : dtmf) {
        TStreamEvent e;
        e.Kind = TStreamEvent::TKind::Dtmf;
        e.Dtmf = std::move(message);
        now.push_back(std::move(e));
    }
    tones_.clear();
    messages_.clear();
    std::stable_sort(now.begin(), now.end(), [](const TStreamEvent& a, const TStreamEvent& b) {
        return a.Seconds() < b.Seconds();
    });
    events.insert(events.end(), std::make_move_iterator(now.begin()),
                  std::make_move_iterator(now.end()));
    // Let go of what no later search reads, a whole number of level strides
    // at a time so that the level checkpoints keep their places.
    double keepFrom = static_cast<double>(working_.size());
    for (const auto& lane : lanes_) {
        keepFrom = std::min(keepFrom, lane.Search.KeepFrom(lane.S));
    }
    if (keepFrom > 0) {
        const std::size_t stride = TDiscriminator::LevelStride;
        const std::size_t strides = static_cast<std::size_t>(keepFrom) / stride;
        if (strides >= kDropStrides) {
            const std::size_t drop = strides * stride;
            const auto cut = static_cast<std::ptrdiff_t>(drop);
            working_.erase(working_.begin(), working_.begin() + cut);
            for (auto& lane : lanes_) {
                auto& s = lane.S;
                s.Mark.erase(s.Mark.begin(), s.Mark.begin() + cut);
                s.Space.erase(s.Space.begin(), s.Space.begin() + cut);
                s.LevelCheckpoints.erase(
                    s.LevelCheckpoints.begin(),
                    s.LevelCheckpoints.begin() + static_cast<std::ptrdiff_t>(strides));
                s.Dropped += drop;
                lane.Search.Shift(static_cast<double>(drop));
            }
        }
    }
}

void TStreamDecoder::Feed(std::span<const float> samples, std::vector<TStreamEvent>& events) {
    for (float v : samples) {
        Push(v, events);
    }
}

void TStreamDecoder::Feed(std::span<const int16_t> samples, std::vector<TStreamEvent>& events) {
    for (int16_t v : samples) {
        Push(static_cast<float>(v) * (1.0f / 32768.0f), events);
    }
}

void TStreamDecoder::Feed(std::span<const uint8_t> samples, std::vector<TStreamEvent>& events) {
    for (uint8_t v : samples) {
        Push((static_cast<float>(v) - 128.0f) * (1.0f / 128.0f), events);
    }
}

void TStreamDecoder::Finish(std::vector<TStreamEvent>& events) {
    dualTone_.Finish(tones_);
    subscriber_.Finish(tones_);
    dtmf_.Finish(digits_);
    for (auto& lane : lanes_) {
        lane.S.Open = false;
    }
    Search(events);
}

}  // namespace ringlark
