#include "measurement/Sonogram.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <memory>
#include <mutex>

namespace ringlark {

namespace {

// FFTW's planner is not thread-safe: plans are made one at a time.
std::mutex gPlanning;

struct TPlanDeleter {
    void operator()(fftwf_plan_s* plan) const { fftwf_destroy_plan(plan); }
};
struct TFftwFree {
    void operator()(void* p) const { fftwf_free(p); }
};

}  // namespace

int TSonogram::BinOf(double hz) const {
    if (Bins <= 0 || TopHz <= 0) {
        return 0;
    }
    return std::clamp(static_cast<int>(std::lround(hz / TopHz * (Bins - 1))), 0, Bins - 1);
}

TSonogram ComputeSonogram(std::span<const float> samples, double rate, double fromSeconds,
                          double toSeconds, int columns, int bins, double topHz) {
    TSonogram out;
    if (columns <= 0 || bins <= 1 || rate <= 0 || toSeconds <= fromSeconds) {
        return out;
    }
    out.Columns = columns;
    out.Bins = bins;
    out.TopHz = std::min(topHz, rate / 2);
    out.FromSeconds = fromSeconds;
    out.ToSeconds = toSeconds;
    out.Db.assign(static_cast<std::size_t>(columns) * static_cast<std::size_t>(bins), -120.0f);

    int size = 64;
    while (size < rate * 0.006) {
        size *= 2;
    }
    std::unique_ptr<float, TFftwFree> in(static_cast<float*>(fftwf_malloc(sizeof(float) * size)));
    std::unique_ptr<fftwf_complex, TFftwFree> transform(
        static_cast<fftwf_complex*>(fftwf_malloc(sizeof(fftwf_complex) * (size / 2 + 1))));
    std::unique_ptr<fftwf_plan_s, TPlanDeleter> plan;
    {
        const std::lock_guard lock(gPlanning);
        plan.reset(fftwf_plan_dft_r2c_1d(size, in.get(), transform.get(), FFTW_ESTIMATE));
    }
    std::vector<float> window(static_cast<std::size_t>(size));
    double windowSum = 0;
    for (int i = 0; i < size; ++i) {
        window[static_cast<std::size_t>(i)] =
            static_cast<float>(0.5 - 0.5 * std::cos(2 * M_PI * i / (size - 1)));
        windowSum += window[static_cast<std::size_t>(i)];
    }
    std::vector<double> power(static_cast<std::size_t>(size / 2 + 1));
    for (int c = 0; c < columns; ++c) {
        const double centre =
            (fromSeconds + (toSeconds - fromSeconds) * (c + 0.5) / columns) * rate;
        const auto first = static_cast<std::ptrdiff_t>(std::lround(centre)) - size / 2;
        for (int i = 0; i < size; ++i) {
            const std::ptrdiff_t at = first + i;
            const float v = at >= 0 && at < static_cast<std::ptrdiff_t>(samples.size())
                                ? samples[static_cast<std::size_t>(at)]
                                : 0.0f;
            in.get()[i] = v * window[static_cast<std::size_t>(i)];
        }
        fftwf_execute(plan.get());
        for (int k = 0; k <= size / 2; ++k) {
            // a full-scale sine gives amplitude windowSum / 2 at its bin
            const std::complex<double> z(transform.get()[k][0], transform.get()[k][1]);
            const double amplitude = 2 * std::abs(z) / windowSum;
            power[static_cast<std::size_t>(k)] = amplitude * amplitude;
        }
        for (int b = 0; b < bins; ++b) {
            const double hz = out.TopHz * b / (bins - 1);
            const double position = hz / rate * size;
            const auto k = static_cast<std::size_t>(position);
            const double f = position - static_cast<double>(k);
            const double p = power[std::min(k, power.size() - 1)] * (1 - f) +
                             power[std::min(k + 1, power.size() - 1)] * f;
            out.Db[static_cast<std::size_t>(c) * static_cast<std::size_t>(bins) +
                   static_cast<std::size_t>(b)] =
                static_cast<float>(10 * std::log10(std::max(p, 1e-12)));
        }
    }
    return out;
}

}  // namespace ringlark
