// decode_sweep [table|integrity|standards|blocks] [seeds] [condition]: how often each method
// decodes a message exactly, by SNR.
//
// "table" (the default): methods 1 to 3 at 44100, 22050 and 11025 samples per
// second, on clean tones and with a DC offset, a tone error of +-2 % and a 6 dB
// twist, through the analyst's 8-bit loader.
// "standards": Bell 202 and V.23 (method 3) and DTMF at 8000 and 44100/s,
// each by its own decoder, with every other decoder counting false messages.
// "blocks": the automatic analysis of each image whole and read in blocks,
// counting the results that differ.
// "integrity": method 3 alone over many random messages per condition (bit-rate
// errors, twist, clipping through a telephone channel, hum, call waiting,
// 8000/s, capture glitches: SweepConditions.h), counting exact decodes, false
// messages (reported but not what was sent) and uncertain ones (withheld)
// separately. FIRST_SEED=n starts at seed n; ONLY_SNR=x runs that point alone;
// SHOW_UNCERTAIN lists the uncertain readings; DUMP_GLITCHES where the glitches
// of each recording lie, in bits from its first start bit.
//
// White Gaussian noise from a deterministic generator: SNR is the mean power of
// the FSK part over the noise power in the whole band; 100 ms of noise alone
// before and after.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "analyst/WaveformViewer.h"
#include "bench/SweepConditions.h"
#include "core/NullServices.h"
#include "core/WavImage.h"
#include "decoding/BlockAnalysis.h"
#include "decoding/ByteExtraction.h"
#include "decoding/fsk/CorrelationDecoder.h"
#include "decoding/tones/DtmfDecoder.h"
#include "generation/FskSynth.h"
#include "generation/MessageBuilder.h"
#include "generation/SignalImage.h"
#include "generation/StandardsSynth.h"
#include "protocol/Standards.h"
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

std::string Hex(const Bytes& bytes) {
    std::string out;
    char two[4];
    for (char c : bytes) {
        std::snprintf(two, sizeof two, "%02X ", static_cast<unsigned>(static_cast<uint8_t>(c)));
        out += two;
    }
    return out;
}

bool Exact(const Bytes& text, const Bytes& message) {
    return text.substr(0, message.size()) == message;
}

void RunIntegrity(int seeds, const std::string& only) {
    const double snrs[] = {20, 10, 6, 4, 2, 0, -1, -2, -3, -4};
    std::printf("method 3, %d random MDMF messages per point (%d per condition)\n", seeds,
                seeds * static_cast<int>(std::size(snrs)));
    long totalFalse = 0;
    long totalTried = 0;
    // FIRST_SEED=n: seeds n on, to go on from an earlier run.
    const int firstSeed = std::getenv("FIRST_SEED") ? std::atoi(std::getenv("FIRST_SEED")) : 1;
    for (const TIntegrityCondition& condition : IntegrityConditions()) {
        if (std::string(condition.Name).find(only) == std::string::npos) {
            continue;
        }
        std::printf("\n%s\n  SNR dB  exact  false  uncertain (first reading right)\n",
                    condition.Name);
        for (double snr : snrs) {
            // ONLY_SNR=x: that point alone
            if (std::getenv("ONLY_SNR") && std::atof(std::getenv("ONLY_SNR")) != snr) {
                continue;
            }
            int exact = 0, wrong = 0, uncertain = 0, uncertainRight = 0;
            for (int seed = firstSeed; seed < firstSeed + seeds; ++seed) {
                const Bytes message = RandomMdmfMessage(static_cast<uint64_t>(seed));
                const TFskSignal signal = SweepSignal(condition, seed);
                const std::vector<float> noisy = ImpairedSignal(condition, message, snr, seed);
                TCorrelationDecoder decoder = TCorrelationDecoder::For(
                    condition.V23 ? TCidStandard::EtsiV23 : TCidStandard::Bell202);
                decoder.IncludeUncertain = true;
                for (const auto& found : decoder.Decode(noisy, signal.Rate)) {
                    if (found.Uncertain) {
                        ++uncertain;
                        uncertainRight += found.Message == message ? 1 : 0;
                        if (std::getenv("SHOW_UNCERTAIN")) {
                            std::fprintf(stderr,
                                         "uncertain %s %.0f dB seed %d\n  read %s\n  alt  %s\n",
                                         condition.Name, snr, seed, Hex(found.Message).c_str(),
                                         Hex(found.Alternative).c_str());
                        }
                    } else if (found.Message == message) {
                        ++exact;
                    } else {
                        ++wrong;
                        std::fprintf(stderr,
                                     "false: %s %.0f dB seed %d q=%.2f\n  sent %s\n  read %s\n",
                                     condition.Name, snr, seed, found.Quality, Hex(message).c_str(),
                                     Hex(found.Message).c_str());
                    }
                }
            }
            totalFalse += wrong;
            totalTried += seeds;
            std::printf("  %6.1f  %5.1f%%  %5d  %9d (%d)\n", snr, 100.0 * exact / seeds, wrong,
                        uncertain, uncertainRight);
            std::fflush(stdout);
        }
    }
    std::printf("\nfalse messages: %ld in %ld messages tried\n", totalFalse, totalTried);
}

