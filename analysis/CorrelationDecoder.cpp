#include "CorrelationDecoder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>

#include "MessageBuilder.h"
#include "WavImage.h"

namespace ringlark {

namespace {

constexpr double kBaud = 1200.0;
constexpr double kMark = 1200.0;
constexpr double kSpace = 2200.0;
constexpr double kTargetRate = 11025.0;
constexpr double kHighPassHz = 300.0;
constexpr int kBitsPerFrame = 10;
constexpr double kMinLeadMark = 0.35;  // mean decision over the bits before a message
constexpr int kLeadBits = 8;
constexpr double kMinClarity = 0.45;    // mean |decision| over a message's bits
constexpr double kMinStopMarks = 0.75;  // share of stop bits read as marks

// The working signal: one decision value per working sample.
struct TDiscriminator {
    std::vector<float> D;
    double Rate = 0;
    double BitLength = 0;  // working samples per bit
    int Window = 0;

    float At(double position) const {
        if (position <= 0) {
            return D.empty() ? 0.0f : D.front();
        }
        const auto i = static_cast<std::size_t>(position);
        if (i + 1 >= D.size()) {
            return D.empty() ? 0.0f : D.back();
        }
        const float f = static_cast<float>(position - static_cast<double>(i));
        return D[i] + (D[i + 1] - D[i]) * f;
    }
};

TDiscriminator Discriminate(const std::vector<float>& input, double rate) {
    TDiscriminator out;
    const int factor = std::max(1, static_cast<int>(std::floor(rate / kTargetRate + 0.01)));
    out.Rate = rate / factor;
    out.BitLength = out.Rate / kBaud;
    out.Window = std::max(2, static_cast<int>(std::lround(out.BitLength)));
    if (input.empty()) {
        return out;
    }
    // Decimation through a triangular low-pass (two cascaded averages of
    // `factor` samples), computed only where an output is needed.
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
    for (std::size_t o = 0; o < outputs; ++o) {
        const std::size_t centre = o * static_cast<std::size_t>(factor);
        float acc = 0;
        for (std::size_t k = 0; k < taps.size(); ++k) {
            const std::ptrdiff_t i = static_cast<std::ptrdiff_t>(centre + k) - (factor - 1);
            const std::size_t at = static_cast<std::size_t>(
                std::clamp<std::ptrdiff_t>(i, 0, static_cast<std::ptrdiff_t>(input.size()) - 1));
            acc += taps[k] * input[at];
        }
        x[o] = acc;
    }
    // A one-pole high-pass takes out DC and hum.
    const float alpha = static_cast<float>(1.0 - std::exp(-2.0 * M_PI * kHighPassHz / out.Rate));
    float mean = x.front();
    for (float& v : x) {
        mean += alpha * (v - mean);
        v -= mean;
    }

    // Quadrature correlation over one bit for each tone, as running sums.
    const std::size_t n = x.size();
    const auto window = static_cast<std::size_t>(out.Window);
    out.D.assign(n, 0.0f);
    std::array<std::complex<double>, 2> step = {std::polar(1.0, -2.0 * M_PI * kMark / out.Rate),
                                                std::polar(1.0, -2.0 * M_PI * kSpace / out.Rate)};
    std::array<std::complex<double>, 2> osc = {1.0, 1.0};
    std::array<std::complex<double>, 2> sum = {0.0, 0.0};
    std::vector<std::array<std::complex<float>, 2>> ring(window);
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t slot = i % window;
        for (int t = 0; t < 2; ++t) {
            const std::complex<double> product = static_cast<double>(x[i]) * osc[t];
            sum[t] += product - std::complex<double>(ring[slot][t]);
            ring[slot][t] = std::complex<float>(product);
            osc[t] *= step[t];
        }
        if ((i & 1023) == 0) {
            for (auto& o : osc) {
                o /= std::abs(o);  // keep the oscillators on the unit circle
            }
        }
        const double mark = std::norm(sum[0]);
        const double space = std::norm(sum[1]);
        const double total = mark + space;
        out.D[i] = total > 1e-12 ? static_cast<float>((mark - space) / total) : 0.0f;
    }
    return out;
}

struct TTry {
    double Offset;    // shift of the sampling points, in bits
    float Threshold;  // slicer level
    double Gain;      // how far each byte's edge follows the measured crossing
};

constexpr std::array<TTry, 9> kTries = {{
    {0.0, 0.0f, 0.5},
    {0.0, 0.0f, 0.0},
    {0.0, 0.0f, 1.0},
    {0.12, 0.0f, 0.5},
    {-0.12, 0.0f, 0.5},
    {0.0, 0.15f, 0.5},
    {0.0, -0.15f, 0.5},
    {0.12, 0.0f, 0.0},
    {-0.12, 0.0f, 0.0},
}};

// The first downward zero crossing of d in [from, to), to a fraction of a sample.
double FindCrossing(const TDiscriminator& s, double from, double to) {
    auto i = static_cast<std::ptrdiff_t>(std::max(1.0, std::floor(from)));
    const auto end = std::min(static_cast<std::ptrdiff_t>(s.D.size()),
                              static_cast<std::ptrdiff_t>(std::ceil(to)));
    for (; i < end; ++i) {
        const float a = s.D[static_cast<std::size_t>(i - 1)];
        const float b = s.D[static_cast<std::size_t>(i)];
        if (a > 0 && b <= 0) {
            return static_cast<double>(i - 1) + static_cast<double>(a / (a - b));
        }
    }
    return -1;
}

struct TAttempt {
    Bytes Message;
    std::vector<Bytes> Frames;
    double End = 0;
    bool Valid = false;
};

TAttempt DecodeFrom(const TDiscriminator& s, double firstEdge, const TTry& t) {
    TAttempt attempt;
    const double bit = s.BitLength;
    double edge = firstEdge;
    std::size_t expected = 3;  // type and length first; then the length tells
    int stopMarks = 0;
    double clarity = 0;
    int bits = 0;
    for (std::size_t byte = 0; byte < expected; ++byte) {
        // The stop bit must begin inside the recording; a recording that ends
        // with it is read with the last decision held.
        if (edge < 0 || edge + (kBitsPerFrame - 1) * bit >= static_cast<double>(s.D.size())) {
            return attempt;  // the recording ends inside the message
        }
        Bytes frame;
        unsigned value = 0;
        for (int k = 0; k < kBitsPerFrame; ++k) {
            const float d = s.At(edge + (k + 0.5 + t.Offset) * bit);
            const bool mark = d > t.Threshold;
            frame += mark ? '1' : '0';
            clarity += std::fabs(d);
            ++bits;
            if (k >= 1 && k <= 8 && mark) {
                value |= 1u << (k - 1);
            }
        }
        stopMarks += frame[9] == '1' ? 1 : 0;
        attempt.Message += static_cast<char>(value);
        attempt.Frames.push_back(frame);
        if (byte == 0 && !IsKnownMessageType(static_cast<uint8_t>(value))) {
            return attempt;
        }
        if (byte == 1) {
            expected = value + 3u;
        }
        // The next start bit: predicted ten bits on, pulled towards the crossing
        // found near there (a pause of idle marks between bytes is allowed).
        const double predicted = edge + kBitsPerFrame * bit;
        const double measured = FindCrossing(s, predicted - 0.5 * bit, predicted + 0.5 * bit);
        if (measured >= 0) {
            edge = predicted + t.Gain * (measured - predicted);
        } else {
            const double later = FindCrossing(s, predicted + 0.5 * bit, predicted + 20 * bit);
            edge = byte + 1 < expected && later >= 0 ? later : predicted;
        }
    }
    attempt.End = edge;
    const auto length = attempt.Message.size();
    const bool checksum = CidChecksum(std::string_view(attempt.Message).substr(0, length - 1)) ==
                          ByteAt(attempt.Message, length - 1);
    attempt.Valid = checksum && stopMarks >= kMinStopMarks * static_cast<double>(length) &&
                    clarity / bits >= kMinClarity;
    return attempt;
}

// Mean decision over the bits before an edge: a message follows a run of marks.
bool MarkBefore(const TDiscriminator& s, double edge) {
    double sum = 0;
    for (int k = 1; k <= kLeadBits; ++k) {
        sum += s.At(edge - (k - 0.5) * s.BitLength);
    }
    return sum / kLeadBits >= kMinLeadMark;
}

}  // namespace

