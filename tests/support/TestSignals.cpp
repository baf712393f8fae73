#include "tests/support/TestSignals.h"

#include <algorithm>
#include <cmath>

#include "core/WavImage.h"
#include "generation/MessageBuilder.h"

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
    return AddNoiseAtPower(samples, MeanPower(samples), snrDb, padding, seed);
}

std::vector<float> AddNoiseAtPower(const std::vector<float>& samples, double power, double snrDb,
                                   std::size_t padding, uint64_t seed) {
    const double sigma = std::sqrt(power / std::pow(10.0, snrDb / 10.0));
    TGaussianNoise noise(seed);
    std::vector<float> out(samples.size() + 2 * padding);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const float signal =
            i >= padding && i - padding < samples.size() ? samples[i - padding] : 0.0f;
        out[i] = signal + static_cast<float>(sigma * noise.Next());
    }
    return out;
}

std::vector<float> CallWaitingAlerts(double rate, double amplitude) {
    std::vector<float> out;
    const auto tones = [&](std::initializer_list<double> hz, double share, double seconds) {
        const auto n = static_cast<std::size_t>(std::lround(seconds * rate));
        for (std::size_t i = 0; i < n; ++i) {
            double v = 0;
            for (double f : hz) {
                v += share * std::sin(2 * M_PI * f * static_cast<double>(i) / rate);
            }
            out.push_back(static_cast<float>(amplitude * v));
        }
    };
    tones({440.0}, 1.0, 0.300);
    tones({2130.0, 2750.0}, 0.5, 0.100);
    out.resize(out.size() + static_cast<std::size_t>(std::lround(0.200 * rate)), 0.0f);
    return out;
}

std::vector<float> SynthesiseFsk(const Bytes& message, const TFskSignal& signal) {
    std::vector<bool> bits;
    const auto frame = [&bits, &signal](uint8_t b) {
        bits.push_back(false);
        for (int i = 0; i < 8; ++i) {
            bits.push_back(((b >> i) & 1) != 0);
        }
        bits.insert(bits.end(), static_cast<std::size_t>(1 + signal.IdleBits), true);
    };
    for (int i = 0; i < signal.SeizureBits; ++i) {
        bits.push_back(i % 2 == 1);
    }
    bits.insert(bits.end(), static_cast<std::size_t>(signal.MarkBits), true);
    for (char c : message) {
        frame(static_cast<uint8_t>(c));
    }
    const double samplesPerBit = signal.Rate / (1200.0 * signal.BaudFactor);
    const double spaceGain = std::pow(10.0, signal.TwistDb / 20.0);
    const std::size_t messageStart =
        static_cast<std::size_t>(signal.SeizureBits) + static_cast<std::size_t>(signal.MarkBits);
    std::vector<double> otherShare(bits.size(), 0.0);
    for (const auto& [dataBit, share] : signal.Blends) {
        otherShare[messageStart + dataBit / 8 * static_cast<std::size_t>(10 + signal.IdleBits) + 1 +
                   dataBit % 8] = share;
    }
    // Where each bit ends, in samples: on the bit clock's grid, each end
    // moved at random by up to BitJitter of a bit.
    std::vector<double> ends;
    TGaussianNoise jitter(signal.JitterSeed);
    for (std::size_t i = 0; i < bits.size(); ++i) {
        const double u = signal.BitJitter > 0 ? std::clamp(jitter.Next() / 1.7, -1.0, 1.0) : 0.0;
        ends.push_back(samplesPerBit * (static_cast<double>(i + 1) + signal.BitJitter * u));
    }
    std::vector<float> out;
    double phase = signal.StartPhase;
    double otherPhase = 0;  // the other tone of a blended bit, free-running
    std::size_t bit = 0;
    for (std::size_t n = 0;; ++n) {
        if (signal.BitJitter > 0) {
            while (bit < bits.size() && static_cast<double>(n) >= ends[bit]) {
                ++bit;
            }
        } else {
            bit = static_cast<std::size_t>(static_cast<double>(n) / samplesPerBit);
        }
        if (bit >= bits.size()) {
            break;
        }
        const bool mark = bits[bit];
        const double f = (mark ? signal.MarkHz : signal.SpaceHz) * signal.ToneFactor;
        const double other = (mark ? signal.SpaceHz : signal.MarkHz) * signal.ToneFactor;
        const double share = otherShare[bit];
        if (signal.SwitchedTones) {
            phase = 2 * M_PI * f * static_cast<double>(n) / signal.Rate +
                    (mark ? signal.StartPhase : 2.1 * signal.StartPhase + 1.0);
        }
        const double own = (1 - share) * (mark ? 1.0 : spaceGain) * std::sin(phase);
        const double blended = share * (mark ? spaceGain : 1.0) * std::sin(otherPhase);
        out.push_back(static_cast<float>(signal.Amplitude * (own + blended)));
        phase += 2 * M_PI * f / signal.Rate;
        otherPhase += 2 * M_PI * other / signal.Rate;
    }
    return out;
}

