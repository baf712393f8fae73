#include "decoding/tones/DtmfDecoder.h"

#include <algorithm>
#include <cmath>

#include "decoding/tones/ToneDiscriminator.h"
#include "protocol/DtmfCallerId.h"

namespace ringlark {

namespace {

constexpr std::array<double, 8> kHz = {697, 770, 852, 941, 1209, 1336, 1477, 1633};
constexpr std::string_view kKeys = "123A456B789C*0#D";
// The share of a block's energy that its two tones must hold, and of the
// energy of a whole run of blocks: noise varies block by block far more than
// over a run, so one block is held to a low share and the run to the real one.
constexpr double kMinBlockShare = 0.35;
constexpr double kMinShare = 0.6;
constexpr double kMinLevelDbfs = -45;
// 8 dB of twist either way, with a margin, over a whole tone; one block may
// show more (the other tone's leakage moves the weaker one's level).
constexpr double kMaxTwistDb = 9;
constexpr double kMaxBlockTwistDb = 12;
constexpr double kMaxNeighbour = 0.6;  // the next strongest tone of a group, relative
constexpr double kTolerance = 0.025;
constexpr double kMinSeconds = 0.038;
constexpr double kMaxGapSeconds = 2.0;

double Db(double amplitude) {
    return 20 * std::log10(std::max(amplitude, 1e-12));
}

}  // namespace

TDtmfDetector::TDtmfDetector(double rate, std::function<double(double)> pathGain)
    : rate_(rate),
      blockLength_(std::max<std::size_t>(8, static_cast<std::size_t>(std::lround(rate * 0.010)))) {
    for (std::size_t k = 0; k < kHz.size(); ++k) {
        oscillator_[k] = 1.0;
        step_[k] = std::polar(1.0, -2 * M_PI * kHz[k] / rate);
        gain_[k] = pathGain ? pathGain(kHz[k]) : 1.0;
    }
}

void TDtmfDetector::Push(float x, std::vector<TDtmfDigit>& found) {
    const double v = x;
    for (std::size_t k = 0; k < kHz.size(); ++k) {
        block_.Tones[k] += v * oscillator_[k];
        oscillator_[k] *= step_[k];
    }
    block_.Energy += v * v;
    if (++index_ % blockLength_ == 0) {
        for (auto& o : oscillator_) {
            o /= std::abs(o);
        }
        EndBlock(found);
    }
}

void TDtmfDetector::EndBlock(std::vector<TDtmfDigit>& found) {
    TBlock& b = block_;
    b.First = index_ - blockLength_;
    const auto n = static_cast<double>(blockLength_);
    // the strongest and next strongest tone of each group
    std::array<int, 2> best = {0, 4};
    std::array<double, 2> next = {0, 0};
    for (int group = 0; group < 2; ++group) {
        for (int k = group * 4; k < group * 4 + 4; ++k) {
            if (std::abs(b.Tones[k]) > std::abs(b.Tones[best[group]])) {
                best[group] = k;
            }
        }
        for (int k = group * 4; k < group * 4 + 4; ++k) {
            if (k != best[group]) {
                next[group] = std::max(next[group], std::abs(b.Tones[k]));
            }
        }
    }
    const double row = std::abs(b.Tones[best[0]]);
    const double column = std::abs(b.Tones[best[1]]);
    const double rowDb = Db(2 * row / n / gain_[best[0]]);
    const double columnDb = Db(2 * column / n / gain_[best[1]]);
    const bool holds = b.Energy > 0 &&
                       2 * (row * row + column * column) / n >= kMinBlockShare * b.Energy &&
                       rowDb >= kMinLevelDbfs && columnDb >= kMinLevelDbfs &&
                       std::fabs(rowDb - columnDb) <= kMaxBlockTwistDb &&
                       next[0] <= kMaxNeighbour * row && next[1] <= kMaxNeighbour * column;
    b.Row = holds ? best[0] : -1;
    b.Column = holds ? best[1] : -1;
    if (runBlocks_ > 0) {
        const bool same = b.Row == first_.Row && b.Column == first_.Column;
        if (same && bridging_) {
            // one block inside a tone that noise spoilt: it belongs to the run
            AddToRun(gap_);
            bridging_ = false;
        } else if (!same && !holds && !bridging_) {
            // wait for the next block before the run is taken as ended
            bridging_ = true;
            gap_ = b;
            previous_ = b;
            block_ = TBlock{};
            return;
        } else if (!same) {
            EndRun(bridging_ ? &gap_ : &b, found);
            bridging_ = false;
        }
    }
    if (holds) {
        if (runBlocks_ == 0) {
            before_ = previous_;
            first_ = b;
            amplitudeSum_ = {};
            advance_ = {};
            toneEnergy_.clear();
            blockEnergy_.clear();
        }
        AddToRun(b);
    }
    previous_ = b;
    block_ = TBlock{};
}

void TDtmfDetector::AddToRun(const TBlock& b) {
    const int row = first_.Row;
    const int column = first_.Column;
    if (runBlocks_ > 0) {
        advance_[0] += b.Tones[row] * std::conj(last_.Tones[row]);
        advance_[1] += b.Tones[column] * std::conj(last_.Tones[column]);
    }
    const double r = std::abs(b.Tones[row]);
    const double c = std::abs(b.Tones[column]);
    amplitudeSum_[0] += r;
    amplitudeSum_[1] += c;
    toneEnergy_.push_back(2 * (r * r + c * c) / static_cast<double>(blockLength_));
    blockEnergy_.push_back(b.Energy);
    last_ = b;
    ++runBlocks_;
}

void TDtmfDetector::Finish(std::vector<TDtmfDigit>& found) {
    if (runBlocks_ > 0) {
        EndRun(bridging_ ? &gap_ : nullptr, found);
        bridging_ = false;
    }
}

void TDtmfDetector::EndRun(const TBlock* after, std::vector<TDtmfDigit>& found) {
    const int row = first_.Row;
    const int column = first_.Column;
    const auto n = static_cast<double>(blockLength_);
    const std::size_t blocks = runBlocks_;
    runBlocks_ = 0;
    if (blocks < 2) {
        return;
    }
    // A whole block's correlation: the mean without the first and last block.
    const auto whole = [&](int tone, double sum) {
        return blocks >= 3 ? (sum - std::abs(first_.Tones[tone]) - std::abs(last_.Tones[tone])) /
                                 static_cast<double>(blocks - 2)
                           : std::max(std::abs(first_.Tones[tone]), std::abs(last_.Tones[tone]));
    };
    const double rowWhole = whole(row, amplitudeSum_[0]);
    const double columnWhole = whole(column, amplitudeSum_[1]);
    const double wholeSum = rowWhole + columnWhole;
    if (std::fabs(Db(rowWhole / gain_[row]) - Db(columnWhole / gain_[column])) > kMaxTwistDb) {
        return;
    }
    // The tones' share of the energy over the whole blocks of the run.
    {
        const std::size_t from = blocks >= 3 ? 1 : 0;
        const std::size_t to = blocks >= 3 ? blocks - 1 : blocks;
        double tones = 0, energy = 0;
        for (std::size_t k = from; k < to; ++k) {
            tones += toneEnergy_[k];
            energy += blockEnergy_[k];
        }
        if (!(energy > 0 && tones >= kMinShare * energy)) {
            return;
        }
    }
    const auto share = [&](const TBlock& block) {
        return wholeSum > 0
                   ? std::min(1.0, (std::abs(block.Tones[row]) + std::abs(block.Tones[column])) /
                                       wholeSum)
                   : 0.0;
    };
    const double beforeShare = first_.First >= blockLength_ ? share(before_) : 0.0;
    const double afterShare = after != nullptr ? share(*after) : 0.0;
    const double duration =
        ((amplitudeSum_[0] + amplitudeSum_[1]) / wholeSum + beforeShare + afterShare) * n / rate_;
    for (int t = 0; t < 2; ++t) {
        const double f = kHz[t == 0 ? row : column];
        const double hz = f + std::arg(advance_[t]) * rate_ / (2 * M_PI * n);
        if (std::fabs(hz - f) > kTolerance * f) {
            return;
        }
    }
    if (duration < kMinSeconds) {
        return;
    }
    TDtmfDigit digit;
    digit.Digit = kKeys[static_cast<std::size_t>(row * 4 + (column - 4))];
    digit.Duration = duration;
    digit.Seconds =
        (static_cast<double>(first_.First) - beforeShare * n + (1 - share(first_)) * n) / rate_;
    found.push_back(digit);
}

namespace {

// The exchange sends the digits of one message at a steady pace. A digit
// lost in noise leaves a gap of two steps, a tone broken in two a step of
// half: either would give another valid-looking number, so a message is kept
// only when every step from one digit's start to the next is within 25 % of
// the middle one (the onsets are read to a few ms of steps of 100 ms or
// more), and the middle step is at most 3.2 times the middle tone: tones and
// pauses are about equal (50/50 or 70/70 ms), so a cadence of steps of two
// digits each, left where every other digit was lost, is refused too.
bool SteadyCadence(const std::vector<double>& onsets, const std::vector<double>& durations) {
    if (onsets.size() < 3) {
        return false;  // the shortest caller ID, D1#, has three
    }
    std::vector<double> tones = durations;
    std::nth_element(tones.begin(), tones.begin() + static_cast<std::ptrdiff_t>(tones.size() / 2),
                     tones.end());
    const double tone = tones[tones.size() / 2];
    std::vector<double> steps;
    for (std::size_t i = 1; i < onsets.size(); ++i) {
        steps.push_back(onsets[i] - onsets[i - 1]);
    }
    std::vector<double> sorted = steps;
    std::nth_element(sorted.begin(),
                     sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2), sorted.end());
    const double middle = sorted[sorted.size() / 2];
    return middle <= 3.2 * tone && std::all_of(steps.begin(), steps.end(), [middle](double step) {
               return step >= 0.75 * middle && step <= 1.25 * middle;
           });
}

}  // namespace

