#pragma once

// One reading of a message from its first start bit, with one bit length and
// one way of placing the sampling points and the slicer (a try): each byte's
// ten bits, the costs of its data bits, and what the reading says about the
// tones' levels for the next tries.
#include <algorithm>
#include <array>
#include <vector>

#include "decoding/fsk/BitClock.h"
#include "decoding/fsk/BitCosts.h"
#include "decoding/fsk/MessageJudge.h"
#include "decoding/tones/ToneDiscriminator.h"
#include "protocol/Standards.h"

namespace ringlark {

struct TTry {
    double Offset;          // shift of the sampling points, in bits
    float Threshold;        // slicer level
    double Gain;            // how far each byte's edge follows the measured crossing
    bool Balanced = false;  // read the tones relative to their own levels
    // Levels measured on a first reading of the message (0: not used).
    double MarkLevel = 0;
    double SpaceLevel = 0;
    // Where the decision crosses at a change of tone, over the slicer level
    // (EdgeLevel).
    float EdgeShift = 0;
    float Crossing() const { return std::clamp(Threshold + EdgeShift, -0.9f, 0.9f); }
};

// Tried in order. Higher slicer levels suit a space tone weaker than the mark
// (twist), lower ones the reverse. Every try is another reading of the same
// signal; what makes trying them safe is the acceptance (MessageJudge), which
// refuses a reading unless every structural rule holds and no nearby reading
// passes too, and the correlation decoder's agreement rule: different
// accepted readings of one start make it uncertain.
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

struct TAttempt {
    TSoftMessage Reading;
    // A stream whose samples end before the reading could: the size it needs.
    double NeedMore = 0;
    std::vector<Bytes> Frames;
    double End = 0;
    bool Complete = false;  // every byte the length byte asks for was read
    double Framed = 0;      // the share of its bytes whose start and stop bits hold
    double Clarity = 0;     // mean |decision - level| over all bits
    // Mean decisions over the bits read as marks and as spaces: their midpoint
    // is the slicer level that suits the tones' levels (a twist moves it).
    double MarkMean = 0;
    double SpaceMean = 0;
    // Sums of each tone's energy over the bits read as that tone.
    double MarkEnergy = 0;
    double SpaceEnergy = 0;
    // And each tone's energy over the bits read as the other: the noise.
    double SpaceAtMarks = 0;
    double MarkAtSpaces = 0;
    int MarkBits = 0;
    int Bits = 0;
    // The phase jumped between two of its bits (a capture glitch, BrokenBits).
    bool Broken = false;
    // Where (in working samples) the bits lie that the reading over the
    // whole message finds plainly broken (ThreeBitCosts: FirmBreak).
    std::vector<double> FirmBreaksAt;
};

// Reads the message whose first start bit's edge is at `firstEdge`, with
// the bit length `bit` (working samples) and the try `t`; with each byte's
// edge put on `grid` when it is given (its Bit, equal to `bit`, is not 0).
// The bits within half a bit of `knownBreaks` are read as broken (BrokenBits):
// other readings of the same start found the capture broken there. The
// working samples in `erased` are left out of the reading over several bits
// (a stretch the capture played again: FindRepeats).
TAttempt DecodeFrom(const TDiscriminator& s, double firstEdge, double bit, const TTry& t,
                    TCidStandard standard, const TBitGrid& grid = {},
                    const std::vector<double>& knownBreaks = {},
                    const std::vector<TSampleSpan>& erased = {});

// After a whole reading that did not pass: readings at the slicer level its
// own decisions suggest (tones of unequal level), and with each tone weighted
// by the level it had in that reading.
void AddRetries(const TAttempt& attempt, std::vector<TTry>& tries);

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
float EdgeLevel(const TAttempt& a);

}  // namespace ringlark
