#pragma once

// DTMF caller ID: digits found with a block Goertzel detector, gathered into
// messages by their framing characters.
#include <array>
#include <complex>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "core/Bytes.h"

namespace ringlark {

struct TDtmfDigit {
    char Digit = 0;
    double Seconds = 0;   // where the tone pair began
    double Duration = 0;  // seconds
};

struct TDtmfMessage {
    double Seconds = 0;  // the first digit
    std::string Digits;  // framing characters included ("A0123456789C")
};

// Finds DTMF digits in a signal fed one sample at a time.
//
// Each 10 ms block is correlated with the eight DTMF frequencies. A block holds
// a digit when the strongest row and column tone hold a good share of its
// energy, both are above a floor, and the next strongest row and column are
// far weaker. A run of blocks of one digit (through one block that noise
// spoilt) is reported when it ends, if its tones hold most of the energy over
// the run, lasted 40 ms, neither was more than 9 dB above the other over the run (8 dB of
// twist either way is taken), and each tone's phase advance from block to
// block puts it within 2.5 % of its frequency (1.5 % is accepted, 3.5 %
// refused).
class TDtmfDetector {
  public:
    // pathGain: the gain of the filters before the detector at a frequency.
    explicit TDtmfDetector(double rate, std::function<double(double)> pathGain = {});
    void Push(float x, std::vector<TDtmfDigit>& found);
    void Finish(std::vector<TDtmfDigit>& found);

  private:
    struct TBlock {
        std::array<std::complex<double>, 8> Tones{};
        double Energy = 0;
        std::size_t First = 0;
        int Row = -1, Column = -1;  // the digit it holds, if any
    };
    void EndBlock(std::vector<TDtmfDigit>& found);
    void EndRun(const TBlock* after, std::vector<TDtmfDigit>& found);
    void AddToRun(const TBlock& b);

    double rate_;
    std::size_t blockLength_;
    std::array<double, 8> gain_{};
    std::array<std::complex<double>, 8> oscillator_{}, step_{};
    TBlock block_, previous_;
    std::size_t index_ = 0;
    // the current run: its blocks, the block before it, the amplitude sums
    std::size_t runBlocks_ = 0;
    TBlock before_, first_, last_;
    std::array<double, 2> amplitudeSum_{};
    std::array<std::complex<double>, 2> advance_{};
    // A block that did not hold, just after the run: the run goes on through
    // it when the next block holds the run's digit again.
    bool bridging_ = false;
    TBlock gap_;
    // each block of the run: its two tones' energy, and its whole energy
    std::vector<double> toneEnergy_, blockEnergy_;
};

// Gathers digits into messages: a message ends with C or #, and is kept when
// it has the shape of a DTMF caller ID (see DtmfCallerId) and its digits came
// at a steady pace (no digit lost, none broken in two). An A starts a new
// message; digits more than 2 s apart do not belong together.
class TDtmfAssembler {
  public:
    void Add(const TDtmfDigit& digit, std::vector<TDtmfMessage>& found);

  private:
    TDtmfMessage current_;
    std::vector<double> onsets_;     // where each digit of the current message began
    std::vector<double> durations_;  // and how long its tones lasted
    double lastEnd_ = -1e9;
};

// The whole first stage and the detector over a recording.
std::vector<TDtmfMessage> DecodeDtmf(std::span<const float> samples, double rate);
// An 8-bit image at 44100/s.
std::vector<TDtmfMessage> DecodeDtmfImage(const Bytes& image);

}  // namespace ringlark
