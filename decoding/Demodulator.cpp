#include "decoding/Demodulator.h"

#include <algorithm>
#include <cmath>

#include "core/WavImage.h"

namespace ringlark {

int32_t EstimateOffset(const Bytes& image) {
    if (image.size() <= WavHeaderSize) {
        return 0;  // no samples: no mean
    }
    const std::size_t n = image.size() - WavHeaderSize;
    // summed as integers: exact, as a sum of doubles is up to 2^53
    const auto* bytes = reinterpret_cast<const unsigned char*>(image.data());
    uint64_t total = 0;
    for (std::size_t i = WavHeaderSize; i < image.size(); ++i) {
        total += bytes[i];
    }
    const auto sum = static_cast<double>(total);
    return static_cast<int32_t>(std::nearbyint(sum / static_cast<double>(n))) - 128;
}

namespace {

// Samples to the nearest whole number of bits of 36.75 samples (147/4), in
// integers: 4 s / 147 is never exactly half-way (147 is odd), so this is the
// rounding of the quotient, half away from zero, without a division by a
// double per tone change.
static_assert(TDemodulator::SamplesPerBit * 4 == 147);
int RunBits(std::size_t samples) {
    return static_cast<int>((8 * static_cast<uint64_t>(samples) + 147) / 294);
}

}  // namespace

Bytes TDemodulator::Analyze(const Bytes& image,
                            const std::function<void(const TDemodEvent&)>& onEvent) {
    return AnalyzeWithOffset(image, EstimateOffset(image), onEvent);
}

Bytes TDemodulator::AnalyzeWithOffset(const Bytes& image, int32_t offset,
                                      const std::function<void(const TDemodEvent&)>& onEvent) {
    if (AnalysisMethod != TAnalysisMethod::ZeroCrossing &&
        AnalysisMethod != TAnalysisMethod::Peak) {
        AnalysisMethod = TAnalysisMethod::ZeroCrossing;
    }
    SignalOffset = offset;
    const int t = SignalOffset + 127;
    const bool peak = AnalysisMethod == TAnalysisMethod::Peak;

    std::size_t lastEvent = WavHeaderSize;
    std::size_t lastChange = WavHeaderSize;
    TToneClass previous = TToneClass::NoTone;
    int p1 = 0;
    int p2 = 0;
    Bytes bits;
    // The longest bit text so far between tone-less gaps (the first of equal
    // length wins); the others are dropped as they close, not kept.
    Bytes longest;
    bool anyCandidate = false;
    const auto closeCandidate = [&] {
        if (!anyCandidate || bits.size() > longest.size()) {
            longest.swap(bits);
            anyCandidate = true;
        }
        bits.clear();
    };

    const auto closeRun = [&](TToneClass run, int k) {
        if (k <= 0) {
            return;
        }
        switch (run) {
            case TToneClass::SpaceTone:
                if (k <= LongestSpaceRun) {
                    bits.append(static_cast<std::size_t>(k), '0');
                }
                break;
            case TToneClass::MarkTone:
                bits.append(static_cast<std::size_t>(k), '1');
                break;
            case TToneClass::NoTone:
                closeCandidate();
                break;
        }
    };

    const auto* bytes = reinterpret_cast<const unsigned char*>(image.data());
    for (std::size_t i = WavHeaderSize; i < image.size(); ++i) {
        const int x = bytes[i];
        bool event = false;
        if (!peak) {
            event = (p1 < t && t <= x) || (x < t && t <= p1);
        } else if (i - lastEvent >= static_cast<std::size_t>(PeakSpacing)) {
            event = (x < t && p1 < x && p2 >= p1) || (x > t && p1 > x && p2 <= p1);
        }
        if (!event) {
            p2 = p1;
            p1 = x;
            continue;
        }
        const std::size_t d = i - lastEvent;
        TToneClass tone;
        if (d >= SpaceMin && d <= SpaceMax) {
            tone = TToneClass::SpaceTone;
        } else if (d >= MarkMin && d <= MarkMax) {
            tone = TToneClass::MarkTone;
        } else {
            tone = i - lastChange >= static_cast<std::size_t>(NoToneHoldOff) ? TToneClass::NoTone
                                                                             : previous;
        }
        int k = 0;
        const bool changed = tone != previous;
        if (changed) {
            k = RunBits(i - lastChange);
            closeRun(previous, k);
            lastChange = i;
        }
        if (onEvent) {
            onEvent({i, d, tone, changed, k});
        }
        previous = tone;
        p2 = p1;
        p1 = x;
        lastEvent = i;
    }
    closeRun(previous, RunBits(std::max(image.size(), WavHeaderSize) - lastChange));
    closeCandidate();
    return longest;
}

}  // namespace ringlark
