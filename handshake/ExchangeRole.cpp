#include "handshake/ExchangeRole.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "protocol/Standards.h"

namespace ringlark {

namespace {

constexpr double kSasHz = 440;
constexpr std::array<double, 2> kCasHz = {2130, 2750};

TFskTones FskTonesFor(TCidStandard standard) {
    return standard == TCidStandard::Bell202 ? kBell202Tones
                                             : TFskTones{V23MarkHz, V23SpaceHz, 1200.0};
}

}  // namespace

TExchangeRole::TExchangeRole(double rate, TSettings settings)
    : rate_(rate),
      settings_(std::move(settings)),
      fsk_(FskTonesFor(settings_.Timing.Standard)),
      detector_(rate) {
    CheckCallWaitingTiming(settings_.Timing);
}

void TExchangeRole::Start() {
    if (state_ == TState::Idle) {
        state_ = TState::Pausing;
        nextRun_ = now_;
    }
}

void TExchangeRole::Process(std::span<const float> in, std::span<float> out) {
    const std::size_t n = std::min(in.size(), out.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (state_ == TState::Pausing && now_ >= nextRun_) {
            StartRun();
        }
        out[i] = track_.At(now_);
        Step(in[i]);
        ++now_;
    }
}

void TExchangeRole::StartRun() {
    const TCallWaitingTiming& t = settings_.Timing;
    run_ = {};
    run_.Index = static_cast<int>(runs_.size()) + 1;
    heard_.clear();
    heardFrom_ = now_;
    int64_t at = now_;
    if (t.SasMs > 0) {
        const std::array<double, 1> sas = {kSasHz};
        track_.Place(at, Tones(sas, DbfsToPeak(t.ToneDbfs), MsToSamples(t.SasMs, rate_), rate_));
        at += MsToSamples(t.SasMs + t.SasToCasMs, rate_);
        run_.SasSent = true;
    }
    casStart_ =
        track_.Place(at, Tones(kCasHz, DbfsToPeak(t.ToneDbfs), MsToSamples(t.CasMs, rate_), rate_));
    casEnd_ = track_.End();
    run_.CasMs = SamplesToMs(static_cast<double>(casEnd_ - casStart_), rate_);
    run_.CasEndSeconds = static_cast<double>(casEnd_) / rate_;
    listenUntil_ = casEnd_ + MsToSamples(settings_.ListenMs, rate_);
    judged_ = false;
    state_ = TState::Listening;
    if (!settings_.WaitForAck) {
        // when the data would follow an ACK of the nominal delay and length
        SendData(casEnd_ + MsToSamples(t.AckDelayMs + t.AckMs + t.DataDelayMs, rate_) -
                 settings_.LatencySamples);
    }
}

void TExchangeRole::Step(float in) {
    if (state_ == TState::Idle || state_ == TState::Done) {
        return;
    }
    heard_.push_back(in);
    detector_.Push(in, digits_);
    for (const TDtmfDigit& digit : digits_) {
        // a digit that began before this run's first tone belongs to no run
        if (!judged_ && digit.Seconds * rate_ >= static_cast<double>(heardFrom_)) {
            Judge(digit);
        }
    }
    digits_.clear();
    if (state_ == TState::Listening && !judged_ && now_ >= listenUntil_) {
        judged_ = true;
        run_.Verdict = TAckVerdict::None;
    }
    if (state_ == TState::Listening && judged_) {
        if (run_.DataSent) {
            state_ = TState::Sending;
        } else {
            EndRun();
        }
    }
    if (state_ == TState::Sending && now_ + 1 >= dataEnd_) {
        EndRun();
    }
}

TAckHeard TExchangeRole::Measure(const TDtmfDigit& digit, double startSample) const {
    TAckHeard ack;
    ack.Digit = digit.Digit;
    const double length = digit.Duration * rate_;
    ack.DelayMs =
        SamplesToMs(startSample - static_cast<double>(casEnd_ + settings_.LatencySamples), rate_);
    ack.LengthMs = SamplesToMs(length, rate_);
    const auto tones = DtmfTones(digit.Digit).value_or(std::pair{0.0, 0.0});
    ack.LowHz = tones.first;
    ack.HighHz = tones.second;
    // the middle of the tone: its edges share their samples with the quiet
    const auto from = std::clamp<int64_t>(
        static_cast<int64_t>(std::ceil(startSample + 0.2 * length)) - heardFrom_, 0,
        static_cast<int64_t>(heard_.size()));
    const auto to = std::clamp<int64_t>(
        static_cast<int64_t>(std::floor(startSample + 0.8 * length)) - heardFrom_, from,
        static_cast<int64_t>(heard_.size()));
    const std::span<const float> middle(heard_.data() + from, static_cast<std::size_t>(to - from));
    ack.LowDbfs = ToneLevelDbfs(middle, ack.LowHz, rate_);
    ack.HighDbfs = ToneLevelDbfs(middle, ack.HighHz, rate_);
    ack.TwistDb = ack.HighDbfs - ack.LowDbfs;
    return ack;
}

void TExchangeRole::Judge(const TDtmfDigit& digit) {
    const TCallWaitingTiming& t = settings_.Timing;
    judged_ = true;
    const double start = digit.Seconds * rate_;
    const TAckHeard ack = Measure(digit, start);
    run_.Ack = ack;
    run_.Verdict = ack.Digit != t.AckDigit       ? TAckVerdict::WrongDigit
                   : ack.DelayMs < 0             ? TAckVerdict::Early
                   : ack.DelayMs > t.AckWindowMs ? TAckVerdict::Late
                   : ack.LengthMs < t.AckMinMs   ? TAckVerdict::TooShort
                   : ack.LengthMs > t.AckMaxMs   ? TAckVerdict::TooLong
                                                 : TAckVerdict::Valid;
    const double end = start + digit.Duration * rate_;
    if (settings_.WaitForAck && run_.Verdict == TAckVerdict::Valid) {
        SendData(static_cast<int64_t>(std::llround(end)) + MsToSamples(t.DataDelayMs, rate_) -
                 settings_.LatencySamples);
    }
    if (run_.DataSent) {
        run_.AckEndToDataMs = SamplesToMs(
            run_.DataSeconds * rate_ - end + static_cast<double>(settings_.LatencySamples), rate_);
    }
}

void TExchangeRole::SendData(int64_t at) {
    const TCallWaitingTiming& t = settings_.Timing;
    const int64_t start =
        track_.Place(std::max(at, now_ + 1),
                     FskBurst(settings_.Message, t.MarkBits, fsk_, DbfsToPeak(t.FskDbfs), rate_));
    run_.DataSent = true;
    run_.DataSeconds = static_cast<double>(start) / rate_;
    dataEnd_ = track_.End();
}

void TExchangeRole::EndRun() {
    runs_.push_back(run_);
    if (OnRun) {
        OnRun(run_);
    }
    if (static_cast<int>(runs_.size()) < settings_.Repeats) {
        state_ = TState::Pausing;
        nextRun_ = std::max(now_ + 1, track_.End()) + MsToSamples(settings_.PauseMs, rate_);
    } else {
        state_ = TState::Done;
    }
}

}  // namespace ringlark
