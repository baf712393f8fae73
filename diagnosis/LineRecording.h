#pragma once

// Recordings of a telephone line as a line interface on a sound card passes
// it, for tests and demonstrations: ringing as loud, clipped low-frequency
// bursts in a cadence, and caller-ID signals placed around them.
#include <utility>
#include <vector>

namespace ringlark {

struct TRingBurstShape {
    double Seconds = 0, Duration = 0;
};

struct TLineRecordingLayout {
    double Rate = 8000;
    double Seconds = 10;
    std::vector<TRingBurstShape> Rings;
    double RingHz = 20;
    // Peak of the ringing before the sound card clips it at full scale (above
    // 1: clipped).
    double RingPeak = 2.5;
    bool Rectified = false;  // full-wave rectified by the interface (AC-coupled)
    // Signals placed with their first sample at a time (seconds).
    std::vector<std::pair<double, std::vector<float>>> Signals;
    double NoiseDbfs = -70;  // the line's own hiss (white)
};

// North America: 2 s on, 4 s off, from `first`.
std::vector<TRingBurstShape> NorthAmericanCadence(double first, int rings);
// The UK: 0.4 s on, 0.2 s off, 0.4 s on, 2 s off, from `first`.
std::vector<TRingBurstShape> UkCadence(double first, int rings);

std::vector<float> SynthesiseLineRecording(const TLineRecordingLayout& layout);

}  // namespace ringlark
