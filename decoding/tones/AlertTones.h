#pragma once

// The alert tones that come before caller ID: the dual tone CAS / DT-AS
// (2130 Hz + 2750 Hz, which asks a set in use to listen for data) and the
// 440 Hz subscriber alert (the call-waiting beep).
#include <complex>
#include <cstddef>
#include <functional>
#include <vector>

namespace ringlark {

struct TAlertTone {
    enum class TKind { DualTone, Subscriber };
    TKind Kind = TKind::DualTone;
    double Seconds = 0;   // where it began, from the start of the stream
    double Duration = 0;  // seconds
    // Measured frequency (Hz) and level (dBFS: a full-scale sine is 0) of each
    // tone; the subscriber alert has only the low one.
    double LowHz = 0, HighHz = 0;
    double LowDbfs = 0, HighDbfs = 0;
};

// Finds one kind of alert tone in a signal fed one sample at a time.
//
// The signal is cut into short blocks, and each tone is correlated with a
// continuous oscillator over each block. A block belongs to the tone when the
// tones hold most of its energy, each of them is above a floor, and none is far
// weaker than the other; a run of such blocks is reported when it ends, if it
// lasted long enough and the phase advance of each tone from block to block
// puts its frequency within the tolerance. The duration comes from the tones'
// amplitude in every block of the run and one block either side relative to a
// whole block, so a tone is measured to a fraction of a block wherever its
// edges fall; the levels from the whole blocks.
class TAlertToneDetector {
  public:
    struct TSettings {
        TAlertTone::TKind Kind = TAlertTone::TKind::DualTone;
        std::vector<double> Frequencies;  // one or two, Hz
        double Tolerance = 0.011;         // relative frequency error accepted
        double BlockSeconds = 0.005;
        double MinSeconds = 0.020;
        // Gain of the signal path at a frequency (filters before the detector),
        // taken out of the levels reported.
        std::function<double(double)> PathGain;
    };
    static TSettings DualTone();
    static TSettings Subscriber();

    TAlertToneDetector(double rate, TSettings settings);
    void Push(float x, std::vector<TAlertTone>& found);
    // The stream ended: a tone still running is reported if it qualifies.
    void Finish(std::vector<TAlertTone>& found);

  private:
    struct TBlock {
        std::vector<std::complex<double>> Tones;
        double Energy = 0;
        bool Belongs = false;
        std::size_t First = 0;  // index of its first sample
    };
    // What a run of blocks adds up to (a tone of any length costs the same).
    struct TRun {
        std::size_t Blocks = 0;
        TBlock Before, First, Last;                      // Before: the block before the run
        std::vector<double> AmplitudeSum;                // per tone, |correlation|
        std::vector<std::complex<double>> PhaseAdvance;  // per tone, sum of c[k] conj c[k-1]
    };
    bool BlockBelongs(const TBlock& block) const;
    void EndBlock(std::vector<TAlertTone>& found);
    void EndRun(const TBlock* after, std::vector<TAlertTone>& found);

    double rate_;
    TSettings settings_;
    std::size_t blockLength_;
    std::vector<std::complex<double>> oscillator_, step_;
    TBlock block_;
    std::size_t index_ = 0;
    TRun run_;
    TBlock previous_;
};

}  // namespace ringlark
