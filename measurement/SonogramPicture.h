#pragma once

// The Signal Measurements window's sonogram as plain drawing data: where the
// spectrum goes in a picture of any size, its axes (kHz up, ms across), and
// the measured mark and space frequencies as lines with their legend. The
// toolkit paints the spectrum into the plot and then the primitives.
#include <string>
#include <vector>

#include "core/Color.h"
#include "measurement/Sonogram.h"

namespace ringlark {

struct TSonogramPrimitive {
    enum class TKind { Line, Text } Kind = TKind::Line;
    int X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;  // a text is placed with its baseline at (X1, Y1)
    TColor Color = Black;
    std::string Text;
    bool Dashed = false;
};

struct TSonogramPlot {
    int Left = 0, Top = 0, Width = 0, Height = 0;  // the spectrum's pixels
};

inline constexpr TColor SonogramLineColor{220, 0, 0};

// The plot inside a picture of width x height: room left for the kHz labels,
// above for the legend and below for the ms labels. Never smaller than 1 x 1.
TSonogramPlot SonogramPlotArea(int width, int height);

// The row of the plot (0 at its top) where a frequency lies.
int SonogramRow(const TSonogramPlot& plot, const TSonogram& sonogram, double hz);

// The axes with their ticks and labels ("0" ... "4 kHz" up, the time of the
// recording in ms across), and a dashed line across the plot at each measured
// frequency above 0 with its legend ("mark 1200.3 Hz", "space 2199.1 Hz").
std::vector<TSonogramPrimitive> DrawSonogramFrame(const TSonogram& sonogram,
                                                  const TSonogramPlot& plot, double markHz,
                                                  double spaceHz);

// A tick step of 1, 2 or 5 times a power of ten that gives about `ticks`
// ticks over a span.
double TickStep(double span, int ticks);

}  // namespace ringlark
