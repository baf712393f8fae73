#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/Bytes.h"
#include "core/Color.h"
#include "decoding/AnalysisMethod.h"

namespace ringlark {

// One drawing operation of the viewer's picture, in drawing order. Lines leave
// out their end point; rectangles their right and bottom edges.
struct TPrimitive {
    enum class Kind { Line, Rect, Text } Type;
    int X1, Y1, X2, Y2;  // a text is placed at (X1, Y1)
    TColor Color;
    std::string Text;
};

struct TWaveformPicture {
    static constexpr int Width = 771;
    static constexpr int Height = 299;
    static constexpr int CentreY = 131;
    static constexpr int BaseY = 260;  // a sample v is drawn at 260 - v
    static constexpr int GridStep = 350;
    static constexpr int BarY = 20;
    static constexpr int LabelY = 21;

    std::vector<TPrimitive> Primitives;
    int64_t Start = 0;  // the offset drawn, after the clamps
};

// The offset a picture starts at: at least 44 and at most image size - 771, so
// that the last samples can be scrolled into view; a short image starts at 44.
int64_t ClampStart(int64_t start, std::size_t imageSize);

// UpdateScreen: 771 columns of the image from start, with the events that the
// given method sees, the half-period bars and the bit-count labels. Nothing
// outside the image is read: columns past its end stay white.
TWaveformPicture DrawWaveform(const Bytes& image, int64_t start, TAnalysisMethod method,
                              int32_t signalOffset);

// The "Play" image: the header with its data size rewritten, then the samples
// from the offset on. The RIFF size is kept.
Bytes ImageFrom(const Bytes& image, int64_t offset);

}  // namespace ringlark