void ClipSamples(std::vector<float>& samples, float level) {
    for (float& s : samples) {
        s = std::clamp(s, -level, level);
    }
}

void AddHarmonics(std::vector<float>& samples, double amplitude, double second, double third) {
    // Chebyshev polynomials: T2(sin t) = -cos 2t and T3(sin t) = -sin 3t, so
    // the fundamental keeps its amplitude.
    for (float& s : samples) {
        const double u = s / amplitude;
        s = static_cast<float>(
            s + amplitude * (second * (2 * u * u - 1) + third * (4 * u * u * u - 3 * u)));
    }
}

void AddHum(std::vector<float>& samples, double rate, double frequency, double levelDb) {
    const double amplitude = std::sqrt(2.0 * MeanPower(samples) * std::pow(10.0, levelDb / 10.0));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] += static_cast<float>(
            amplitude * std::sin(2 * M_PI * frequency * static_cast<double>(i) / rate));
    }
}

void RepeatSamples(std::vector<float>& samples, std::size_t at, std::size_t length,
                   std::size_t delay) {
    if (delay == 0 || at < delay || at >= samples.size()) {
        return;
    }
    const std::size_t end = std::min(samples.size(), at + length);
    const std::vector<float> earlier(samples.begin() + static_cast<std::ptrdiff_t>(at - delay),
                                     samples.begin() + static_cast<std::ptrdiff_t>(end - delay));
    std::copy(earlier.begin(), earlier.end(), samples.begin() + static_cast<std::ptrdiff_t>(at));
}

void DropSamples(std::vector<float>& samples, std::size_t at, std::size_t count) {
    if (at >= samples.size()) {
        return;
    }
    const std::size_t end = std::min(samples.size(), at + count);
    samples.erase(samples.begin() + static_cast<std::ptrdiff_t>(at),
                  samples.begin() + static_cast<std::ptrdiff_t>(end));
}

std::vector<TGlitch> RandomGlitches(uint64_t seed, int count, std::size_t from, std::size_t to,
                                    double rate, double bit, bool drops) {
    uint64_t state = seed * 0xD1B54A32D192ED03ull + 77;
    const auto uniform = [&state] {  // in [0, 1)
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return static_cast<double>((state * 2685821657736338717ull) >> 11) * 0x1.0p-53;
    };
    std::vector<TGlitch> glitches;
    for (int i = 0; i < count && to > from; ++i) {
        TGlitch g;
        g.At = from + static_cast<std::size_t>(uniform() * static_cast<double>(to - from));
        g.Length = std::max<std::size_t>(
            1, static_cast<std::size_t>(std::lround((0.0002 + 0.0008 * uniform()) * rate)));
        const double delay = (0.25 + 0.75 * uniform()) * bit;
        g.Delay =
            drops ? 0 : std::max<std::size_t>(1, static_cast<std::size_t>(std::lround(delay)));
        glitches.push_back(g);
    }
    std::sort(glitches.begin(), glitches.end(),
              [](const TGlitch& a, const TGlitch& b) { return a.At < b.At; });
    return glitches;
}

void ApplyGlitches(std::vector<float>& samples, const std::vector<TGlitch>& glitches) {
    for (auto g = glitches.rbegin(); g != glitches.rend(); ++g) {
        if (g->Delay == 0) {
            DropSamples(samples, g->At, g->Length);
        } else {
            RepeatSamples(samples, g->At, g->Length, g->Delay);
        }
    }
}

