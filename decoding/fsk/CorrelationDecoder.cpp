#include "decoding/fsk/CorrelationDecoder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

#include "core/WavImage.h"
#include "decoding/fsk/BitClock.h"
#include "decoding/fsk/FskFamily.h"
#include "decoding/fsk/MessageJudge.h"
#include "decoding/fsk/MessageReading.h"
#include "decoding/tones/ToneDiscriminator.h"
#include "protocol/MessageFormat.h"
#include "protocol/MessageRules.h"

namespace ringlark {

namespace {

constexpr double kMinLeadMark = 0.5;  // mean decision over the bits before a message
constexpr int kLeadBits = 16;
constexpr double kMinClarity = 0.45;  // mean |decision| over a message's bits
// A refused reading is reported (when asked for) only if it is this clear, its
// framing holds in every byte and it has at least this many bytes: noise and
// speech seldom frame so many bytes cleanly.
constexpr double kMinFailedClarity = 0.6;
constexpr std::size_t kMinFailedBytes = 5;
// An uncertain reading is read again with its sampling points this share of
// a bit earlier and later. Each bit's correlation window then takes in other
// working samples at one end, and the noise there tips the weakest bits.
// Where both of those readings pass with no alternative near them and give
// the same one of the two messages the first reading left open, that one is
// taken: both passed every rule, so the choice is only between them. A
// reading whose phase jumps between two bits (a capture glitch) is not
// settled. Measured (plain 44100/s, 300 messages per point): uncertain at -2
// dB 6.3 % -> 5.0 %, exact 91.0 % -> 92.3 %. Taking either shifted reading
// alone settled far more (exact 96.3 %, uncertain 1.0 %; at -3 dB 66 % ->
// 74 %) with no false message in 16000 messages at -3 and -4 dB, but where
// two capture glitches made wrong bits look firm it confirmed the wrong
// reading: 5 more false messages in 40000 such recordings.
constexpr double kSettleOffset = 0.03;
// The least edge level (EdgeLevel) that moves the edges: about 1.5 dB of twist.
constexpr float kMinEdgeLevel = 0.08f;

// Mean decision over the bits before an edge: a message follows a run of marks.
// Every decision is at most 1, so the sum is given up as soon as the bits left
// could no longer lift it to the level (in noise, after about ten of them).
bool MarkBefore(const TDiscriminator& s, double edge) {
    double sum = 0;
    for (int k = 1; k <= kLeadBits; ++k) {
        sum += s.At(edge - (k - 0.5) * s.BitLength);
        if (sum + (kLeadBits - k) < kMinLeadMark * kLeadBits - 1e-6) {
            return false;
        }
    }
    return sum / kLeadBits >= kMinLeadMark;
}

// What the readings of one start gave.
struct TStartResult {
    double NeedMore = 0;  // a stream: the size it must reach before this start is read
    bool Found = false;   // some reading passed every rule, or was uncertain
    TCorrMessage Message;
    double End = 0;
    // The first whole reading, refused but clean enough to report as failed.
    std::optional<TCorrMessage> Refused;
    double RefusedEnd = 0;
    // How many bits the first reading that took in every byte spans (0: none
    // did), and where its tones cross at a change (EdgeLevel).
    double Span = 0;
    // The share of that reading's bytes whose start and stop bits hold.
    double Framed = 0;
    float EdgeLevel = 0;
    bool Broken = false;  // the message found shows a capture glitch (BrokenBits)
};

TStartResult ReadStartWithClock(const TDiscriminator& s, double edge, TCidStandard standard,
                                double bit, float edgeShift = 0, double offset = 0,
                                const TBitGrid& grid = {});

// A clock measured from a message's data is tried when it is at least this
// far from nominal.
constexpr double kMinClockChange = 0.002;
// The grid is tried for a start whose first whole reading has at least this
// share of its bytes framed: a start in noise (half its start bits and half
// its stop bits hold) is not read again. (Reading every such start again
// took twice as long over a minute of noise, for half a point at most.)
constexpr double kMinGridFramed = 0.75;

// Reads a start with the bit clock its seizure shows; when nothing passes, or
// only an uncertain reading, again: with the edges at the level where twisted
// tones cross, with the period the crossings before the mark run showed
// although not up to the run, with the clock the message's own changes show,
// and with every byte on the grid of the clock.
TStartResult ReadStart(const TDiscriminator& s, double edge, TCidStandard standard,
                       TBitClockMemo& memo) {
    // A stream that has not yet brought the first two bytes at the slowest
    // clock the seizure may show is read later: the clock is not measured in
    // vain on every run while the message arrives.
    if (const double need = edge + 2 * (BitsPerFrame + 1) * s.BitLength * SlowestClock + 2;
        s.Open && need >= static_cast<double>(s.Size())) {
        return {need, false, {}, 0, {}, 0};
    }
    // The clock depends only on what lies before the edge, so a start read
    // again as more of its message arrives keeps the one measured first.
    if (std::fabs(memo.Edge - edge) > 1e-6) {
        memo.Edge = edge;
        memo.Unsure = 0;
        memo.Bit = SeizureBitLength(s, edge, &memo.Unsure);
    }
    const double bit = memo.Bit;
    TStartResult result = ReadStartWithClock(s, edge, standard, bit);
    if (result.NeedMore > 0 || (result.Found && !result.Message.Uncertain)) {
        return result;
    }
    // Without a seizure, the clock that the message's own changes of tone
    // show (call waiting sends only a short mark run before its data).
    // (These and the grid below are measured over the whole message, so a
    // stream waits for all of it.)
    if (const double need = edge + (result.Span + 1) * bit * SlowestClock + 2;
        result.Span > 0 && s.Open && need >= static_cast<double>(s.Size())) {
        return {need, false, {}, 0, {}, 0};
    }
    double dataBit = 0;
    if (bit == s.BitLength && result.Span > 0) {
        dataBit = DataBitLength(s, edge, result.Span);
        if (std::fabs(dataBit / bit - 1) < kMinClockChange) {
            dataBit = 0;
        }
    }
    // Tones of unequal level: the edges found where they cross at a change
    // of tone, at each clock.
    struct TReading {
        double Bit;
        float EdgeShift;
        double Offset = 0;
        TBitGrid Grid;
    };
    std::vector<TReading> others;
    const float shift = std::fabs(result.EdgeLevel) >= kMinEdgeLevel ? result.EdgeLevel : 0.0f;
    if (shift != 0.0f) {
        others.push_back({bit, shift, 0, {}});
    }
    for (const double other : {memo.Unsure, dataBit}) {
        if (other > 0) {
            others.push_back({other, 0.0f, 0, {}});
            if (shift != 0.0f) {
                others.push_back({other, shift, 0, {}});
            }
        }
    }
    // Last, every byte's edge on the grid of the clock (BitGrid): where the
    // changes of tone over the whole message line up, rather than where the
    // crossing at its own start bit lies. In noise one crossing is moved by
    // a tenth of a bit and more, and a byte read off its centres by that
    // loses its weakest bits; the grid is moved by a small share of that.
    // (Measured over 200 messages per point: plain at 44100/s, -3 dB, 68 %
    // exact to 87 %, -4 dB 24 % to 50 %; at 8000/s, 4 dB, 55 % to 76 %;
    // uncertain readings at -2 dB 4 % to none; two switched oscillators at
    // 20 dB, 69 % to 92 %. Moving each byte's edge to where its decisions were
    // clearest instead gained 2 points more there, but in deep noise that
    // choice made readings look surer than they were: a wrong message passed
    // at -4 dB.)
    if (result.Span > 0 && result.Framed >= kMinGridFramed) {
        const TBitGrid grid = DataBitGrid(s, edge, result.Span, dataBit > 0 ? dataBit : bit);
        if (grid.Bit > 0) {
            others.push_back({grid.Bit, 0.0f, 0, grid});
        }
    }
    for (const TReading& other : others) {
        if (result.Found && !result.Message.Uncertain) {
            break;
        }
        TStartResult second = ReadStartWithClock(s, edge, standard, other.Bit, other.EdgeShift,
                                                 other.Offset, other.Grid);
        if (second.NeedMore > 0) {
            return second;
        }
        if (!result.Found) {
            if (!second.Refused) {
                second.Refused = std::move(result.Refused);
                second.RefusedEnd = result.RefusedEnd;
            }
            result = std::move(second);
        } else if (second.Found && !second.Message.Uncertain &&
                   (second.Message.Message == result.Message.Message ||
                    second.Message.Message == result.Message.Alternative)) {
            // An uncertain reading settled by a better clock or better edges:
            // the first readings left both messages open, this one only one.
            result = std::move(second);
        }
    }
    // Last, an uncertain reading read with every sampling point a thirtieth
    // of a bit earlier and later (kSettleOffset): both readings must pass
    // alone and agree on one of its two messages.
    if (result.Found && result.Message.Uncertain && !result.Broken) {
        TStartResult earlier = ReadStartWithClock(s, edge, standard, bit, shift, -kSettleOffset);
        TStartResult later = ReadStartWithClock(s, edge, standard, bit, shift, kSettleOffset);
        if (earlier.NeedMore > 0 || later.NeedMore > 0) {
            return earlier.NeedMore > 0 ? earlier : later;
        }
        const Bytes& settled = earlier.Message.Message;
        if (earlier.Found && later.Found && !earlier.Message.Uncertain &&
            !later.Message.Uncertain && settled == later.Message.Message &&
            (settled == result.Message.Message || settled == result.Message.Alternative)) {
            result = std::move(earlier);
        }
    }
    return result;
}

// A reading whose bytes are framed at least this share is looked at for
// stretches the capture played again (noise frames a quarter).
constexpr double kMinFramedToLook = 0.75;

// The stretches of working samples in [from, to) that the capture played
// again (FindRepeats over the input they were made from, where it is kept),
// widened by the sample on either side that the decimation blends in. They
// are left out of every reading of the start: the reading over the whole
// message carries the phase across them, which tells a mark left out from a
// space. (Tried and not kept: mending a reading that then fails its checksum
// over the bits read there, where one reading of them passes. It read 2 to 7
// % more slipped recordings exactly, but the checksum that fills in unknown
// bits no longer catches an error elsewhere that they can make up for: at
// 8000/s, where a slip may be too short to find, 2 wrong messages in 2000
// came of a slip found beside one that was not.)
std::vector<TSampleSpan> RepeatedSpans(const TDiscriminator& s, double from, double to) {
    std::vector<TSampleSpan> spans;
    if (s.Input == nullptr || s.InputRate <= 0 || to <= from) {
        return spans;
    }
    const auto factor = static_cast<double>(s.InputFactor);
    const auto dropped = static_cast<double>(s.Dropped);
    const double start = std::max(0.0, (from + dropped) * factor);
    const auto first = static_cast<std::size_t>(start);
    const auto last = static_cast<std::size_t>(std::max(0.0, (to + dropped) * factor));
    // The noise over the mark run before the message, its last 40 bits but 4;
    // and where the mark run itself seems to repeat, the noise is not what
    // tells a repeat from chance (a clean tone resampled repeats its
    // rounding), and nothing is looked for.
    const double bit = s.BitLength * factor;
    const auto runFrom = static_cast<std::size_t>(std::max(0.0, start - 40 * bit));
    const auto runTo = static_cast<std::size_t>(std::max(0.0, start - 4 * bit));
    const double quiet =
        NoiseInSteps(*s.Input, runFrom, runTo, s.InputRate, s.MarkStep * s.Rate / (2 * M_PI));
    if (!FindRepeats(*s.Input, runFrom, runTo, s.InputRate, quiet).empty()) {
        return spans;
    }
    for (const TRepeat& r : FindRepeats(*s.Input, first, last, s.InputRate, quiet)) {
        // A stretch that may go on is taken to go on for its delay again, and
        // a millisecond at least.
        const double more =
            r.MayGoOn ? std::max(static_cast<double>(r.Delay), 0.001 * s.InputRate) : 0.0;
        spans.push_back({static_cast<double>(r.From) / factor - dropped - 1,
                         (static_cast<double>(r.To) + more) / factor - dropped + 1});
    }
    return spans;
}

TStartResult ReadStartWithClock(const TDiscriminator& s, double edge, TCidStandard standard,
                                double bit, float edgeShift, double offset, const TBitGrid& grid) {
    TStartResult result;
    if (s.Open && edge + 2 * (BitsPerFrame + 1) * bit + 2 >= static_cast<double>(s.Size())) {
        result.NeedMore = edge + 2 * (BitsPerFrame + 1) * bit + 2;
        return result;
    }
    std::vector<TTry> tries(kTries.begin(), kTries.end());
    // Where the readings with this clock found the capture plainly broken
    // (DecodeFrom): every reading adds what it finds and takes what the
    // others found. (Not across clocks: read with a clock that is off, the
    // phase drifts until it seems to start anew. Passed on to the readings
    // with the other clocks of a start, these withheld 36 of 1000 recordings
    // at 8000/s with edges a quarter of a bit off, against 3.)
    std::vector<double> breaks;
    // Where the capture played samples again inside the message (looked for
    // once a reading frames every byte): left out of every reading.
    std::vector<TSampleSpan> erased;
    bool looked = false;
    for (std::size_t i = 0; i < tries.size(); ++i) {
        TTry t = tries[i];
        t.EdgeShift = edgeShift;
        t.Offset += offset;
        // A start found at the crossing level of this try.
        const double start =
            t.Crossing() == 0.0f ? edge : FindCrossing(s, edge - bit, edge + bit, t.Crossing());
        const TAttempt attempt =
            DecodeFrom(s, start < 0 ? edge : start, bit, t, standard, grid, breaks, erased);
        breaks.insert(breaks.end(), attempt.FirmBreaksAt.begin(), attempt.FirmBreaksAt.end());
        if (attempt.NeedMore > 0) {
            return {attempt.NeedMore, false, {}, 0, {}, 0};  // read it again when that has arrived
        }
        if (attempt.Reading.Message.empty()) {
            break;  // too near the end of the recording for any message
        }
        if (!attempt.Complete) {
            continue;
        }
        if (!looked && attempt.Framed >= kMinFramedToLook) {
            looked = true;
            erased = RepeatedSpans(s, std::max(0.0, (start < 0 ? edge : start) - bit), attempt.End);
            if (!erased.empty()) {
                breaks.clear();  // what the stretches made look broken
                --i;             // this try again, without them
                continue;
            }
        }
        if (result.Span == 0) {
            result.Span = static_cast<double>(attempt.Reading.Message.size() * BitsPerFrame);
            result.Framed = attempt.Framed;
        }
        if (i == 0) {
            result.EdgeLevel = EdgeLevel(attempt);
        }
        const TVerdict verdict = attempt.Clarity >= kMinClarity
                                     ? JudgeMessage(attempt.Reading)
                                     : TVerdict{TJudgement::Refused, "decisions unclear", 0, {}};
        if (verdict.Judgement == TJudgement::Refused) {
            if (i == 0 && attempt.Reading.Message.size() > 2) {
                AddRetries(attempt, tries);
            }
            if (i == 0 && attempt.Reading.FramingHolds && attempt.Clarity >= kMinFailedClarity &&
                attempt.Reading.Message.size() >= kMinFailedBytes) {
                TCorrMessage refused;
                refused.Seconds = (edge + static_cast<double>(s.Dropped)) / s.Rate;
                refused.Message = attempt.Reading.Message;
                refused.Frames = attempt.Frames;
                refused.Quality = verdict.Quality;
                refused.Failed = true;
                refused.Failure = verdict.Reason;
                refused.Standard = standard;
                result.Refused = std::move(refused);
                result.RefusedEnd = attempt.End;
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
                              standard,
                              false,
                              {}};
            result.End = attempt.End;
            result.Broken = attempt.Broken;
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
    TDiscriminator s = Discriminate(samples, sampleRate, Tones);
    const TVectorSamples input(samples);
    s.KeepInput(input, sampleRate, WorkingRateFor(sampleRate, Tones).Factor);
    return OwnFamily(Search(s), sampleRate, [&](std::size_t from, std::size_t to) {
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
        TStartResult start = ReadStart(s, edge, Standard, clock_);
        if (start.NeedMore > 0) {
            waitFor_ = start.NeedMore;  // this start is read again once that has arrived
            break;
        }
        position_ = next;
        if (!start.Found && IncludeFailed && start.Refused) {
            position_ = std::max(position_, start.RefusedEnd - 0.5 * s.BitLength);
            found.push_back(std::move(*start.Refused));
            continue;
        }
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
    return frontier - (SeizureSearchBits + kLeadBits + 8) * s.BitLength;
}

void TCorrelationSearch::Shift(double samples) {
    clock_.Edge -= samples;
    position_ -= samples;
    scannedTo_ -= samples;
    waitFor_ -= samples;
}

std::vector<TCorrMessage> TCorrelationDecoder::DecodeImage(const Bytes& image) const {
    if (image.size() < WavHeaderSize + 64) {
        return {};
    }
    TDiscriminator s = DiscriminateImage(image, Tones);
    const TImageSampleView input(image);
    s.KeepInput(input, 44100.0, WorkingRateFor(44100.0, Tones).Factor);
    return OwnFamily(Search(s), 44100.0, [&](std::size_t from, std::size_t to) {
        return Bell202OverV23Image(image, from, to);
    });
}

}  // namespace ringlark
