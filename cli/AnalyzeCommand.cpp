// analyze: the caller-ID messages in a recording.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cmath>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <thread>

#include "analyst/AnalystTab.h"
#include "analyst/WavLoader.h"
#include "analyst/WaveformViewer.h"
#include "cli/CallLogging.h"
#include "cli/CliFormat.h"
#include "cli/Commands.h"
#include "cli/batch/AnyFormat.h"
#include "cli/batch/BatchAnalysis.h"
#include "cli/batch/EventFormat.h"
#include "cli/batch/ProgressBar.h"
#include "cli/batch/RecordingScan.h"
#include "cli/batch/SoundFileOpen.h"
#include "core/Cp1252.h"
#include "core/FileWriting.h"
#include "core/NullServices.h"
#include "core/RinglarkError.h"
#include "core/UserMessages.h"
#include "core/WavImage.h"
#include "decoding/fsk/CorrelationDecoder.h"
#include "decoding/tones/DtmfDecoder.h"
#include "inspection/Inspector.h"

namespace ringlark::cli {

namespace {

// Loader notices go to stderr, one line per line of the box.
class TStderrNotices : public INotices {
  public:
    void ShowNotice(const std::string& text) override {
        std::string shown = text;
        for (std::size_t at; (at = shown.find("\r\n")) != std::string::npos;) {
            shown.replace(at, 2, "\n");
        }
        std::cerr << shown << '\n';
    }
    TDialogAnswer AskYesNoCancel(const std::string&) override { return TDialogAnswer::Cancel; }
};

void PrintListing(const std::vector<Bytes>& lines) {
    for (const auto& line : lines) {
        std::cout << ShownText(line) << '\n';
    }
}

// Prints one analysis result the way the options ask for.
// The status is 0 only when the reported message passes its checksum (method 3
// reports only messages that pass every rule); the report itself is printed
// as the analyst shows it either way.
TExitStatus PrintResult(const TAnalyzeArgs& args, const TAutoResult& result,
                        const Bytes& inspectText, const std::vector<Bytes>& report) {
    const bool failed = result.Failed();
    const bool checked = result.Checked();
    if (args.Json) {
        nlohmann::json out = {
            {"tag", failed ? "FAIL" : result.MethodTag},
            {"bytes", HexString(result.Text)},
            {"checksum", checked},
            {"inspector", InspectorJson(BuildInspector(inspectText, result.Standard()))}};
        if (failed) {
            out["method0"] = HexString(result.ZeroCrossingText());
        }
        if (result.Uncertain) {
            out["uncertain"] = true;
            out["alternative"] = HexString(result.Alternative);
        }
        if (const std::string rule = result.BrokenRule(); !rule.empty()) {
            out["broken_rule"] = rule;  // the checksum adds up, the structure does not
        }
        std::cout << out.dump(2) << '\n';
    } else if (args.Hex) {
        std::string line =
            failed ? "FAIL " + HexString(result.ZeroCrossingText()) + " | " + HexString(result.Text)
            : result.Uncertain ? result.MethodTag + " UNCERTAIN " + HexString(result.Text) +
                                     " | or " + HexString(result.Alternative)
                               : result.MethodTag + " " + HexString(result.Text);
        while (!line.empty() && line.back() == ' ') {
            line.pop_back();
        }
        std::cout << line << '\n';
    } else if (args.Inspect) {
        std::cout << InspectorText(BuildInspector(inspectText, result.Standard()));
    } else {
        for (const auto& line : report) {
            std::cout << ShownText(line) << '\n';
        }
    }
    return checked ? TExitStatus::Success : TExitStatus::NotUnderstood;
}

// The first message of a standard other than Bell 202 in an image.
TAutoResult OtherStandardResult(TCidStandard standard, const Bytes& image) {
    if (standard == TCidStandard::Dtmf) {
        const auto found = DecodeDtmfImage(image);
        return found.empty() ? TAutoResult{"FAIL: ", ""}
                             : TAutoResult{"DTMF", found.front().Digits};
    }
    const auto found = TCorrelationDecoder::For(standard).DecodeImage(image);
    return found.empty() ? TAutoResult{"FAIL: ", ""} : TAutoResult{"V23", found.front().Message};
}

TExitStatus RunScanned(const TAnalyzeArgs& args, const std::string& path);

// Any sound file, straight to method 3.
TExitStatus RunAnyFormat(const TAnalyzeArgs& args) {
    if (args.Method == "zc" || args.Method == "peak") {
        throw TUsageError("--method " + args.Method +
                          " reads only files the analyst loads; leave out --any-format");
    }
    return RunScanned(args, args.Files.front());
}

// A regular file that the analyst's loader refuses for its format or rate
// (a 16-bit WAV, 8000/s, FLAC), which libsndfile reads: what --any-format
// would read. False for a file the loader takes, or one nobody reads.
bool OtherFormatSound(const std::string& path) {
    struct stat info {};
    if (path == "-" || stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    std::string head(64, '\0');
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        head.resize(std::fread(head.data(), 1, head.size(), f));
        std::fclose(f);
    }
    const auto refusal = LoadRefusal(head, static_cast<uint64_t>(info.st_size));
    if (!refusal ||
        (*refusal != loader::UnsupportedFormat && *refusal != loader::UnsupportedRate)) {
        return false;  // taken, or refused for its size
    }
    try {
        TOpenSound opened(path, TSoundOpening::Whole);
        return true;
    } catch (const RinglarkError&) {
        return false;  // the loader's own refusal says why
    }
}

// A recording read once, in blocks, whatever its length: method 3 for Bell
// 202 and V.23, and DTMF, by the stream decoder.
TExitStatus RunScanned(const TAnalyzeArgs& args, const std::string& path) {
    if (args.All) {
        const TListed listed = ListRecording(path, args.Standard, args.Json,
                                             !args.Quiet && isatty(STDERR_FILENO) != 0);
        return !listed.Any || listed.AnyUncertain ? TExitStatus::NotUnderstood
                                                  : TExitStatus::Success;
    }
    if (args.Method == "corr") {
        std::vector<TCorrMessage> found;
        TScanSettings settings;
        settings.Parts = PartsFor("bell");
        settings.IncludeUncertain = false;
        ScanRecording(path, settings, [&found](TStreamEvent&& event) {
            if (event.Kind == TStreamEvent::TKind::Message) {
                found.push_back(std::move(event.Message));
            }
            return true;
        });
        PrintListing(CorrelationListing(found));
        return TExitStatus::Success;
    }
    const TAutoResult result = ScanFirstMessage(path, args.Standard);
    const Bytes inspectText = result.Failed() ? Bytes(" ") : result.Text;
    return PrintResult(args, result, inspectText, ReportLines(result));
}

// Standard input ("-"), a pipe or a device is read to its end, up to the
// loader's 2 GB; a regular file goes through the loader, which checks its
// header before reading its samples.
TLoadResult Load(TWaveformViewer& viewer, const std::string& file) {
    struct stat info {};
    const bool stream = file == "-" || (stat(file.c_str(), &info) == 0 && !S_ISREG(info.st_mode) &&
                                        !S_ISDIR(info.st_mode));
    if (!stream) {
        return viewer.LoadWAV(file);
    }
    int fd = STDIN_FILENO;
    if (file != "-") {
        fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            throw RinglarkError(msg::CannotOpenFile(file, std::strerror(errno)));
        }
    }
    struct TClose {
        int fd;
        ~TClose() {
            if (fd != STDIN_FILENO) {
                close(fd);
            }
        }
    } closer{fd};
    return viewer.LoadFileBytes(ReadStream(fd, file == "-" ? "(standard input)" : file,
                                           static_cast<std::size_t>(loader::MaxImageSize), "2 GB"));
}

}  // namespace

