#include "analysis/CorrelationDecoder.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "generation/MessageBuilder.h"
#include "generation/WavImage.h"

namespace ringlark {

namespace {

constexpr double kBaud = 1200.0;
constexpr double kMark = 1200.0;
constexpr double kSpace = 2200.0;
constexpr double kTargetRate = 11025.0;
constexpr double kHighPassHz = 300.0;
constexpr int kBitsPerFrame = 10;
constexpr double kMinLeadMark = 0.5;  // mean decision over the bits before a message
constexpr int kLeadBits = 16;
constexpr double kMinClarity = 0.45;    // mean |decision| over a message's bits
constexpr double kMinStopMarks = 0.75;  // share of stop bits read as marks

// The working signal: per working sample the energies of the two tones over
// the last bit, and each tone's recent level. The decision value, mark minus
// space over mark plus space (in -1 to 1), is formed where it is read.
struct TDiscriminator {
    std::vector<float> Mark;
    std::vector<float> Space;
    // Each tone's level follows its energy while it is the stronger tone; the
    // balanced decision takes each energy relative to its own level, so that a
    // weaker space tone (twist) counts as much as the mark.
    std::vector<float> MarkLevel;
    std::vector<float> SpaceLevel;
    double Rate = 0;
    double BitLength = 0;  // working samples per bit
    int Window = 0;

    std::size_t Size() const { return Mark.size(); }

