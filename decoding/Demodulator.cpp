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

// One method's walk along its events: each event's distance from the one
// before classes it as a space, a mark or no tone, and each run of one class
// that an event closes becomes bits. The longest bit text between tone-less
// gaps is kept (the first of equal length wins); the others are dropped as
// they close.
class TRunWalk {
  public:
    explicit TRunWalk(const std::function<void(const TDemodEvent&)>* onEvent)
        : onEvent_(onEvent != nullptr && *onEvent ? onEvent : nullptr) {}

    std::size_t LastEvent() const { return lastEvent_; }

    void Event(std::size_t i) {
        const std::size_t d = i - lastEvent_;
        TToneClass tone;
        if (d >= TDemodulator::SpaceMin && d <= TDemodulator::SpaceMax) {
            tone = TToneClass::SpaceTone;
        } else if (d >= TDemodulator::MarkMin && d <= TDemodulator::MarkMax) {
            tone = TToneClass::MarkTone;
        } else {
            tone = i - lastChange_ >= static_cast<std::size_t>(TDemodulator::NoToneHoldOff)
                       ? TToneClass::NoTone
                       : previous_;
        }
        int k = 0;
        const bool changed = tone != previous_;
        if (changed) {
            k = RunBits(i - lastChange_);
            CloseRun(previous_, k);
            lastChange_ = i;
        }
        if (onEvent_ != nullptr) {
            (*onEvent_)({i, d, tone, changed, k});
        }
        previous_ = tone;
        lastEvent_ = i;
    }

    // The image ends at `end`: its last run closes.
    Bytes Finish(std::size_t end) {
        CloseRun(previous_, RunBits(end - lastChange_));
        CloseCandidate();
        return std::move(longest_);
    }

  private:
    void CloseCandidate() {
        if (!anyCandidate_ || bits_.size() > longest_.size()) {
            longest_.swap(bits_);
            anyCandidate_ = true;
        }
        bits_.clear();
    }

    void CloseRun(TToneClass run, int k) {
        if (k <= 0) {
            return;
        }
        switch (run) {
            case TToneClass::SpaceTone:
                if (k <= TDemodulator::LongestSpaceRun) {
                    bits_.append(static_cast<std::size_t>(k), '0');
                }
                break;
            case TToneClass::MarkTone:
                bits_.append(static_cast<std::size_t>(k), '1');
                break;
            case TToneClass::NoTone:
                CloseCandidate();
                break;
        }
    }

    const std::function<void(const TDemodEvent&)>* onEvent_;
    std::size_t lastEvent_ = WavHeaderSize;
    std::size_t lastChange_ = WavHeaderSize;
    TToneClass previous_ = TToneClass::NoTone;
    Bytes bits_;
    Bytes longest_;
    bool anyCandidate_ = false;
};

// The samples of an image in words of 64, each sample's bit telling whether it
// is an event of method 1 (the signal crosses the threshold t: the sample
// before lies on the other side) and whether it may be one of method 2 (the
// sample before is a turning point, and this sample lies on the side of t the
// turn came from; the spacing rule is applied as the events are walked).
// Samples before the first count as 0. Computed without a branch per sample:
// in noise the events come too irregularly to predict.
struct TEventWords {
    uint64_t Crossings = 0;
    uint64_t Peaks = 0;
};

TEventWords EventWords(const unsigned char* bytes, std::size_t first, std::size_t count, int t) {
    TEventWords words;
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t i = first + k;
        const int x = bytes[i];
        const int p1 = i >= WavHeaderSize + 1 ? bytes[i - 1] : 0;
        const int p2 = i >= WavHeaderSize + 2 ? bytes[i - 2] : 0;
        const bool crossing = (p1 < t) != (x < t);
        const bool peak = (x < t && p1 < x && p2 >= p1) || (x > t && p1 > x && p2 <= p1);
        words.Crossings |= static_cast<uint64_t>(crossing) << k;
        words.Peaks |= static_cast<uint64_t>(peak) << k;
    }
    return words;
}

// Walks methods 1 and 2 over an image at once (either may be absent).
void WalkImage(const Bytes& image, int32_t offset, TRunWalk* zeroCrossing, TRunWalk* peak) {
    const int t = offset + 127;
    const auto* bytes = reinterpret_cast<const unsigned char*>(image.data());
    for (std::size_t i = WavHeaderSize; i < image.size(); i += 64) {
        const std::size_t count = std::min<std::size_t>(64, image.size() - i);
        const TEventWords words = EventWords(bytes, i, count, t);
        if (zeroCrossing != nullptr) {
            for (uint64_t w = words.Crossings; w != 0; w &= w - 1) {
                zeroCrossing->Event(i + static_cast<std::size_t>(__builtin_ctzll(w)));
            }
        }
        if (peak != nullptr) {
            for (uint64_t w = words.Peaks; w != 0; w &= w - 1) {
                const std::size_t at = i + static_cast<std::size_t>(__builtin_ctzll(w));
                if (at - peak->LastEvent() >= static_cast<std::size_t>(TDemodulator::PeakSpacing)) {
                    peak->Event(at);
                }
            }
        }
    }
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
    TRunWalk walk(&onEvent);
    const bool peak = AnalysisMethod == TAnalysisMethod::Peak;
    WalkImage(image, offset, peak ? nullptr : &walk, peak ? &walk : nullptr);
    return walk.Finish(std::max(image.size(), WavHeaderSize));
}

std::pair<Bytes, Bytes> TDemodulator::AnalyzeBoth(const Bytes& image, int32_t offset) {
    SignalOffset = offset;
    TRunWalk zeroCrossing(nullptr);
    TRunWalk peak(nullptr);
    WalkImage(image, offset, &zeroCrossing, &peak);
    const std::size_t end = std::max(image.size(), WavHeaderSize);
    return {zeroCrossing.Finish(end), peak.Finish(end)};
}

}  // namespace ringlark
