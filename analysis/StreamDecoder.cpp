#include "analysis/StreamDecoder.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>

#include "core/RinglarkError.h"

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

TStreamDecoder::TStreamDecoder(double rate, bool includeUncertain)
    : rate_(CheckedRate(rate)),
      working_(WorkingRateFor(rate_, kBell202Tones)),
      decimator_(working_.Factor),
      highPass_(working_.Rate, kWorkingHighPassHz),
      correlator_(working_.Rate, working_.BitLength, working_.Window, kBell202Tones),
      s_(correlator_.Empty()),
      dualTone_(working_.Rate, WithGain(TAlertToneDetector::DualTone(), working_, rate_)),
      subscriber_(working_.Rate, WithGain(TAlertToneDetector::Subscriber(), working_, rate_)) {
    search_.IncludeUncertain = includeUncertain;
    s_.Open = true;
}

void TStreamDecoder::Push(float sample, std::vector<TStreamEvent>& events) {
    ++fed_;
    // One bad sample (not a number, or absurdly large) must not poison the
    // running sums for the rest of the stream.
    sample = std::isfinite(sample) ? std::clamp(sample, -1e4f, 1e4f) : 0.0f;
    float decimated = 0;
    if (!decimator_.Push(sample, decimated)) {
        return;
    }
    const float x = highPass_.Push(decimated);
    correlator_.Push(x, s_);
    dualTone_.Push(x, tones_);
    subscriber_.Push(x, tones_);
    if (++sinceSearch_ >= kSearchEvery) {
        Search(events);
    }
}

void TStreamDecoder::Search(std::vector<TStreamEvent>& events) {
    sinceSearch_ = 0;
    mostHeld_ = std::max(mostHeld_, s_.Size());
    search_.Run(s_, messages_);
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
    tones_.clear();
    messages_.clear();
    std::stable_sort(now.begin(), now.end(), [](const TStreamEvent& a, const TStreamEvent& b) {
        return a.Seconds() < b.Seconds();
    });
    events.insert(events.end(), std::make_move_iterator(now.begin()),
                  std::make_move_iterator(now.end()));
    // Let go of what no later search reads, a whole number of level strides
    // at a time so that the level checkpoints keep their places.
    const double keepFrom = search_.KeepFrom(s_);
    if (keepFrom > 0) {
        const std::size_t stride = TDiscriminator::LevelStride;
        const std::size_t strides = static_cast<std::size_t>(keepFrom) / stride;
        if (strides >= kDropStrides) {
            const std::size_t drop = strides * stride;
            s_.Mark.erase(s_.Mark.begin(), s_.Mark.begin() + static_cast<std::ptrdiff_t>(drop));
            s_.Space.erase(s_.Space.begin(), s_.Space.begin() + static_cast<std::ptrdiff_t>(drop));
            s_.LevelCheckpoints.erase(
                s_.LevelCheckpoints.begin(),
                s_.LevelCheckpoints.begin() + static_cast<std::ptrdiff_t>(strides));
            s_.Dropped += drop;
            search_.Shift(static_cast<double>(drop));
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
    s_.Open = false;
    Search(events);
}

}  // namespace ringlark
