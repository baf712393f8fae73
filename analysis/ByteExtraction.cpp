#include "ByteExtraction.h"

#include "MessageBuilder.h"

namespace ringlark {

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
        listing.push_back(Bytes(frame) + "  Dec: " + std::to_string(b) +
                          "  ASC: " + static_cast<char>(b));
        result += static_cast<char>(b);
    }
    if (!QuietAnalysis && ShowListing) {
        ShowListing(listing);
    }
    return result;
}

TAutoResult TByteAnalyzer::AutoAnalyze(const Bytes& image) {
    Demodulator.AnalysisMethod = AnalysisZeroCrossing;
    const Bytes zeroCrossing = Demodulator.Analyze(image);
    Demodulator.AnalysisMethod = AnalysisPeak;
    const Bytes peak = Demodulator.Analyze(image);
    QuietAnalysis = true;
    const Bytes a = StringAnalyze(zeroCrossing);
    const Bytes b = StringAnalyze(peak);
    const auto accepted = [](const Bytes& text) {
        return !text.empty() && IsKnownMessageType(ByteAt(text, 0));
    };
    if (accepted(a)) {
        return {"ZCA", a};
    }
    if (accepted(b)) {
        return {"PEAK", b};
    }
    return {"FAIL: " + a, b};
}

}  // namespace ringlark