namespace {

// One biquad section (RBJ cookbook), run in place.
void Biquad(std::vector<float>& x, double rate, double frequency, bool highPass) {
    const double w = 2 * M_PI * frequency / rate;
    const double alpha = std::sin(w) / (2 * M_SQRT1_2);
    const double c = std::cos(w);
    const double a0 = 1 + alpha;
    const double b0 = (highPass ? (1 + c) / 2 : (1 - c) / 2) / a0;
    const double b1 = (highPass ? -(1 + c) : (1 - c)) / a0;
    const double b2 = b0;
    const double a1 = -2 * c / a0;
    const double a2 = (1 - alpha) / a0;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (float& v : x) {
        const double y = b0 * v + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = v;
        y2 = y1;
        y1 = y;
        v = static_cast<float>(y);
    }
}

}  // namespace

std::vector<float> TelephoneBand(const std::vector<float>& samples, double rate) {
    std::vector<float> out = samples;
    Biquad(out, rate, 300.0, true);
    if (rate > 2 * 3400.0) {
        Biquad(out, rate, 3400.0, false);
    }
    return out;
}

TCidRequest ExampleMdmfRequest() {
    TCidRequest request;
    request.Kind = TMessageKind::Mdmf;
    request.NumberText = "8005551212";
    request.NameText = "JOHN DOE";
    request.DateText = "1207";
    request.TimeText = "0930";
    return request;
}

Bytes ExampleMdmfMessage() {
    return BuildCidMessage(ExampleMdmfRequest(), {});
}

Bytes RandomMdmfMessage(uint64_t seed) {
    uint64_t state = seed * 0x9E3779B97F4A7C15ull + 12345;
    const auto next = [&state](uint64_t range) {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return (state * 2685821657736338717ull >> 33) % range;
    };
    const auto two = [](uint64_t v) {
        return std::string(1, static_cast<char>('0' + v / 10)) + static_cast<char>('0' + v % 10);
    };
    TCidRequest request;
    request.Kind = TMessageKind::Mdmf;
    request.DateText = two(1 + next(12)) + two(1 + next(28));
    request.TimeText = two(next(24)) + two(next(60));
    for (int i = 0; i < 10; ++i) {
        request.NumberText += static_cast<char>('0' + next(10));
    }
    const auto nameLength = 4 + next(12);
    for (uint64_t i = 0; i < nameLength; ++i) {
        request.NameText += i % 5 == 4 ? ' ' : static_cast<char>('A' + next(26));
    }
    return BuildCidMessage(request, {});
}

// Voice-like sound: a gliding fundamental with its harmonics shaped by two
// moving formants, syllables of 150 to 300 ms, and breath noise.
std::vector<float> SpeechLike(double rate, uint64_t seed, double seconds) {
    TGaussianNoise noise(seed);
    std::vector<float> samples;
    double phase = 0;
    const double f0Base = 90 + 20 * static_cast<double>(seed % 7);
    for (std::size_t i = 0; i < static_cast<std::size_t>(seconds * rate); ++i) {
        const double t = static_cast<double>(i) / rate;
        const double f0 = f0Base * (1 + 0.15 * std::sin(2 * M_PI * 1.3 * t) +
                                    0.05 * std::sin(2 * M_PI * 5.1 * t));
        phase += 2 * M_PI * f0 / rate;
        const double formant1 = 500 + 300 * std::sin(2 * M_PI * 2.1 * t);
        const double formant2 = 1500 + 700 * std::sin(2 * M_PI * 1.7 * t + 1);
        double v = 0;
        for (int h = 1; h * f0 < 3400; ++h) {
            const double f = h * f0;
            const double gain = std::exp(-std::pow((f - formant1) / 200, 2)) +
                                0.5 * std::exp(-std::pow((f - formant2) / 300, 2)) + 0.02;
            v += gain * std::sin(h * phase);
        }
        const double syllable = std::pow(std::sin(M_PI * std::fmod(t * 4.3, 1.0)), 2);
        samples.push_back(static_cast<float>(0.1 * syllable * v + 0.01 * noise.Next()));
    }
    return samples;
}

}  // namespace ringlark
