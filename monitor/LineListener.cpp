#include "monitor/LineListener.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/RinglarkError.h"
#include "core/SampleValues.h"

namespace ringlark {

TLineListener::TLineListener(ISoundInput& input, TWavRecorder* recorder, bool includeFailed)
    : input_(input), recorder_(recorder), decoder_(input.Rate(), true, includeFailed) {}

double TLineListener::Seconds() const {
    return static_cast<double>(decoder_.SamplesFed()) / decoder_.Rate();
}

void TLineListener::Run(const std::atomic<bool>& stop, double maxSeconds) {
    const auto block = static_cast<std::size_t>(std::max(1.0, decoder_.Rate() / 50));
    const uint64_t limit = maxSeconds > 0
                               ? static_cast<uint64_t>(std::llround(maxSeconds * decoder_.Rate()))
                               : UINT64_MAX;
    std::vector<float> samples(block);
    std::vector<TStreamEvent> events;
    const int lostBefore = input_.Overflows();
    const auto report = [&] {
        for (const auto& e : events) {
            if ((e.Kind == TStreamEvent::TKind::Message && !e.Message.Uncertain &&
                 !e.Message.Failed) ||
                e.Kind == TStreamEvent::TKind::Dtmf) {
                ++messages_;
            }
            if (OnEvent) {
                OnEvent(e);
            }
        }
        events.clear();
    };
    while (!stop.load() && decoder_.SamplesFed() < limit) {
        const auto want =
            static_cast<std::size_t>(std::min<uint64_t>(block, limit - decoder_.SamplesFed()));
        const std::size_t n = input_.Read(samples.data(), want);
        if (n == 0) {
            break;
        }
        if (const int lost = input_.Overflows() - lostBefore; lost > lost_) {
            lost_ = lost;
            if (OnInputLost) {
                OnInputLost(lost_,
                            static_cast<double>(decoder_.SamplesFed() + n) / decoder_.Rate());
            }
        }
        MakeSane(std::span<float>(samples.data(), n));  // also what is recorded and measured
        const std::span<const float> got(samples.data(), n);
        if (recorder_ != nullptr) {
            try {
                recorder_->Append(got);
            } catch (const RinglarkError& e) {
                if (!OnRecordingFailed) {
                    throw;
                }
                recorder_ = nullptr;  // what was recorded stays; nothing more is added
                OnRecordingFailed(e.what());
            }
        }
        if (OnSamples) {
            OnSamples(got);
        }
        decoder_.Feed(got, events);
        report();
        if (OnLevel) {
            float peak = 0;
            for (float v : got) {
                peak = std::max(peak, std::fabs(v));
            }
            OnLevel(peak > 1e-6f ? 20 * std::log10(peak) : -120.0, Seconds());
        }
    }
    decoder_.Finish(events);
    report();
}

}  // namespace ringlark