    float D(std::size_t i, bool balanced = false) const {
        if (balanced) {
            // Each tone's correlation amplitude weighted by that tone's own
            // amplitude, less half its energy: the likelihood comparison of two
            // tones received at different levels.
            const double mark =
                std::sqrt(static_cast<double>(Mark[i]) * MarkLevel[i]) - MarkLevel[i] / 2;
            const double space =
                std::sqrt(static_cast<double>(Space[i]) * SpaceLevel[i]) - SpaceLevel[i] / 2;
            const double scale = (static_cast<double>(MarkLevel[i]) + SpaceLevel[i]) / 2;
            return scale > 1e-30 ? static_cast<float>(std::clamp((mark - space) / scale, -1.0, 1.0))
                                 : 0.0f;
        }
        const double m = Mark[i];
        const double sp = Space[i];
        return m + sp > 1e-30 ? static_cast<float>((m - sp) / (m + sp)) : 0.0f;
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
    const auto last = static_cast<std::ptrdiff_t>(input.size()) - 1;
    for (std::size_t o = 0; o < outputs; ++o) {
        const std::ptrdiff_t first = static_cast<std::ptrdiff_t>(o) * factor - (factor - 1);
        float acc = 0;
        if (first >= 0 && first + static_cast<std::ptrdiff_t>(taps.size()) - 1 <= last) {
            const float* in = input.data() + first;
            for (std::size_t k = 0; k < taps.size(); ++k) {
                acc += taps[k] * in[k];
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
    out.Mark.assign(n, 0.0f);
    out.Space.assign(n, 0.0f);
    out.MarkLevel.assign(n, 0.0f);
    out.SpaceLevel.assign(n, 0.0f);
    // Each tone's level follows its energy while it is the stronger tone.
    const double levelRate = 1.0 / (16.0 * out.BitLength);
    double markLevel = 0;
    double spaceLevel = 0;
    // Oscillators e^(-j w n) for both tones, in plain real arithmetic (complex
    // products with their infinity checks would cost more than the rest).
    double stepRe[2], stepIm[2], oscRe[2] = {1.0, 1.0}, oscIm[2] = {0.0, 0.0};
    double sumRe[2] = {0.0, 0.0}, sumIm[2] = {0.0, 0.0};
    const double tones[2] = {kMark, kSpace};
    for (int t = 0; t < 2; ++t) {
        stepRe[t] = std::cos(-2.0 * M_PI * tones[t] / out.Rate);
        stepIm[t] = std::sin(-2.0 * M_PI * tones[t] / out.Rate);
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
        const double mark = sumRe[0] * sumRe[0] + sumIm[0] * sumIm[0];
        const double space = sumRe[1] * sumRe[1] + sumIm[1] * sumIm[1];
        if (mark > space) {
            markLevel += levelRate * (mark - markLevel);
        } else {
            spaceLevel += levelRate * (space - spaceLevel);
        }
        out.Mark[i] = static_cast<float>(mark);
        out.Space[i] = static_cast<float>(space);
        out.MarkLevel[i] = static_cast<float>(markLevel);
        out.SpaceLevel[i] = static_cast<float>(spaceLevel);
    }
    return out;
}

struct TTry {
    double Offset;          // shift of the sampling points, in bits
    float Threshold;        // slicer level
    double Gain;            // how far each byte's edge follows the measured crossing
    bool Balanced = false;  // read the tones relative to their own levels
    // Levels measured on a first reading of the message (0: not used).
    double MarkLevel = 0;
    double SpaceLevel = 0;
};

// Tried in order until one gives a valid message. Higher slicer levels suit a
// space tone weaker than the mark (twist), lower ones the reverse.
constexpr std::array<TTry, 17> kTries = {{
    {0.0, 0.0f, 0.5},
    {0.0, 0.0f, 0.0},
    {0.0, 0.0f, 1.0},
    {0.12, 0.0f, 0.5},
    {-0.12, 0.0f, 0.5},
    {0.0, 0.15f, 0.5},
    {0.0, -0.15f, 0.5},
    {0.12, 0.0f, 0.0},
    {-0.12, 0.0f, 0.0},
    {0.0, 0.3f, 0.5},
    {0.0, -0.3f, 0.5},
    {0.0, 0.45f, 0.5},
    {0.0, -0.45f, 0.5},
    {0.0, 0.0f, 0.5, true},
    {0.12, 0.0f, 0.5, true},
    {-0.12, 0.0f, 0.5, true},
    {0.0, 0.0f, 0.0, true},
}};

// The first downward crossing of d through the level in [from, to), to a
// fraction of a sample.
double FindCrossing(const TDiscriminator& s, double from, double to, float level = 0.0f) {
    auto i = static_cast<std::ptrdiff_t>(std::max(1.0, std::floor(from)));
    const auto end =
        std::min(static_cast<std::ptrdiff_t>(s.Size()), static_cast<std::ptrdiff_t>(std::ceil(to)));
    bool above = i - 1 < end && s.Above(static_cast<std::size_t>(i - 1), level);
    for (; i < end; ++i) {
        const bool now = s.Above(static_cast<std::size_t>(i), level);
        if (above && !now) {
            const float a = s.D(static_cast<std::size_t>(i - 1)) - level;
            const float b = s.D(static_cast<std::size_t>(i)) - level;
            return static_cast<double>(i - 1) +
                   (a - b > 0 ? static_cast<double>(a / (a - b)) : 0.0);
        }
        above = now;
    }
    return -1;
}

struct TAttempt {
    Bytes Message;
    std::vector<Bytes> Frames;
    double End = 0;
    bool Valid = false;
    // Mean decisions over the bits read as marks and as spaces: their midpoint
    // is the slicer level that suits the tones' levels (a twist moves it).
    double MarkMean = 0;
    double SpaceMean = 0;
    // Sums of each tone's energy over the bits read as that tone.
    double MarkEnergy = 0;
    double SpaceEnergy = 0;
    int MarkBits = 0;
    int Bits = 0;
};

TAttempt DecodeFrom(const TDiscriminator& s, double firstEdge, const TTry& t) {
    TAttempt attempt;
    const double bit = s.BitLength;
    double edge = firstEdge;
    std::size_t expected = 3;  // type and length first; then the length tells
    int stopMarks = 0;
    double clarity = 0;
    int bits = 0;
    double markSum = 0;
    double spaceSum = 0;
    int marks = 0;
    for (std::size_t byte = 0; byte < expected; ++byte) {
        // The stop bit must begin inside the recording; a recording that ends
        // with it is read with the last decision held.
        if (edge < 0 || edge + (kBitsPerFrame - 1) * bit >= static_cast<double>(s.Size())) {
            return attempt;  // the recording ends inside the message
        }
        Bytes frame;
        unsigned value = 0;
        for (int k = 0; k < kBitsPerFrame; ++k) {
            const double at = edge + (k + 0.5 + t.Offset) * bit;
            const float d = t.MarkLevel > 0 ? s.AtWithLevels(at, t.MarkLevel, t.SpaceLevel)
                                            : s.At(at, t.Balanced);
            const auto sample = std::min(static_cast<std::size_t>(std::max(0.0, at)), s.Size() - 1);
            const bool mark = d > t.Threshold;
            frame += mark ? '1' : '0';
            clarity += std::fabs(d - t.Threshold);
            ++bits;
            (mark ? markSum : spaceSum) += d;
            marks += mark ? 1 : 0;
            (mark ? attempt.MarkEnergy : attempt.SpaceEnergy) +=
                mark ? s.Mark[sample] : s.Space[sample];
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
        const double measured =
            FindCrossing(s, predicted - 0.5 * bit, predicted + 0.5 * bit, t.Threshold);
        if (measured >= 0) {
            edge = predicted + t.Gain * (measured - predicted);
        } else {
            const double later =
                FindCrossing(s, predicted + 0.5 * bit, predicted + 20 * bit, t.Threshold);
            edge = byte + 1 < expected && later >= 0 ? later : predicted;
        }
    }
    attempt.End = edge;
    attempt.MarkBits = marks;
    attempt.Bits = bits;
    attempt.MarkMean = marks > 0 ? markSum / marks : 1.0;
    attempt.SpaceMean = bits > marks ? spaceSum / (bits - marks) : -1.0;
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
        const double edge = FindCrossing(s, position, static_cast<double>(s.Size()));
        if (edge < 0) {
            break;
        }
        // always onwards, also when the crossing lies just before `position`
        position = std::max(position + 1.0, edge + 0.25 * s.BitLength);
        if (!MarkBefore(s, edge)) {
            continue;
        }
        std::vector<TTry> tries(kTries.begin(), kTries.end());
        for (std::size_t i = 0; i < tries.size(); ++i) {
            const TTry& t = tries[i];
            // A start found at the slicer level of this try.
            const double start =
                t.Threshold == 0.0f
                    ? edge
                    : FindCrossing(s, edge - s.BitLength, edge + s.BitLength, t.Threshold);
            const TAttempt attempt = DecodeFrom(s, start < 0 ? edge : start, t);
            if (attempt.Valid) {
                found.push_back({edge / s.Rate, attempt.Message, attempt.Frames});
                position = std::max(position, attempt.End - 0.5 * s.BitLength);
                break;
            }
            if (attempt.Message.empty()) {
                break;  // too near the end of the recording for any message
            }
            if (i == 0 && attempt.Message.size() > 2) {
                // A whole message was read but did not check: retry at the
                // slicer level its own decisions suggest (tones of unequal level).
                const auto level = static_cast<float>((attempt.MarkMean + attempt.SpaceMean) / 2);
                for (double offset : {0.0, 0.12, -0.12}) {
                    for (double gain : {0.5, 0.0}) {
                        tries.push_back({offset, level, gain});
                    }
                }
                tries.push_back({0.0, level + 0.15f, 0.5});
                tries.push_back({0.0, level - 0.15f, 0.5});
                // and with each tone weighted by the level it had in that reading
                const int spaceBits = attempt.Bits - attempt.MarkBits;
                if (attempt.MarkBits > 0 && spaceBits > 0) {
                    const double markLevel = attempt.MarkEnergy / attempt.MarkBits;
                    const double spaceLevel = attempt.SpaceEnergy / spaceBits;
                    for (double offset : {0.0, 0.12, -0.12}) {
                        tries.push_back({offset, 0.0f, 0.5, false, markLevel, spaceLevel});
                    }
                }
            }
        }
    }
    return found;
}

std::vector<TCorrMessage> TCorrelationDecoder::DecodeImage(const Bytes& image) const {
    std::vector<float> samples(image.size() > WavHeaderSize ? image.size() - WavHeaderSize : 0);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] =
            (static_cast<float>(ByteAt(image, WavHeaderSize + i)) - 128.0f) * (1.0f / 128.0f);
    }
    return Decode(samples, 44100.0);
}

}  // namespace ringlark
