#pragma once

// Caller ID decoded from a stream as it arrives (a sound card, a pipe): the
// messages of the correlation decoder and the alert tones before them.
#include <cstdint>
#include <span>
#include <vector>

#include "analysis/AlertTones.h"
#include "analysis/CorrelationDecoder.h"
#include "analysis/ToneDiscriminator.h"

namespace ringlark {

struct TStreamEvent {
    enum class TKind { Message, DualTone, Subscriber };
    TKind Kind = TKind::Message;
    TCorrMessage Message;  // a message
    TAlertTone Tone;       // an alert tone
    double Seconds() const { return Kind == TKind::Message ? Message.Seconds : Tone.Seconds; }
};

// Fed blocks of samples of any size, it reports each message and alert tone as
// soon as it is complete: a message once its last byte and the search for the
// next have arrived (about 20 bits after its stop bit), a tone when it ends.
// The messages are those the correlation decoder finds in the whole recording,
// at the same times; what it holds is bounded by one message, whatever the
// length of the stream.
class TStreamDecoder {
  public:
    static constexpr double MinRate = 8000;
    static constexpr double MaxRate = 96000;

    // Throws RinglarkError for a rate outside MinRate to MaxRate.
    explicit TStreamDecoder(double rate, bool includeUncertain = false);

    // Samples in -1 to 1.
    void Feed(std::span<const float> samples, std::vector<TStreamEvent>& events);
    // Signed 16-bit samples, and unsigned 8-bit samples around 128.
    void Feed(std::span<const int16_t> samples, std::vector<TStreamEvent>& events);
    void Feed(std::span<const uint8_t> samples, std::vector<TStreamEvent>& events);
    // The stream has ended: what its end completes.
    void Finish(std::vector<TStreamEvent>& events);

    double Rate() const { return rate_; }
    uint64_t SamplesFed() const { return fed_; }
    // Working samples held now, and the most held at once.
    std::size_t Held() const { return s_.Size(); }
    std::size_t MostHeld() const { return mostHeld_; }

  private:
    void Push(float sample, std::vector<TStreamEvent>& events);
    void Search(std::vector<TStreamEvent>& events);

    double rate_;
    TWorkingRate working_;
    TTriangularDecimator decimator_;
    THighPass highPass_;
    TToneCorrelator correlator_;
    TDiscriminator s_;
    TCorrelationSearch search_;
    TAlertToneDetector dualTone_, subscriber_;
    std::vector<TAlertTone> tones_;
    std::vector<TCorrMessage> messages_;
    uint64_t fed_ = 0;
    std::size_t sinceSearch_ = 0;
    std::size_t mostHeld_ = 0;
};

}  // namespace ringlark
