#pragma once

// The first stage of the correlation decoder: a recording turned into the
// energies of the two FSK tones over the last bit, at a working rate near
// 11025/s. Decimation, DC removal and the correlation are separate pieces so
// that each can be read, tested and replaced on its own.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <span>
#include <vector>

#include "core/Bytes.h"
#include "decoding/tones/RepeatedSamples.h"

namespace ringlark {

// The two tones and the bit rate of an FSK signal.
struct TFskTones {
    double Mark = 1200.0;   // Hz
    double Space = 2200.0;  // Hz
    double Baud = 1200.0;   // bits per second
};
inline constexpr TFskTones kBell202Tones{};

// The working signal: per working sample the energies of the two tones over
// the last bit, and each tone's recent level. The decision value, mark minus
// space over mark plus space (in -1 to 1), is formed where it is read.
struct TDiscriminator {
    std::vector<float> Mark;
    std::vector<float> Space;
    // The working samples themselves (Mark[i] and Space[i] are over the
    // Window samples up to and including Signal[i]), and the tones' angular
    // steps per working sample: detectors over several bits correlate them
    // again with the tones' phases carried from bit to bit.
    std::vector<float> Signal;
    double MarkStep = 0;
    double SpaceStep = 0;
    // Each tone's level follows its energy while it is the stronger tone; the
    // balanced decision takes each energy relative to its own level, so that a
    // weaker space tone (twist) counts as much as the mark. Only a few readings
    // need the levels, so they are not kept per sample: the trackers' state is
    // kept every LevelStride samples and run forward from there when asked.
    struct TLevels {
        double Mark = 0;
        double Space = 0;
    };
    static constexpr std::size_t LevelStride = 256;
    std::vector<TLevels> LevelCheckpoints;  // the state before sample k * LevelStride
    double LevelRate = 0;

    // Both levels after the update at sample i.
    TLevels LevelsAt(std::size_t i) const {
        TLevels levels = LevelCheckpoints[i / LevelStride];
        for (std::size_t j = i / LevelStride * LevelStride; j <= i; ++j) {
            UpdateLevels(levels, Mark[j], Space[j]);
        }
        return levels;
    }
    void UpdateLevels(TLevels& levels, float mark, float space) const {
        if (mark > space) {
            levels.Mark += LevelRate * (mark - levels.Mark);
        } else {
            levels.Space += LevelRate * (space - levels.Space);
        }
    }
    double Rate = 0;
    double BitLength = 0;  // working samples per bit
    // A stream: the samples before index 0 that are no longer kept, and
    // whether more samples will follow the last one (a reading that would need
    // them waits instead of taking the end as the end).
    std::size_t Dropped = 0;
    bool Open = false;
    // The input the working samples were made from, where it is kept for a
    // closer look (FindRepeats): working sample i (from the start, Dropped
    // counted) lies at input sample i * InputFactor.
    const TSampleView* Input = nullptr;
    int InputFactor = 1;
    double InputRate = 0;
    void KeepInput(const TSampleView& input, double rate, int factor) {
        Input = &input;
        InputRate = rate;
        InputFactor = factor;
    }
    int Window = 0;
    // The amplitude one tone gives in the other tone's correlator over one
    // window, relative to its own: the two tones are not orthogonal over a bit.
    double Leakage = 0;

    std::size_t Size() const { return Mark.size(); }

    float D(std::size_t i, bool balanced = false) const {
        if (balanced) {
            // Each tone's correlation amplitude weighted by that tone's own
            // amplitude, less half its energy: the likelihood comparison of two
            // tones received at different levels.
            const TLevels levels = LevelsAt(i);
            const auto markLevel = static_cast<float>(levels.Mark);
            const auto spaceLevel = static_cast<float>(levels.Space);
            const double mark = std::sqrt(static_cast<double>(Mark[i]) * markLevel) - markLevel / 2;
            const double space =
                std::sqrt(static_cast<double>(Space[i]) * spaceLevel) - spaceLevel / 2;
            const double scale = (static_cast<double>(markLevel) + spaceLevel) / 2;
            return scale > 1e-30 ? static_cast<float>(std::clamp((mark - space) / scale, -1.0, 1.0))
                                 : 0.0f;
        }
        const double m = Mark[i];
        const double sp = Space[i];
        return m + sp > 1e-30 ? static_cast<float>((m - sp) / (m + sp)) : 0.0f;
    }

