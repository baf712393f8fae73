#include "decoding/fsk/MessageReading.h"

#include <algorithm>
#include <cmath>

#include "decoding/fsk/BitClock.h"
#include "decoding/fsk/BitCosts.h"
#include "decoding/fsk/BrokenBits.h"
#include "decoding/fsk/ThreeBitCosts.h"
#include "protocol/MessageFormat.h"
#include "protocol/MessageRules.h"

namespace ringlark {

namespace {

// How far after a stop bit the next start bit is looked for: Bellcore allows
// up to 20 extra mark bits between characters; with a clock up to 5 % fast
// and the edge found a little late, 24 bits.
constexpr double kMaxIdleBits = 24;
// The least coherence (ThreeBitCosts) at which a message is read over three
// bits at a time: continuous-phase FSK measures 0.8 to 1 (below 0.7 only where
// noise rules), two switched oscillators 0.05 to 0.45.
constexpr double kMinCoherence = 0.5;
// What a bit read over three bits may cost at most: e^-30 is as good as
// certain, and the quality figure (the weakest bit over the mean) of a clean
// recording then reads 1. A bit that fits neither reading costs about a tie.
constexpr float kMaxAcrossCost = 30.0f;
constexpr float kOddBitCost = 1.0f;
// How much a bit's own tones may say against the reading over several bits
// before it counts against that reading (ReadAcrossBits). Near the limit a bit
// that the whole message reads right is often weak and read the other way
// alone, by a few nats. Measured over 1000 messages: at 0 (all of it counted)
// plain 44100/s at -3 dB 90.7 % exact with 10 uncertain, 8000/s at 4 dB 82.8 %
// with 34; at 2, 91.2 % with 5 and 83.2 % with 30; at 4, 91.3 % with 4 and
// 83.4 % with 28, as much as with none counted. But at 3 and above a recording
// with two slips at 8000/s, 4 dB, gave a wrong message, and with none counted
// a slipped one at 44100/s gave a wrong parameter code (DecoderGlitches).
constexpr float kFirmOneBit = 2.0f;
// How far the changes of tone may stray from the clock, as the phase it
// moves them by (ThreeBitCosts: EdgeStray), for a message to be read over
// three bits. Capture-like recordings at 8000/s whose edges are up to an
// eighth of a bit off measure 0.1 to 0.3 radians; a quarter of a bit, 0.4 to
// 0.65. (Read over three bits, those gave 2 false messages in 300 at 10 dB;
// read one bit at a time, none, and 95 % exact at 20 dB against 87 %. Over
// the other conditions nothing changed.) Read over the whole message, which
// measures how far the phase drifts at a change on each message, such edges
// need no limit: with edges a quarter of a bit off and the clock 4 % fast at
// 8000/s, 1000 messages per point, 94.5 % exact at 10 dB (76.1 % one bit at a
// time), 54 % at 6 dB (3 %), no false message in 4000.
constexpr double kMaxEdgeStray = 0.35;

// Continuous-phase FSK read over three bits at a time (ThreeBitCosts): where
// the phase carries across the changes of tone, each data bit after the type
// and the length is taken as that reading has it, and every data bit costs
// what it says. Where it does not (two oscillators switched), the reading one
// bit at a time stays (false: its costs are still to be found). (Measured over
// the integrity sweep, 40 messages per point: at 44100/s the exact share at
// -2 dB went from 42 % to 97 %, at 8000/s at 4 dB from 17 % to 65 %, with no
// false message.)
bool ReadAcrossBits(const TDiscriminator& s, std::vector<TBitTones>& tones, TAttempt& attempt,
                    const std::vector<TSampleSpan>& erased) {
    const bool overMessage = attempt.Reading.FramingHolds;
    TThreeBitCosts across = ThreeBitCosts(s, tones, overMessage, erased);
    // Edges that stray far from the clock (a generator that times its bits
    // loosely) move the phase at each change by more than the reading over
    // three bits allows for: it reads firm bits wrong there, so the one-bit
    // reading stays.
    if (!overMessage && across.EdgeStray > kMaxEdgeStray) {
        return false;
    }
    if (across.Costs.size() != attempt.Reading.Message.size() * 8 ||
        across.Coherence < kMinCoherence) {
        return false;
    }
    // Where the phase jumps between two bits the capture broke there (see
    // BrokenBits), however clear those bits look.
    for (std::size_t i = 0; i < tones.size(); ++i) {
        tones[i].Broken = tones[i].Broken || across.PhaseBreak[i];
        if (i < across.FirmBreak.size() && across.FirmBreak[i]) {
            attempt.FirmBreaksAt.push_back(tones[i].At);
        }
    }
    // A bit whose one-bit decision fits neither reading's shape (a blend of
    // both tones, a click) is near a tie whatever the three bits say: the
    // signal over it is not either tone.
    std::vector<bool> odd;
    ShapeCosts(tones, &odd);
    // A bit that the reading over several bits has the other way from its own
    // two tones is worth what that reading says less what its tones say
    // against it beyond kFirmOneBit: where the two disagree firmly, something
    // the model does not know (hum, a distortion, a glitch) is at work there,
    // and one such bit and another must make a contender. (Without this, two
    // bits read over firm one-bit evidence made a wrong name at -2 dB with 60
    // Hz hum 6 dB above the signal, and a slipped recording a wrong parameter
    // code.)
    const std::vector<float> single = DataBitCosts(tones, s.Leakage);
    Bytes& message = attempt.Reading.Message;
    for (std::size_t i = 0; i < across.Costs.size(); ++i) {
        float& cost = across.Costs[i];
        if (cost < 0 && i >= 16) {
            message[i / 8] = static_cast<char>(message[i / 8] ^ (1 << (i % 8)));
            char& shown = attempt.Frames[i / 8][1 + i % 8];
            shown = shown == '1' ? '0' : '1';
            cost = std::max(0.0f, -cost - std::max(0.0f, single[i] - kFirmOneBit));
        }
        cost = std::min(cost, odd[i] ? kOddBitCost : kMaxAcrossCost);
    }
    attempt.Reading.DataCosts = std::move(across.Costs);
    CapBrokenBitCosts(tones, attempt.Reading.DataCosts);
    return true;
}

// The share of [from, to) that lies in the spans.
double ErasedShare(const std::vector<TSampleSpan>& erased, double from, double to) {
    double covered = 0;
    for (const TSampleSpan& span : erased) {
        covered += std::max(0.0, std::min(to, span.To) - std::max(from, span.From));
    }
    return to > from ? covered / (to - from) : 0.0;
}

// The changes of tone of a framed reading (TToneChange), each byte's from its
// edge, but the last byte's: a step there would have only its few changes
// after it. Changes near samples left out are passed over.
std::vector<TToneChange> ToneChanges(const TDiscriminator& s, const TAttempt& attempt,
                                     const std::vector<double>& byteEdges,
                                     const std::vector<TBitTones>& tones, double bit, float level,
                                     const std::vector<TSampleSpan>& erased) {
    std::vector<TToneChange> changes;
    const auto& frames = attempt.Frames;
    std::size_t first = 0;  // the stretch's first byte
    int stretch = 0;
    for (std::size_t b = 0; b + 1 < frames.size(); ++b) {
        if (b > 0 && tones[b * BitsPerFrame - 1].IdleAfter) {
            first = b;
            ++stretch;
        }
        // A bit's value by its place from this byte's start bit (the next
        // byte's bits from 10 on; the stop bit before it at -1).
        const auto bitAt = [&](int k) {
            return k < 0 || frames[b + static_cast<std::size_t>(k / BitsPerFrame)]
                                  [static_cast<std::size_t>(k % BitsPerFrame)] == '1';
        };
        for (int k = 1; k <= BitsPerFrame; ++k) {
            const bool next = bitAt(k);
            if (bitAt(k - 1) == next ||
                (k == BitsPerFrame && tones[(b + 1) * BitsPerFrame - 1].IdleAfter)) {
                continue;
            }
            const bool loneBefore = bitAt(k - 2) == next;
            const bool loneAfter = bitAt(k + 1) != next;
            const double at = byteEdges[b] + k * bit;
            if (!erased.empty() && ErasedShare(erased, at - bit - s.Window, at + bit) > 0) {
                continue;
            }
            const double crossing = NearestCrossing(s, at, 0.5 * bit, level, !next);
            if (crossing < 0) {
                continue;
            }
            const auto index = (b - first) * BitsPerFrame + static_cast<std::size_t>(k);
            changes.push_back({b * BitsPerFrame + static_cast<std::size_t>(k),
                               (crossing - byteEdges[first]) / bit - static_cast<double>(index),
                               ToneChangeKind(next, loneBefore, loneAfter), stretch});
        }
    }
    return changes;
}

}  // namespace

TAttempt DecodeFrom(const TDiscriminator& s, double firstEdge, double bit, const TTry& t,
                    TCidStandard standard, const TBitGrid& grid,
                    const std::vector<double>& knownBreaks,
                    const std::vector<TSampleSpan>& erased) {
    TAttempt attempt;
    attempt.Reading.Standard = standard;
    Bytes& message = attempt.Reading.Message;
    std::vector<TBitTones> tones;  // every bit read, in order
    double edge = firstEdge;
    std::size_t expected = 3;  // type and length first; then the length tells
    bool framing = true;
    int framedBytes = 0;
    double clarity = 0;
    int bits = 0;
    double markSum = 0;
    double spaceSum = 0;
    int marks = 0;
    const auto size = static_cast<double>(s.Size());
    std::vector<double> byteEdges;
    for (std::size_t byte = 0; byte < expected; ++byte) {
        // A stream waits until the byte and the search for the next edge lie
        // inside what has arrived.
        if (s.Open && edge + (BitsPerFrame + 1) * bit + 2 >= size) {
            attempt.NeedMore = edge + (BitsPerFrame + 1) * bit + 2;
            return attempt;
        }
        // The stop bit must begin inside the recording; a recording that ends
        // with it is read with the last decision held.
        if (edge < 0 || edge + (BitsPerFrame - 1) * bit >= static_cast<double>(s.Size())) {
            return attempt;  // the recording ends inside the message
        }
        edge = grid.Snap(edge);
        byteEdges.push_back(edge);
        Bytes frame;
        unsigned value = 0;
        for (int k = 0; k < BitsPerFrame; ++k) {
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
            (mark ? attempt.SpaceAtMarks : attempt.MarkAtSpaces) +=
                mark ? s.Space[sample] : s.Mark[sample];
            tones.push_back({std::sqrt(s.MarkAt(at)), std::sqrt(s.SpaceAt(at)), mark,
                             std::fabs(d - t.Threshold), false, at});
            if (k >= 1 && k <= 8 && mark) {
                value |= 1u << (k - 1);
            }
        }
        // A start or stop bit read mostly over samples left out is not held
        // against the byte: what it read is not the line's.
        const auto lost = [&](int k) {
            const double at = edge + (k + 0.5 + t.Offset) * bit;
            return !erased.empty() && ErasedShare(erased, at - s.Window, at) >= 0.5;
        };
        const bool framed = (frame[0] == '0' || lost(0)) && (frame[9] == '1' || lost(9));
        framing = framing && framed;
        framedBytes += framed ? 1 : 0;
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
        const double predicted = edge + BitsPerFrame * bit;
        // Where samples are left out near it, a crossing found there is not
        // the line's: the edge is taken where it was due.
        const bool blind = !erased.empty() && ErasedShare(erased, predicted - 0.5 * bit - s.Window,
                                                          predicted + 0.5 * bit) > 0;
        const double measured =
            blind ? predicted
                  : FindCrossing(s, predicted - 0.5 * bit, predicted + 0.5 * bit, t.Crossing());
        if (measured >= 0) {
            edge = predicted + t.Gain * (measured - predicted);
        } else if (grid.Bit > 0 &&
                   s.At(predicted + (0.5 + t.Offset) * bit, t.Balanced) < t.Threshold) {
            edge = predicted;  // a start bit on the grid where it was due
        } else {
            if (s.Open && predicted + (kMaxIdleBits + 1) * bit + 2 >= size) {
                attempt.NeedMore = predicted + (kMaxIdleBits + 1) * bit + 2;
                return attempt;
            }
            const double later = FindCrossing(s, predicted + 0.5 * bit,
                                              predicted + kMaxIdleBits * bit, t.Crossing());
            edge = byte + 1 < expected && later >= 0 ? later : predicted;
            tones.back().IdleAfter = edge - predicted > 0.5 * bit;
        }
    }
    attempt.Complete = true;
    attempt.Reading.FramingHolds = framing;
    attempt.Framed = static_cast<double>(framedBytes) / static_cast<double>(message.size());
    // Where another reading of this start found the capture plainly broken.
    for (TBitTones& tone : tones) {
        tone.Broken = std::any_of(knownBreaks.begin(), knownBreaks.end(),
                                  [&](double at) { return std::fabs(tone.At - at) < 0.5 * bit; });
    }
    // Where the changes of tone step early for good, the capture lost samples.
    if (framing) {
        MarkLostSamples(ToneChanges(s, attempt, byteEdges, tones, bit, t.Crossing(), erased),
                        tones);
    }
    if (!ReadAcrossBits(s, tones, attempt, erased)) {
        attempt.Reading.DataCosts = DataBitCosts(tones, s.Leakage);
    }
    attempt.Broken =
        std::any_of(tones.begin(), tones.end(), [](const TBitTones& t) { return t.Broken; });
    attempt.End = edge;
    attempt.MarkBits = marks;
    attempt.Bits = bits;
    attempt.Clarity = clarity / bits;
    attempt.MarkMean = marks > 0 ? markSum / marks : 1.0;
    attempt.SpaceMean = bits > marks ? spaceSum / (bits - marks) : -1.0;
    return attempt;
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

// Where the decision crosses halfway through a change of tone, from a
// reading's tone energies: the window then holds half of each tone, so each
// tone's energy is a quarter of its energy over a whole bit, and the noise's
// in both (each tone's energy over the bits read as the other) adds in full.
// 0 for tones of equal level; at a twist of 6 dB without noise, -0.6, where
// the crossing at 0 comes about a sixth of a bit early. A start whose first
// readings do not pass is read again with its edges found at this level.
// (Measured over 200 messages per point: call waiting at 8000/s with the
// space 6 dB up, at 6 dB SNR, 70 % to 87 % exact; the space 10 dB down at
// 44100/s, at 4 dB, 84 % to 95 %; with the space 10 dB up, at -1 dB, 46 % to
// 59 %; no point lost and no false message.)
float EdgeLevel(const TAttempt& a) {
    const int spaces = a.Bits - a.MarkBits;
    if (a.MarkBits == 0 || spaces == 0) {
        return 0;
    }
    const double noiseAtMarks = a.SpaceAtMarks / a.MarkBits;
    const double noiseAtSpaces = a.MarkAtSpaces / spaces;
    const double mark = a.MarkEnergy / a.MarkBits - noiseAtMarks;
    const double space = a.SpaceEnergy / spaces - noiseAtSpaces;
    if (mark <= 0 || space <= 0) {
        return 0;
    }
    const double level = (mark - space) / (mark + space + 4 * (noiseAtMarks + noiseAtSpaces));
    return static_cast<float>(std::clamp(level, -0.6, 0.6));
}

}  // namespace ringlark
