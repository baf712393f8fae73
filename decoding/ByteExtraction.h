#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/Bytes.h"
#include "decoding/Demodulator.h"
#include "decoding/fsk/CorrelationDecoder.h"
#include "protocol/Standards.h"

namespace ringlark {

// Receives the frame listing of an analysis; the window shows it modally.
using TListingSink = std::function<void(const std::vector<Bytes>& lines)>;

// A line of the frame listing: the frame's characters, its byte in decimal and
// the byte itself.
Bytes FrameListingLine(std::string_view frame, uint8_t byte);
// The listing of method 3's bit decisions for the messages it found, each
// followed by its quality (the weakest bit's decision over the mean).
std::vector<Bytes> CorrelationListing(const std::vector<TCorrMessage>& messages);

// Characters 2 to 9 of a frame are the data bits, least significant first.
uint8_t FrameToByte(std::string_view frame);

// The result of the automatic analysis.
struct TAutoResult {
    TAutoResult() = default;
    TAutoResult(Bytes tag, Bytes text, bool uncertain = false, Bytes alternative = {})
        : MethodTag(std::move(tag)),
          Text(std::move(text)),
          Uncertain(uncertain),
          Alternative(std::move(alternative)) {}
    Bytes MethodTag;  // "ZCA", "PEAK", "CORR", "V23", "DTMF", or "FAIL: " + the method-0 text
    Bytes Text;       // the accepted text, or the method-1 text after a failure
    // Method 3 found a message only with another reading that fits as well
    // (MessageJudge): Text is the first reading, and it is not a decoded
    // message.
    bool Uncertain = false;
    Bytes Alternative;
    bool Failed() const { return MethodTag.rfind("FAIL: ", 0) == 0; }
    // The method-0 text of a failure.
    Bytes ZeroCrossingText() const { return Failed() ? MethodTag.substr(6) : Bytes(); }
    // What it reports holds: the checksum and every rule of the structure of a
    // message, the framing of DTMF digits (which have no checksum).
    bool Checked() const;
    // The rule a message whose checksum adds up breaks all the same; empty
    // when there is none (or the checksum fails).
    std::string BrokenRule() const;
    // The system whose terms explain the text: V.23 (ETSI), DTMF or Bell 202.
    TCidStandard Standard() const {
        return MethodTag == "V23"    ? TCidStandard::EtsiV23
               : MethodTag == "DTMF" ? TCidStandard::Dtmf
                                     : TCidStandard::Bell202;
    }
};

// True when the text holds a whole message by its length byte and the checksum
// over type, length and body passes.
bool ChecksumPasses(std::string_view text);
// The same, and the message (the text up to its checksum) keeps every rule of
// its structure.
bool MessageHolds(std::string_view text, TCidStandard standard);

// The analysis state that outlives a call: the demodulator's method and offset,
// and whether the frame listing is shown.
struct TByteAnalyzer {
    TDemodulator Demodulator;
    bool QuietAnalysis = false;
    TListingSink ShowListing;
    // After Bell 202, look for V.23 and DTMF caller ID too.
    bool OtherStandards = true;

    // Skips the seizure and the mark, cuts 10-bit frames and takes their bytes.
    // Unless QuietAnalysis, the listing is shown.
    Bytes StringAnalyze(std::string_view bits);

    // The zero-crossing result when it is a known message whose checksum passes
    // and whose structure keeps every rule, else the peak result on the same
    // condition, else the first message the
    // correlation decoder (method 3) finds, else the first of the two results
    // whose first byte is a known type, else a failure. Method 3 runs only when
    // neither of the first two gives a checked message, so its presence never
    // changes the report of a recording that they decode. After all three,
    // V.23 (method 3 with V.23 tones, ETSI rules: "V23"), then DTMF digits
    // ("DTMF", the text being the digits). What methods 1 and 2 read is not
    // taken from a recording whose tones are clearly V.23's. When nothing else
    // holds but method 3 found an uncertain message, that is the result,
    // marked so, with its other reading.
    TAutoResult AutoAnalyze(const Bytes& image);

    // The choice AutoAnalyze makes, from the bit texts of methods 1 and 2,
    // whether the recording's tones are not clearly V.23's (asked only when
    // one of them read something) and method 3 with the other standards
    // (asked only when neither holds; nothing when it found no message).
    TAutoResult ChooseResult(const Bytes& zeroCrossingBits, const Bytes& peakBits,
                             const std::function<bool()>& bell202Tones,
                             const std::function<std::optional<TAutoResult>()>& method3);

    // Method 3 by hand: the frame listing of the bit decisions of every message
    // found (shown unless QuietAnalysis); returns the first message.
    Bytes CorrelationAnalyze(const Bytes& image);
};

}  // namespace ringlark
