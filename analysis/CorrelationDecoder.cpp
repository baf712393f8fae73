#include "analysis/CorrelationDecoder.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "analysis/FskFamily.h"
#include "analysis/MessageJudge.h"
#include "analysis/ToneDiscriminator.h"
#include "generation/MessageBuilder.h"
#include "generation/WavImage.h"
#include "inspection/MessageRules.h"

namespace ringlark {

namespace {

constexpr int kBitsPerFrame = 10;
constexpr double kMinLeadMark = 0.5;  // mean decision over the bits before a message
constexpr int kLeadBits = 16;
constexpr double kMinClarity = 0.45;  // mean |decision| over a message's bits
// The bit clock: how far back a seizure is looked for, how many of its
// crossings make a measurement, and how far from nominal a rate may be.
constexpr double kSeizureSearchBits = 560;
constexpr std::size_t kMinSeizureCrossings = 40;
constexpr double kMaxRateError = 0.05;
// The mark run: the mean decision over a bit at least this; a seizure's last
// crossing at most this many bits before the run.
constexpr double kMinRunMark = 0.3;
constexpr double kSeizureGapBits = 4;
// The most a bit with the mean decision margin may cost in log-likelihood: one
// at a third of the mean then costs about 5, so two such bits that make
// another message are a contender (see MessageJudge).
constexpr double kMarginCostScale = 15.0;

struct TTry {
    double Offset;          // shift of the sampling points, in bits
    float Threshold;        // slicer level
    double Gain;            // how far each byte's edge follows the measured crossing
    bool Balanced = false;  // read the tones relative to their own levels
    // Levels measured on a first reading of the message (0: not used).
    double MarkLevel = 0;
    double SpaceLevel = 0;
};

// Tried in order. Higher slicer levels suit a space tone weaker than the mark
// (twist), lower ones the reverse. Every try is another reading of the same
// signal; what makes trying them safe is the acceptance (MessageJudge), which
// refuses a reading unless every structural rule holds and no nearby reading
// passes too, and the agreement rule below: different accepted readings of one
// start make it uncertain.
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

// The bit length that the channel seizure before a message shows. Its
// alternating bits cross downwards every two bits, a hundred times and more,
// so the period that lines most of the crossings up measures the
// transmitter's actual bit rate far better than any one byte can: a
// transmitter 2 % fast then reads as well as a nominal one. The period is the
// peak of the crossings' periodogram near the nominal one; crossings from
// noise add only incoherently. (Chains of regularly spaced crossings were
// tried first: at 10 dB a noise crossing breaks a chain every few dozen bits
// and the estimate came out 0.2 % low.) Without a seizure (call waiting), the
// nominal length.
double SeizureBitLength(const TDiscriminator& s, double edge) {
    const double nominal = s.BitLength;
    // The mark run before the message: back from the edge while the mean
    // decision over the last bit stays a mark.
    const auto window = static_cast<std::ptrdiff_t>(std::max(1.0, std::round(nominal)));
    auto runStart = static_cast<std::ptrdiff_t>(edge - nominal);
    double sum = 0;
    for (std::ptrdiff_t j = runStart - window; j < runStart; ++j) {
        sum += j >= 0 ? s.D(static_cast<std::size_t>(j)) : 0.0f;
    }
    while (runStart > window && sum / static_cast<double>(window) >= kMinRunMark) {
        --runStart;
        sum += s.D(static_cast<std::size_t>(runStart - window)) -
               s.D(static_cast<std::size_t>(runStart));
    }
    // A seizure ends where the mark run begins; crossings of anything else
    // (the dual-tone alert of call waiting, whose beat is nearly two bits
    // long, and the quiet after it) must not set the bit clock.
    const double seizureEnd = static_cast<double>(runStart) + nominal;
    const double from = std::max(1.0, seizureEnd - kSeizureSearchBits * nominal);
    std::vector<double> crossings;
    for (double at = from; at < seizureEnd;) {
        const double c = FindCrossing(s, at, seizureEnd);
        if (c < 0) {
            break;
        }
        crossings.push_back(c - from);
        at = std::floor(c) + 2.0;  // past the sample after the crossing
    }
    if (crossings.size() < kMinSeizureCrossings ||
        crossings.back() + from < static_cast<double>(runStart) - kSeizureGapBits * nominal) {
        return nominal;
    }
    // The periodogram over a grid of angular frequencies around the nominal
    // one (a period of two bits), each crossing's phasor advanced from one
    // grid point to the next by a fixed rotation instead of new sines.
    constexpr int kSteps = 200;
    const double wNominal = M_PI / nominal;
    const double wLow = wNominal / (1 + kMaxRateError);
    const double wHigh = wNominal / (1 - kMaxRateError);
    const double dw = (wHigh - wLow) / kSteps;
    std::array<double, kSteps + 1> re{};
    std::array<double, kSteps + 1> im{};
    for (double c : crossings) {
        double zr = std::cos(wLow * c);
        double zi = std::sin(wLow * c);
        const double rr = std::cos(dw * c);
        const double ri = std::sin(dw * c);
        for (std::size_t k = 0; k <= kSteps; ++k) {
            re[k] += zr;
            im[k] += zi;
            const double next = zr * rr - zi * ri;
            zi = zr * ri + zi * rr;
            zr = next;
        }
    }
    std::array<double, kSteps + 1> values{};
    std::size_t bestK = 0;
    for (std::size_t k = 0; k <= kSteps; ++k) {
        values[k] = std::sqrt(re[k] * re[k] + im[k] * im[k]);
        if (values[k] > values[bestK]) {
            bestK = k;
        }
    }
    if (values[bestK] < static_cast<double>(kMinSeizureCrossings)) {
        return nominal;  // no seizure: the crossings do not line up
    }
    // The peak between the grid points, from a parabola through three values.
    double w = wLow + static_cast<double>(bestK) * dw;
    if (bestK > 0 && bestK < kSteps) {
        const double a = values[bestK - 1];
        const double b = values[bestK];
        const double c = values[bestK + 1];
        const double denominator = a - 2 * b + c;
        if (denominator < 0) {
            w += dw * 0.5 * (a - c) / denominator;
        }
    }
    return M_PI / w;
}

// The amplitudes of both tones' correlations where one bit was read.
struct TBitTones {
    double Mark;
    double Space;
    bool ReadAsMark;
    double Margin;  // |decision - slicer level|
};

// log I0(x), the modified Bessel function, without overflow for large x.
double LogBesselI0(double x) {
    return x < 500 ? std::log(std::cyl_bessel_i(0.0, x)) : x - 0.5 * std::log(2 * M_PI * x);
}

// What reading each data bit the other way costs in log-likelihood, for a
// non-coherent receiver: under "mark" the mark correlation is a tone of
// amplitude Am in complex Gaussian noise (Rician) and the space correlation is
// noise alone, and the other way round. The amplitudes are the mean
// correlations of the tone read; the noise power is the mean power of the tone
// not read, less what a tone leaks into the other tone's correlator over one
// bit (a known fraction of its amplitude, `leakage`).
//   LLR = log I0(Am |M| / s2) - log I0(As |S| / s2) - (Am^2 - As^2) / (2 s2)
std::vector<float> DataBitCosts(const std::vector<TBitTones>& tones, double leakage) {
    double markSum = 0, spaceSum = 0, noise = 0;
    int marks = 0;
    for (const auto& t : tones) {
        (t.ReadAsMark ? markSum : spaceSum) += t.ReadAsMark ? t.Mark : t.Space;
        noise += t.ReadAsMark ? t.Space * t.Space : t.Mark * t.Mark;
        marks += t.ReadAsMark ? 1 : 0;
    }
    const auto n = static_cast<double>(tones.size());
    const double markAmplitude = marks > 0 ? markSum / marks : 0;
    const double spaceAmplitude = n > marks ? spaceSum / (n - marks) : 0;
    const double leaked =
        leakage * leakage *
        (marks * markAmplitude * markAmplitude + (n - marks) * spaceAmplitude * spaceAmplitude) / n;
    // The noise is never taken as less than a tenth of the leakage: the tones'
    // phases make the leakage vary, and a noise power near zero would make
    // every decision look certain. (The spread of the amplitudes of the tone
    // read was tried as the noise measure too: it made weak decisions look up
    // to four times surer than they turned out to be.)
    const double s2 = std::max(noise / n - leaked, 0.1 * leaked + 1e-30) / 2;
    // The mean decision margin of each tone's bits: with a twist the weaker
    // tone's bits have smaller margins, and are measured against their own.
    double markMargin = 0;
    double spaceMargin = 0;
    for (const auto& t : tones) {
        (t.ReadAsMark ? markMargin : spaceMargin) += t.Margin;
    }
    markMargin = std::max(marks > 0 ? markMargin / marks : 0.0, 1e-6);
    spaceMargin = std::max(n > marks ? spaceMargin / (n - marks) : 0.0, 1e-6);
    std::vector<float> costs;
    costs.reserve(tones.size() / kBitsPerFrame * 8);
    for (std::size_t i = 0; i < tones.size(); ++i) {
        const int k = static_cast<int>(i % kBitsPerFrame);
        if (k < 1 || k > 8) {
            continue;
        }
        const auto& t = tones[i];
        const double llr =
            LogBesselI0(markAmplitude * t.Mark / s2) - LogBesselI0(spaceAmplitude * t.Space / s2) -
            (markAmplitude * markAmplitude - spaceAmplitude * spaceAmplitude) / (2 * s2);
        // The model knows only Gaussian noise. A bit where the other tone is
        // far above the noise (an echo, interference, a tone blended in) fits
        // neither hypothesis, and the model would call it certain; so no bit
        // is believed beyond what its share of its tone's mean decision margin
        // supports.
        const double byMargin =
            kMarginCostScale * t.Margin / (t.ReadAsMark ? markMargin : spaceMargin);
        costs.push_back(static_cast<float>(std::min(t.ReadAsMark ? llr : -llr, byMargin)));
    }
    return costs;
}

struct TAttempt {
    TSoftMessage Reading;
    // A stream whose samples end before the reading could: the size it needs.
    double NeedMore = 0;
    std::vector<Bytes> Frames;
    double End = 0;
    bool Complete = false;  // every byte the length byte asks for was read
    double Clarity = 0;     // mean |decision - level| over all bits
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

TAttempt DecodeFrom(const TDiscriminator& s, double firstEdge, double bit, const TTry& t,
                    TCidStandard standard) {
    TAttempt attempt;
    attempt.Reading.Standard = standard;
    Bytes& message = attempt.Reading.Message;
    std::vector<TBitTones> tones;  // every bit read, in order
    double edge = firstEdge;
    std::size_t expected = 3;  // type and length first; then the length tells
    bool framing = true;
    double clarity = 0;
    int bits = 0;
    double markSum = 0;
    double spaceSum = 0;
    int marks = 0;
    const auto size = static_cast<double>(s.Size());
    for (std::size_t byte = 0; byte < expected; ++byte) {
        // A stream waits until the byte and the search for the next edge lie
        // inside what has arrived.
        if (s.Open && edge + (kBitsPerFrame + 1) * bit + 2 >= size) {
            attempt.NeedMore = edge + (kBitsPerFrame + 1) * bit + 2;
            return attempt;
        }
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
            tones.push_back({std::sqrt(s.MarkAt(at)), std::sqrt(s.SpaceAt(at)), mark,
                             std::fabs(d - t.Threshold)});
            if (k >= 1 && k <= 8 && mark) {
                value |= 1u << (k - 1);
            }
        }
        framing = framing && frame[0] == '0' && frame[9] == '1';
        message += static_cast<char>(value);
        attempt.Frames.push_back(frame);
        if (byte == 0 && !IsKnownMessageTypeOf(static_cast<uint8_t>(value), standard)) {
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
            if (s.Open && predicted + 21 * bit + 2 >= size) {
                attempt.NeedMore = predicted + 21 * bit + 2;
                return attempt;
            }
            const double later =
                FindCrossing(s, predicted + 0.5 * bit, predicted + 20 * bit, t.Threshold);
            edge = byte + 1 < expected && later >= 0 ? later : predicted;
        }
    }
    attempt.Complete = true;
    attempt.Reading.FramingHolds = framing;
    attempt.Reading.DataCosts = DataBitCosts(tones, s.Leakage);
    attempt.End = edge;
    attempt.MarkBits = marks;
    attempt.Bits = bits;
    attempt.Clarity = clarity / bits;
    attempt.MarkMean = marks > 0 ? markSum / marks : 1.0;
    attempt.SpaceMean = bits > marks ? spaceSum / (bits - marks) : -1.0;
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

// After a whole reading that did not pass: readings at the slicer level its
// own decisions suggest (tones of unequal level), and with each tone weighted
// by the level it had in that reading.
void AddRetries(const TAttempt& attempt, std::vector<TTry>& tries) {
    const auto level = static_cast<float>((attempt.MarkMean + attempt.SpaceMean) / 2);
    for (double offset : {0.0, 0.12, -0.12}) {
        for (double gain : {0.5, 0.0}) {
            tries.push_back({offset, level, gain});
        }
    }
    tries.push_back({0.0, level + 0.15f, 0.5});
    tries.push_back({0.0, level - 0.15f, 0.5});
    const int spaceBits = attempt.Bits - attempt.MarkBits;
    if (attempt.MarkBits > 0 && spaceBits > 0) {
        const double markLevel = attempt.MarkEnergy / attempt.MarkBits;
        const double spaceLevel = attempt.SpaceEnergy / spaceBits;
        for (double offset : {0.0, 0.12, -0.12}) {
            tries.push_back({offset, 0.0f, 0.5, false, markLevel, spaceLevel});
        }
    }
}

// What the readings of one start gave.
struct TStartResult {
    double NeedMore = 0;  // a stream: the size it must reach before this start is read
    bool Found = false;   // some reading passed every rule, or was uncertain
    TCorrMessage Message;
    double End = 0;
};

TStartResult ReadStart(const TDiscriminator& s, double edge, TCidStandard standard) {
    TStartResult result;
    const double bit = SeizureBitLength(s, edge);
    if (s.Open && edge + 2 * (kBitsPerFrame + 1) * bit + 2 >= static_cast<double>(s.Size())) {
        result.NeedMore = edge + 2 * (kBitsPerFrame + 1) * bit + 2;
        return result;
    }
    std::vector<TTry> tries(kTries.begin(), kTries.end());
    for (std::size_t i = 0; i < tries.size(); ++i) {
        const TTry& t = tries[i];
        // A start found at the slicer level of this try.
        const double start =
            t.Threshold == 0.0f ? edge : FindCrossing(s, edge - bit, edge + bit, t.Threshold);
        const TAttempt attempt = DecodeFrom(s, start < 0 ? edge : start, bit, t, standard);
        if (attempt.NeedMore > 0) {
            return {attempt.NeedMore, false, {}, 0};  // read it again when that has arrived
        }
        if (attempt.Reading.Message.empty()) {
            break;  // too near the end of the recording for any message
        }
        if (!attempt.Complete) {
            continue;
        }
        const TVerdict verdict = attempt.Clarity >= kMinClarity
                                     ? JudgeMessage(attempt.Reading)
                                     : TVerdict{TJudgement::Refused, "decisions unclear", 0, {}};
        if (verdict.Judgement == TJudgement::Refused) {
            if (i == 0 && attempt.Reading.Message.size() > 2) {
                AddRetries(attempt, tries);
            }
            continue;
        }
        const bool uncertain = verdict.Judgement == TJudgement::Uncertain;
        if (!result.Found) {
            result.Found = true;
            result.Message = {(edge + static_cast<double>(s.Dropped)) / s.Rate,
                              attempt.Reading.Message,
                              attempt.Frames,
                              verdict.Quality,
                              uncertain,
                              verdict.Alternative,
                              standard};
            result.End = attempt.End;
        } else if (attempt.Reading.Message != result.Message.Message && !result.Message.Uncertain) {
            // Two readings of one start that both pass: neither can be trusted.
            result.Message.Uncertain = true;
            result.Message.Alternative = attempt.Reading.Message;
        }
        if (uncertain && !result.Message.Uncertain) {
            result.Message.Uncertain = true;
            result.Message.Alternative = verdict.Alternative;
        }
        // The nominal reading, taken first, needs no second opinion; a reading
        // that only a later try found is compared with every remaining try.
        if (i == 0 || result.Message.Uncertain) {
            break;
        }
    }
    return result;
}

}  // namespace

std::vector<TCorrMessage> TCorrelationDecoder::Decode(const std::vector<float>& samples,
                                                      double sampleRate) const {
    if (sampleRate < 4000 || samples.size() < 64) {
        return {};
    }
    return OwnFamily(Search(Discriminate(samples, sampleRate, Tones)), sampleRate,
                     [&](std::size_t from, std::size_t to) {
                         return Bell202OverV23(samples, sampleRate, from, to);
                     });
}

TCorrelationDecoder TCorrelationDecoder::For(TCidStandard standard) {
    TCorrelationDecoder decoder;
    if (standard == TCidStandard::EtsiV23 || standard == TCidStandard::Bt) {
        decoder.Tones = {V23MarkHz, V23SpaceHz, 1200.0};
        decoder.Standard = TCidStandard::EtsiV23;
    }
    return decoder;
}

// The mark run before each message, 40 bits up to its first start bit, is
// measured for the two families' tones: a steady tone falls in the other
// family's nulls. A Bell 202 message is dropped only when V.23 wins by a clear
// margin (twice the energy), so that no Bell 202 reading is lost to noise; a
// V.23 message must win by 1.5 times.
template <typename TRatio>
std::vector<TCorrMessage> TCorrelationDecoder::OwnFamily(std::vector<TCorrMessage> found,
                                                         double rate, TRatio ratio) const {
    const bool v23 = Tones.Mark != kBell202Tones.Mark;
    std::erase_if(found, [&](const TCorrMessage& m) {
        constexpr double kMarkRunBits = 40;
        const double bit = rate / Tones.Baud;
        const double start = std::max(0.0, m.Seconds * rate - kMarkRunBits * bit);
        const double end = std::max(0.0, m.Seconds * rate - bit);
        const double r = ratio(static_cast<std::size_t>(start), static_cast<std::size_t>(end));
        return v23 ? FamilyOfRatio(r, 1.5) != TFskFamily::V23
                   : FamilyOfRatio(r, 2.0) == TFskFamily::V23;
    });
    return found;
}

std::vector<TCorrMessage> TCorrelationDecoder::Search(const TDiscriminator& s) const {
    std::vector<TCorrMessage> found;
    TCorrelationSearch search;
    search.IncludeUncertain = IncludeUncertain;
    search.Standard = Standard;
    search.Run(s, found);
    return found;
}

void TCorrelationSearch::Run(const TDiscriminator& s, std::vector<TCorrMessage>& found) {
    if (position_ < 0) {
        position_ = kLeadBits * s.BitLength;
    }
    const auto size = static_cast<double>(s.Size());
    while (!(s.Open && size < waitFor_)) {
        const double edge = FindCrossing(s, std::max(position_, scannedTo_), size);
        if (edge < 0) {
            // nothing up to the end: a stream looks on from there next time
            scannedTo_ = std::max(scannedTo_, size - 1);
            break;
        }
        // always onwards, also when the crossing lies just before `position`
        const double next = std::max(position_ + 1.0, edge + 0.25 * s.BitLength);
        if (!MarkBefore(s, edge)) {
            position_ = next;
            continue;
        }
        TStartResult start = ReadStart(s, edge, Standard);
        if (start.NeedMore > 0) {
            waitFor_ = start.NeedMore;  // this start is read again once that has arrived
            break;
        }
        position_ = next;
        if (!start.Found) {
            continue;
        }
        position_ = std::max(position_, start.End - 0.5 * s.BitLength);
        if (!start.Message.Uncertain || IncludeUncertain) {
            found.push_back(std::move(start.Message));
        }
    }
}

double TCorrelationSearch::KeepFrom(const TDiscriminator& s) const {
    const double frontier = std::max(position_, scannedTo_);
    return frontier - (kSeizureSearchBits + kLeadBits + 8) * s.BitLength;
}

void TCorrelationSearch::Shift(double samples) {
    position_ -= samples;
    scannedTo_ -= samples;
    waitFor_ -= samples;
}

std::vector<TCorrMessage> TCorrelationDecoder::DecodeImage(const Bytes& image) const {
    if (image.size() < WavHeaderSize + 64) {
        return {};
    }
    return OwnFamily(
        Search(DiscriminateImage(image, Tones)), 44100.0,
        [&](std::size_t from, std::size_t to) { return Bell202OverV23Image(image, from, to); });
}

}  // namespace ringlark