    // Each tone's energy at a fraction of a sample.
    double MarkAt(double position) const { return Interpolated(Mark, position); }
    double SpaceAt(double position) const { return Interpolated(Space, position); }
    static double Interpolated(const std::vector<float>& v, double position) {
        if (v.empty()) {
            return 0;
        }
        const auto i = std::min(static_cast<std::size_t>(std::max(0.0, position)), v.size() - 1);
        const std::size_t j = std::min(i + 1, v.size() - 1);
        const double f = std::clamp(position - static_cast<double>(i), 0.0, 1.0);
        return std::max(0.0, v[i] + (v[j] - v[i]) * f);
    }

    // Mark minus space, compared with a decision level without a division.
    bool Above(std::size_t i, float level) const {
        return Mark[i] - Space[i] > level * (Mark[i] + Space[i]);
    }

    // The weighted decision with the tones' levels given, at a fraction of a sample.
    float AtWithLevels(double position, double markLevel, double spaceLevel) const {
        if (Mark.empty() || markLevel <= 0 || spaceLevel <= 0) {
            return At(position);
        }
        const auto i = std::min(static_cast<std::size_t>(std::max(0.0, position)), Size() - 1);
        const std::size_t j = std::min(i + 1, Size() - 1);
        const double f = std::clamp(position - static_cast<double>(i), 0.0, 1.0);
        const double mark = Mark[i] + (Mark[j] - Mark[i]) * f;
        const double space = Space[i] + (Space[j] - Space[i]) * f;
        const double m = std::sqrt(std::max(0.0, mark) * markLevel) - markLevel / 2;
        const double sp = std::sqrt(std::max(0.0, space) * spaceLevel) - spaceLevel / 2;
        return static_cast<float>(std::clamp((m - sp) / ((markLevel + spaceLevel) / 2), -1.0, 1.0));
    }

    float At(double position, bool balanced = false) const {
        if (Mark.empty()) {
            return 0.0f;
        }
        if (position <= 0) {
            return D(0, balanced);
        }
        const auto i = static_cast<std::size_t>(position);
        if (i + 1 >= Size()) {
            return D(Size() - 1, balanced);
        }
        const float f = static_cast<float>(position - static_cast<double>(i));
        const float a = D(i, balanced);
        return a + (D(i + 1, balanced) - a) * f;
    }
};

// Every factor-th sample of the input after a triangular low-pass (two cascaded
// averages of `factor` samples), computed only where an output is needed: it
// keeps both tones while cutting what would alias onto them.
std::vector<float> DecimateTriangular(const std::vector<float>& input, int factor);

// The weights of that low-pass, 2 * factor - 1 of them, adding up to 1.
std::vector<float> TriangularTaps(int factor);

// The same decimation fed one sample at a time: output o is complete once
// (o + 1) * factor samples have arrived, and equals the whole-input result
// (the samples before the first are taken as the first).
class TTriangularDecimator {
  public:
    explicit TTriangularDecimator(int factor);
    bool Push(float sample, float& output) {
        if (window_.empty()) {
            window_.assign(static_cast<std::size_t>(factor_ - 1), sample);
        }
        window_.push_back(sample);
        if (window_.size() < taps_.size()) {
            return false;
        }
        float acc = 0;
        for (std::size_t k = 0; k < taps_.size(); ++k) {
            acc += taps_[k] * window_[k];
        }
        window_.erase(window_.begin(), window_.begin() + factor_);
        output = acc;
        return true;
    }

    // A block of samples: every output it completes is appended, with the
    // same arithmetic as one sample at a time.
    void Push(std::span<const float> samples, std::vector<float>& outputs);

