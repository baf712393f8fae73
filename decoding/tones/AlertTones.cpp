#include "decoding/tones/AlertTones.h"

#include <algorithm>
#include <cmath>

namespace ringlark {

namespace {

// The tones must hold this share of a block's energy.
constexpr double kMinShare = 0.6;
// Each tone's level floor, dBFS; and how much weaker than the other it may be.
constexpr double kMinLevelDbfs = -50.0;
constexpr double kMaxTwistDb = 10.0;

double Db(double amplitude) {
    return 20.0 * std::log10(std::max(amplitude, 1e-12));
}

}  // namespace

TAlertToneDetector::TSettings TAlertToneDetector::DualTone() {
    // Both tones within 1.1 % for at least 20 ms: the receiver figures of the
    // dual-tone alert (a burst of 20 ms or less is ignored).
    TSettings settings;
    settings.Kind = TAlertTone::TKind::DualTone;
    settings.Frequencies = {2130.0, 2750.0};
    settings.Tolerance = 0.011;
    settings.BlockSeconds = 0.005;
    settings.MinSeconds = 0.020;
    return settings;
}

TAlertToneDetector::TSettings TAlertToneDetector::Subscriber() {
    // The call-waiting beep lasts about 300 ms; longer blocks separate 440 Hz
    // from the tones near it (a 425 Hz dial tone is 3.4 % away).
    TSettings settings;
    settings.Kind = TAlertTone::TKind::Subscriber;
    settings.Frequencies = {440.0};
    settings.Tolerance = 0.02;
    settings.BlockSeconds = 0.010;
    settings.MinSeconds = 0.100;
    return settings;
}

TAlertToneDetector::TAlertToneDetector(double rate, TSettings settings)
    : rate_(rate),
      settings_(std::move(settings)),
      blockLength_(std::max<std::size_t>(
          8, static_cast<std::size_t>(std::lround(settings_.BlockSeconds * rate)))) {
    if (!settings_.PathGain) {
        settings_.PathGain = [](double) { return 1.0; };
    }
    for (double f : settings_.Frequencies) {
        oscillator_.emplace_back(1.0, 0.0);
        step_.push_back(std::polar(1.0, -2.0 * M_PI * f / rate_));
    }
    block_.Tones.assign(oscillator_.size(), {});
    run_.AmplitudeSum.assign(oscillator_.size(), 0.0);
    run_.PhaseAdvance.assign(oscillator_.size(), {});
    previous_.Tones.assign(oscillator_.size(), {});
}

void TAlertToneDetector::Push(float x, std::vector<TAlertTone>& found) {
    const double v = x;
    for (std::size_t t = 0; t < oscillator_.size(); ++t) {
        block_.Tones[t] += v * oscillator_[t];
        oscillator_[t] *= step_[t];
    }
    block_.Energy += v * v;
    if (++index_ % blockLength_ == 0) {
        for (auto& o : oscillator_) {
            o /= std::abs(o);  // keep them on the unit circle
        }
        EndBlock(found);
    }
}

bool TAlertToneDetector::BlockBelongs(const TBlock& block) const {
    if (block.Energy <= 0) {
        return false;
    }
    const auto n = static_cast<double>(blockLength_);
    double toneEnergy = 0;
    double strongest = -1e300;
    double weakest = 1e300;
    for (std::size_t t = 0; t < block.Tones.size(); ++t) {
        const double magnitude = std::abs(block.Tones[t]);
        toneEnergy += 2 * magnitude * magnitude / n;
        const double level = Db(2 * magnitude / n / settings_.PathGain(settings_.Frequencies[t]));
        strongest = std::max(strongest, level);
        weakest = std::min(weakest, level);
    }
    return toneEnergy >= kMinShare * block.Energy && weakest >= kMinLevelDbfs &&
           strongest - weakest <= kMaxTwistDb;
}

void TAlertToneDetector::EndBlock(std::vector<TAlertTone>& found) {
    block_.First = index_ - blockLength_;
    block_.Belongs = BlockBelongs(block_);
    if (block_.Belongs) {
        if (run_.Blocks == 0) {
            run_.Before = previous_;
            run_.First = block_;
        } else {
            for (std::size_t t = 0; t < block_.Tones.size(); ++t) {
                run_.PhaseAdvance[t] += block_.Tones[t] * std::conj(run_.Last.Tones[t]);
            }
        }
        for (std::size_t t = 0; t < block_.Tones.size(); ++t) {
            run_.AmplitudeSum[t] += std::abs(block_.Tones[t]);
        }
        run_.Last = block_;
        ++run_.Blocks;
    } else if (run_.Blocks > 0) {
        EndRun(&block_, found);
    }
    previous_ = block_;
    block_.Tones.assign(oscillator_.size(), {});
    block_.Energy = 0;
}

void TAlertToneDetector::Finish(std::vector<TAlertTone>& found) {
    if (run_.Blocks > 0) {
        EndRun(nullptr, found);
    }
}

void TAlertToneDetector::EndRun(const TBlock* after, std::vector<TAlertTone>& found) {
    const std::size_t tones = oscillator_.size();
    const auto n = static_cast<double>(blockLength_);
    // Each tone's correlation over a whole block: the mean over the run
    // without its first and last block, which may be partly outside the tone.
    std::vector<double> whole(tones);
    double wholeSum = 0;
    for (std::size_t t = 0; t < tones; ++t) {
        whole[t] = run_.Blocks >= 3
                       ? (run_.AmplitudeSum[t] - std::abs(run_.First.Tones[t]) -
                          std::abs(run_.Last.Tones[t])) /
                             static_cast<double>(run_.Blocks - 2)
                       : std::max(std::abs(run_.First.Tones[t]), std::abs(run_.Last.Tones[t]));
        wholeSum += whole[t];
    }
    // The share of a block that the tones fill.
    const auto share = [&](const TBlock& block) {
        double sum = 0;
        for (std::size_t t = 0; t < tones; ++t) {
            sum += std::abs(block.Tones[t]);
        }
        return wholeSum > 0 ? std::min(1.0, sum / wholeSum) : 0.0;
    };
    double blocks = 0;
    for (std::size_t t = 0; t < tones; ++t) {
        blocks += run_.AmplitudeSum[t];
    }
    blocks = wholeSum > 0 ? blocks / wholeSum : 0;
    const double before = run_.First.First >= blockLength_ ? share(run_.Before) : 0.0;
    const double afterShare = after != nullptr ? share(*after) : 0.0;
    TAlertTone tone;
    tone.Kind = settings_.Kind;
    tone.Duration = (blocks + before + afterShare) * n / rate_;
    tone.Seconds =
        (static_cast<double>(run_.First.First) - before * n + (1 - share(run_.First)) * n) / rate_;
    bool onFrequency = run_.Blocks >= 2;
    std::vector<double> hz(tones), dbfs(tones);
    for (std::size_t t = 0; t < tones; ++t) {
        const double f = settings_.Frequencies[t];
        hz[t] = f + std::arg(run_.PhaseAdvance[t]) * rate_ / (2 * M_PI * n);
        dbfs[t] = Db(2 * whole[t] / n / settings_.PathGain(f));
        onFrequency = onFrequency && std::fabs(hz[t] - f) <= settings_.Tolerance * f;
    }
    tone.LowHz = hz[0];
    tone.LowDbfs = dbfs[0];
    if (tones > 1) {
        tone.HighHz = hz[1];
        tone.HighDbfs = dbfs[1];
    }
    if (onFrequency && tone.Duration >= settings_.MinSeconds - 0.5 / rate_) {
        found.push_back(tone);
    }
    run_.Blocks = 0;
    run_.AmplitudeSum.assign(tones, 0.0);
    run_.PhaseAdvance.assign(tones, {});
}

}  // namespace ringlark
