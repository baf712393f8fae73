#include "tests/support/TestSignals.h"

#include <algorithm>
#include <cmath>

#include "generation/WavImage.h"

namespace ringlark {

uint64_t TGaussianNoise::NextBits() {
    // xorshift64*
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return state_ * 2685821657736338717ull;
}

double TGaussianNoise::Next() {
    if (haveSpare_) {
        haveSpare_ = false;
        return spare_;
    }
    double u = 0;
    double v = 0;
    double s = 0;
    do {  // Marsaglia's polar method
        u = static_cast<double>(NextBits() >> 11) * 0x1.0p-53 * 2.0 - 1.0;
        v = static_cast<double>(NextBits() >> 11) * 0x1.0p-53 * 2.0 - 1.0;
        s = u * u + v * v;
    } while (s >= 1.0 || s == 0.0);
    const double scale = std::sqrt(-2.0 * std::log(s) / s);
    spare_ = v * scale;
    haveSpare_ = true;
    return u * scale;
}

std::vector<float> ImageSamples(const Bytes& image) {
    std::vector<float> samples;
    for (std::size_t i = WavHeaderSize; i < image.size(); ++i) {
        samples.push_back((static_cast<float>(ByteAt(image, i)) - 128.0f) / 128.0f);
    }
    return samples;
}

Bytes SamplesImage(const std::vector<float>& samples, uint32_t rate) {
    Bytes image(WavHeaderSize, '\0');
    image.reserve(WavHeaderSize + samples.size());
    for (float s : samples) {
        image += static_cast<char>(std::clamp(std::lround(s * 128.0f) + 128, 0L, 255L));
    }
    WriteWavHeader(image);
    for (std::size_t i = 0; i < 4; ++i) {
        image[24 + i] = static_cast<char>((rate >> (8 * i)) & 0xFF);
        image[28 + i] = static_cast<char>((rate >> (8 * i)) & 0xFF);
    }
    return image;
}

std::vector<float> Downsample(const std::vector<float>& samples, int factor) {
    std::vector<float> out;
    for (std::size_t i = 0; i + static_cast<std::size_t>(factor) <= samples.size();
         i += static_cast<std::size_t>(factor)) {
        float sum = 0;
        for (int k = 0; k < factor; ++k) {
            sum += samples[i + static_cast<std::size_t>(k)];
        }
        out.push_back(sum / static_cast<float>(factor));
    }
    return out;
}

double MeanPower(const std::vector<float>& samples) {
    double sum = 0;
    for (float s : samples) {
        sum += static_cast<double>(s) * s;
    }
    return samples.empty() ? 0.0 : sum / static_cast<double>(samples.size());
}

std::vector<float> AddNoise(const std::vector<float>& samples, double snrDb, std::size_t padding,
                            uint64_t seed) {
    const double sigma = std::sqrt(MeanPower(samples) / std::pow(10.0, snrDb / 10.0));
    TGaussianNoise noise(seed);
    std::vector<float> out(samples.size() + 2 * padding);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const float signal =
            i >= padding && i - padding < samples.size() ? samples[i - padding] : 0.0f;
        out[i] = signal + static_cast<float>(sigma * noise.Next());
    }
    return out;
}

}  // namespace ringlark
