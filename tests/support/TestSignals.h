#pragma once

#include <cstdint>
#include <vector>

#include "core/Bytes.h"
#include "generation/MessageBuilder.h"

// Signal helpers shared by the tests and the robustness sweep: a deterministic
// Gaussian noise source (the same numbers on every machine) and conversions
// between 8-bit images and float samples.
namespace ringlark {

class TGaussianNoise {
  public:
    explicit TGaussianNoise(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
    double Next();

  private:
    uint64_t NextBits();
    uint64_t state_;
    bool haveSpare_ = false;
    double spare_ = 0;
};

// Samples of an 8-bit image (offset 44 on) as floats around 0, in -1 to 1.
std::vector<float> ImageSamples(const Bytes& image);

// Floats back to an 8-bit image at the given rate, clipped.
Bytes SamplesImage(const std::vector<float>& samples, uint32_t rate);

// Averages each `factor` samples: a recording at a lower rate.
std::vector<float> Downsample(const std::vector<float>& samples, int factor);

double MeanPower(const std::vector<float>& samples);

// White Gaussian noise at the given SNR (signal power over noise power in the
// whole band), with `padding` samples of noise alone before and after.
std::vector<float> AddNoise(const std::vector<float>& samples, double snrDb, std::size_t padding,
                            uint64_t seed);

// The same with the noise's level set from a given signal power (that of the
// FSK alone, when other sounds come before it).
std::vector<float> AddNoiseAtPower(const std::vector<float>& samples, double power, double snrDb,
                                   std::size_t padding, uint64_t seed);

// What an exchange sends before call-waiting data, as an independent
// generator makes it: the 440 Hz subscriber alert signal for 300 ms, the
// 2130 + 2750 Hz CPE alert signal for 100 ms (each tone at half the
// amplitude), then 200 ms of quiet.
std::vector<float> CallWaitingAlerts(double rate, double amplitude);

// A Bell 202 signal at any rate with the impairments real lines and real
// transmitters show. Phase-continuous; the seizure (alternating bits starting
// with a space) and the mark run are counted in bits.
struct TFskSignal {
    double Rate = 44100;
    double MarkHz = 1200.0;  // Bell 202; V.23: 1300 and 2100
    double SpaceHz = 2200.0;
    double ToneFactor = 1.0;  // both tones scaled (1.02: 2 % high)
    double BaudFactor = 1.0;  // bit rate scaled
    double TwistDb = 0;       // space level over mark level, dB
    double Amplitude = 63.0 / 128.0;
    int SeizureBits = 300;
    int MarkBits = 180;
    double StartPhase = 0;  // radians
    int IdleBits = 0;       // marks after each byte's stop bit (a longer stop)
    // Each bit's end moved off the clock's grid by up to this share of a bit
    // either way, at random from JitterSeed (a transmitter timing its bits in
    // coarse steps).
    double BitJitter = 0;
    uint64_t JitterSeed = 1;
    // Two free-running oscillators switched at each bit, as some transmitters
    // make FSK: the phase jumps where the tone changes.
    bool SwitchedTones = false;
    // Bits of the message (byte * 8 + data bit) sent as a blend of both tones,
    // with this share of the other tone's amplitude: 0.5 is a tie, above 0.5
    // the bit reads the other way.
    std::vector<std::pair<std::size_t, double>> Blends;
};
std::vector<float> SynthesiseFsk(const Bytes& message, const TFskSignal& signal);

// Hard clipping at a level (a fraction of full scale).
void ClipSamples(std::vector<float>& samples, float level);

// A transmitter's or sound card's distortion, memoryless: a sine of
// `amplitude` keeps its amplitude and gets its second and third harmonics at
// `second` and `third` of it (weaker sines get less, and a DC offset).
void AddHarmonics(std::vector<float>& samples, double amplitude, double second, double third);

// Mains hum added at a level relative to the signal's mean power, in dB.
void AddHum(std::vector<float>& samples, double rate, double frequency, double levelDb);

// A sound card's buffer slip: over `length` samples from `at` on, the samples
// `delay` earlier are played again (x[n] := x[n - delay], from the samples as
// they were), then the signal goes on where it was.
void RepeatSamples(std::vector<float>& samples, std::size_t at, std::size_t length,
                   std::size_t delay);

// Samples lost: `count` of them removed from `at` on.
void DropSamples(std::vector<float>& samples, std::size_t at, std::size_t count);

// Capture glitches placed inside a stretch of a recording from a seed: each a
// start, a length and, for a slip, how far back it repeats.
struct TGlitch {
    std::size_t At = 0;
    std::size_t Length = 0;
    std::size_t Delay = 0;  // 0: the samples are dropped
};
// `count` glitches of 0.2 to 1 ms in [from, to) at `rate`, slips repeating
// from 0.25 to 1 bit back (`bit` samples) or drops, sorted by position.
std::vector<TGlitch> RandomGlitches(uint64_t seed, int count, std::size_t from, std::size_t to,
                                    double rate, double bit, bool drops);
// Applies them, the latest first so that a drop does not move the others.
void ApplyGlitches(std::vector<float>& samples, const std::vector<TGlitch>& glitches);

// A telephone channel: 300-3400 Hz, second-order high-pass and low-pass.
std::vector<float> TelephoneBand(const std::vector<float>& samples, double rate);

// The MDMF call the examples use: 12/07 09:30, 8005551212, "JOHN DOE".
TCidRequest ExampleMdmfRequest();
Bytes ExampleMdmfMessage();

// A random MDMF message as a caller would send it (date, 10-digit number, an
// upper-case name of 4 to 15 characters), from a seed.
Bytes RandomMdmfMessage(uint64_t seed);

// Voice-like sound: a gliding fundamental with its harmonics shaped by two
// moving formants, syllables, and breath noise; the seed picks the voice.
std::vector<float> SpeechLike(double rate, uint64_t seed, double seconds);

}  // namespace ringlark