void TDtmfAssembler::Add(const TDtmfDigit& digit, std::vector<TDtmfMessage>& found) {
    if (digit.Seconds - lastEnd_ > kMaxGapSeconds || digit.Digit == 'A') {
        current_ = {};
        onsets_.clear();
        durations_.clear();
    }
    lastEnd_ = digit.Seconds + digit.Duration;
    if (current_.Digits.empty()) {
        current_.Seconds = digit.Seconds;
    }
    current_.Digits += digit.Digit;
    onsets_.push_back(digit.Seconds);
    durations_.push_back(digit.Duration);
    if (digit.Digit == 'C' || digit.Digit == '#') {
        if (ParseDtmfDigits(current_.Digits).Valid && SteadyCadence(onsets_, durations_)) {
            found.push_back(current_);
        }
        current_ = {};
        onsets_.clear();
        durations_.clear();
    }
}

namespace {

template <typename TGet>
std::vector<TDtmfMessage> DecodeFrom(TGet get, std::size_t size, double rate) {
    const TWorkingRate working = WorkingRateFor(rate, kBell202Tones);
    TTriangularDecimator decimator(working.Factor);
    THighPass highPass(working.Rate, kWorkingHighPassHz);
    TDtmfDetector detector(working.Rate);
    std::vector<TDtmfDigit> digits;
    for (std::size_t i = 0; i < size; ++i) {
        float decimated = 0;
        if (decimator.Push(get(i), decimated)) {
            detector.Push(highPass.Push(decimated), digits);
        }
    }
    detector.Finish(digits);
    TDtmfAssembler assembler;
    std::vector<TDtmfMessage> messages;
    for (const auto& d : digits) {
        assembler.Add(d, messages);
    }
    return messages;
}

}  // namespace

std::vector<TDtmfMessage> DecodeDtmf(std::span<const float> samples, double rate) {
    if (rate < 4000) {
        return {};
    }
    return DecodeFrom([&](std::size_t i) { return samples[i]; }, samples.size(), rate);
}

std::vector<TDtmfMessage> DecodeDtmfImage(const Bytes& image) {
    if (image.size() <= 44) {
        return {};
    }
    return DecodeFrom(
        [&](std::size_t i) {
            return (static_cast<float>(static_cast<uint8_t>(image[44 + i])) - 128.0f) / 128.0f;
        },
        image.size() - 44, 44100.0);
}

}  // namespace ringlark