// Many files: one line each, in the order given, analysed in parallel; a file
// that cannot be read is reported on its line and the batch goes on.
TExitStatus RunBatch(const TAnalyzeArgs& args) {
    if (args.Inspect || args.All || !args.Method.empty()) {
        throw TUsageError(
            "--inspect, --all and --method analyse one file; leave them out for a batch");
    }
    TSkipped skipped;
    const std::vector<std::string> files =
        ExpandInputs(args.Files, args.Recursive, args.AnyFormat, &skipped);
    if (files.empty()) {
        std::cerr << NothingToAnalyse(args.Files, skipped) << '\n';
        return TExitStatus::NotUnderstood;
    }
    const unsigned jobs =
        args.Jobs > 0 ? args.Jobs : std::max(1u, std::thread::hardware_concurrency());
    TProgressBar bar(files.size(), !args.Quiet && files.size() > 1 && isatty(STDERR_FILENO));
    bool anyFailed = false;
    bool anyNotUnderstood = false;
    AnalyzeBatch(files, jobs, args.AnyFormat, [&](const TBatchResult& result, std::size_t done) {
        bar.Clear();
        std::cout << BatchLine(result, args.Json) << std::endl;
        anyFailed = anyFailed || result.Status == TBatchStatus::Failed;
        anyNotUnderstood = anyNotUnderstood || result.Status == TBatchStatus::NotUnderstood;
        bar.Show(done);
    });
    bar.Clear();
    return anyFailed          ? TExitStatus::RuntimeError
           : anyNotUnderstood ? TExitStatus::NotUnderstood
                              : TExitStatus::Success;
}

