#include "measurement/MeasurementReport.h"

#include <algorithm>
#include <cstdio>

#include "core/Cp1252.h"
#include "core/WavImage.h"
#include "inspection/Inspector.h"
#include "protocol/DtmfCallerId.h"

namespace ringlark {

namespace {

std::string Hex(const Bytes& message) {
    std::string hex;
    for (char c : message) {
        char two[4];
        std::snprintf(two, sizeof two, "%02X ", static_cast<unsigned>(static_cast<uint8_t>(c)));
        hex += two;
    }
    return hex.substr(0, hex.empty() ? 0 : hex.size() - 1);
}

// The number and the name a message carries, each followed by two spaces.
std::string NumberAndName(const TCorrMessage& message) {
    std::string number, name;
    for (const Bytes& note : InspectorFields(BuildInspector(message.Message, message.Standard))) {
        const std::string shown = ShownText(note);
        const auto colon = shown.find(": ");
        const std::string label = colon == std::string::npos ? "" : shown.substr(0, colon);
        if (label.find("Name") != std::string::npos && name.empty()) {
            name = shown.substr(colon + 2) + "  ";
        } else if (label.find("Number") != std::string::npos && number.empty()) {
            number = shown.substr(colon + 2) + "  ";
        }
    }
    return number + name;
}

TMeasuredMessage MeasuredDtmf(const TDtmfMessage& dtmf) {
    TMeasuredMessage m;
    m.Dtmf = dtmf;
    std::string number;
    m.Rows.push_back({"DTMF digits", dtmf.Digits, "", "not checked", "DTMF detector"});
    for (const std::string& field : DtmfFields(dtmf.Digits)) {
        const auto colon = field.find(": ");
        const std::string label = colon == std::string::npos ? field : field.substr(0, colon);
        const std::string value = colon == std::string::npos ? "" : field.substr(colon + 2);
        if (label == "Calling Number") {
            number = value;
        }
        m.Rows.push_back({label, value, "", "not checked", "DTMF detector"});
    }
    char title[48];
    std::snprintf(title, sizeof title, "%.3f s  DTMF  ", dtmf.Seconds);
    m.Title = title + (number.empty() ? "" : number + "  ") + dtmf.Digits;
    return m;
}

}  // namespace

std::vector<TMeasuredMessage> MeasureRecording(const Bytes& image, const TMeasureScale& scale) {
    std::vector<TMeasuredMessage> out;
    if (image.size() <= WavHeaderSize) {
        return out;
    }
    const std::vector<float> samples = ImageSampleValues(image);
    for (TCidStandard standard : {TCidStandard::Bell202, TCidStandard::EtsiV23}) {
        const TCorrelationDecoder decoder = TCorrelationDecoder::For(standard);
        for (const auto& message : decoder.DecodeImage(image)) {
            TMeasuredMessage m;
            m.Message = message;
            m.Measures = MeasureFsk(samples, 44100.0, message, decoder.Tones);
            UndoGain(m.Measures, scale.Gain);
            m.Limits = OwnLimits(message, m.Measures);
            m.Rows = CheckLimits(m.Measures, m.Limits, scale.DbmAtFullScale);
            char title[64];
            std::snprintf(title, sizeof title, "%.3f s  %s  ", message.Seconds,
                          standard == TCidStandard::Bell202 ? "Bell 202" : "V.23");
            m.Title = title + NumberAndName(message) + Hex(message.Message);
            out.push_back(std::move(m));
        }
    }
    for (const auto& dtmf : DecodeDtmfImage(image)) {
        out.push_back(MeasuredDtmf(dtmf));
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const TMeasuredMessage& a, const TMeasuredMessage& b) {
                         return a.Seconds() < b.Seconds();
                     });
    return out;
}

TSonogram MessageSonogram(const Bytes& image, const TMeasuredMessage& message, int columns,
                          int bins) {
    const std::vector<float> samples = ImageSampleValues(image);
    if (message.Dtmf) {
        // 70 ms tones and 70 ms gaps, and a little either side
        const double from = message.Dtmf->Seconds - 0.02;
        const double to =
            message.Dtmf->Seconds + 0.14 * static_cast<double>(message.Dtmf->Digits.size()) + 0.02;
        return ComputeSonogram(samples, 44100.0, std::max(0.0, from), to, columns, bins);
    }
    const TFskMeasures& m = message.Measures;
    const double from = m.Seconds - static_cast<double>(m.SeizureBits + m.MarkBits + 4) / 1200.0;
    const double to = m.Seconds + std::max(m.DurationSeconds, 0.01) + 0.005;
    return ComputeSonogram(samples, 44100.0, std::max(0.0, from), to, columns, bins);
}

}  // namespace ringlark
