#pragma once

// The signals of the call-waiting exchange as float samples at any rate (a
// full-scale sine peaks at 1), and the track that plays them at the sample
// each was scheduled for.
#include <cstdint>
#include <span>
#include <vector>

#include "core/Bytes.h"
#include "decoding/tones/ToneDiscriminator.h"

namespace ringlark {

// Peak amplitude of a sine at a level in dBFS.
double DbfsToPeak(double dbfs);

// A sum of tones, each at its own peak amplitude, starting at phase 0.
std::vector<float> Tones(std::span<const double> hz, double peak, int64_t samples, double rate);

// The mark run and the message's bytes (start bit, eight data bits least
// significant first, stop bit) as phase-continuous FSK at exactly the baud of
// the tones, bit edges on the nearest sample; then two more mark bits, so
// that the last stop bit is whole in any receiver's window.
std::vector<float> FskBurst(const Bytes& message, int markBits, const TFskTones& tones, double peak,
                            double rate);

// The correlation level of a tone over samples (a sine of peak amplitude p
// gives 20 log10 p), in dBFS; -120 for no samples.
double ToneLevelDbfs(std::span<const float> samples, double hz, double rate);

// What a role plays, sample by sample: each clip starts at the sample it was
// placed at; between clips the line is quiet. Clips are placed in order and
// never overlap (a clip placed where the previous one still plays waits for
// its end).
class TOutputTrack {
  public:
    // Returns the sample where the clip really starts.
    int64_t Place(int64_t start, std::vector<float> samples);
    // The sample at `now`; samples before `now` are forgotten.
    float At(int64_t now);
    // Where the last clip placed ends (nothing placed: 0).
    int64_t End() const { return end_; }

  private:
    struct TClip {
        int64_t Start = 0;
        std::vector<float> Samples;
    };
    std::vector<TClip> clips_;  // the first still to finish playing first
    int64_t end_ = 0;
};

}  // namespace ringlark
