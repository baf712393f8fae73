#include "decoding/tones/ToneDiscriminator.h"

namespace ringlark {

namespace {

constexpr double kTargetRate = 11025.0;

// The samples of an 8-bit image (from offset 44) as floats around 0.
class TImageSamples {
  public:
    explicit TImageSamples(const Bytes& image) : image_(image) {}
    std::size_t size() const { return image_.size() > kHeader ? image_.size() - kHeader : 0; }
    bool empty() const { return size() == 0; }
    float operator[](std::size_t i) const {
        return (static_cast<float>(static_cast<uint8_t>(image_[kHeader + i])) - 128.0f) *
               (1.0f / 128.0f);
    }

  private:
    static constexpr std::size_t kHeader = 44;
    const Bytes& image_;
};

// The decimation over any source of samples (floats, or an 8-bit image read
// where it lies), with the same arithmetic for both.
template <typename TSource>
std::vector<float> DecimateFrom(const TSource& input, int factor) {
    if (input.empty()) {
        return {};
    }
    const std::vector<float> taps = TriangularTaps(factor);
    const std::size_t outputs = input.size() / static_cast<std::size_t>(factor);
    std::vector<float> x(outputs);
    const auto last = static_cast<std::ptrdiff_t>(input.size()) - 1;
    for (std::size_t o = 0; o < outputs; ++o) {
        const std::ptrdiff_t first = static_cast<std::ptrdiff_t>(o) * factor - (factor - 1);
        float acc = 0;
        if (first >= 0 && first + static_cast<std::ptrdiff_t>(taps.size()) - 1 <= last) {
            for (std::size_t k = 0; k < taps.size(); ++k) {
                acc += taps[k] * input[static_cast<std::size_t>(first) + k];
            }
        } else {
            for (std::size_t k = 0; k < taps.size(); ++k) {
                const std::ptrdiff_t i =
                    std::clamp<std::ptrdiff_t>(first + static_cast<std::ptrdiff_t>(k), 0, last);
                acc += taps[k] * input[static_cast<std::size_t>(i)];
            }
        }
        x[o] = acc;
    }
    return x;
}

}  // namespace

std::vector<float> TriangularTaps(int factor) {
    std::vector<float> taps(static_cast<std::size_t>(2 * factor - 1));
    float tapSum = 0;
    for (int k = 0; k < 2 * factor - 1; ++k) {
        taps[static_cast<std::size_t>(k)] = static_cast<float>(factor - std::abs(k - (factor - 1)));
        tapSum += taps[static_cast<std::size_t>(k)];
    }
    for (float& t : taps) {
        t /= tapSum;
    }
    return taps;
}

std::vector<float> DecimateTriangular(const std::vector<float>& input, int factor) {
    return DecimateFrom(input, factor);
}

TTriangularDecimator::TTriangularDecimator(int factor)
    : factor_(std::max(1, factor)), taps_(TriangularTaps(factor_)) {
    window_.reserve(taps_.size() + 1);
}

void TTriangularDecimator::Push(std::span<const float> samples, std::vector<float>& outputs) {
    if (samples.empty()) {
        return;
    }
    if (window_.empty()) {
        window_.assign(static_cast<std::size_t>(factor_ - 1), samples.front());
    }
    window_.insert(window_.end(), samples.begin(), samples.end());
    const std::size_t taps = taps_.size();
    const auto step = static_cast<std::size_t>(factor_);
    std::size_t at = 0;
    for (; at + taps <= window_.size(); at += step) {
        const float* w = window_.data() + at;
        float acc = 0;
        for (std::size_t k = 0; k < taps; ++k) {
            acc += taps_[k] * w[k];
        }
        outputs.push_back(acc);
    }
    window_.erase(window_.begin(), window_.begin() + static_cast<std::ptrdiff_t>(at));
}

void RemoveDc(std::vector<float>& x, double rate, double cornerHz) {
    THighPass highPass(rate, cornerHz);
    for (float& v : x) {
        v = highPass.Push(v);
    }
}

TToneCorrelator::TToneCorrelator(double rate, double bitLength, int windowLength,
                                 const TFskTones& tones)
    : window_(static_cast<std::size_t>(windowLength)), ring_(4 * window_, 0.0) {
    shape_.Rate = rate;
    shape_.BitLength = bitLength;
    shape_.Window = windowLength;
    const double dw = 2 * M_PI * (tones.Space - tones.Mark) / rate;
    double re = 0;
    double im = 0;
    for (int k = 0; k < windowLength; ++k) {
        re += std::cos(dw * k);
        im += std::sin(dw * k);
    }
    shape_.Leakage = std::sqrt(re * re + im * im) / windowLength;
    shape_.LevelRate = 1.0 / (16.0 * bitLength);
    shape_.MarkStep = 2.0 * M_PI * tones.Mark / rate;
    shape_.SpaceStep = 2.0 * M_PI * tones.Space / rate;
    const double frequencies[2] = {tones.Mark, tones.Space};
    for (int t = 0; t < 2; ++t) {
        stepRe_[t] = std::cos(-2.0 * M_PI * frequencies[t] / rate);
        stepIm_[t] = std::sin(-2.0 * M_PI * frequencies[t] / rate);
    }
}

TDiscriminator TToneCorrelator::Empty() const {
    return shape_;
}

namespace {

// One sample through the correlator: both tones' energies over the window,
// and the levels brought up to date.
[[gnu::always_inline]] inline void CorrelateOne(TToneCorrelator::TState& st, double sample,
                                                const double (&stepRe)[2],
                                                const double (&stepIm)[2], double* ring,
                                                std::size_t window, double levelRate,
                                                TDiscriminator& out, float& markOut,
                                                float& spaceOut) {
    double* old = ring + 4 * st.Slot;
    const double re0 = sample * st.OscRe0;
    const double im0 = sample * st.OscIm0;
    const double re1 = sample * st.OscRe1;
    const double im1 = sample * st.OscIm1;
    st.SumRe0 += re0 - old[0];
    st.SumIm0 += im0 - old[1];
    st.SumRe1 += re1 - old[2];
    st.SumIm1 += im1 - old[3];
    old[0] = re0;
    old[1] = im0;
    old[2] = re1;
    old[3] = im1;
    const double nextRe0 = st.OscRe0 * stepRe[0] - st.OscIm0 * stepIm[0];
    st.OscIm0 = st.OscRe0 * stepIm[0] + st.OscIm0 * stepRe[0];
    st.OscRe0 = nextRe0;
    const double nextRe1 = st.OscRe1 * stepRe[1] - st.OscIm1 * stepIm[1];
    st.OscIm1 = st.OscRe1 * stepIm[1] + st.OscIm1 * stepRe[1];
    st.OscRe1 = nextRe1;
    st.Slot = st.Slot + 1 == window ? 0 : st.Slot + 1;
    if ((st.Index & 1023) == 0) {  // keep the oscillators on the unit circle
        const double norm0 = std::sqrt(st.OscRe0 * st.OscRe0 + st.OscIm0 * st.OscIm0);
        st.OscRe0 /= norm0;
        st.OscIm0 /= norm0;
        const double norm1 = std::sqrt(st.OscRe1 * st.OscRe1 + st.OscIm1 * st.OscIm1);
        st.OscRe1 /= norm1;
        st.OscIm1 /= norm1;
    }
    const auto mark = static_cast<float>(st.SumRe0 * st.SumRe0 + st.SumIm0 * st.SumIm0);
    const auto space = static_cast<float>(st.SumRe1 * st.SumRe1 + st.SumIm1 * st.SumIm1);
    markOut = mark;
    spaceOut = space;
    if (st.Index % TDiscriminator::LevelStride == 0) {
        out.LevelCheckpoints.push_back(st.Levels);
    }
    // the stronger tone's level follows it (the other adds nothing: a select
    // rather than a branch that noise would make unpredictable)
    const bool markStronger = mark > space;
    const double markStep = levelRate * (mark - st.Levels.Mark);
    const double spaceStep = levelRate * (space - st.Levels.Space);
    st.Levels.Mark += markStronger ? markStep : 0.0;
    st.Levels.Space += markStronger ? 0.0 : spaceStep;
    ++st.Index;
}

}  // namespace

void TToneCorrelator::Push(float x, TDiscriminator& out) {
    float mark = 0;
    float space = 0;
    CorrelateOne(state_, x, stepRe_, stepIm_, ring_.data(), window_, out.LevelRate, out, mark,
                 space);
    out.Mark.push_back(mark);
    out.Space.push_back(space);
    out.Signal.push_back(x);
}

void TToneCorrelator::Push(std::span<const float> x, TDiscriminator& out, bool keepSamples) {
    const std::size_t first = out.Mark.size();
    if (keepSamples) {
        out.Signal.insert(out.Signal.end(), x.begin(), x.end());
    }
    out.Mark.resize(first + x.size());
    out.Space.resize(first + x.size());
    float* mark = out.Mark.data() + first;
    float* space = out.Space.data() + first;
    TState st = state_;
    double* const ring = ring_.data();
    // copies the compiler can keep in registers: stores to the ring and the
    // outputs could otherwise alias the members
    const double levelRate = out.LevelRate;
    const double stepRe[2] = {stepRe_[0], stepRe_[1]};
    const double stepIm[2] = {stepIm_[0], stepIm_[1]};
    const std::size_t window = window_;
    for (std::size_t n = 0; n < x.size(); ++n) {
        CorrelateOne(st, x[n], stepRe, stepIm, ring, window, levelRate, out, mark[n], space[n]);
    }
    state_ = st;
}

TDiscriminator CorrelateTones(std::vector<float> x, double rate, double bitLength, int windowLength,
                              const TFskTones& tones) {
    TToneCorrelator correlator(rate, bitLength, windowLength, tones);
    TDiscriminator out = correlator.Empty();
    out.Mark.reserve(x.size());
    out.Space.reserve(x.size());
    out.LevelCheckpoints.reserve(x.size() / TDiscriminator::LevelStride + 1);
    out.Signal = std::move(x);
    correlator.Push(std::span<const float>(out.Signal), out, false);
    return out;
}

TWorkingRate WorkingRateFor(double inputRate, const TFskTones& tones) {
    TWorkingRate working;
    working.Factor = std::max(1, static_cast<int>(std::floor(inputRate / kTargetRate + 0.01)));
    working.Rate = inputRate / working.Factor;
    working.BitLength = working.Rate / tones.Baud;
    working.Window = std::max(2, static_cast<int>(std::lround(working.BitLength)));
    return working;
}

namespace {

template <typename TSource>
TDiscriminator DiscriminateFrom(const TSource& input, double rate, const TFskTones& tones) {
    const TWorkingRate working = WorkingRateFor(rate, tones);
    std::vector<float> x = DecimateFrom(input, working.Factor);
    RemoveDc(x, working.Rate, kWorkingHighPassHz);
    return CorrelateTones(std::move(x), working.Rate, working.BitLength, working.Window, tones);
}

}  // namespace

TDiscriminator Discriminate(const std::vector<float>& input, double rate, const TFskTones& tones) {
    return DiscriminateFrom(input, rate, tones);
}

TDiscriminator DiscriminateImage(const Bytes& image, const TFskTones& tones) {
    return DiscriminateFrom(TImageSamples(image), 44100.0, tones);
}

std::size_t TImageSampleView::End() const {
    return TImageSamples(image_).size();
}

void TImageSampleView::Read(std::size_t from, std::size_t to, std::vector<float>& out) const {
    const TImageSamples samples(image_);
    out.resize(to - from);
    for (std::size_t i = from; i < to; ++i) {
        out[i - from] = samples[i];
    }
}

std::vector<float> ImageSampleValues(const Bytes& image) {
    const TImageSamples samples(image);
    std::vector<float> values(samples.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        values[i] = samples[i];
    }
    return values;
}

}  // namespace ringlark