namespace {

TExitStatus RunAnalysis(const TAnalyzeArgs& args) {
    std::error_code error;
    if (args.Files.size() > 1 || args.Recursive ||
        std::filesystem::is_directory(args.Files.front(), error)) {
        return RunBatch(args);
    }
    CheckMeasureOptions(args);
    if (args.Measure && (args.All || args.Inspect || args.Hex || !args.Method.empty())) {
        throw TUsageError(
            "--measure lists every message with its measurements; leave out "
            "--all, --inspect, --hex and --method");
    }
    // Every message of a recording of any length, read once in blocks.
    if (args.All && !args.Measure) {
        return RunScanned(args, args.Files.front());
    }
    if (args.AnyFormat) {
        if (args.Measure) {
            const TSoundFile sound = ReadAnyFormat(args.Files.front());
            return RunMeasure(args, sound.Samples, sound.SampleRate);
        }
        return RunAnyFormat(args);
    }
    // The 8-bit mono image is the analyst's own rule: methods 1 and 2 need
    // it; everything else reads any recording as --any-format does.
    if (args.Method != "zc" && args.Method != "peak" && OtherFormatSound(args.Files.front())) {
        if (args.Measure) {
            const TSoundFile sound = ReadAnyFormat(args.Files.front());
            return RunMeasure(args, sound.Samples, sound.SampleRate);
        }
        return RunScanned(args, args.Files.front());
    }
    // An 8-bit image file is analysed as it lies, a block at a time.
    if (args.Method.empty() && !args.Measure) {
        if (!args.Standard.empty() && args.Standard != "bell" &&
            AnalyzeImageFile(args.Files.front(), false, true)) {
            return RunScanned(args, args.Files.front());
        }
        if (args.Standard.empty() || args.Standard == "bell") {
            if (const auto inBlocks = AnalyzeImageFile(args.Files.front(), args.Standard.empty())) {
                const Bytes inspectText = inBlocks->Failed()
                                              ? inBlocks->ZeroCrossingText() + " " + inBlocks->Text
                                              : inBlocks->Text;
                return PrintResult(args, *inBlocks, inspectText, ReportLines(*inBlocks));
            }
        }
    }
    TCancelledFileDialog dialog;
    TStderrNotices notices;
    TNoProgress progress;
    TSilentSound sound;
    TWaveformViewer viewer(dialog, notices, progress, sound);
    if (!args.Method.empty() || args.Measure) {
        if (Load(viewer, args.Files.front()) != TLoadResult::Loaded) {
            return TExitStatus::RuntimeError;
        }
        if (args.Measure) {
            return RunMeasure(args, ImageSampleValues(viewer.LoadedImage), 44100.0);
        }
        TByteAnalyzer& analyzer = viewer.Analyzer;
        analyzer.QuietAnalysis = false;
        analyzer.ShowListing = PrintListing;
        if (args.Method == "corr") {
            analyzer.CorrelationAnalyze(viewer.LoadedImage);
            return TExitStatus::Success;
        }
        analyzer.Demodulator.AnalysisMethod =
            args.Method == "zc" ? TAnalysisMethod::ZeroCrossing : TAnalysisMethod::Peak;
        analyzer.StringAnalyze(analyzer.Demodulator.Analyze(viewer.LoadedImage));
        return TExitStatus::Success;
    }
    if (Load(viewer, args.Files.front()) != TLoadResult::Loaded) {
        return TExitStatus::RuntimeError;  // refused: the notice is on stderr
    }
    if (!args.Standard.empty() && args.Standard != "bell") {
        const TAutoResult result =
            OtherStandardResult(*StandardNamed(args.Standard), viewer.LoadedImage);
        const Bytes inspectText = result.Failed() ? Bytes(" ") : result.Text;
        return PrintResult(args, result, inspectText, ReportLines(result));
    }
    viewer.Analyzer.OtherStandards = args.Standard.empty();
    TPlainAnalystHost host(args.Files.front());
    TAnalystTab tab(host, viewer, dialog);
    tab.ReportLoadedImage();
    return PrintResult(args, tab.LastResult, tab.AnalystInspectText, tab.Report);
}

}  // namespace

