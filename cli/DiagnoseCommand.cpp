// diagnose: what a line sends, where relative to the rings, what is wrong
// with it for a receiver and what to change, from a recording, a stream or
// the sound card.
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>

#include "cli/Commands.h"
#include "cli/batch/AnyFormat.h"
#include "cli/batch/StreamInput.h"
#include "core/RinglarkError.h"
#include "decoding/StreamDecoder.h"
#include "diagnosis/DiagnosisReport.h"
#include "diagnosis/RingDetector.h"
#include "monitor/sound/PortAudioInput.h"

namespace ringlark::cli {

namespace {

std::atomic<bool> gStopDiagnose{false};

extern "C" void StopDiagnoseInput(int) {
    gStopDiagnose.store(true);
}

// SIGINT, SIGTERM and SIGHUP end the listening; what was heard is diagnosed.
void CatchStops() {
    struct sigaction action {};
    action.sa_handler = StopDiagnoseInput;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
}

// The most a stream or the sound card is heard for: what is kept must fit in
// memory (15 minutes at 48000/s is 173 MB of samples).
constexpr double kMostSeconds = 900;

struct THeard {
    std::vector<float> Samples;
    double Rate = 0;
    std::string Source;
};

THeard Listen(const TDiagnoseArgs& args) {
    std::unique_ptr<ISoundInput> input;
    THeard heard;
    if (args.Input) {
        heard.Source = *args.Input == "-" ? "standard input" : *args.Input;
        input =
            args.Raw.empty()
                ? std::unique_ptr<ISoundInput>(std::make_unique<TSoundFileInput>(*args.Input))
                : std::make_unique<TRawInput>(*args.Input, *RawFormatNamed(args.Raw), args.Rate);
    } else {
        ShowSoundLibraryMessages(false);
        auto device = std::make_unique<TPortAudioInput>(args.Device == "default" ? "" : args.Device,
                                                        args.Rate);
        heard.Source = device->DeviceName().empty() ? "the default input" : device->DeviceName();
        input = std::move(device);
    }
    heard.Rate = input->Rate();
    if (heard.Rate < TStreamDecoder::MinRate || heard.Rate > TStreamDecoder::MaxRate) {
        throw TUsageError("the input's rate must be from 8000 to 192000 samples/s");
    }
    const bool live = !args.Input;
    const double most = std::min(kMostSeconds, args.Seconds > 0 ? args.Seconds : kMostSeconds);
    const auto limit = static_cast<std::size_t>(most * heard.Rate);
    if (live && !args.Quiet) {
        std::cerr << "Listening on " << heard.Source << "; Ctrl-C ends and diagnoses what was heard"
                  << std::endl;
    }
    CatchStops();
    gStopDiagnose.store(false);
    TRingDetector rings(heard.Rate);
    std::vector<TRingBurst> found;
    std::vector<float> block(static_cast<std::size_t>(heard.Rate / 10));
    while (heard.Samples.size() < limit && !gStopDiagnose.load()) {
        const std::size_t want = std::min(block.size(), limit - heard.Samples.size());
        const std::size_t got = input->Read(block.data(), want);
        if (got == 0) {
            break;
        }
        heard.Samples.insert(heard.Samples.end(), block.begin(),
                             block.begin() + static_cast<std::ptrdiff_t>(got));
        found.clear();
        rings.Push(std::span<const float>(block).first(got), found);
        if (live && !args.Quiet) {
            for (const auto& ring : found) {
                std::fprintf(stderr, "Ring at %.1f s (%.1f s long)\n", ring.Seconds, ring.Duration);
            }
        }
    }
    if (heard.Samples.size() >= limit && args.Seconds <= 0) {
        std::cerr << "ringlark-cli: stopped after " << kMostSeconds / 60
                  << " minutes; --seconds sets a shorter time" << '\n';
    }
    return heard;
}

void CheckOptions(const TDiagnoseArgs& args) {
    const int sources = (args.File ? 1 : 0) + (args.Input ? 1 : 0) + (!args.Device.empty() ? 1 : 0);
    if (sources > 1) {
        throw TUsageError("give one of FILE, --input and --device");
    }
    if (sources == 0 && args.Raw.empty()) {
        throw TUsageError("give a recording (FILE), --input or --device");
    }
    if (!args.Raw.empty() && !args.Input) {
        throw TUsageError("--raw needs --input");
    }
    if (!args.Raw.empty() && args.Rate <= 0) {
        throw TUsageError("--raw needs --rate");
    }
    if ((args.File || (args.Input && args.Raw.empty())) && args.Rate > 0) {
        throw TUsageError("--rate is read from the file; give it only with --raw or a device");
    }
    if (args.File && args.Seconds > 0) {
        throw TUsageError("--seconds is for --input and --device; a file is read whole");
    }
}

}  // namespace

TExitStatus RunDiagnose(const TDiagnoseArgs& args) {
    CheckOptions(args);
    THeard heard;
    if (args.File) {
        TSoundFile sound = ReadAnyFormat(*args.File);
        heard.Samples = std::move(sound.Samples);
        heard.Rate = sound.SampleRate;
        heard.Source = *args.File == "-" ? "standard input" : *args.File;
        if (heard.Rate < TStreamDecoder::MinRate || heard.Rate > TStreamDecoder::MaxRate) {
            throw RinglarkError("The recording's rate must be from 8000 to 192000 samples/s");
        }
    } else {
        heard = Listen(args);
    }
    TDiagnoseOptions options;
    options.DbmAtFullScale = args.DbmAtFullScale;
    if (!args.Expect.empty()) {
        options.Expected = StandardNamed(args.Expect);
    }
    const TAdviceBook advice =
        args.Advice ? TAdviceBook::Load(*args.Advice) : TAdviceBook::LoadDefault();
    const TDiagnosis diagnosis = Diagnose(heard.Samples, heard.Rate, options);
    const TDiagnosisReport report = BuildReport(diagnosis, advice);
    if (args.Json) {
        std::cout << ReportJson(diagnosis, report, heard.Source)
                         .dump(2, ' ', false, nlohmann::json::error_handler_t::replace)
                  << '\n';
    } else {
        std::cout << ReportText(diagnosis, report, heard.Source);
    }
    return diagnosis.Findings.empty() ? TExitStatus::Success : TExitStatus::NotUnderstood;
}

void AddDiagnose(CLI::App& app, TDiagnoseArgs& args) {
    CLI::App* diagnose = app.add_subcommand(
        "diagnose",
        "Say in plain words what caller ID a line sends, where relative to the rings, what is "
        "wrong with it and what to change");
    diagnose->add_option("FILE", args.File,
                         "A recording of the line: any file libsndfile reads (\"-\": standard "
                         "input)");
    diagnose->add_option("--device", args.Device,
                         "Listen on this input device (its index or name; \"default\": the "
                         "default input) until Ctrl-C or --seconds");
    diagnose->add_option("--input", args.Input,
                         "Read a stream: a file libsndfile reads, or - for standard input");
    diagnose->add_option("--raw", args.Raw, "The --input stream is raw samples: s16le, u8 or f32le")
        ->check(CLI::IsMember({"s16le", "u8", "f32le"}));
    diagnose
        ->add_option("--rate", args.Rate,
                     "Sample rate of --raw input or of the device (8000 to 192000)")
        ->check(CLI::Range(TStreamDecoder::MinRate, TStreamDecoder::MaxRate));
    diagnose
        ->add_option("--seconds", args.Seconds,
                     "Stop listening after this many seconds (at most 900)")
        ->check(CLI::Range(0.1, kMostSeconds));
    diagnose
        ->add_option("--dbm-at-fs", args.DbmAtFullScale,
                     "The level in dBm of a full-scale sine: the levels are checked against "
                     "the receivers' limits")
        ->check(CLI::Range(-60.0, 60.0));
    diagnose
        ->add_option("--expect", args.Expect,
                     "The standard the receiver is set for: bell, etsi, bt or dtmf")
        ->check(CLI::IsMember({"bell", "etsi", "bt", "dtmf"}));
    diagnose->add_option("--advice", args.Advice,
                         "Take the advice from this file instead of the installed advice.json");
    diagnose->add_flag("--json", args.Json, "Print the report as JSON");
    diagnose->add_flag("--quiet", args.Quiet, "Say nothing on stderr while listening");
}

}  // namespace ringlark::cli
