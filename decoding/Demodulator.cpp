#include "decoding/Demodulator.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "core/WavImage.h"

namespace ringlark {

int32_t OffsetOfMean(uint64_t total, uint64_t count) {
    if (count == 0) {
        return 0;  // no samples: no mean
    }
    return static_cast<int32_t>(
               std::nearbyint(static_cast<double>(total) / static_cast<double>(count))) -
           128;
}

int32_t EstimateOffset(const Bytes& image) {
    if (image.size() <= WavHeaderSize) {
        return 0;
    }
    // summed as integers: exact, as a sum of doubles is up to 2^53
    const auto* bytes = reinterpret_cast<const unsigned char*>(image.data());
    uint64_t total = 0;
    for (std::size_t i = WavHeaderSize; i < image.size(); ++i) {
        total += bytes[i];
    }
    return OffsetOfMean(total, image.size() - WavHeaderSize);
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

// Samples in words of 64, each sample's bit telling whether it is an event of
// method 1 (the signal crosses the threshold t: the sample before lies on the
// other side) and whether it may be one of method 2 (the sample before is a
// turning point, and this sample lies on the side of t the turn came from; the
// spacing rule is applied as the events are walked). `x` points two samples
// before the first (the samples before an image's first count as 0). Computed
// without a branch per sample: in noise the events come too irregularly to
// predict.
struct TEventWords {
    uint64_t Crossings = 0;
    uint64_t Peaks = 0;
};

TEventWords EventWords(const unsigned char* x, std::size_t count, int t) {
    // each sample's two flags first (bitwise, so that no branch is taken and
    // the loop can run on several samples at once), then packed
    std::array<uint8_t, 64> crossing{};
    std::array<uint8_t, 64> peak{};
    for (std::size_t k = 0; k < count; ++k) {
        const int v = x[k + 2];
        const int p1 = x[k + 1];
        const int p2 = x[k];
        crossing[k] = static_cast<uint8_t>((p1 < t) ^ (v < t));
        peak[k] = static_cast<uint8_t>(((v < t) & (p1 < v) & (p2 >= p1)) |
                                       ((v > t) & (p1 > v) & (p2 <= p1)));
    }
    TEventWords words;
    for (std::size_t k = 0; k < count; ++k) {
        words.Crossings |= static_cast<uint64_t>(crossing[k]) << k;
        words.Peaks |= static_cast<uint64_t>(peak[k]) << k;
    }
    return words;
}

// Walks methods 1 and 2 (either may be absent) over `count` samples, the first
// of which has image offset `first`; `x` points two samples before it.
void WalkSamples(const unsigned char* x, std::size_t count, std::size_t first, int t,
                 TRunWalk* zeroCrossing, TRunWalk* peak) {
    for (std::size_t at = 0; at < count; at += 64) {
        const std::size_t n = std::min<std::size_t>(64, count - at);
        const TEventWords words = EventWords(x + at, n, t);
        const std::size_t i = first + at;
        if (zeroCrossing != nullptr) {
            for (uint64_t w = words.Crossings; w != 0; w &= w - 1) {
                zeroCrossing->Event(i + static_cast<std::size_t>(__builtin_ctzll(w)));
            }
        }
        if (peak != nullptr) {
            for (uint64_t w = words.Peaks; w != 0; w &= w - 1) {
                const std::size_t event = i + static_cast<std::size_t>(__builtin_ctzll(w));
                if (event - peak->LastEvent() >=
                    static_cast<std::size_t>(TDemodulator::PeakSpacing)) {
                    peak->Event(event);
                }
            }
        }
    }
}

void WalkImage(const Bytes& image, int32_t offset, TRunWalk* zeroCrossing, TRunWalk* peak) {
    if (image.size() <= WavHeaderSize) {
        return;
    }
    const int t = offset + 127;
    const auto* bytes = reinterpret_cast<const unsigned char*>(image.data());
    const std::size_t samples = image.size() - WavHeaderSize;
    // the first samples with the two zeros before them
    std::array<unsigned char, 66> head{};
    const std::size_t firstCount = std::min<std::size_t>(64, samples);
    std::copy_n(bytes + WavHeaderSize, firstCount, head.begin() + 2);
    WalkSamples(head.data(), firstCount, WavHeaderSize, t, zeroCrossing, peak);
    if (samples > 64) {
        WalkSamples(bytes + WavHeaderSize + 64 - 2, samples - 64, WavHeaderSize + 64, t,
                    zeroCrossing, peak);
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

struct TBothMethodsWalk::TWalks {
    TRunWalk ZeroCrossing{nullptr};
    TRunWalk Peak{nullptr};
};

TBothMethodsWalk::TBothMethodsWalk(int32_t offset)
    : walks_(std::make_unique<TWalks>()), threshold_(offset + 127) {
    buffer_.assign(2, 0);  // the samples before the first count as 0
}

TBothMethodsWalk::~TBothMethodsWalk() = default;

void TBothMethodsWalk::Feed(const unsigned char* samples, std::size_t count) {
    if (count == 0) {
        return;
    }
    buffer_.resize(2);
    buffer_.insert(buffer_.end(), samples, samples + count);
    WalkSamples(buffer_.data(), count, WavHeaderSize + fed_, threshold_, &walks_->ZeroCrossing,
                &walks_->Peak);
    fed_ += count;
    buffer_[0] = buffer_[buffer_.size() - 2];
    buffer_[1] = buffer_.back();
}

std::pair<Bytes, Bytes> TBothMethodsWalk::Finish() {
    const std::size_t end = WavHeaderSize + fed_;
    return {walks_->ZeroCrossing.Finish(end), walks_->Peak.Finish(end)};
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
