#pragma once

#include <cstdint>

#include "core/Bytes.h"

namespace ringlark {

inline constexpr int SampleRate = 44100;

// Bell 202 FSK synthesiser: appends unsigned 8-bit mono samples at 44100/s to an
// audio stream, 128 being the zero line.
//
// Phase and BitCounter live as long as the main window and are never reset: every
// generation continues the signal where the previous one stopped, so two images
// of the same message differ in their samples (and possibly by one in length).
class TFskSynth {
  public:
    // Phase steps in radians per sample, 2 * 3.14159265 * f / 44100, kept in
    // extended precision: every Phase + step is formed in 80 bits and stored back
    // rounded to 64, which is what fixes each sample's value.
    static constexpr long double MarkStep = 0.17097102857142857143L;      // 1200 Hz
    static constexpr long double SpaceStep = 0.31344688571428571429L;     // 2200 Hz
    static constexpr long double Tone440Step = 0.062689377142857142857L;  // 440 Hz
    static constexpr long double Dual2130Step = 0.30347357571428571429L;
    static constexpr long double Dual2750Step = 0.39180860714285714286L;

    static constexpr int LongMarkSamples = 6615;   // 150 ms
    static constexpr int ShortMarkSamples = 3087;  // 70 ms
    static constexpr int Tone440Samples = 13230;   // 300 ms
    static constexpr int DualToneSamples = 4410;   // 100 ms
    static constexpr int DualToneAmplitudeLimit = 63;
    static constexpr int MaxSilenceSamples = SampleRate;  // one second per call

    // Peak deviation from 128 and clip level (128 or more: never clamped). Any
    // 32-bit value is accepted; the arithmetic is done in 64 bits.
    int32_t Amplitude = 63;
    int32_t Clip = 63;

    double Phase() const { return phase_; }
    int32_t BitCounter() const { return static_cast<int32_t>(bitCounter_); }

    // One bit: 37 samples, or 36 when the bit's running count is divisible by 4,
    // which gives 147 samples per four bits, exactly 36.75 per bit on average.
    void SendBit(Bytes& stream, bool mark);
    // Start bit, eight data bits least significant first, stop bit.
    void SendByte(Bytes& stream, uint8_t byte);
    void SendBytes(Bytes& stream, const Bytes& bytes);
    void MarkRun(Bytes& stream, int count);
    void Tone440(Bytes& stream);
    // 2130 Hz plus 2750 Hz, each on its own phase starting at 0 on every call.
    void DualTone(Bytes& stream);
    void Silence(Bytes& stream, double seconds);

  private:
    uint8_t ClippedSample(long double step);
    uint8_t UnclippedSample(long double step);
    void ClippedRun(Bytes& stream, int count, long double step);

    double phase_ = 0.0;
    uint32_t bitCounter_ = 0;  // unsigned so that wrapping is defined; read as 32-bit signed
};

// sin(phase) * amplitude rounded toward zero, as computed in extended precision.
int64_t TruncatedSine(double phase, int64_t amplitude);

}  // namespace ringlark
