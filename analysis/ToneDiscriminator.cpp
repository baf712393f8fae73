#include "analysis/ToneDiscriminator.h"

namespace ringlark {

namespace {

constexpr double kTargetRate = 11025.0;
constexpr double kHighPassHz = 300.0;

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
    std::vector<float> taps(static_cast<std::size_t>(2 * factor - 1));
    float tapSum = 0;
    for (int k = 0; k < 2 * factor - 1; ++k) {
        taps[static_cast<std::size_t>(k)] = static_cast<float>(factor - std::abs(k - (factor - 1)));
        tapSum += taps[static_cast<std::size_t>(k)];
    }
    for (float& t : taps) {
        t /= tapSum;
    }
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

std::vector<float> DecimateTriangular(const std::vector<float>& input, int factor) {
    return DecimateFrom(input, factor);
}

void RemoveDc(std::vector<float>& x, double rate, double cornerHz) {
    if (x.empty()) {
        return;
    }
    const float alpha = static_cast<float>(1.0 - std::exp(-2.0 * M_PI * cornerHz / rate));
    float mean = x.front();
    for (float& v : x) {
        mean += alpha * (v - mean);
        v -= mean;
    }
}

TDiscriminator CorrelateTones(const std::vector<float>& x, double rate, double bitLength,
                              int windowLength, const TFskTones& tones) {
    TDiscriminator out;
    out.Rate = rate;
    out.BitLength = bitLength;
    out.Window = windowLength;
    {
        const double dw = 2 * M_PI * (tones.Space - tones.Mark) / rate;
        double re = 0;
        double im = 0;
        for (int k = 0; k < windowLength; ++k) {
            re += std::cos(dw * k);
            im += std::sin(dw * k);
        }
        out.Leakage = std::sqrt(re * re + im * im) / windowLength;
    }
    const std::size_t n = x.size();
    const auto window = static_cast<std::size_t>(windowLength);
    out.Mark.assign(n, 0.0f);
    out.Space.assign(n, 0.0f);
    out.LevelCheckpoints.reserve(n / TDiscriminator::LevelStride + 1);
    // Each tone's level follows its energy while it is the stronger tone.
    out.LevelRate = 1.0 / (16.0 * bitLength);
    TDiscriminator::TLevels levels;
    // Oscillators e^(-j w n) for both tones, in plain real arithmetic (complex
    // products with their infinity checks would cost more than the rest).
    double stepRe[2], stepIm[2], oscRe[2] = {1.0, 1.0}, oscIm[2] = {0.0, 0.0};
    double sumRe[2] = {0.0, 0.0}, sumIm[2] = {0.0, 0.0};
    const double frequencies[2] = {tones.Mark, tones.Space};
    for (int t = 0; t < 2; ++t) {
        stepRe[t] = std::cos(-2.0 * M_PI * frequencies[t] / rate);
        stepIm[t] = std::sin(-2.0 * M_PI * frequencies[t] / rate);
    }
    std::vector<double> ring(4 * window, 0.0);  // the products inside the window
    std::size_t slot = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double sample = x[i];
        double* old = &ring[4 * slot];
        for (int t = 0; t < 2; ++t) {
            const double re = sample * oscRe[t];
            const double im = sample * oscIm[t];
            sumRe[t] += re - old[2 * t];
            sumIm[t] += im - old[2 * t + 1];
            old[2 * t] = re;
            old[2 * t + 1] = im;
            const double nextRe = oscRe[t] * stepRe[t] - oscIm[t] * stepIm[t];
            oscIm[t] = oscRe[t] * stepIm[t] + oscIm[t] * stepRe[t];
            oscRe[t] = nextRe;
        }
        if (++slot == window) {
            slot = 0;
        }
        if ((i & 1023) == 0) {
            for (int t = 0; t < 2; ++t) {  // keep the oscillators on the unit circle
                const double norm = std::sqrt(oscRe[t] * oscRe[t] + oscIm[t] * oscIm[t]);
                oscRe[t] /= norm;
                oscIm[t] /= norm;
            }
        }
        out.Mark[i] = static_cast<float>(sumRe[0] * sumRe[0] + sumIm[0] * sumIm[0]);
        out.Space[i] = static_cast<float>(sumRe[1] * sumRe[1] + sumIm[1] * sumIm[1]);
        if (i % TDiscriminator::LevelStride == 0) {
            out.LevelCheckpoints.push_back(levels);
        }
        out.UpdateLevels(levels, out.Mark[i], out.Space[i]);
    }
    return out;
}

namespace {

template <typename TSource>
TDiscriminator DiscriminateFrom(const TSource& input, double rate, const TFskTones& tones) {
    const int factor = std::max(1, static_cast<int>(std::floor(rate / kTargetRate + 0.01)));
    const double workingRate = rate / factor;
    const double bitLength = workingRate / tones.Baud;
    const int window = std::max(2, static_cast<int>(std::lround(bitLength)));
    std::vector<float> x = DecimateFrom(input, factor);
    RemoveDc(x, workingRate, kHighPassHz);
    return CorrelateTones(x, workingRate, bitLength, window, tones);
}

}  // namespace

TDiscriminator Discriminate(const std::vector<float>& input, double rate, const TFskTones& tones) {
    return DiscriminateFrom(input, rate, tones);
}

TDiscriminator DiscriminateImage(const Bytes& image, const TFskTones& tones) {
    return DiscriminateFrom(TImageSamples(image), 44100.0, tones);
}

}  // namespace ringlark