  private:
    int factor_;
    std::vector<float> taps_;
    std::vector<float> window_;  // from the first input of the next output on
};

// A one-pole high-pass at cornerHz: takes out DC and mains hum before the
// correlation, so that neither leaks into the tone energies. It starts at the
// level of its first sample.
class THighPass {
  public:
    THighPass(double rate, double cornerHz)
        : alpha_(static_cast<float>(1.0 - std::exp(-2.0 * M_PI * cornerHz / rate))) {}
    float Push(float v) {
        if (!started_) {
            mean_ = v;
            started_ = true;
        }
        mean_ += alpha_ * (v - mean_);
        return v - mean_;
    }

  private:
    float alpha_;
    float mean_ = 0;
    bool started_ = false;
};

// The same high-pass over a whole signal, in place.
void RemoveDc(std::vector<float>& x, double rate, double cornerHz);

// The sliding quadrature correlation of a working signal with both tones over
// `window` samples, one sample at a time, appended to a discriminator; each
// tone's level is tracked while it is the stronger one.
class TToneCorrelator {
  public:
    TToneCorrelator(double rate, double bitLength, int window, const TFskTones& tones);
    // A discriminator with this correlator's rate, bit length and leakage, and
    // no samples yet.
    TDiscriminator Empty() const;
    void Push(float x, TDiscriminator& out);
    // Samples in a block: the same arithmetic in the same order as one by one,
    // with the state held in registers and the outputs written in place. The
    // samples are appended to the discriminator's unless it holds them
    // already (keepSamples false).
    void Push(std::span<const float> x, TDiscriminator& out, bool keepSamples = true);

    // What the correlation carries from one sample to the next.
    struct TState {
        std::size_t Index = 0;  // samples correlated so far
        TDiscriminator::TLevels Levels;
        // Oscillators e^(-j w n) for both tones, in plain real arithmetic
        // (complex products with their infinity checks would cost more than
        // the rest).
        double OscRe0 = 1, OscIm0 = 0, OscRe1 = 1, OscIm1 = 0;
        double SumRe0 = 0, SumIm0 = 0, SumRe1 = 0, SumIm1 = 0;
        std::size_t Slot = 0;
    };

  private:
    TDiscriminator shape_;
    std::size_t window_;
    double stepRe_[2], stepIm_[2];
    std::vector<double> ring_;  // the products inside the window
    TState state_;
};

// The correlation over a whole working signal.
TDiscriminator CorrelateTones(std::vector<float> x, double rate, double bitLength, int window,
                              const TFskTones& tones);

// The working rate for an input rate: the input rate divided by the integer
// nearest below input / 11025 (at least 1), that integer, the bit length in
// working samples and the correlation window.
struct TWorkingRate {
    int Factor = 1;
    double Rate = 0;
    double BitLength = 0;
    int Window = 2;
};
TWorkingRate WorkingRateFor(double inputRate, const TFskTones& tones);
inline constexpr double kWorkingHighPassHz = 300.0;

// The samples of an 8-bit image at 44100/s (from offset 44) as floats around
// 0, for a closer look at a stretch (FindRepeats).
class TImageSampleView final : public TSampleView {
  public:
    explicit TImageSampleView(const Bytes& image) : image_(image) {}
    std::size_t First() const override { return 0; }
    std::size_t End() const override;
    void Read(std::size_t from, std::size_t to, std::vector<float>& out) const override;

  private:
    const Bytes& image_;
};

// The whole first stage.
TDiscriminator Discriminate(const std::vector<float>& input, double rate, const TFskTones& tones);
// The same for an 8-bit image at 44100/s, read where it lies (no float copy).
TDiscriminator DiscriminateImage(const Bytes& image, const TFskTones& tones);

// The samples of an 8-bit image (from offset 44) as floats in -1 to 1, as the
// decoders read them.
std::vector<float> ImageSampleValues(const Bytes& image);

}  // namespace ringlark