TExitStatus RunAnalyze(const TAnalyzeArgs& args) {
    if (args.Log && std::find(args.Files.begin(), args.Files.end(), "-") != args.Files.end()) {
        throw TUsageError("--log needs files: standard input cannot be read twice");
    }
    const TExitStatus status = RunAnalysis(args);
    if (args.Log) {
        LogRecordings(ExpandInputs(args.Files, args.Recursive, args.AnyFormat), *args.Log,
                      args.AnyFormat);
    }
    return status;
}

void AddAnalyze(CLI::App& app, TAnalyzeArgs& args) {
    CLI::App* analyze =
        app.add_subcommand("analyze", "Decode the caller-ID message in a recorded WAV file");
    analyze
        ->add_option("FILE", args.Files,
                     "8-bit mono WAV at 11025, 22050 or 44100 samples/s (\"-\": standard "
                     "input); several files or folders analyse them all, one line each")
        ->required();
    analyze->add_flag("--recursive,-r", args.Recursive, "Take the recordings in sub-folders too");
    analyze->add_option("--jobs,-j", args.Jobs, "Files analysed at once (default: the cores)");
    analyze->add_flag("--quiet,-q", args.Quiet, "No progress bar");
    auto* hex =
        analyze->add_flag("--hex", args.Hex, "Print the method tag and the decoded bytes in hex");
    auto* inspect =
        analyze->add_flag("--inspect", args.Inspect, "Print the inspector table of the result");
    auto* json = analyze->add_flag("--json", args.Json, "Print JSON");
    analyze->add_flag("--all", args.All,
                      "List every valid message (method 3): time, tag, hex, fields");
    analyze->add_flag("--any-format", args.AnyFormat,
                      "Read any sound file libsndfile reads and decode it with method 3");
    AddMeasureOptions(*analyze, args,
                      "Measure each FSK message's tones, bit rate, levels, preamble and noise "
                      "and check them against the limits of its standard");
    analyze
        ->add_option("--standard", args.Standard,
                     "Look only for this standard's caller ID: bell, etsi, bt or dtmf "
                     "(default: all, Bell 202 first)")
        ->check(CLI::IsMember({"bell", "etsi", "bt", "dtmf"}));
    analyze->add_option("--log", args.Log,
                        "Add every message and alert tone of the recordings to this call log");
    analyze
        ->add_option("--method", args.Method,
                     "Run one method and print its frame listing: zc, peak or corr")
        ->check(CLI::IsMember({"zc", "peak", "corr"}))
        ->excludes(hex)
        ->excludes(inspect)
        ->excludes(json);
}

}  // namespace ringlark::cli