void RunTable(int seeds, const std::string& only);
void RunBlocks(int seeds);

// DTMF digits at any rate: 70 ms tones and gaps, each tone at `amplitude`.
std::vector<float> DtmfSamples(const std::string& digits, double rate, double amplitude) {
    std::vector<float> out;
    for (char c : digits) {
        const auto tones = DtmfTones(c);
        for (int i = 0; i < static_cast<int>(0.070 * rate); ++i) {
            const double t = i / rate;
            out.push_back(static_cast<float>(amplitude * (std::sin(2 * M_PI * tones->first * t) +
                                                          std::sin(2 * M_PI * tones->second * t))));
        }
        out.resize(out.size() + static_cast<std::size_t>(0.070 * rate), 0.0f);
    }
    return out;
}

// Each standard's own decoder on its own signal, by SNR, and the other
// decoders on the same signal (false: a message reported that is not what was
// sent, or of another standard). SNR for DTMF: the mean power of the tone
// bursts and gaps over the noise power in the whole band.
void RunStandards(int seeds) {
    const double snrs[] = {20, 14, 10, 8, 6, 4, 2, 0, -2};
    std::printf("exact decodes in %%, %d random messages per point\n", seeds);
    for (double rate : {8000.0, 44100.0}) {
        for (const char* standard : {"bell", "v23", "dtmf"}) {
            std::printf("\n%s %.0f/s\n  SNR dB  exact  false\n", standard, rate);
            double ninety = 99;
            for (double snr : snrs) {
                int exact = 0, wrong = 0;
                for (int seed = 1; seed <= seeds; ++seed) {
                    const Bytes message = RandomMdmfMessage(static_cast<uint64_t>(seed));
                    const std::string digits =
                        "A" + std::string(message.substr(14, 10)) + "C";  // its number
                    TFskSignal signal;
                    signal.Rate = rate;
                    signal.StartPhase = 0.37 * seed;
                    signal.JitterSeed = static_cast<uint64_t>(seed);
                    if (std::string(standard) == "v23") {
                        signal.MarkHz = 1300;
                        signal.SpaceHz = 2100;
                    }
                    const std::vector<float> clean = std::string(standard) == "dtmf"
                                                         ? DtmfSamples(digits, rate, 0.25)
                                                         : SynthesiseFsk(message, signal);
                    const std::vector<float> noisy = AddNoise(
                        clean, snr, static_cast<std::size_t>(rate / 10),
                        static_cast<uint64_t>(seed) * 7919 + static_cast<uint64_t>(snr + 50));
                    bool got = false;
                    for (TCidStandard s : {TCidStandard::Bell202, TCidStandard::EtsiV23}) {
                        const bool own =
                            (s == TCidStandard::Bell202) == (std::string(standard) == "bell") &&
                            std::string(standard) != "dtmf";
                        for (const auto& m : TCorrelationDecoder::For(s).Decode(noisy, rate)) {
                            if (own && m.Message == message) {
                                got = true;
                            } else {
                                ++wrong;
                            }
                        }
                    }
                    for (const auto& m : DecodeDtmf(noisy, rate)) {
                        if (std::string(standard) == "dtmf" && m.Digits == digits) {
                            got = true;
                        } else {
                            ++wrong;
                        }
                    }
                    exact += got ? 1 : 0;
                }
                if (100 * exact >= 90 * seeds) {
                    ninety = snr;
                }
                std::printf("  %6.0f  %4.1f%%  %5d\n", snr, 100.0 * exact / seeds, wrong);
                std::fflush(stdout);
            }
            std::printf("  90 %% exact down to %.0f dB\n", ninety);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "table";
    const std::string only = argc > 3 ? argv[3] : "";  // conditions whose name holds this
    if (mode == "integrity") {
        RunIntegrity(argc > 2 ? std::atoi(argv[2]) : 120, only);
    } else if (mode == "standards") {
        RunStandards(argc > 2 ? std::atoi(argv[2]) : 50);
    } else if (mode == "blocks") {
        RunBlocks(argc > 2 ? std::atoi(argv[2]) : 20);
    } else {
        RunTable(argc > 2 ? std::atoi(argv[2]) : 50, only);
    }
    return 0;
}

namespace {

// The automatic analysis of each noisy image as a whole and read in blocks (as
// a file too large to hold is read): how often they differ.
void RunBlocks(int seeds) {
    const double snrs[] = {20, 8, 4, 2, 0, -2, -4};
    TCancelledFileDialog dialog;
    TSilentNotices notices;
    TNoProgress progress;
    TSilentSound sound;
    std::vector<std::pair<std::string, std::vector<float>>> signals;
    const TCidRequest mdmf = ExampleMdmfRequest();
    for (const TCondition& condition : kConditions) {
        signals.emplace_back(
            std::string("Bell 202 ") + condition.Name,
            Fsk(BuildCidMessage(mdmf, {}), condition.ToneFactor, condition.SpaceLevel));
    }
    signals.emplace_back("V.23",
                         ImageSamples(SynthesiseV23Image(
                             BuildCidMessage(mdmf, {}),
                             V23TimingFor(TCidStandard::EtsiV23, TSignalling::OnHook, false), 63)));
    signals.emplace_back("DTMF", DtmfSamples("A8005551212C", 44100, 0.5));
    long tried = 0;
    long differ = 0;
    for (const auto& [name, clean] : signals) {
        for (int factor : {1, 2, 4}) {
            const std::vector<float> signal = Downsample(clean, factor);
            const int rate = 44100 / factor;
            int here = 0;
            for (double snr : snrs) {
                for (int seed = 1; seed <= seeds; ++seed) {
                    const Bytes file =
                        SamplesImage(AddNoise(signal, snr, static_cast<std::size_t>(rate / 10),
                                              static_cast<uint64_t>(seed)),
                                     static_cast<uint32_t>(rate));
                    TWaveformViewer viewer(dialog, notices, progress, sound);
                    viewer.LoadFileBytes(file);
                    const Bytes& image = viewer.LoadedImage;
                    TByteAnalyzer whole;
                    const TAutoResult a = whole.AutoAnalyze(image);
                    TImageBytes blocks(image);
                    TByteAnalyzer inBlocks;
                    const TAutoResult b = AutoAnalyzeBlocks(inBlocks, blocks);
                    ++tried;
                    if (a.MethodTag != b.MethodTag || a.Text != b.Text ||
                        a.Uncertain != b.Uncertain || a.Alternative != b.Alternative) {
                        ++differ;
                        ++here;
                        std::fprintf(stderr, "%s %d/s %.0f dB seed %d: %s %s | %s %s\n",
                                     name.c_str(), rate, snr, seed,
                                     a.MethodTag.substr(0, 4).c_str(), Hex(a.Text).c_str(),
                                     b.MethodTag.substr(0, 4).c_str(), Hex(b.Text).c_str());
                    }
                }
            }
            std::printf("%-22s %5d/s  %d of %zu differ\n", name.c_str(), rate, here,
                        std::size(snrs) * static_cast<std::size_t>(seeds));
        }
    }
    std::printf("\nwhole image against blocks: %ld of %ld results differ\n", differ, tried);
}

void RunTable(int seeds, const std::string& only) {
    const double snrs[] = {20, 12, 8, 6, 4, 2, 0, -2};
    const TCidRequest mdmf = ExampleMdmfRequest();
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
            if (std::string(condition.Name).find(only) == std::string::npos) {
                continue;
            }
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
                std::printf("\n%s %s %d/s\n  SNR dB   m1    m2    m3  false\n", kindName,
                            condition.Name, rate);
                for (double snr : snrs) {
                    int exact[3] = {0, 0, 0};
                    int wrong = 0;  // method 3 messages that are not what was sent
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
                        for (const auto& m : found) {
                            wrong += m.Message != message ? 1 : 0;
                        }
                    }
                    std::printf("  %6.0f %4d%% %4d%% %4d%% %5d\n", snr, 100 * exact[0] / seeds,
                                100 * exact[1] / seeds, 100 * exact[2] / seeds, wrong);
                }
            }
        }
    }
}

}  // namespace
