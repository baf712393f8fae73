#pragma once

// What each role measured in one call-waiting exchange. Times are counted in
// samples of the streams and given here in milliseconds, the round trip of the
// sound path (the roles' latency setting) taken out.
#include <optional>
#include <vector>

#include "decoding/fsk/CorrelationDecoder.h"
#include "decoding/tones/AlertTones.h"

namespace ringlark {

// The exchange's judgement of the acknowledgement it heard.
enum class TAckVerdict {
    Valid,  // the right digit, inside the window, of an allowed length
    None,   // nothing heard before the exchange stopped listening
    Early,  // it began before the CAS had ended
    Late,   // after the window
    TooShort,
    TooLong,
    WrongDigit,
};

struct TAckHeard {
    char Digit = 0;
    double DelayMs = 0;  // CAS end -> ACK start
    double LengthMs = 0;
    double LowHz = 0, HighHz = 0;  // the digit's row and column frequencies
    double LowDbfs = 0, HighDbfs = 0;
    double TwistDb = 0;  // the high tone's level less the low tone's
};

struct TExchangeRun {
    int Index = 0;             // from 1
    double CasEndSeconds = 0;  // on the exchange's own clock
    bool SasSent = false;
    double CasMs = 0;
    std::optional<TAckHeard> Ack;
    TAckVerdict Verdict = TAckVerdict::None;
    bool DataSent = false;
    double DataSeconds = 0;  // where its first mark bit left
    // ACK end -> first mark bit, as the line sees it (only after an ACK).
    std::optional<double> AckEndToDataMs;
};

// The set's judgement of the CAS it heard.
enum class TCasVerdict { Valid, TooShort, TooLong, OffFrequency };

// The set's judgement of the data after its ACK.
enum class TDataVerdict {
    InWindow,
    Early,    // before the earliest the standard allows
    Late,     // after the latest
    None,     // no data
    NotRead,  // a mark run came but no message was decoded
};

struct TSetRun {
    int Index = 0;
    std::optional<TAlertTone> Sas;
    TAlertTone Cas;  // Seconds on the set's own clock
    TCasVerdict CasVerdict = TCasVerdict::Valid;
    bool AckSent = false;
    char AckDigit = 0;
    double AckDelayMs = 0;  // CAS end (as heard) -> ACK start (as sent)
    double AckMs = 0;
    std::optional<double> AckEndToDataMs;  // to the first mark bit
    double MarkMs = 0;                     // the mark run's length
    std::optional<TCorrMessage> Message;
    TDataVerdict DataVerdict = TDataVerdict::None;
};

}  // namespace ringlark
