#include "analysis/ToneDiscriminator.h"

namespace ringlark {

namespace {

constexpr double kTargetRate = 11025.0;

// The samples of an 8-bit image (from offset 44) as floats around 0.
class TImageSamples {
  public:
    explicit TImageSamples(const Bytes& image) : image_(image) {}
    std::size_t size() const { return image_.size() > kHeader ? image_.size() - kHeader : 0; }
    bool empty() const { return size() == 0; }
    float operator[](std::size_t i) const {
        return (static_cast<float>(static_cast<uint8_t>(image_[kHeader + i])) - 128.0f) *
               (1.0f / 128.0f);
    }

  private:
    static constexpr std::size_t kHeader = 44;
    const Bytes& image_;
};

// The decimation over any source of samples (floats, or an 8-bit image read
// where it lies), with the same arithmetic for both.
template <typename TSource>
std::vector<float> DecimateFrom(const TSource& input, int factor) {
    if (input.empty()) {
        return {};
    }
    const std::vector<float> taps = TriangularTaps(factor);
    const std::size_t outputs = input.size() / static_cast<std::size_t>(factor);
    std::vector<float> x(outputs);
    const auto last = static_cast<std::ptrdiff_t>(input.size()) - 1;
    for (std::size_t o = 0; o < outputs; ++o) {
        const std::ptrdiff_t first = static_cast<std::ptrdiff_t>(o) * factor - (factor - 1);
        float acc = 0;
        if (first >= 0 && first + static_cast<std::ptrdiff_t>(taps.size()) - 1 <= last) {
            for (std::size_t k = 0; k < taps.size(); ++k) {
                acc += taps[k] * input[static_cast<std::size_t>(first) + k];
            }
        } else {
            for (std::size_t k = 0; k < taps.size(); ++k) {
                const std::ptrdiff_t i =
                    std::clamp<std::ptrdiff_t>(first + static_cast<std::ptrdiff_t>(k), 0, last);
                acc += taps[k] * input[static_cast<std::size_t>(i)];
            }
        }
        x[o] = acc;
    }
    return x;
}

}  // namespace

std::vector<float> TriangularTaps(int factor) {
    std::vector<float> taps(static_cast<std::size_t>(2 * factor - 1));
    float tapSum = 0;
    for (int k = 0; k < 2 * factor - 1; ++k) {
        taps[static_cast<std::size_t>(k)] = static_cast<float>(factor - std::abs(k - (factor - 1)));
        tapSum += taps[static_cast<std::size_t>(k)];
    }
    for (float& t : taps) {
        t /= tapSum;
    }
    return taps;
}

std::vector<float> DecimateTriangular(const std::vector<float>& input, int factor) {
    return DecimateFrom(input, factor);
}

TTriangularDecimator::TTriangularDecimator(int factor)
    : factor_(std::max(1, factor)), taps_(TriangularTaps(factor_)) {
    window_.reserve(taps_.size() + 1);
}

void RemoveDc(std::vector<float>& x, double rate, double cornerHz) {
    THighPass highPass(rate, cornerHz);
    for (float& v : x) {
        v = highPass.Push(v);
    }
}

TToneCorrelator::TToneCorrelator(double rate, double bitLength, int windowLength,
                                 const TFskTones& tones)
    : window_(static_cast<std::size_t>(windowLength)), ring_(4 * window_, 0.0) {
    shape_.Rate = rate;
    shape_.BitLength = bitLength;
    shape_.Window = windowLength;
    const double dw = 2 * M_PI * (tones.Space - tones.Mark) / rate;
    double re = 0;
    double im = 0;
    for (int k = 0; k < windowLength; ++k) {
        re += std::cos(dw * k);
        im += std::sin(dw * k);
    }
    shape_.Leakage = std::sqrt(re * re + im * im) / windowLength;
    shape_.LevelRate = 1.0 / (16.0 * bitLength);
    const double frequencies[2] = {tones.Mark, tones.Space};
    for (int t = 0; t < 2; ++t) {
        stepRe_[t] = std::cos(-2.0 * M_PI * frequencies[t] / rate);
        stepIm_[t] = std::sin(-2.0 * M_PI * frequencies[t] / rate);
    }
}

TDiscriminator TToneCorrelator::Empty() const {
    return shape_;
}

void TToneCorrelator::Push(float x, TDiscriminator& out) {
    const double sample = x;
    double* old = &ring_[4 * slot_];
    for (int t = 0; t < 2; ++t) {
        const double re = sample * oscRe_[t];
        const double im = sample * oscIm_[t];
        sumRe_[t] += re - old[2 * t];
        sumIm_[t] += im - old[2 * t + 1];
        old[2 * t] = re;
        old[2 * t + 1] = im;
        const double nextRe = oscRe_[t] * stepRe_[t] - oscIm_[t] * stepIm_[t];
        oscIm_[t] = oscRe_[t] * stepIm_[t] + oscIm_[t] * stepRe_[t];
        oscRe_[t] = nextRe;
    }
    if (++slot_ == window_) {
        slot_ = 0;
    }
    if ((index_ & 1023) == 0) {
        for (int t = 0; t < 2; ++t) {  // keep the oscillators on the unit circle
            const double norm = std::sqrt(oscRe_[t] * oscRe_[t] + oscIm_[t] * oscIm_[t]);
            oscRe_[t] /= norm;
            oscIm_[t] /= norm;
        }
    }
    const auto mark = static_cast<float>(sumRe_[0] * sumRe_[0] + sumIm_[0] * sumIm_[0]);
    const auto space = static_cast<float>(sumRe_[1] * sumRe_[1] + sumIm_[1] * sumIm_[1]);
    out.Mark.push_back(mark);
    out.Space.push_back(space);
    if (index_ % TDiscriminator::LevelStride == 0) {
        out.LevelCheckpoints.push_back(levels_);
    }
    out.UpdateLevels(levels_, mark, space);
    ++index_;
}

TDiscriminator CorrelateTones(const std::vector<float>& x, double rate, double bitLength,
                              int windowLength, const TFskTones& tones) {
    TToneCorrelator correlator(rate, bitLength, windowLength, tones);
    TDiscriminator out = correlator.Empty();
    out.Mark.reserve(x.size());
    out.Space.reserve(x.size());
    out.LevelCheckpoints.reserve(x.size() / TDiscriminator::LevelStride + 1);
    for (float v : x) {
        correlator.Push(v, out);
    }
    return out;
}

TWorkingRate WorkingRateFor(double inputRate, const TFskTones& tones) {
    TWorkingRate working;
    working.Factor = std::max(1, static_cast<int>(std::floor(inputRate / kTargetRate + 0.01)));
    working.Rate = inputRate / working.Factor;
    working.BitLength = working.Rate / tones.Baud;
    working.Window = std::max(2, static_cast<int>(std::lround(working.BitLength)));
    return working;
}

namespace {

template <typename TSource>
TDiscriminator DiscriminateFrom(const TSource& input, double rate, const TFskTones& tones) {
    const TWorkingRate working = WorkingRateFor(rate, tones);
    std::vector<float> x = DecimateFrom(input, working.Factor);
    RemoveDc(x, working.Rate, kWorkingHighPassHz);
    return CorrelateTones(x, working.Rate, working.BitLength, working.Window, tones);
}

}  // namespace

TDiscriminator Discriminate(const std::vector<float>& input, double rate, const TFskTones& tones) {
    return DiscriminateFrom(input, rate, tones);
}

TDiscriminator DiscriminateImage(const Bytes& image, const TFskTones& tones) {
    return DiscriminateFrom(TImageSamples(image), 44100.0, tones);
}

std::vector<float> ImageSampleValues(const Bytes& image) {
    const TImageSamples samples(image);
    std::vector<float> values(samples.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        values[i] = samples[i];
    }
    return values;
}

}  // namespace ringlark
