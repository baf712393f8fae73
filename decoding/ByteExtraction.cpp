#include "decoding/ByteExtraction.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "decoding/fsk/FskFamily.h"
#include "decoding/tones/DtmfDecoder.h"
#include "protocol/DtmfCallerId.h"
#include "protocol/MessageFormat.h"
#include "protocol/MessageRules.h"

namespace ringlark {

Bytes FrameListingLine(std::string_view frame, uint8_t byte) {
    return Bytes(frame) + "  Dec: " + std::to_string(byte) + "  ASC: " + static_cast<char>(byte);
}

std::vector<Bytes> CorrelationListing(const std::vector<TCorrMessage>& messages) {
    std::vector<Bytes> listing;
    for (const auto& message : messages) {
        for (std::size_t i = 0; i < message.Frames.size(); ++i) {
            listing.push_back(FrameListingLine(message.Frames[i], ByteAt(message.Message, i)));
        }
        char quality[64];
        std::snprintf(quality, sizeof quality, "Quality: %.2f (weakest bit over mean)",
                      message.Quality);
        listing.push_back(quality);
    }
    return listing;
}

uint8_t FrameToByte(std::string_view frame) {
    unsigned value = 0;
    unsigned weight = 1;
    for (std::size_t i = 1; i < frame.size() && i <= 8; ++i) {
        if (frame[i] == '1') {
            value += weight;
        }
        weight <<= 1;
    }
    return static_cast<uint8_t>(value);
}

Bytes TByteAnalyzer::StringAnalyze(std::string_view bits) {
    Bytes result;
    const auto skipMarks = [&bits] {
        const auto first = bits.find_first_not_of('1');
        bits.remove_prefix(first == std::string_view::npos ? bits.size() : first);
    };
    if (bits.empty()) {
        return result;
    }
    skipMarks();
    if (bits.empty()) {
        return result;
    }
    // The seizure alternates 0 and 1 from a 0; pairs only are removed.
    while (bits.substr(0, 2) == "01") {
        bits.remove_prefix(2);
    }
    if (bits.empty()) {
        return result;
    }
    skipMarks();

    std::vector<Bytes> listing;
    for (std::size_t start = 0; start < bits.size(); start += 10) {
        const std::string_view frame = bits.substr(start, 10);
        const uint8_t b = FrameToByte(frame);
        listing.push_back(FrameListingLine(frame, b));
        result += static_cast<char>(b);
    }
    if (!QuietAnalysis && ShowListing) {
        ShowListing(listing);
    }
    return result;
}

bool ChecksumPasses(std::string_view text) {
    if (text.size() < 3) {
        return false;
    }
    const std::size_t total = static_cast<std::size_t>(static_cast<uint8_t>(text[1])) + 3;
    return text.size() >= total &&
           CidChecksum(text.substr(0, total - 1)) == static_cast<uint8_t>(text[total - 1]);
}

Bytes TByteAnalyzer::CorrelationAnalyze(const Bytes& image) {
    const auto messages = TCorrelationDecoder().DecodeImage(image);
    const std::vector<Bytes> listing = CorrelationListing(messages);
    if (!QuietAnalysis && ShowListing) {
        ShowListing(listing);
    }
    return messages.empty() ? Bytes() : messages.front().Message;
}

namespace {

// The message a text whose checksum passes holds by its length byte; what
// follows it is not the message's.
std::string_view MessageOf(std::string_view text) {
    return text.substr(0, static_cast<std::size_t>(static_cast<uint8_t>(text[1])) + 3);
}

}  // namespace

bool MessageHolds(std::string_view text, TCidStandard standard) {
    return ChecksumPasses(text) && CheckMessage(MessageOf(text), standard).Passed;
}

bool TAutoResult::Checked() const {
    if (Failed() || Uncertain) {
        return false;
    }
    return MethodTag == "DTMF" ? ParseDtmfDigits(Text).Valid : MessageHolds(Text, Standard());
}

std::string TAutoResult::BrokenRule() const {
    if (Failed() || Uncertain || MethodTag == "DTMF" || !ChecksumPasses(Text)) {
        return {};
    }
    return CheckMessage(MessageOf(Text), Standard()).Reason;
}

TAutoResult TByteAnalyzer::ChooseResult(
    const Bytes& zeroCrossingBits, const Bytes& peakBits, const std::function<bool()>& bell202Tones,
    const std::function<std::optional<TAutoResult>()>& method3) {
    Demodulator.AnalysisMethod = TAnalysisMethod::Peak;
    QuietAnalysis = true;
    const Bytes a = StringAnalyze(zeroCrossingBits);
    const Bytes b = StringAnalyze(peakBits);
    const auto accepted = [](const Bytes& text) {
        return !text.empty() && IsKnownMessageType(ByteAt(text, 0));
    };
    // Methods 1 and 2 read V.23 tones as Bell 202 too: what they read counts
    // only when the recording's tones are not clearly V.23.
    std::optional<bool> bell202;
    const auto notV23 = [&] {
        if (!bell202) {
            bell202 = bell202Tones();
        }
        return *bell202;
    };
    // A reading whose checksum adds up is taken only when every rule of the
    // message's structure holds too: two errors can cancel in the sum.
    if (accepted(a) && MessageHolds(a, TCidStandard::Bell202) && notV23()) {
        return {"ZCA", a};
    }
    if (accepted(b) && MessageHolds(b, TCidStandard::Bell202) && notV23()) {
        return {"PEAK", b};
    }
    if (auto result = method3()) {
        return std::move(*result);
    }
    if (accepted(a) && notV23()) {
        return {"ZCA", a};
    }
    if (accepted(b) && notV23()) {
        return {"PEAK", b};
    }
    return {"FAIL: " + a, b};
}

TAutoResult TByteAnalyzer::AutoAnalyze(const Bytes& image) {
    const auto [zeroCrossing, peak] = Demodulator.AnalyzeBoth(image, EstimateOffset(image));
    const auto bell202Tones = [&image] {
        return FamilyOfRatio(Bell202OverV23Image(image, 0, image.size(), 4), 2.0) !=
               TFskFamily::V23;
    };
    // Method 3 with the uncertain messages too: a certain one is the result;
    // the first uncertain one is kept for when nothing else holds.
    const auto method3 = [this, &image]() -> std::optional<TAutoResult> {
        std::optional<TCorrMessage> uncertain;
        const auto firstCertain = [&uncertain](const std::vector<TCorrMessage>& found) {
            const auto it = std::find_if(found.begin(), found.end(),
                                         [](const TCorrMessage& m) { return !m.Uncertain; });
            if (!uncertain && !found.empty() && found.front().Uncertain) {
                uncertain = found.front();
            }
            return it == found.end() ? std::optional<Bytes>() : it->Message;
        };
        TCorrelationDecoder bell;
        bell.IncludeUncertain = true;
        if (const auto message = firstCertain(bell.DecodeImage(image))) {
            return TAutoResult{"CORR", *message};
        }
        // Other standards, when Bell 202 gave no checked message.
        if (OtherStandards) {
            TCorrelationDecoder v23 = TCorrelationDecoder::For(TCidStandard::EtsiV23);
            v23.IncludeUncertain = true;
            if (const auto message = firstCertain(v23.DecodeImage(image))) {
                return TAutoResult{"V23", *message};
            }
            const auto dtmf = DecodeDtmfImage(image);
            if (!dtmf.empty()) {
                return TAutoResult{"DTMF", dtmf.front().Digits};
            }
        }
        if (uncertain) {
            return TAutoResult{Bytes(uncertain->Tag()), uncertain->Message, true,
                               uncertain->Alternative};
        }
        return std::nullopt;
    };
    return ChooseResult(zeroCrossing, peak, bell202Tones, method3);
}

}  // namespace ringlark
