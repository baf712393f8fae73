#include "analyst/Overview.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "analyst/Waveform.h"
#include "core/WavImage.h"
#include "decoding/fsk/CorrelationDecoder.h"
#include "decoding/tones/AlertTones.h"
#include "decoding/tones/DtmfDecoder.h"

namespace ringlark {

namespace {

constexpr double kRate = 44100.0;
constexpr double kBitSamples = kRate / 1200.0;

}  // namespace

TOverview BuildOverview(const Bytes& image, int width) {
    TOverview overview;
    if (image.size() <= WavHeaderSize || width <= 0) {
        return overview;
    }
    overview.Samples = static_cast<int64_t>(image.size() - WavHeaderSize);
    overview.Columns.assign(static_cast<std::size_t>(width), {128, 128});
    for (int c = 0; c < width; ++c) {
        const int64_t from = overview.Samples * c / width;
        const int64_t to = std::max(from + 1, overview.Samples * (c + 1) / width);
        uint8_t low = 255, high = 0;
        for (int64_t i = from; i < std::min(to, overview.Samples); ++i) {
            const auto v = static_cast<uint8_t>(image[WavHeaderSize + static_cast<std::size_t>(i)]);
            low = std::min(low, v);
            high = std::max(high, v);
        }
        overview.Columns[static_cast<std::size_t>(c)] = {std::min(low, high), high};
    }
    for (TCidStandard standard : {TCidStandard::Bell202, TCidStandard::EtsiV23}) {
        for (const auto& m : TCorrelationDecoder::For(standard).DecodeImage(image)) {
            const auto from = static_cast<int64_t>(m.Seconds * kRate);
            const auto length =
                static_cast<int64_t>(static_cast<double>(m.Message.size()) * 10 * kBitSamples);
            overview.Spans.push_back(
                {TOverviewSpan::TKind::Message, from, from + length, std::string(m.Tag())});
        }
    }
    for (const auto& m : DecodeDtmfImage(image)) {
        const auto from = static_cast<int64_t>(m.Seconds * kRate);
        const auto length =
            static_cast<int64_t>(static_cast<double>(m.Digits.size()) * 0.14 * kRate);
        overview.Spans.push_back({TOverviewSpan::TKind::Message, from, from + length, "DTMF"});
    }
    std::vector<TAlertTone> tones;
    TAlertToneDetector dual(kRate, TAlertToneDetector::DualTone());
    TAlertToneDetector subscriber(kRate, TAlertToneDetector::Subscriber());
    for (std::size_t i = WavHeaderSize; i < image.size(); ++i) {
        const float v = (static_cast<float>(static_cast<uint8_t>(image[i])) - 128.0f) / 128.0f;
        dual.Push(v, tones);
        subscriber.Push(v, tones);
    }
    dual.Finish(tones);
    subscriber.Finish(tones);
    for (const auto& t : tones) {
        const auto from = static_cast<int64_t>(t.Seconds * kRate);
        overview.Spans.push_back({TOverviewSpan::TKind::Alert, from,
                                  from + static_cast<int64_t>(t.Duration * kRate),
                                  t.Kind == TAlertTone::TKind::DualTone ? "CAS" : "SAS"});
    }
    std::sort(overview.Spans.begin(), overview.Spans.end(),
              [](const TOverviewSpan& a, const TOverviewSpan& b) { return a.From < b.From; });
    return overview;
}

int64_t OverviewScrollPosition(const TOverview& overview, int column, int width, int64_t scrollMin,
                               int64_t scrollMax) {
    if (width <= 0 || overview.Samples <= 0) {
        return scrollMin;
    }
    const int64_t at = static_cast<int64_t>(WavHeaderSize) +
                       overview.Samples * std::clamp(column, 0, width - 1) / width -
                       TWaveformPicture::Width / 2;
    return std::clamp<int64_t>(at, scrollMin, std::max(scrollMin, scrollMax));
}

std::vector<TOverviewTick> OverviewTicks(const TOverview& overview, int width) {
    std::vector<TOverviewTick> ticks;
    if (overview.Samples <= 0 || width <= 0) {
        return ticks;
    }
    const double seconds = static_cast<double>(overview.Samples) / kRate;
    const double rough = seconds / std::max(1, width / 100);
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = 10 * power;
    for (double factor : {1.0, 2.0, 5.0}) {
        if (factor * power >= rough) {
            step = factor * power;
            break;
        }
    }
    for (int n = 0; n * step < seconds; ++n) {
        const double at = n * step;
        char label[32];
        std::snprintf(label, sizeof label, "%g s", std::round(at * 1e6) / 1e6);
        ticks.push_back(
            {static_cast<int>(at * kRate * width / static_cast<double>(overview.Samples)), label});
    }
    return ticks;
}

}  // namespace ringlark