std::vector<TCorrMessage> TCorrelationDecoder::Decode(const std::vector<float>& samples,
                                                      double sampleRate) const {
    std::vector<TCorrMessage> found;
    if (sampleRate < 4000 || samples.size() < 64) {
        return found;
    }
    const TDiscriminator s = Discriminate(samples, sampleRate);
    double position = kLeadBits * s.BitLength;
    while (true) {
        const double edge = FindCrossing(s, position, static_cast<double>(s.D.size()));
        if (edge < 0) {
            break;
        }
        position = edge + 0.25 * s.BitLength;
        if (!MarkBefore(s, edge)) {
            continue;
        }
        for (const TTry& t : kTries) {
            const TAttempt attempt = DecodeFrom(s, edge, t);
            if (attempt.Valid) {
                found.push_back({edge / s.Rate, attempt.Message, attempt.Frames});
                position = std::max(position, attempt.End - 0.5 * s.BitLength);
                break;
            }
            if (attempt.Message.empty()) {
                break;  // too near the end of the recording for any message
            }
        }
    }
    return found;
}

std::vector<TCorrMessage> TCorrelationDecoder::DecodeImage(const Bytes& image) const {
    std::vector<float> samples;
    if (image.size() > WavHeaderSize) {
        samples.reserve(image.size() - WavHeaderSize);
        for (std::size_t i = WavHeaderSize; i < image.size(); ++i) {
            samples.push_back((static_cast<float>(ByteAt(image, i)) - 128.0f) / 128.0f);
        }
    }
    return Decode(samples, 44100.0);
}

}  // namespace ringlark
