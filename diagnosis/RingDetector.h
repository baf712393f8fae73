#pragma once

// Ringing as a line interface on a sound card passes it: loud bursts at the
// ringing frequency (about 15-68 Hz, or twice that when the interface
// rectifies it), usually clipped. Each burst is reported with its start and
// length, so that caller ID can be placed relative to the rings.
#include <cstddef>
#include <span>
#include <vector>

namespace ringlark {

struct TRingBurst {
    double Seconds = 0;    // where it began, from the start of the stream
    double Duration = 0;   // seconds
    double Hz = 0;         // the frequency of the burst's waveform
    double LevelDbfs = 0;  // its RMS level (a full-scale sine is 0 dBFS)
    bool Clipped = false;  // a tenth or more of its samples sit at its peaks
    double End() const { return Seconds + Duration; }
};

// Fed one sample at a time, it reports each burst when it has ended.
//
// The signal (DC removed) is cut into 10 ms blocks; for each block it keeps
// the energy and the energy below 90 Hz (a fourth-order low-pass). A block
// belongs to a ring when the last 80 ms (a period of the slowest ringing)
// hold mostly low-frequency energy and are loud; a run of such blocks is a
// burst when it lasts 150 ms to 6 s, its waveform crosses zero at a ringing
// rate (12 to 75 Hz: speech's fundamental lies higher, hum lasts longer) and
// gaps under 50 ms inside it are bridged. The edges are refined to the 10 ms
// blocks that carry the burst's energy (as it came: filters ring on).
class TRingDetector {
  public:
    struct TSettings {
        double MinLevelDbfs = -24;  // RMS of the low band over the window
        double MinLowShare = 0.6;   // low band over all
        double MinSeconds = 0.15;
        double MaxSeconds = 6.0;
        double MinHz = 12, MaxHz = 75;
        double BridgeSeconds = 0.05;
    };

    explicit TRingDetector(double rate) : TRingDetector(rate, TSettings{}) {}
    TRingDetector(double rate, TSettings settings);
    void Push(float x, std::vector<TRingBurst>& found);
    void Push(std::span<const float> x, std::vector<TRingBurst>& found) {
        for (float v : x) {
            Push(v, found);
        }
    }
    // The stream ended: a burst still running is reported if it qualifies.
    void Finish(std::vector<TRingBurst>& found);

  private:
    struct TBiquad {
        double B0 = 1, B1 = 0, B2 = 0, A1 = 0, A2 = 0;
        double X1 = 0, X2 = 0, Y1 = 0, Y2 = 0;
        double Push(double x) {
            const double y = B0 * x + B1 * X1 + B2 * X2 - A1 * Y1 - A2 * Y2;
            X2 = X1;
            X1 = x;
            Y2 = Y1;
            Y1 = y;
            return y;
        }
    };
    struct TBlock {
        double Energy = 0, Low = 0, Raw = 0;  // DC-free, below 90 Hz, as it came
        std::size_t First = 0;                // index of its first sample
        int Crossings = 0;
        int Clipped = 0;
        float Peak = 0;
    };
    struct TRun {
        bool Open = false;
        std::size_t FirstBlock = 0, LastBlock = 0;  // block numbers, inclusive
        bool TooLong = false;                       // hum or a tone: never reported
    };
    void EndBlock(std::vector<TRingBurst>& found);
    void EndRun(std::vector<TRingBurst>& found);
    const TBlock& BlockAt(std::size_t number) const { return history_[number % history_.size()]; }

    double rate_;
    TSettings settings_;
    std::size_t blockLength_;
    std::size_t windowBlocks_;
    TBiquad dc_, low1_, low2_;
    TBlock block_;
    std::size_t index_ = 0, blockNumber_ = 0;
    int lowSign_ = 0;
    // every block of the current run and the window before it, by number
    std::vector<TBlock> history_;
    TRun run_;
    std::size_t quietBlocks_ = 0;  // blocks since the run's last ringing one
};

// The bursts in a whole recording.
std::vector<TRingBurst> DetectRings(std::span<const float> samples, double rate);

}  // namespace ringlark
