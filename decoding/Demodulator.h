#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/Bytes.h"
#include "decoding/AnalysisMethod.h"

namespace ringlark {

enum class TToneClass : int { SpaceTone = 0, MarkTone = 1, NoTone = 2 };

// One event the demodulator found: its image offset, the distance to the
// previous event and the class given to it. The waveform viewer draws them.
struct TDemodEvent {
    std::size_t Offset;
    std::size_t Distance;
    TToneClass Class;
    bool ClassChanged;
    int RunBits;  // bits given to the run that this event closed, when ClassChanged
};

// What outlives one analysis: the method used and the offset of the signal's
// mean, which the viewer draws with.
struct TDemodulator {
    static constexpr float SamplesPerBit = 36.75f;  // 44100 / 1200, exact in a float
    static constexpr int SpaceMin = 2, SpaceMax = 12;
    static constexpr int MarkMin = 13, MarkMax = 22;
    static constexpr int NoToneHoldOff = 7;
    static constexpr int PeakSpacing = 4;
    static constexpr int LongestSpaceRun = 9;

    TAnalysisMethod AnalysisMethod = TAnalysisMethod::ZeroCrossing;
    int32_t SignalOffset = 0;

    // Turns the samples of a 44100/s image (offset 44 on) into a bit text, one
    // character per bit. Sets SignalOffset; an unknown method becomes 0.
    Bytes Analyze(const Bytes& image, const std::function<void(const TDemodEvent&)>& onEvent = {});
    // The same with the image's offset already known (it depends on the image
    // alone, so two analyses of one image need it once).
    Bytes AnalyzeWithOffset(const Bytes& image, int32_t offset,
                            const std::function<void(const TDemodEvent&)>& onEvent = {});
    // Methods 1 and 2 in one pass: their bit texts, as AnalyzeWithOffset gives
    // them. Sets SignalOffset.
    std::pair<Bytes, Bytes> AnalyzeBoth(const Bytes& image, int32_t offset);
};

// Methods 1 and 2 walked over an image's samples fed in blocks (an image too
// large to hold at once): their bit texts at the end, as
// TDemodulator::AnalyzeBoth gives them for the whole image with this offset.
class TBothMethodsWalk {
  public:
    explicit TBothMethodsWalk(int32_t offset);
    ~TBothMethodsWalk();
    TBothMethodsWalk(const TBothMethodsWalk&) = delete;
    TBothMethodsWalk& operator=(const TBothMethodsWalk&) = delete;
    void Feed(const unsigned char* samples, std::size_t count);
    std::pair<Bytes, Bytes> Finish();

  private:
    struct TWalks;
    std::unique_ptr<TWalks> walks_;
    int threshold_;
    uint64_t fed_ = 0;
    std::vector<unsigned char> buffer_;  // the two samples before a block, and the block
};

// The rounded mean of the samples minus 128 (halves to even); 0 for no samples.
int32_t EstimateOffset(const Bytes& image);
// The same from the samples' sum and count.
int32_t OffsetOfMean(uint64_t total, uint64_t count);

}  // namespace ringlark
