#include "decoding/fsk/PhaseCorrelation.h"

#include <algorithm>
#include <cmath>

namespace ringlark {

namespace {

bool Erased(const std::vector<TSampleSpan>& erased, std::ptrdiff_t i) {
    return std::any_of(erased.begin(), erased.end(),
                       [i](const TSampleSpan& span) { return span.Holds(static_cast<double>(i)); });
}

}  // namespace

TBitCorrelation Correlate(const TDiscriminator& s, double at,
                          const std::vector<TSampleSpan>& erased) {
    const auto window = static_cast<std::ptrdiff_t>(s.Window);
    const auto last = static_cast<std::ptrdiff_t>(s.Signal.size()) - 1;
    const auto end = std::clamp<std::ptrdiff_t>(std::lround(at), window - 1, last);
    const double offset = at - static_cast<double>(end);  // of the window's start from the sample's
    TBitCorrelation c;
    c.Samples = static_cast<double>(window);
    const double steps[2] = {s.SpaceStep, s.MarkStep};
    for (int tone = 0; tone < 2; ++tone) {
        TComplex sum = 0;
        const TComplex step = std::polar(1.0, -steps[tone]);
        TComplex osc = 1;
        for (std::ptrdiff_t n = 0; n < window; ++n) {
            const std::ptrdiff_t j = end - window + 1 + n;
            if (erased.empty() || !Erased(erased, j)) {
                sum += static_cast<double>(s.Signal[static_cast<std::size_t>(j)]) * osc;
            } else if (tone == 0) {
                c.Samples -= 1;
            }
            osc *= step;
        }
        c.Tone[static_cast<std::size_t>(tone)] = sum * std::polar(1.0, steps[tone] * offset);
    }
    return c;
}

TBitSpacing SpacingOf(const TDiscriminator& s, const std::vector<TBitTones>& tones) {
    const std::size_t n = tones.size();
    const double steps[2] = {s.SpaceStep, s.MarkStep};
    TBitSpacing spacing;
    spacing.Turns.assign(n, {0.0, 0.0});
    spacing.Follows.assign(n, false);
    for (std::size_t i = 0; i + 1 < n; ++i) {
        for (std::size_t tone = 0; tone < 2; ++tone) {
            spacing.Turns[i][tone] = steps[tone] * (tones[i + 1].At - tones[i].At);
        }
        spacing.Follows[i] = !tones[i].IdleAfter;
    }
    return spacing;
}

std::array<TComplex, 4> PairSteps(const std::vector<TBitCorrelation>& c,
                                  const std::vector<TBitTones>& tones, const TBitSpacing& spacing,
                                  std::vector<TComplex>& step) {
    const std::size_t n = tones.size();
    step.assign(n, TComplex{});
    std::array<TComplex, 4> mean{};
    for (std::size_t i = 0; i + 1 < n; ++i) {
        if (!spacing.Joined(i)) {
            continue;
        }
        const std::size_t x = tones[i].ReadAsMark ? 1 : 0;
        const std::size_t y = tones[i + 1].ReadAsMark ? 1 : 0;
        step[i] = std::conj(c[i].Tone[x]) * c[i + 1].Tone[y] *
                  std::polar(1.0, -spacing.Turn(i, static_cast<int>(x)));
        mean[2 * x + y] += step[i] / (Magnitude(step[i]) + 1e-30);
    }
    return mean;
}

}  // namespace ringlark
