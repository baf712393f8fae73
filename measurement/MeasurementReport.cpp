#include "measurement/MeasurementReport.h"

#include <algorithm>
#include <cstdio>

#include "core/WavImage.h"

namespace ringlark {

std::vector<TMeasuredMessage> MeasureRecording(const Bytes& image) {
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
            m.Limits = OwnLimits(message, m.Measures);
            m.Rows = CheckLimits(m.Measures, m.Limits, std::nullopt);
            std::string hex;
            for (char c : message.Message) {
                char two[4];
                std::snprintf(two, sizeof two, "%02X ",
                              static_cast<unsigned>(static_cast<uint8_t>(c)));
                hex += two;
            }
            char title[64];
            std::snprintf(title, sizeof title, "%.3f s  %s  ", message.Seconds,
                          standard == TCidStandard::Bell202 ? "Bell 202" : "V.23");
            m.Title = title + hex.substr(0, hex.empty() ? 0 : hex.size() - 1);
            out.push_back(std::move(m));
        }
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const TMeasuredMessage& a, const TMeasuredMessage& b) {
                         return a.Message.Seconds < b.Message.Seconds;
                     });
    return out;
}

TSonogram MessageSonogram(const Bytes& image, const TMeasuredMessage& message, int columns,
                          int bins) {
    const std::vector<float> samples = ImageSampleValues(image);
    const TFskMeasures& m = message.Measures;
    const double from = m.Seconds - static_cast<double>(m.SeizureBits + m.MarkBits + 4) / 1200.0;
    const double to = m.Seconds + std::max(m.DurationSeconds, 0.01) + 0.005;
    return ComputeSonogram(samples, 44100.0, std::max(0.0, from), to, columns, bins);
}

}  // namespace ringlark
