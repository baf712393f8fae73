#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/Bytes.h"
#include "decoding/tones/ToneDiscriminator.h"
#include "protocol/Standards.h"

namespace ringlark {

// One message found by the correlation decoder.
struct TCorrMessage {
    double Seconds = 0;         // time of its first start bit from the start of the samples
    Bytes Message;              // type, length, body, checksum: every rule of the message holds
    std::vector<Bytes> Frames;  // the ten bit decisions of each byte, start bit first
    // The weakest data bit's decision margin over the mean margin (0 to 1).
    double Quality = 0;
    // Another reading of the same signal passes every rule too: the message
    // cannot be trusted and is returned only when asked for.
    bool Uncertain = false;
    Bytes Alternative;
    // Whose tones and rules it was read with: Bell 202, or V.23 (EtsiV23).
    TCidStandard Standard = TCidStandard::Bell202;
    // Read whole with clean framing but refused (the checksum or a rule of the
    // structure fails): Message holds what was read and Failure says why. Such
    // readings are returned only when asked for, and are never a message.
    bool Failed = false;
    std::string Failure;
    // "CORR" for Bell 202 (analysis method 3), "V23".
    std::string_view Tag() const { return Standard == TCidStandard::Bell202 ? "CORR" : "V23"; }
};

// Analysis Method 3: a non-coherent correlation decoder for Bell 202 caller ID.
//
// The samples are high-passed and decimated to a working rate near 11025/s;
// each working sample gets the energies of 1200 Hz and 2200 Hz correlated in
// quadrature over one bit, and their normalised difference (mark minus space
// over mark plus space, in -1 to 1, so level, twist and DC do not matter). Each
// byte's start-bit edge is found with sub-sample timing where that difference
// crosses zero, and its bits are read at their centres with the bit length
// that the channel seizure shows; the edge of every following byte is
// re-estimated. A message is taken only when its framing holds, every rule of
// its structure holds (MessageRules), its decisions are clear, and no nearby
// reading passes too (MessageJudge); where a reading fails, alternative timings
// and slicer thresholds are tried, and readings of one start that disagree make
// it uncertain. All messages are returned, in order.
class TCorrelationDecoder {
  public:
    // Also return the messages that are uncertain (marked so).
    bool IncludeUncertain = false;
    // The tones and the message rules: Bell 202 unless set, or V.23 with the
    // ETSI rules. A message whose span carries the other family's tones (see
    // FskFamily) is not reported.
    TFskTones Tones = kBell202Tones;
    TCidStandard Standard = TCidStandard::Bell202;

    // The decoder for a standard's FSK (ETSI and BT: V.23).
    static TCorrelationDecoder For(TCidStandard standard);

    std::vector<TCorrMessage> Decode(const std::vector<float>& samples, double sampleRate) const;
    // An 8-bit image at 44100/s (samples from offset 44).
    std::vector<TCorrMessage> DecodeImage(const Bytes& image) const;

  private:
    std::vector<TCorrMessage> Search(const TDiscriminator& s) const;
    // Drops the messages whose tones are the other family's.
    template <typename TRatio>
    std::vector<TCorrMessage> OwnFamily(std::vector<TCorrMessage> found, double rate,
                                        TRatio ratio) const;
};

// The bit clock measured for a start (see SeizureBitLength).
struct TBitClockMemo {
    double Edge = -1;
    double Bit = 0;
    double Unsure = 0;
};

// The search for messages along a discriminator, which may be a stream that
// grows between runs (Open) and loses its oldest samples (Dropped). Each run
// reads every message that the samples so far allow; a start whose message
// needs samples that have not arrived yet is read again, from the start, on a
// later run. Over a whole recording in one run it is the decoder above; over
// the same recording in pieces it finds the same messages.
class TCorrelationSearch {
  public:
    bool IncludeUncertain = false;
    // Also return the readings that were refused (marked Failed).
    bool IncludeFailed = false;
    TCidStandard Standard = TCidStandard::Bell202;

    void Run(const TDiscriminator& s, std::vector<TCorrMessage>& found);
    // The first sample that a later run may still read: those before it can go.
    double KeepFrom(const TDiscriminator& s) const;
    // The discriminator lost this many samples at its front.
    void Shift(double samples);

  private:
    double position_ = -1;  // where the next start is looked for
    double scannedTo_ = 0;  // no start lies before this sample
    double waitFor_ = 0;    // the size the stream must reach before the next run
    TBitClockMemo clock_;   // the clock of the start read last
};

}  // namespace ringlark
