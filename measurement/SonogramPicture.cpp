#include "measurement/SonogramPicture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace ringlark {

namespace {

constexpr int kLeftMargin = 44;
constexpr int kTopMargin = 16;
constexpr int kBottomMargin = 20;
constexpr int kRightMargin = 8;
constexpr TColor kAxisColor{64, 64, 64};

std::string Format(const char* format, double value) {
    char text[48];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

TSonogramPlot SonogramPlotArea(int width, int height) {
    return {kLeftMargin, kTopMargin, std::max(1, width - kLeftMargin - kRightMargin),
            std::max(1, height - kTopMargin - kBottomMargin)};
}

int SonogramRow(const TSonogramPlot& plot, const TSonogram& sonogram, double hz) {
    if (sonogram.Bins <= 0) {
        return plot.Height - 1;
    }
    return plot.Height - 1 -
           sonogram.BinOf(hz) * (plot.Height - 1) / std::max(1, sonogram.Bins - 1);
}

double TickStep(double span, int ticks) {
    if (!(span > 0) || ticks <= 0) {
        return 1;
    }
    const double rough = span / ticks;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (double factor : {1.0, 2.0, 5.0}) {
        if (factor * power >= rough) {
            return factor * power;
        }
    }
    return 10 * power;
}

std::vector<TSonogramPrimitive> DrawSonogramFrame(const TSonogram& sonogram,
                                                  const TSonogramPlot& plot, double markHz,
                                                  double spaceHz) {
    std::vector<TSonogramPrimitive> out;
    const int left = plot.Left - 1;
    const int bottom = plot.Top + plot.Height;
    const int right = plot.Left + plot.Width;
    const auto line = [&](int x1, int y1, int x2, int y2, TColor color, bool dashed = false) {
        out.push_back({TSonogramPrimitive::TKind::Line, x1, y1, x2, y2, color, "", dashed});
    };
    const auto text = [&](int x, int y, std::string s, TColor color = kAxisColor) {
        out.push_back({TSonogramPrimitive::TKind::Text, x, y, x, y, color, std::move(s), false});
    };
    line(left, plot.Top, left, bottom, kAxisColor);  // the frequency axis
    line(left, bottom, right, bottom, kAxisColor);   // the time axis
    // kHz: a tick at every whole kHz up to the top
    for (int khz = 0; khz * 1000 <= sonogram.TopHz + 0.5 && sonogram.TopHz > 0; ++khz) {
        const int y = plot.Top + SonogramRow(plot, sonogram, khz * 1000.0);
        line(left - 4, y, left, y, kAxisColor);
        text(4, y + 4,
             khz == static_cast<int>(sonogram.TopHz / 1000) ? Format("%g kHz", khz)
                                                            : Format("%g", khz));
    }
    // ms of the recording across
    const double fromMs = sonogram.FromSeconds * 1000;
    const double toMs = sonogram.ToSeconds * 1000;
    if (toMs > fromMs) {
        const double step = TickStep(toMs - fromMs, std::max(1, plot.Width / 90));
        for (double ms = std::ceil(fromMs / step) * step; ms <= toMs + 1e-9; ms += step) {
            const int x =
                plot.Left +
                static_cast<int>(std::lround((ms - fromMs) / (toMs - fromMs) * (plot.Width - 1)));
            line(x, bottom, x, bottom + 4, kAxisColor);
            text(x - 8, bottom + 16, Format("%.0f", ms));
        }
        text(right - 20, bottom + 16, "ms");
    }
    // the measured tones, and what each line is
    int legendX = plot.Left;
    for (const auto& [name, hz] : {std::pair<const char*, double>{"mark", markHz},
                                   std::pair<const char*, double>{"space", spaceHz}}) {
        if (hz > 0 && sonogram.Bins > 0) {
            const int y = plot.Top + SonogramRow(plot, sonogram, hz);
            line(plot.Left, y, right, y, SonogramLineColor, true);
            const std::string legend = std::string(name) + Format(" %.1f Hz", hz);
            line(legendX, plot.Top - 6, legendX + 16, plot.Top - 6, SonogramLineColor, true);
            text(legendX + 20, plot.Top - 2, legend, SonogramLineColor);
            legendX += 20 + 8 * static_cast<int>(legend.size()) + 16;
        }
    }
    return out;
}

}  // namespace ringlark
