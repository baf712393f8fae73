#include "analysis/CorrelationDecoder.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "analysis/ToneDiscriminator.h"
#include "generation/MessageBuilder.h"
#include "generation/WavImage.h"

namespace ringlark {

namespace {

constexpr int kBitsPerFrame = 10;
constexpr double kMinLeadMark = 0.5;  // mean decision over the bits before a message
constexpr int kLeadBits = 16;
constexpr double kMinClarity = 0.45;    // mean |decision| over a message's bits
constexpr double kMinStopMarks = 0.75;  // share of stop bits read as marks

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
    const TDiscriminator s = Discriminate(samples, sampleRate, kBell202Tones);
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
