// decode_sweep: how often each method decodes a message exactly, by SNR, at
// 44100, 22050 and 11025 samples per second, on clean tones and with a DC
// offset, a tone error of +-2 % and a 6 dB twist. White Gaussian noise from a
// deterministic generator: SNR is the mean power of the FSK part over the noise
// power in the whole band; 100 ms of noise alone before and after.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "analysis/ByteExtraction.h"
#include "analysis/CorrelationDecoder.h"
#include "analysis/WaveformViewer.h"
#include "core/NullServices.h"
#include "generation/FskSynth.h"
#include "generation/MessageBuilder.h"
#include "generation/SignalImage.h"
#include "generation/WavImage.h"
#include "tests/support/TestSignals.h"

namespace {

using namespace ringlark;

struct TCondition {
    const char* Name;
    double ToneFactor;  // 1.02: both tones 2 % high
    double SpaceLevel;  // relative to the mark
    double Dc;          // in 8-bit steps
};

constexpr TCondition kConditions[] = {
    {"plain", 1.0, 1.0, 0},    {"dc+20", 1.0, 1.0, 20},   {"tone+2%", 1.02, 1.0, 0},
    {"tone-2%", 0.98, 1.0, 0}, {"twist6dB", 1.0, 0.5, 0},
};

// On-hook FSK at 44100/s with chosen tones and levels: seizure, 150 ms mark,
// the message; 36.75 samples per bit.
std::vector<float> Fsk(const Bytes& message, double toneFactor, double spaceLevel) {
    std::vector<bool> bits;
    const auto frame = [&bits](uint8_t b) {
        bits.push_back(false);
        for (int i = 0; i < 8; ++i) {
            bits.push_back(((b >> i) & 1) != 0);
        }
        bits.push_back(true);
    };
    for (int i = 0; i < 30; ++i) {
        frame(0x55);
    }
    for (int i = 0; i < 180; ++i) {
        bits.push_back(true);
    }
    for (char c : message) {
        frame(static_cast<uint8_t>(c));
    }
    std::vector<float> out;
    double phase = 0;
    const double amplitude = 63.0 / 128.0;
    for (std::size_t n = 0;; ++n) {
        const auto bit = static_cast<std::size_t>(static_cast<double>(n) / 36.75);
        if (bit >= bits.size()) {
            break;
        }
        const bool mark = bits[bit];
        const double f = (mark ? 1200.0 : 2200.0) * toneFactor;
        out.push_back(static_cast<float>(amplitude * (mark ? 1.0 : spaceLevel) * std::sin(phase)));
        phase += 2 * M_PI * f / 44100.0;
    }
    return out;
}

bool Exact(const Bytes& text, const Bytes& message) {
    return text.substr(0, message.size()) == message;
}

}  // namespace

int main(int argc, char** argv) {
    const int seeds = argc > 1 ? std::atoi(argv[1]) : 50;
    const double snrs[] = {20, 12, 8, 6, 4, 2, 0, -2};
    TCidRequest mdmf;
    mdmf.Kind = TMessageKind::Mdmf;
    mdmf.NumberText = "8005551212";
    mdmf.NameText = "JOHN DOE";
    mdmf.DateText = "1207";
    mdmf.TimeText = "0930";
    TCidRequest sdmf = mdmf;
    sdmf.Kind = TMessageKind::Sdmf;
    const std::pair<const char*, Bytes> kinds[] = {{"MDMF", BuildCidMessage(mdmf, {})},
                                                   {"SDMF", BuildCidMessage(sdmf, {})}};
    TCancelledFileDialog dialog;
    TSilentNotices notices;
    TNoProgress progress;
    TSilentSound sound;
    std::printf(
        "exact decodes in %%, %d seeds per point; methods 1 (zero crossing), 2 (peak), 3 "
        "(correlation)\n",
        seeds);
    for (const auto& [kindName, message] : kinds) {
        for (const TCondition& condition : kConditions) {
            for (int factor : {1, 2, 4}) {
                std::vector<float> clean;
                if (condition.ToneFactor == 1.0 && condition.SpaceLevel == 1.0) {
                    TFskSynth synth;
                    clean = ImageSamples(SynthesiseImage(synth, message, TSignalling::OnHook));
                } else {
                    clean = Fsk(message, condition.ToneFactor, condition.SpaceLevel);
                }
                clean = Downsample(clean, factor);
                const int rate = 44100 / factor;
                std::printf("\n%s %s %d/s\n  SNR dB   m1    m2    m3\n", kindName, condition.Name,
                            rate);
                for (double snr : snrs) {
                    int exact[3] = {0, 0, 0};
                    for (int seed = 1; seed <= seeds; ++seed) {
                        std::vector<float> noisy =
                            AddNoise(clean, snr, static_cast<std::size_t>(rate / 10),
                                     static_cast<uint64_t>(seed));
                        for (float& s : noisy) {
                            s += static_cast<float>(condition.Dc / 128.0);
                        }
                        const Bytes file = SamplesImage(noisy, static_cast<uint32_t>(rate));
                        TWaveformViewer viewer(dialog, notices, progress, sound);
                        viewer.LoadFileBytes(file);
                        TByteAnalyzer& analyzer = viewer.Analyzer;
                        analyzer.QuietAnalysis = true;
                        for (TAnalysisMethod method :
                             {TAnalysisMethod::ZeroCrossing, TAnalysisMethod::Peak}) {
                            analyzer.Demodulator.AnalysisMethod = method;
                            const Bytes text = analyzer.StringAnalyze(
                                analyzer.Demodulator.Analyze(viewer.LoadedImage));
                            exact[static_cast<int>(method)] += Exact(text, message) ? 1 : 0;
                        }
                        const auto found = TCorrelationDecoder().Decode(ImageSamples(file), rate);
                        exact[2] += !found.empty() && found.front().Message == message ? 1 : 0;
                    }
                    std::printf("  %6.0f %4d%% %4d%% %4d%%\n", snr, 100 * exact[0] / seeds,
                                100 * exact[1] / seeds, 100 * exact[2] / seeds);
                }
            }
        }
    }
    return 0;
}
