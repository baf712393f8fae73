#pragma once

// A recording of several calls in noise, written with libsndfile, and what a
// scan of it must find: each signal placed at a known time, so that where its
// message begins follows from the signal's nominal timing.
#include <sndfile.h>

#include <string>
#include <vector>

#include "core/Bytes.h"
#include "tests/support/TestSignals.h"
#include "testsignal/TestSignal.h"

namespace ringlark::test {

struct TExpectedEvent {
    double Seconds = 0;  // where the message (its first start bit) or tone begins
    std::string Tag;     // "CORR", "V23", "DTMF", "SAS", "CAS"
    Bytes Message;       // FSK: the bytes; DTMF: the digits
};

struct TCallsRecording {
    double Seconds = 0;
    std::vector<TExpectedEvent> Events;
};

// Bell 202 MDMF at 0.5 s, ETSI V.23 at 5 s, DTMF at 9.5 s, Bell 202 call waiting
// (the subscriber alert, the dual-tone alert, then MDMF) at 15 s; 17 s in all
// (the stretch from 2 s before each message to 3 s after it holds no other),
// in Gaussian noise of a fixed seed; only the first `count` calls, the
// recording ending where the next would begin. With two channels the calls
// take turns (the first on the first channel, each channel with its own
// noise): only the mix of both holds them all.
inline TCallsRecording WriteCallsRecording(const std::string& path, int rate, int channels,
                                           int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16,
                                           int count = 4) {
    static constexpr double kAt[] = {0.5, 5, 9.5, 15};
    TCallsRecording out;
    out.Seconds = count < 4 ? kAt[count] : 17;
    int placed = 0;
    const auto frameCount = static_cast<std::size_t>(out.Seconds * rate);
    std::vector<std::vector<float>> calls(2, std::vector<float>(frameCount));
    const auto place = [&](const TTestSignal& signal) {
        if (placed >= count) {
            return;
        }
        const double at = kAt[placed];
        const std::vector<float> samples = SynthesiseTestSignal(signal);
        const auto first = static_cast<std::size_t>(at * rate);
        std::vector<float>& channel = calls[static_cast<std::size_t>(placed++ % 2)];
        for (std::size_t i = 0; i < samples.size() && first + i < frameCount; ++i) {
            channel[first + i] += samples[i];
        }
        const TTestTiming t = NominalTiming(signal);
        double begins = at + TestSignalPaddingSeconds;
        if (signal.Standard == TCidStandard::Dtmf) {
            out.Events.push_back({begins, "DTMF", signal.Digits});
            return;
        }
        if (t.SubscriberAlertSeconds > 0) {
            out.Events.push_back({begins, "SAS", {}});
            begins += t.SubscriberAlertSeconds;
        }
        if (t.AlertSeconds > 0) {
            out.Events.push_back({begins, "CAS", {}});
            begins += t.AlertSeconds;
        }
        begins += t.QuietSeconds + (t.SeizureBits + t.MarkBits) / 1200.0;
        out.Events.push_back(
            {begins, signal.Standard == TCidStandard::Bell202 ? "CORR" : "V23", signal.Message});
    };
    TTestSignal bell;
    bell.Rate = rate;
    bell.Message = ExampleMdmfMessage();
    place(bell);
    TTestSignal v23 = bell;
    v23.Standard = TCidStandard::EtsiV23;
    v23.Message = RandomMdmfMessage(3);
    place(v23);
    TTestSignal dtmf = bell;
    dtmf.Standard = TCidStandard::Dtmf;
    dtmf.Message.clear();
    dtmf.Digits = "A8005551212C";
    place(dtmf);
    TTestSignal waiting = bell;
    waiting.Signalling = TSignalling::CallWaiting;
    waiting.Message = RandomMdmfMessage(4);
    place(waiting);

    std::vector<float> frames;
    frames.reserve(frameCount * static_cast<std::size_t>(channels));
    TGaussianNoise noise(11);
    for (std::size_t i = 0; i < frameCount; ++i) {
        if (channels == 1) {
            frames.push_back(static_cast<float>(calls[0][i] + calls[1][i] + 0.005 * noise.Next()));
            continue;
        }
        for (int c = 0; c < channels; ++c) {
            const float v = c < 2 ? calls[static_cast<std::size_t>(c)][i] : 0.0f;
            frames.push_back(static_cast<float>(v + 0.005 * noise.Next()));
        }
    }
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file != nullptr) {
        sf_writef_float(file, frames.data(), static_cast<sf_count_t>(frameCount));
        sf_close(file);
    }
    return out;
}

}  // namespace ringlark::test
