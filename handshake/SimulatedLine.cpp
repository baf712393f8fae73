#include "handshake/SimulatedLine.h"

#include <cmath>
#include <deque>

namespace ringlark {

int64_t RoundTripSamples(const TSimulatedLine& line, double rate) {
    return 2 * MsToSamples(line.DelayMs, rate) + 1;
}

TLineNoise::TLineNoise(uint32_t seed, double rmsDbfs)
    : state_(0x9E3779B97F4A7C15ull ^ (static_cast<uint64_t>(seed) << 1 | 1)),
      rms_(std::pow(10.0, rmsDbfs / 20)) {}

float TLineNoise::Next() {
    if (hasSpare_) {
        hasSpare_ = false;
        return static_cast<float>(rms_ * spare_);
    }
    const auto uniform = [this] {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return (static_cast<double>(state_ >> 11) + 0.5) / 9007199254740992.0;  // (0, 1)
    };
    const double r = std::sqrt(-2 * std::log(uniform()));
    const double a = 2 * M_PI * uniform();
    spare_ = r * std::sin(a);
    hasSpare_ = true;
    return static_cast<float>(rms_ * r * std::cos(a));
}

void RunSimulation(TExchangeRole& exchange, TSetRole& set, const TSimulatedLine& line,
                   double tailMs, double maxSeconds) {
    const double rate = exchange.Rate();
    const auto delay = static_cast<std::size_t>(MsToSamples(line.DelayMs, rate));
    // what is on its way in each direction, oldest first
    std::deque<float> toSet(delay, 0.0f), toExchange(delay + 1, 0.0f);
    std::optional<TLineNoise> noiseToSet, noiseToExchange;
    if (line.NoiseDbfs) {
        noiseToSet.emplace(line.Seed, *line.NoiseDbfs);
        noiseToExchange.emplace(line.Seed + 1, *line.NoiseDbfs);
    }
    exchange.Start();
    const auto limit = static_cast<int64_t>(maxSeconds * rate);
    int64_t stopAt = -1;
    for (int64_t t = 0; t < limit && (stopAt < 0 || t < stopAt); ++t) {
        float exchangeIn = toExchange.front();
        toExchange.pop_front();
        float exchangeOut = 0;
        exchange.Process({&exchangeIn, 1}, {&exchangeOut, 1});
        toSet.push_back(exchangeOut + (noiseToSet ? noiseToSet->Next() : 0.0f));
        float setIn = toSet.front();
        toSet.pop_front();
        float setOut = 0;
        set.Process({&setIn, 1}, {&setOut, 1});
        toExchange.push_back(setOut + (noiseToExchange ? noiseToExchange->Next() : 0.0f));
        if (stopAt < 0 && exchange.Done()) {
            stopAt = t + MsToSamples(tailMs, rate);
        }
    }
    set.Finish();
}

}  // namespace ringlark
