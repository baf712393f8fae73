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

// Samples are taken in blocks of at most this many.
constexpr std::size_t kFeedBlock = 4096;
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

TStreamDecoder::TStreamDecoder(double rate, bool includeUncertain, bool includeFailed,
                               TStreamParts parts)
    : rate_(CheckedRate(rate)),
      parts_(parts),
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
        if (!(standard == TCidStandard::Bell202 ? parts.Bell202 : parts.V23)) {
            continue;
        }
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

void TStreamDecoder::TRawView::Read(std::size_t from, std::size_t to,
                                    std::vector<float>& out) const {
    out.assign(Samples->begin() + static_cast<std::ptrdiff_t>(from - FirstIndex),
               Samples->begin() + static_cast<std::ptrdiff_t>(to - FirstIndex));
}

void TStreamDecoder::Search(std::vector<TStreamEvent>& events) {
    sinceSearch_ = 0;
    mostHeld_ = std::max(mostHeld_, working_.size());
    rawView_.Samples = &raw_;
    rawView_.FirstIndex = rawFirst_;
    for (auto& lane : lanes_) {
        lane.S.KeepInput(rawView_, rate_, workingRate_.Factor);
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
                s.Signal.erase(s.Signal.begin(), s.Signal.begin() + cut);
                s.LevelCheckpoints.erase(
                    s.LevelCheckpoints.begin(),
                    s.LevelCheckpoints.begin() + static_cast<std::ptrdiff_t>(strides));
                s.Dropped += drop;
                lane.Search.Shift(static_cast<double>(drop));
            }
            // The input a search may still look at: from the first working
            // sample kept, and as far back as a repeat reaches.
            const auto factor = static_cast<std::size_t>(workingRate_.Factor);
            const std::size_t keep = lanes_.empty() ? 0 : lanes_.front().S.Dropped * factor;
            const auto reach = static_cast<std::size_t>(kMostRepeatDelay * rate_) + 2 * factor;
            if (keep > rawFirst_ + reach) {
                const std::size_t cutRaw = std::min(raw_.size(), keep - reach - rawFirst_);
                raw_.erase(raw_.begin(), raw_.begin() + static_cast<std::ptrdiff_t>(cutRaw));
                rawFirst_ += cutRaw;
            }
        }
    }
}

void TStreamDecoder::Feed(std::span<const float> samples, std::vector<TStreamEvent>& events) {
    for (std::size_t at = 0; at < samples.size(); at += kFeedBlock) {
        const std::size_t n = std::min(kFeedBlock, samples.size() - at);
        input_.resize(n);
        for (std::size_t i = 0; i < n; ++i) {
            // One bad sample (not a number, or absurdly large) must not poison
            // the running sums for the rest of the stream.
            input_[i] = SaneSample(samples[at + i]);
        }
        FeedBlock(events);
    }
}

void TStreamDecoder::Feed(std::span<const int16_t> samples, std::vector<TStreamEvent>& events) {
    for (std::size_t at = 0; at < samples.size(); at += kFeedBlock) {
        const std::size_t n = std::min(kFeedBlock, samples.size() - at);
        input_.resize(n);
        for (std::size_t i = 0; i < n; ++i) {
            input_[i] = static_cast<float>(samples[at + i]) * (1.0f / 32768.0f);
        }
        FeedBlock(events);
    }
}

void TStreamDecoder::Feed(std::span<const uint8_t> samples, std::vector<TStreamEvent>& events) {
    for (std::size_t at = 0; at < samples.size(); at += kFeedBlock) {
        const std::size_t n = std::min(kFeedBlock, samples.size() - at);
        input_.resize(n);
        for (std::size_t i = 0; i < n; ++i) {
            input_[i] = (static_cast<float>(samples[at + i]) - 128.0f) * (1.0f / 128.0f);
        }
        FeedBlock(events);
    }
}

// The samples in input_, decimated as a block and correlated in runs that end
// where a search is due, so that every search sees what it would have seen
// with the samples fed one at a time.
void TStreamDecoder::FeedBlock(std::vector<TStreamEvent>& events) {
    fed_ += input_.size();
    if (!lanes_.empty()) {
        raw_.insert(raw_.end(), input_.begin(), input_.end());
    }
    decimated_.clear();
    decimator_.Push(std::span<const float>(input_), decimated_);
    for (std::size_t at = 0; at < decimated_.size();) {
        const std::size_t take =
            std::min(decimated_.size() - at, searchEvery_ - std::min(sinceSearch_, searchEvery_));
        const std::size_t first = working_.size();
        for (std::size_t i = 0; i < take; ++i) {
            working_.push_back(highPass_.Push(decimated_[at + i]));
        }
        const std::span<const float> run(working_.data() + first, take);
        for (auto& lane : lanes_) {
            lane.Correlator.Push(run, lane.S);
        }
        if (parts_.AlertTones) {
            for (const float x : run) {
                dualTone_.Push(x, tones_);
                subscriber_.Push(x, tones_);
            }
        }
        if (parts_.Dtmf) {
            for (const float x : run) {
                dtmf_.Push(x, digits_);
            }
        }
        at += take;
        sinceSearch_ += take;
        if (sinceSearch_ >= searchEvery_) {
            Search(events);
        }
    }
}

void TStreamDecoder::SearchEvery(std::size_t workingSamples) {
    searchEvery_ = std::max<std::size_t>(1, workingSamples);
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
