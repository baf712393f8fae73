#pragma once

// Stretches of a capture that repeat earlier samples exactly, as a sound
// card's buffer does when a stale part of it is read again (a slip): the
// stretch holds what was played a moment before, noise and all, in place of
// what the line carried then.
#include <cstddef>
#include <vector>

namespace ringlark {

// Samples held by whoever keeps the input: from First() to End(), by their
// index in the whole input.
class TSampleView {
  public:
    virtual ~TSampleView() = default;
    virtual std::size_t First() const = 0;
    virtual std::size_t End() const = 0;
    // Samples [from, to) into out (from and to within First() to End()).
    virtual void Read(std::size_t from, std::size_t to, std::vector<float>& out) const = 0;
};

// A view of samples held whole in a vector.
class TVectorSamples final : public TSampleView {
  public:
    explicit TVectorSamples(const std::vector<float>& samples) : samples_(samples) {}
    std::size_t First() const override { return 0; }
    std::size_t End() const override { return samples_.size(); }
    void Read(std::size_t from, std::size_t to, std::vector<float>& out) const override;

  private:
    const std::vector<float>& samples_;
};

// A stretch of working samples [From, To).
struct TSampleSpan {
    double From = 0;
    double To = 0;
    bool Holds(double i) const { return i >= From && i < To; }
};

struct TRepeat {
    std::size_t From = 0;  // the stretch [From, To) in input samples
    std::size_t To = 0;
    std::size_t Delay = 0;  // it repeats [From - Delay, To - Delay)
    // The stretch is as long as its delay: it may go on further, with the
    // samples that it took the place of at its start, which the capture no
    // longer holds anywhere else.
    bool MayGoOn = false;
};

// The longest a repeat reaches back, in seconds: a sound card's ring buffer
// of a few periods.
inline constexpr double kMostRepeatDelay = 0.25;

// The noise of a recording in [from, to), where it carries one steady tone
// (the mark run before a message), in steps of its samples' values (1/32768 at
// 16 bits, 1/128 at 8; far below a float's).
double NoiseInSteps(const TSampleView& input, std::size_t from, std::size_t to, double rate,
                    double toneHz);

// The stretches inside [from, to) that repeat, sample for sample, a stretch
// up to kMostRepeatDelay earlier, where that cannot be chance. A recording
// with noise on it never repeats itself exactly; a clean one does, wherever
// two stretches carry the same bits at nearly the same phase, to the step of
// its values (a synthetic tone written at 8 or 16 bits). So nothing is looked
// for where the noise (`noiseSteps`, NoiseInSteps) is under kMinNoiseSteps
// steps; otherwise a stretch counts where its samples change often enough
// (not a rail, not silence) that equal samples by chance, as often as that
// noise or its delay around it gives them, cannot explain it over every
// place and delay searched, at odds of a million to one.
inline constexpr double kMinNoiseSteps = 4;
std::vector<TRepeat> FindRepeats(const TSampleView& input, std::size_t from, std::size_t to,
                                 double rate, double noiseSteps);

}  // namespace ringlark
