#include "bench/SweepConditions.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>
#include <string>

namespace ringlark {

std::vector<TIntegrityCondition> IntegrityConditions() {
    std::vector<TIntegrityCondition> out;
    const auto add = [&out](const char* name, auto&& change) {
        TIntegrityCondition c{name, {}};
        change(c);
        out.push_back(c);
    };
    add("plain 44100/s", [](auto&) {});
    add("plain 8000/s", [](auto& c) { c.Signal.Rate = 8000; });
    add("baud+2% 44100/s", [](auto& c) { c.Signal.BaudFactor = 1.02; });
    add("baud-2% 44100/s", [](auto& c) { c.Signal.BaudFactor = 0.98; });
    add("baud+3% 44100/s", [](auto& c) { c.Signal.BaudFactor = 1.03; });
    add("baud-3% 44100/s", [](auto& c) { c.Signal.BaudFactor = 0.97; });
    add("twist+10dB 44100/s", [](auto& c) { c.Signal.TwistDb = 10; });
    add("twist-10dB 44100/s", [](auto& c) { c.Signal.TwistDb = -10; });
    add("clipped+band 8000/s", [](auto& c) {
        c.Signal.Rate = 8000;
        c.Clip = 0.3f;
        c.Band = true;
    });
    add("hum60Hz+6dB 44100/s", [](auto& c) { c.HumDb = 6; });
    add("callwaiting-6dB 44100/s", [](auto& c) {
        c.Signal.SeizureBits = 0;
        c.Signal.MarkBits = 80;
        c.Signal.TwistDb = -6;
    });
    // The same data without the alert tones before it, for comparison.
    add("cw-only twist+6dB 8000/s", [](auto& c) {
        c.Signal.Rate = 8000;
        c.Signal.SeizureBits = 0;
        c.Signal.MarkBits = 84;
        c.Signal.TwistDb = 6;
    });
    add("onhook twist+6dB 8000/s", [](auto& c) {
        c.Signal.Rate = 8000;
        c.Signal.TwistDb = 6;
    });
    // A call-waiting tone that interrupts a conversation.
    add("speech+alerts+cw 44100/s", [](auto& c) {
        c.Signal.SeizureBits = 0;
        c.Signal.MarkBits = 84;
        c.Alerts = true;
        c.Speech = true;
    });
    // A hardware generator captured through a sound card: the mark 4.5 dB
    // above the space, strong 2nd and 3rd harmonics (no 3rd at 8000/s, where
    // the space's would fold onto the mark), clipped, bit edges off the clock
    // by up to an eighth of a bit, the clock 3 % fast, a telephone band.
    for (double rate : {48000.0, 44100.0, 8000.0}) {
        static std::deque<std::string> names;
        char name[80];
        std::snprintf(name, sizeof name, "capture-like %.0f/s", rate);
        names.emplace_back(name);
        add(names.back().c_str(), [&](auto& c) {
            c.Signal.Rate = rate;
            c.Signal.TwistDb = -4.5;
            c.Signal.BaudFactor = 1.03;
            c.Signal.BitJitter = 0.12;
            c.Second = 0.2;
            c.Third = rate > 8000 ? 0.15 : 0.0;
            c.Clip = 0.85f;
            c.Band = true;
        });
    }
    // The same through a generator whose edges stray further from its clock
    // (a quarter of a bit) and whose clock is 4 % fast.
    add("capture-like jitter 1/4 bit 8000/s", [](auto& c) {
        c.Signal.Rate = 8000;
        c.Signal.TwistDb = -4.5;
        c.Signal.BaudFactor = 1.04;
        c.Signal.BitJitter = 0.25;
        c.Second = 0.2;
        c.Clip = 0.85f;
        c.Band = true;
    });
    // FSK from two oscillators switched at each bit: the phase jumps where
    // the tone changes.
    add("switched-tones 44100/s", [](auto& c) { c.Signal.SwitchedTones = true; });
    add("switched-tones 8000/s", [](auto& c) {
        c.Signal.Rate = 8000;
        c.Signal.SwitchedTones = true;
    });
    // Two glitches of 0.2 to 1 ms where the message's bits are.
    add("slips 44100/s", [](auto& c) { c.Glitches = 2; });
    add("slips 8000/s", [](auto& c) {
        c.Signal.Rate = 8000;
        c.Glitches = 2;
    });
    add("drops 44100/s", [](auto& c) {
        c.Glitches = 2;
        c.Drops = true;
    });
    add("slips v23 44100/s", [](auto& c) {
        c.Glitches = 2;
        c.V23 = true;
        c.Signal.MarkHz = 1300;
        c.Signal.SpaceHz = 2100;
    });
    // Call waiting as an exchange sends it: SAS, CAS, quiet, 70 ms of mark.
    for (double rate : {44100.0, 8000.0}) {
        for (double twist : {0.0, 6.0}) {
            for (double clock : {1.0, 1.01, 0.99}) {
                if (rate == 44100.0 && clock != 1.0) {
                    continue;
                }
                static std::deque<std::string> names;  // their texts stay where they are
                char name[80];
                std::snprintf(name, sizeof name, "alerts+cw twist%+.0fdB clock%+.0f%% %.0f/s",
                              twist, (clock - 1) * 100, rate);
                names.emplace_back(name);
                add(names.back().c_str(), [&](auto& c) {
                    c.Signal.Rate = rate;
                    c.Signal.SeizureBits = 0;
                    c.Signal.MarkBits = 84;
                    c.Signal.TwistDb = twist;
                    c.Signal.ToneFactor = clock;
                    c.Signal.BaudFactor = clock;
                    c.Alerts = true;
                });
            }
        }
    }
    return out;
}

TFskSignal SweepSignal(const TIntegrityCondition& condition, int seed) {
    TFskSignal signal = condition.Signal;
    signal.StartPhase = 0.37 * seed;
    signal.JitterSeed = static_cast<uint64_t>(seed);
    return signal;
}

std::vector<float> ImpairedSignal(const TIntegrityCondition& condition, const Bytes& message,
                                  double snr, int seed) {
    const TFskSignal signal = SweepSignal(condition, seed);
    std::vector<float> clean = SynthesiseFsk(message, signal);
    if (condition.Second > 0 || condition.Third > 0) {
        AddHarmonics(clean, signal.Amplitude, condition.Second, condition.Third);
    }
    if (condition.Clip > 0) {
        ClipSamples(clean, condition.Clip * static_cast<float>(signal.Amplitude));
    }
    if (condition.Band) {
        clean = TelephoneBand(clean, signal.Rate);
    }
    const double power = MeanPower(clean);
    if (condition.Alerts) {
        std::vector<float> alerts = CallWaitingAlerts(signal.Rate, signal.Amplitude);
        clean.insert(clean.begin(), alerts.begin(), alerts.end());
    }
    if (condition.Speech) {
        // speech at the data's power, a second before and after
        std::vector<float> before = SpeechLike(signal.Rate, seed, 1.0);
        std::vector<float> after = SpeechLike(signal.Rate, seed + 1000, 1.0);
        const double gain = std::sqrt(power / std::max(1e-12, MeanPower(before)));
        for (auto* part : {&before, &after}) {
            for (float& v : *part) {
                v = static_cast<float>(v * gain);
            }
        }
        clean.insert(clean.begin(), before.begin(), before.end());
        clean.insert(clean.end(), after.begin(), after.end());
    }
    std::vector<float> noisy =
        AddNoiseAtPower(clean, power, snr, static_cast<std::size_t>(signal.Rate / 10),
                        static_cast<uint64_t>(seed) * 7919 + static_cast<uint64_t>(snr + 50));
    if (condition.HumDb > -99) {
        AddHum(noisy, signal.Rate, 60.0, condition.HumDb);
    }
    if (condition.Glitches > 0) {
        const double bit = signal.Rate / (1200.0 * signal.BaudFactor);
        const double first = signal.Rate / 10 + (signal.SeizureBits + signal.MarkBits) * bit;
        const double last = first + static_cast<double>(message.size()) * 10 * bit;
        const auto glitches =
            RandomGlitches(static_cast<uint64_t>(seed) * 1000 + static_cast<uint64_t>(snr + 50),
                           condition.Glitches, static_cast<std::size_t>(first),
                           static_cast<std::size_t>(last), signal.Rate, bit, condition.Drops);
        if (std::getenv("DUMP_GLITCHES")) {
            for (const auto& g : glitches) {
                std::fprintf(stderr, "glitch at bit %.2f len %.2f bits delay %.2f bits\n",
                             (static_cast<double>(g.At) - first) / bit,
                             static_cast<double>(g.Length) / bit,
                             static_cast<double>(g.Delay) / bit);
            }
        }
        ApplyGlitches(noisy, glitches);
    }
    return noisy;
}

}  // namespace ringlark
