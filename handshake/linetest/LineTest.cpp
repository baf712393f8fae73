#include "handshake/linetest/LineTest.h"

#include "handshake/ExchangeRole.h"
#include "handshake/SetRole.h"
#include "handshake/linetest/LoopbackCalibration.h"

namespace ringlark {

namespace {

// A set run alone ends this long after the last run it heard, or after this
// long without any.
constexpr double kSetQuietSeconds = 3;
constexpr double kSetLongestSeconds = 600;

TExchangeRole::TSettings ExchangeSettings(const TLineTestSettings& settings, int64_t latency) {
    TExchangeRole::TSettings exchange;
    exchange.Timing = *CallWaitingTimingFor(settings.Standard);
    exchange.Message = settings.Message;
    exchange.WaitForAck = settings.WaitForAck;
    exchange.Repeats = settings.Repeats;
    exchange.PauseMs = settings.PauseMs;
    exchange.LatencySamples = latency;
    return exchange;
}

TSetRole::TSettings SetSettings(const TLineTestSettings& settings, int64_t latency) {
    TSetRole::TSettings set;
    set.Timing = LineTestTiming(settings);
    set.Answer = settings.Answer;
    set.LatencySamples = latency;
    return set;
}

}  // namespace

TCallWaitingTiming LineTestTiming(const TLineTestSettings& settings) {
    TCallWaitingTiming timing = *CallWaitingTimingFor(settings.Standard);
    timing.AckDigit = settings.AckDigit;
    timing.AckDelayMs = settings.AckDelayMs;
    return timing;
}

TSimulatedPeer::TSimulatedPeer(double rate, const TLineTestSettings& settings, TSimulatedLine line)
    : rate_(rate), settings_(settings), line_(line) {}

void TSimulatedPeer::Run(const TStep& step, const std::atomic<bool>* stop) {
    // the peer plays the other role, sample by sample behind the line's delay
    const auto delay = static_cast<std::size_t>(MsToSamples(line_.DelayMs, rate_));
    std::vector<float> toTester(delay + 1, 0.0f), toPeer(delay, 0.0f);
    std::optional<TExchangeRole> exchange;
    std::optional<TSetRole> set;
    if (settings_.Role == TLineRole::Exchange) {
        set.emplace(rate_, SetSettings(settings_, 0));
    } else {
        exchange.emplace(rate_, ExchangeSettings(settings_, 0));
        exchange->Start();
    }
    std::optional<TLineNoise> noise;
    if (line_.NoiseDbfs) {
        noise.emplace(line_.Seed, *line_.NoiseDbfs);
    }
    bool going = true;
    while (going && (stop == nullptr || !stop->load())) {
        float heard = toTester.front();
        toTester.erase(toTester.begin());
        float played = 0;
        going = step({&heard, 1}, {&played, 1});
        toPeer.push_back(played + (noise ? noise->Next() : 0.0f));
        float in = toPeer.front();
        toPeer.erase(toPeer.begin());
        float out = 0;
        if (set) {
            set->Process({&in, 1}, {&out, 1});
        } else {
            exchange->Process({&in, 1}, {&out, 1});
        }
        toTester.push_back(out + (noise ? noise->Next() : 0.0f));
    }
}

std::string TLineTest::Run(const TLineTestSettings& settings, IDuplexSound& sound,
                           const std::atomic<bool>& stop) {
    const double rate = sound.Rate();
    const int64_t latency = LatencyOverride.value_or(sound.LatencySamples());
    if (settings.Role == TLineRole::Exchange) {
        TExchangeRole exchange(rate, ExchangeSettings(settings, latency));
        exchange.OnRun = [&](const TExchangeRun& run) {
            if (OnRun) {
                OnRun(run.Index, ExchangeRows(run, *CallWaitingTimingFor(settings.Standard)));
            }
        };
        exchange.Start();
        const int64_t tail = MsToSamples(500, rate);
        int64_t doneAt = -1;
        sound.Run(
            [&](std::span<const float> in, std::span<float> out) {
                exchange.Process(in, out);
                if (doneAt < 0 && exchange.Done()) {
                    doneAt = exchange.Now();
                }
                return doneAt < 0 || exchange.Now() < doneAt + tail;
            },
            &stop);
        return SummaryText(SummariseExchange(exchange.Runs()));
    }
    const TCallWaitingTiming timing = LineTestTiming(settings);
    TSetRole set(rate, SetSettings(settings, latency));
    int64_t lastRunAt = 0;
    set.OnRun = [&](const TSetRun& run) {
        lastRunAt = set.Now();
        if (OnRun) {
            OnRun(run.Index, SetRows(run, timing));
        }
    };
    const int64_t quiet = MsToSamples(kSetQuietSeconds * 1000, rate);
    const int64_t longest = MsToSamples(kSetLongestSeconds * 1000, rate);
    sound.Run(
        [&](std::span<const float> in, std::span<float> out) {
            set.Process(in, out);
            const bool heardAll = static_cast<int>(set.Runs().size()) >= settings.Repeats &&
                                  set.Now() > lastRunAt + quiet;
            return !heardAll && set.Now() < longest;
        },
        &stop);
    set.Finish();
    return SummaryText(SummariseSet(set.Runs()));
}

std::optional<int64_t> TLineTest::Calibrate(IDuplexSound& sound, const std::atomic<bool>& stop) {
    TLoopbackCalibration calibration(sound.Rate());
    sound.Run(
        [&](std::span<const float> in, std::span<float> out) {
            calibration.Process(in, out);
            return !calibration.Done();
        },
        &stop);
    return calibration.RoundTrip();
}

}  // namespace ringlark
