// Key points of the decode sweep (bench/decode_sweep integrity) as a test with
// a floor and a ceiling: method 3 must decode at least the given number of 40
// random messages exactly, and must never report a message that was not sent.
// The floors sit a little under what the sweep measured (README).
#include <gtest/gtest.h>

#include "decoding/fsk/CorrelationDecoder.h"
#include "tests/support/TestSignals.h"
#include "tests/support/TestSupport.h"

namespace ringlark {
namespace {

constexpr int kMessages = 40;

struct TPoint {
    const char* Name;
    TFskSignal Signal;
    double SnrDb;
    int Floor;             // exact decodes out of kMessages
    double HumDb = -99;    // 60 Hz hum relative to the signal
    bool Alerts = false;   // SAS, CAS and quiet before call-waiting data
    bool Capture = false;  // distorted, clipped and band-limited as a sound card's capture
};

std::vector<TPoint> Points() {
    std::vector<TPoint> points;
    const auto add = [&points](const char* name, double snr, int floor, auto&& change) {
        TPoint p{name, {}, snr, floor};
        change(p);
        points.push_back(p);
    };
    // Read over three bits at a time: 33 and 23 of 40 (one bit at a time, 20
    // and 6); what does not pass read again with every byte on the grid of the
    // message's clock: 37 and 33, and 30 at -3 dB; read over the whole
    // message at once where its framing holds: 39, 35 and 35.
    add("plain 44100/s", -2.0, 38, [](TPoint&) {});
    add("plain 8000/s", 4.0, 33, [](TPoint& p) { p.Signal.Rate = 8000; });
    add("plain 44100/s at -3 dB", -3.0, 33, [](TPoint&) {});
    // Two switched oscillators are read one bit at a time; their crossings
    // are moved by the phase each jump leaves, the grid is not: 38 and 15 of
    // 40 (with the edges where each byte's start bit crosses, the sweep read
    // 69 % and 19 % of such messages).
    add("switched tones 44100/s", 20.0, 36, [](TPoint& p) { p.Signal.SwitchedTones = true; });
    add("switched tones 8000/s", 10.0, 14, [](TPoint& p) {
        p.Signal.SwitchedTones = true;
        p.Signal.Rate = 8000;
    });
    add("baud+3%", 2.0, 38, [](TPoint& p) { p.Signal.BaudFactor = 1.03; });
    add("baud-3%", 2.0, 38, [](TPoint& p) { p.Signal.BaudFactor = 0.97; });
    add("twist+10dB", 6.0, 36, [](TPoint& p) { p.Signal.TwistDb = 10; });
    add("twist-10dB", 8.0, 36, [](TPoint& p) { p.Signal.TwistDb = -10; });
    add("call waiting, twist-6dB", 4.0, 38, [](TPoint& p) {
        p.Signal.SeizureBits = 0;
        p.Signal.MarkBits = 80;
        p.Signal.TwistDb = -6;
    });
    add("hum 60 Hz +6 dB", 2.0, 38, [](TPoint& p) { p.HumDb = 6; });
    // Call waiting as an exchange sends it: the alert tones and the quiet after
    // them once set the bit clock a few per cent off (SNR of the data alone).
    const auto callWaiting = [](double rate, double twist, double clock) {
        return [=](TPoint& p) {
            p.Signal.Rate = rate;
            p.Signal.SeizureBits = 0;
            p.Signal.MarkBits = 84;
            p.Signal.TwistDb = twist;
            p.Signal.ToneFactor = clock;
            p.Signal.BaudFactor = clock;
            p.Alerts = true;
        };
    };
    add("alerts + call waiting 44100/s", 2.0, 38, callWaiting(44100, 0, 1));
    add("alerts + call waiting, twist+6dB 44100/s", 2.0, 38, callWaiting(44100, 6, 1));
    add("alerts + call waiting 8000/s", 10.0, 38, callWaiting(8000, 0, 1));
    add("alerts + call waiting, clock+1% 8000/s", 10.0, 36, callWaiting(8000, 0, 1.01));
    add("alerts + call waiting, clock-1% twist+6dB 8000/s", 10.0, 38, callWaiting(8000, 6, 0.99));
    // No seizure to measure the clock from: the message's own changes of tone
    // measure it (at the nominal clock, 33 of 40 each).
    add("alerts + call waiting, clock-1% 8000/s at 6 dB", 6.0, 36, callWaiting(8000, 0, 0.99));
    add("alerts + call waiting, clock+1% 8000/s at 6 dB", 6.0, 36, callWaiting(8000, 0, 1.01));
    // Tones of unequal level: the edges are found where they cross at a change
    // of tone (with the edges where the decision crosses 0, 32 and 26 of 40).
    add("alerts + call waiting, twist+6dB 8000/s at 6 dB", 6.0, 37, callWaiting(8000, 6, 1));
    add("twist-10dB at 4 dB", 4.0, 38, [](TPoint& p) { p.Signal.TwistDb = -10; });
    // A hardware generator through a sound card: the mark 4.5 dB above the
    // space, 2nd and 3rd harmonics, clipped, bit edges off the clock's grid by
    // up to an eighth of a bit, the clock 3 % fast, a telephone band.
    const auto capture = [](double rate) {
        return [=](TPoint& p) {
            p.Signal.Rate = rate;
            p.Signal.TwistDb = -4.5;
            p.Signal.BaudFactor = 1.03;
            p.Signal.BitJitter = 0.12;
            p.Capture = true;
        };
    };
    add("capture-like 44100/s", 4.0, 38, capture(44100));
    add("capture-like 8000/s", 9.0, 38, capture(8000));
    // Read over the whole message, such edges move the phase at each change of
    // tone by more than at a steady tone; that drift is measured on each
    // message (with one fixed drift for both, 36 of these 40 were exact, 39
    // with it measured; the sweep: 82 % against 92 %).
    add("capture-like 8000/s at 6 dB", 6.0, 38, capture(8000));
    // Its edges a quarter of a bit off the grid and the clock 4 % fast: the
    // changes of tone stray so far that a glitch check with a fixed allowance
    // for them withheld some (32 of 40 exact; 62 % of 100 in the sweep's
    // conditions, against 89 %); the allowance is measured on each message:
    // 35. Read one bit at a time, as such edges were, 32 of 40 at 10 dB (76 %
    // in the sweep); over the whole message, its drift at the changes measured,
    // 39 (94.5 %).
    add("capture-like, edges a quarter bit off, 8000/s", 20.0, 38, [&](TPoint& p) {
        capture(8000)(p);
        p.Signal.BitJitter = 0.25;
        p.Signal.BaudFactor = 1.04;
    });
    add("capture-like, edges a quarter bit off, 8000/s at 10 dB", 10.0, 37, [&](TPoint& p) {
        capture(8000)(p);
        p.Signal.BitJitter = 0.25;
        p.Signal.BaudFactor = 1.04;
    });
    add("plain 44100/s far below the limit", -6.0, 0, [](TPoint&) {});
    return points;
}

TEST(DecodeQuality, FloorOfExactDecodesAndNoFalseMessage) {
    for (const TPoint& point : Points()) {
        int exact = 0;
        int falseMessages = 0;
        for (int seed = 1; seed <= kMessages; ++seed) {
            const Bytes sent = RandomMdmfMessage(static_cast<uint64_t>(1000 + seed));
            TFskSignal signal = point.Signal;
            signal.StartPhase = 0.61 * seed;
            signal.JitterSeed = static_cast<uint64_t>(seed);
            std::vector<float> clean = SynthesiseFsk(sent, signal);
            if (point.Capture) {
                AddHarmonics(clean, signal.Amplitude, 0.2, signal.Rate > 8000 ? 0.15 : 0.0);
                ClipSamples(clean, 0.85f * static_cast<float>(signal.Amplitude));
                clean = TelephoneBand(clean, signal.Rate);
            }
            const double power = MeanPower(clean);
            if (point.Alerts) {
                const auto alerts = CallWaitingAlerts(signal.Rate, signal.Amplitude);
                clean.insert(clean.begin(), alerts.begin(), alerts.end());
            }
            auto noisy = AddNoiseAtPower(clean, power, point.SnrDb,
                                         static_cast<std::size_t>(signal.Rate / 10),
                                         static_cast<uint64_t>(seed) * 31 + 7);
            if (point.HumDb > -99) {
                AddHum(noisy, signal.Rate, 60.0, point.HumDb);
            }
            for (const auto& found : TCorrelationDecoder().Decode(noisy, signal.Rate)) {
                if (found.Message == sent) {
                    ++exact;
                } else {
                    ++falseMessages;
                    ADD_FAILURE() << point.Name << ": false message " << test::ToHex(found.Message);
                }
            }
        }
        EXPECT_GE(exact, point.Floor) << point.Name;
        EXPECT_EQ(falseMessages, 0) << point.Name;
    }
}

// Near the limit the weakest bits of many messages leave a second reading
// within reach. Reading the message again with every byte on the grid of its
// clock, and readings with the sampling points a little earlier and later
// that both pass alone and agree on one of the two, settle most. At -2.5 dB,
// without either, 5 of these 60 came out uncertain and 50 exact; with the
// shifted readings alone 4 and 51; with both, none and 56. Each bit read over
// the whole message at once: at -3 dB none uncertain and 55 exact.
TEST(DecodeQuality, FewRightReadingsAreLeftUncertainNearTheLimit) {
    int exact = 0;
    int uncertain = 0;
    for (int seed = 1; seed <= 60; ++seed) {
        const Bytes sent = RandomMdmfMessage(static_cast<uint64_t>(5000 + seed));
        TFskSignal signal;
        signal.StartPhase = 0.43 * seed;
        const auto noisy =
            AddNoise(SynthesiseFsk(sent, signal), -3.0, 4410, static_cast<uint64_t>(seed) * 17 + 3);
        TCorrelationDecoder decoder;
        decoder.IncludeUncertain = true;
        for (const auto& found : decoder.Decode(noisy, signal.Rate)) {
            if (found.Uncertain) {
                ++uncertain;
            } else if (found.Message == sent) {
                ++exact;
            } else {
                ADD_FAILURE() << "false message " << test::ToHex(found.Message);
            }
        }
    }
    EXPECT_LE(uncertain, 1);
    EXPECT_GE(exact, 53);
}

}  // namespace
}  // namespace ringlark
