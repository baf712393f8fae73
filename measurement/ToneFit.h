#pragma once

#include <span>
#include <utility>
#include <vector>

namespace ringlark {

// A tone's frequency by least squares: the frequency at which sinusoids fitted
// to every span (each with its own amplitude and phase) take the most of the
// spans' energy, searched within 4 % of the nominal one and then refined.
// Unlike a correlation it is not pulled by the tone's own negative-frequency
// image over short spans. With `slowTerms` each span also gets an offset, a
// slope and a curvature of its own: a line's high-pass (300 Hz) answers every
// change of tone with a slow transient lasting about a bit, which pulls a
// plain fit by several hertz. Spans under a cycle and a half hold too little
// to tell a tone from a curve and are then left out; the seizure's single
// bits are fitted plain.
double FitFrequency(std::span<const float> x, double rate, double nominal,
                    const std::vector<std::pair<double, double>>& spans, bool slowTerms);

}  // namespace ringlark
