#include "analyst/Waveform.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/WavImage.h"
#include "decoding/Demodulator.h"

namespace ringlark {

namespace {

std::string SecondsLabel(int64_t offset) {
    // the time of the sample at this offset, in two significant digits
    char text[32];
    std::snprintf(text, sizeof text, "%.2gs",
                  static_cast<double>(offset - static_cast<int64_t>(WavHeaderSize)) / 44100.0);
    return text;
}

std::string BitsLabel(int columns, const char* suffix) {
    return std::to_string(std::lround(columns / 36.75)) + suffix;
}

}  // namespace

int64_t ClampStart(int64_t start, std::size_t imageSize) {
    const auto upper = static_cast<int64_t>(imageSize) - TWaveformPicture::Width;
    start = std::min(start, upper);
    return std::max(start, static_cast<int64_t>(WavHeaderSize));
}

TWaveformPicture DrawWaveform(const Bytes& image, int64_t start, TAnalysisMethod method,
                              int32_t signalOffset) {
    using K = TPrimitive::Kind;
    TWaveformPicture picture;
    auto& out = picture.Primitives;
    start = ClampStart(start, image.size());
    picture.Start = start;
    out.push_back({K::Rect, 0, 0, TWaveformPicture::Width, TWaveformPicture::Height, White, {}});
    out.push_back({K::Line,
                   0,
                   TWaveformPicture::CentreY,
                   TWaveformPicture::Width - 1,
                   TWaveformPicture::CentreY,
                   Navy,
                   {}});

    const int t = signalOffset + 127;
    const bool peak = method == TAnalysisMethod::Peak;
    int penX = 0;
    int penY = TWaveformPicture::CentreY;
    int p1 = 127;
    int p2 = 127;
    int lastEvent = 0;
    int labelX = 44;
    TColor lastBar = White;

    for (int j = 1; j <= TWaveformPicture::Width; ++j) {
        const int64_t o = start + j;
        const auto sampleAt = static_cast<std::size_t>(start + j - 1);
        if (sampleAt >= image.size()) {
            break;  // past the end of the image the picture stays white
        }
        if (o % TWaveformPicture::GridStep == 0) {
            out.push_back({K::Line, j, 0, j, TWaveformPicture::Height, Maroon, {}});
            out.push_back({K::Text, j + 2, 2, 0, 0, Maroon, std::to_string(o)});
            out.push_back({K::Text, j + 2, 14, 0, 0, Maroon, SecondsLabel(o)});
        }
        const int v = ByteAt(image, sampleAt);
        const int y = TWaveformPicture::BaseY - v;
        out.push_back({K::Line, penX, penY, j, y, Black, {}});
        penX = j;
        penY = y;

        bool event = false;
        if (!peak) {
            event = (p1 < t && t <= v) || (v < t && t <= p1);
        } else if (j - lastEvent >= TDemodulator::PeakSpacing) {
            // drawing only: small wiggles around the threshold make no event
            const bool outsideBand = v - signalOffset <= 121 || v - signalOffset >= 135;
            event = outsideBand && ((v < t && p1 < v && p2 >= p1) || (v > t && p1 > v && p2 <= p1));
        }
        if (event) {
            const int d = j - lastEvent;
            out.push_back({K::Rect, j, 2, j + 2, 5, Black, {}});
            out.push_back({K::Line, j, 4, j, TWaveformPicture::Height, Aqua, {}});
            if (d >= TDemodulator::MarkMin && d <= TDemodulator::MarkMax) {
                if (lastBar == Lime) {
                    out.push_back({K::Text, labelX, TWaveformPicture::LabelY, 0, 0, Black,
                                   BitsLabel(j - labelX, "x0")});
                    labelX = j;
                }
                out.push_back({K::Line,
                               lastEvent,
                               TWaveformPicture::BarY,
                               j,
                               TWaveformPicture::BarY,
                               Fuchsia,
                               {}});
                lastBar = Fuchsia;
            }
            if (d >= 7 && d <= TDemodulator::SpaceMax) {
                if (lastBar == Fuchsia) {
                    out.push_back({K::Text, labelX, TWaveformPicture::LabelY, 0, 0, Black,
                                   BitsLabel(j - labelX, "x1")});
                    labelX = j;
                }
                out.push_back({K::Line,
                               lastEvent,
                               TWaveformPicture::BarY,
                               j,
                               TWaveformPicture::BarY,
                               Lime,
                               {}});
                lastBar = Lime;
            }
            lastEvent = j;
        }
        p2 = p1;
        p1 = v;
    }
    return picture;
}

Bytes ImageFrom(const Bytes& image, int64_t offset) {
    if (image.size() < WavHeaderSize) {
        return {};
    }
    const auto from = static_cast<std::size_t>(std::clamp<int64_t>(
        offset, static_cast<int64_t>(WavHeaderSize), static_cast<int64_t>(image.size())));
    Bytes out = image.substr(0, WavHeaderSize) + image.substr(from);
    WriteLe32(out, 40, static_cast<uint32_t>(out.size() - WavHeaderSize));
    return out;
}

}  // namespace ringlark
