#pragma once

// Caller ID decoded from a stream as it arrives (a sound card, a pipe): the
// messages of the correlation decoder and the alert tones before them.
#include <cstdint>
#include <span>
#include <vector>

#include "decoding/fsk/CorrelationDecoder.h"
#include "decoding/tones/AlertTones.h"
#include "decoding/tones/DtmfDecoder.h"
#include "decoding/tones/ToneDiscriminator.h"

namespace ringlark {

struct TStreamEvent {
    enum class TKind { Message, DualTone, Subscriber, Dtmf };
    TKind Kind = TKind::Message;
    TCorrMessage Message;  // an FSK message (Bell 202 or V.23)
    TAlertTone Tone;       // an alert tone
    TDtmfMessage Dtmf;     // DTMF caller ID
    double Seconds() const {
        return Kind == TKind::Message ? Message.Seconds
               : Kind == TKind::Dtmf  ? Dtmf.Seconds
                                      : Tone.Seconds;
    }
};

// Fed blocks of samples of any size, it reports each message and alert tone as
// soon as it is complete: a message once its last byte and the search for the
// next have arrived (about 20 bits after its stop bit), a tone when it ends.
// The messages are those the correlation decoder finds in the whole recording,
// at the same times; what it holds is bounded by one message, whatever the
// length of the stream.
// What a stream decoder looks for (all of it unless told otherwise).
struct TStreamParts {
    bool Bell202 = true;
    bool V23 = true;
    bool AlertTones = true;  // the dual-tone alert and the subscriber alert
    bool Dtmf = true;
};

class TStreamDecoder {
  public:
    static constexpr double MinRate = 8000;
    static constexpr double MaxRate = 192000;

    // Throws RinglarkError for a rate outside MinRate to MaxRate. With
    // includeFailed, messages read whole but refused come too (marked Failed).
    explicit TStreamDecoder(double rate, bool includeUncertain = false, bool includeFailed = false,
                            TStreamParts parts = {});

    // Samples in -1 to 1.
    void Feed(std::span<const float> samples, std::vector<TStreamEvent>& events);
    // Signed 16-bit samples, and unsigned 8-bit samples around 128.
    void Feed(std::span<const int16_t> samples, std::vector<TStreamEvent>& events);
    void Feed(std::span<const uint8_t> samples, std::vector<TStreamEvent>& events);
    // The stream has ended: what its end completes.
    void Finish(std::vector<TStreamEvent>& events);

    // How often the search runs, in working samples (near 11025/s). The
    // default, 64 (about 6 ms), reports a message that soon after it can be;
    // a recording read from a file is searched less often, which finds the
    // same messages with less work and holds a little more.
    void SearchEvery(std::size_t workingSamples);
    static constexpr std::size_t DefaultSearchEvery = 64;

    double Rate() const { return rate_; }
    uint64_t SamplesFed() const { return fed_; }
    // Working samples held now (per family of tones), and the most held at once.
    std::size_t Held() const { return working_.size(); }
    std::size_t MostHeld() const { return mostHeld_; }

  private:
    // One family of FSK tones: its correlator, what it has correlated and its
    // search. Bell 202 first, then V.23.
    struct TLane {
        TCidStandard Standard;
        TToneCorrelator Correlator;
        TDiscriminator S;
        TCorrelationSearch Search;
    };
    void FeedBlock(std::vector<TStreamEvent>& events);
    void Search(std::vector<TStreamEvent>& events);
    // Whether a message's mark run carries its own family's tones.
    bool OwnFamily(const TLane& lane, const TCorrMessage& message) const;

    double rate_;
    TStreamParts parts_;
    TWorkingRate workingRate_;
    TTriangularDecimator decimator_;
    THighPass highPass_;
    std::vector<TLane> lanes_;
    std::vector<float> working_;  // the working signal, as the discriminators hold it
    TAlertToneDetector dualTone_, subscriber_;
    TDtmfDetector dtmf_;
    TDtmfAssembler dtmfMessages_;
    std::vector<TAlertTone> tones_;
    std::vector<TDtmfDigit> digits_;
    std::vector<TCorrMessage> messages_;
    uint64_t fed_ = 0;
    std::size_t sinceSearch_ = 0;
    std::size_t searchEvery_ = DefaultSearchEvery;
    std::vector<float> input_, decimated_;  // the block being fed
    // The input as it came, from input sample rawFirst_ on, for as long as a
    // search may still read the working samples made from it (FindRepeats).
    class TRawView final : public TSampleView {
      public:
        const std::vector<float>* Samples = nullptr;
        std::size_t FirstIndex = 0;
        std::size_t First() const override { return FirstIndex; }
        std::size_t End() const override { return FirstIndex + Samples->size(); }
        void Read(std::size_t from, std::size_t to, std::vector<float>& out) const override;
    };
    std::vector<float> raw_;
    std::size_t rawFirst_ = 0;
    TRawView rawView_;
    std::size_t mostHeld_ = 0;
};

}  // namespace ringlark
