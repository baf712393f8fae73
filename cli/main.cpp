// ringlark-cli: the command-line companion of the desktop program, over the same
// core libraries. Exit status: 0 success, 1 runtime error, 2 usage error.

#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <map>
#include <optional>
#include <string>

#include "AnalystTab.h"
#include "AnyFormat.h"
#include "CallerIdTab.h"
#include "CliFormat.h"
#include "ClockText.h"
#include "CorrelationDecoder.h"
#include "Cp1252.h"
#include "FileWriting.h"
#include "GenerationDriver.h"
#include "Inspector.h"
#include "MessageBuilder.h"
#include "NullServices.h"
#include "PortAudioPlayer.h"
#include "RinglarkError.h"
#include "WavImage.h"
#include "WorkshopScript.h"

namespace {

using namespace ringlark;

constexpr int ExitRuntime = 1;
constexpr int ExitUsage = 2;

struct TUsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The fields of a caller-ID tab, as options.
struct TTabArgs {
    std::string Number, Name, Date, Time;
    bool Private = false, OutOfArea = false, LongDistance = false;
    bool NoNumber = false, NoName = false;

    // The tab as its fields would stand, texts converted to single bytes and the
    // date and time taken from the clock unless given.
    TCallerIdTab Tab() const {
        const TClockTexts now = CurrentClockTexts();
        TCallerIdTab tab;
        tab.NumberText = Utf8ToCp1252(Number);
        tab.NameText = Utf8ToCp1252(Name);
        tab.DateText = Date.empty() ? now.Date : Utf8ToCp1252(Date);
        tab.TimeText = Time.empty() ? now.Time : Utf8ToCp1252(Time);
        tab.Private = Private;
        tab.OutOfArea = OutOfArea;
        tab.LongDistance = LongDistance;
        tab.NumberDisabled = NoNumber;
        tab.NameDisabled = NoName;
        return tab;
    }
};

struct TGenerateArgs {
    std::string Kind;
    TTabArgs Fields;
    std::string Script;
    int32_t Amplitude = 63;
    int32_t Clip = 63;
    bool NoClip = false;
    bool AlphaOnly = false, NoUppercase = false, NoFilter = false;
    bool CallWaiting = false;
    std::string Output;
    bool Play = false, Inspect = false, Json = false;
};

struct TWorkshopArgs {
    std::string From;
    TTabArgs Fields;
    std::string Output;
    bool Force = false;
};

struct TAnalyzeArgs {
    std::string File;
    bool Hex = false, Inspect = false, Json = false, All = false, AnyFormat = false;
    std::string Method;
};

constexpr int ExitNotUnderstood = 3;

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

struct TInspectArgs {
    std::vector<std::string> Hex;
    bool Json = false;
};

const std::map<std::string, TMessageKind> kKinds = {
    {"sdmf", TMessageKind::Sdmf},        {"mdmf", TMessageKind::Mdmf},
    {"cwcid", TMessageKind::Mdmf},       {"vmwi-on", TMessageKind::VmwiOn},
    {"vmwi-off", TMessageKind::VmwiOff}, {"test", TMessageKind::Test},
    {"workshop", TMessageKind::Mdmf},
};

void PrintTable(const TInspectorTable& table, bool json) {
    if (json) {
        std::cout << cli::InspectorJson(table).dump(2) << '\n';
    } else {
        std::cout << cli::InspectorText(table);
    }
}

TCidRequest RequestFrom(const TGenerateArgs& args) {
    TCidRequest request;
    request.Kind = kKinds.at(args.Kind);
    request.Workshop = args.Kind == "workshop";
    const bool ownChoice = request.Workshop || (request.Kind != TMessageKind::Sdmf &&
                                                request.Kind != TMessageKind::Mdmf);
    if (args.CallWaiting && !ownChoice) {
        throw TUsageError("--call-waiting applies only to vmwi-on, vmwi-off, test and workshop; " +
                          args.Kind + " has its own signalling");
    }
    if (request.Workshop != !args.Script.empty()) {
        throw TUsageError(request.Workshop ? "generate workshop needs --script FILE.CID"
                                           : "--script applies only to generate workshop");
    }
    if (request.Workshop) {
        request.Rows = ParseWorkshopScript(ReadWholeFile(args.Script));
        if (request.Rows.empty()) {
            request.Rows.push_back({});  // an empty script is the empty list: one blank row
        }
    }
    const TCallerIdTab tab = args.Fields.Tab();
    request.NumberText = tab.NumberText;
    request.NameText = args.Kind == "sdmf" ? Bytes() : tab.NameText;
    request.DateText = tab.DateText;
    request.TimeText = tab.TimeText;
    request.Private = tab.Private;
    request.OutOfArea = tab.OutOfArea;
    request.LongDistance = tab.LongDistance;
    request.NumberDisabled = args.Kind != "sdmf" && tab.NumberDisabled;
    request.NameDisabled = tab.NameDisabled;
    request.Signalling =
        (args.Kind == "cwcid" || args.CallWaiting) ? TSignalling::CallWaiting : TSignalling::OnHook;
    return request;
}

int RunGenerate(const TGenerateArgs& args) {
    const TCidRequest request = RequestFrom(args);
    TFilterOptions filters;
    filters.NoFiltering = args.NoFilter;
    filters.AlphaOnly = args.AlphaOnly;
    filters.ForceUppercaseName = !args.NoUppercase;
    const Bytes message = BuildCidMessage(request, filters);

    TFskSynth synth;
    synth.Amplitude = args.Amplitude;
    synth.Clip = args.NoClip ? 128 : args.Clip;
    const Bytes image = SynthesiseImage(synth, message, request.Signalling);

    if (!args.Output.empty()) {
        SaveImageToFile(args.Output, image);
    }
    int status = 0;
    if (args.Play) {
        TPortAudioPlayer player;
        if (auto failure = player.Play(image)) {
            std::cerr << *failure << '\n';
            status = ExitRuntime;
        }
    }
    const bool quiet = !args.Output.empty() || args.Play;
    if (args.Inspect) {
        PrintTable(BuildInspector(message), args.Json);
    } else if (args.Json) {
        nlohmann::json out = {{"status", Cp1252ToUtf8(PrintableText(message))},
                              {"message", cli::HexString(message)},
                              {"samples", image.size() - WavHeaderSize}};
        if (!args.Output.empty()) {
            out["file"] = args.Output;
        }
        std::cout << out.dump(2) << '\n';
    } else if (!quiet) {
        std::cout << Cp1252ToUtf8(PrintableText(message)) << '\n';
    }
    return status;
}

int RunWorkshop(const TWorkshopArgs& args) {
    std::vector<TWorkshopRow> rows;
    for (const auto& line : TransferLines(args.Fields.Tab())) {
        rows.push_back(SplitScriptLine(line));
    }
    if (const auto row = FirstRowThatCannotBeStored(rows)) {
        throw RinglarkError(
            "Row " + std::to_string(*row) +
            " holds a line break or a zero byte, which a workshop file cannot keep");
    }
    if (FileExists(args.Output) && !args.Force) {
        throw RinglarkError("File " + args.Output + " exists; use --force to replace it");
    }
    WriteFileReplacing(args.Output, FormatWorkshopScript(rows));
    return 0;
}

class TCliAnalystHost : public IAnalystHost {
  public:
    explicit TCliAnalystHost(std::string file) : file_(std::move(file)) {}
    Bytes& AnalystFileName() override { return file_; }
    void BubbleAnalystMRU(const Bytes&) override {}
    void ClearInspector() override {}

  private:
    Bytes file_;
};

// The fields a message holds, from the inspector's notes on its values.
std::string Fields(const Bytes& message) {
    std::string fields;
    for (const auto& row : BuildInspector(message).Rows) {
        const Bytes& note = row.Notes();
        const bool structural =
            note.empty() || note.rfind("Message ", 0) == 0 || note.rfind("Parameter ", 0) == 0 ||
            note.rfind("MDMF Parameter", 0) == 0 || note.rfind("Checksum", 0) == 0;
        if (!structural) {
            fields += (fields.empty() ? "" : "; ") + ShownText(note);
        }
    }
    return fields;
}

void PrintListing(const std::vector<Bytes>& lines) {
    for (const auto& line : lines) {
        std::cout << ShownText(line) << '\n';
    }
}

int PrintAll(const std::vector<TCorrMessage>& messages, bool json) {
    if (json) {
        nlohmann::json out = nlohmann::json::array();
        for (const auto& m : messages) {
            out.push_back({{"seconds", m.Seconds},
                           {"tag", "CORR"},
                           {"bytes", cli::HexString(m.Message)},
                           {"fields", Fields(m.Message)}});
        }
        std::cout << out.dump(2) << '\n';
    } else {
        for (const auto& m : messages) {
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%.3fs", m.Seconds);
            std::cout << seconds << " CORR " << cli::HexString(m.Message) << " | "
                      << Fields(m.Message) << '\n';
        }
    }
    return messages.empty() ? ExitNotUnderstood : 0;
}

// Prints one analysis result the way the options ask for.
int PrintResult(const TAnalyzeArgs& args, const TAutoResult& result, const Bytes& inspectText,
                const std::vector<Bytes>& report) {
    const bool failed = result.Failed();
    if (args.Json) {
        nlohmann::json out = {{"tag", failed ? "FAIL" : result.MethodTag},
                              {"bytes", cli::HexString(result.Text)},
                              {"inspector", cli::InspectorJson(BuildInspector(inspectText))}};
        if (failed) {
            out["method0"] = cli::HexString(result.ZeroCrossingText());
        }
        std::cout << out.dump(2) << '\n';
    } else if (args.Hex) {
        std::string line = failed ? "FAIL " + cli::HexString(result.ZeroCrossingText()) + " | " +
                                        cli::HexString(result.Text)
                                  : result.MethodTag + " " + cli::HexString(result.Text);
        while (!line.empty() && line.back() == ' ') {
            line.pop_back();
        }
        std::cout << line << '\n';
    } else if (args.Inspect) {
        std::cout << cli::InspectorText(BuildInspector(inspectText));
    } else {
        for (const auto& line : report) {
            std::cout << ShownText(line) << '\n';
        }
    }
    return failed ? ExitNotUnderstood : 0;
}

// Any sound file, straight to method 3.
int RunAnyFormat(const TAnalyzeArgs& args) {
    if (args.Method == "zc" || args.Method == "peak") {
        throw TUsageError("--method " + args.Method +
                          " reads only files the analyst loads; leave out --any-format");
    }
    const cli::TSoundFile sound = cli::ReadAnyFormat(args.File);
    const auto messages = TCorrelationDecoder().Decode(sound.Samples, sound.SampleRate);
    if (args.Method == "corr") {
        PrintListing(CorrelationListing(messages));
        return 0;
    }
    if (args.All) {
        return PrintAll(messages, args.Json);
    }
    const TAutoResult result = messages.empty() ? TAutoResult{"FAIL: ", ""}
                                                : TAutoResult{"CORR", messages.front().Message};
    const Bytes inspectText = result.Failed() ? Bytes(" ") : result.Text;
    return PrintResult(args, result, inspectText, ReportLines(result));
}

int RunAnalyze(const TAnalyzeArgs& args) {
    if (args.AnyFormat) {
        return RunAnyFormat(args);
    }
    TCancelledFileDialog dialog;
    TStderrNotices notices;
    TNoProgress progress;
    TSigscope viewer(dialog, notices, progress);
    if (!args.Method.empty() || args.All) {
        if (viewer.LoadWAV(args.File) != TLoadResult::Loaded) {
            return ExitRuntime;
        }
        TByteAnalyzer& analyzer = viewer.Analyzer;
        if (args.All) {
            return PrintAll(TCorrelationDecoder().DecodeImage(viewer.LoadedImage), args.Json);
        }
        analyzer.QuietAnalysis = false;
        analyzer.ShowListing = PrintListing;
        if (args.Method == "corr") {
            analyzer.CorrelationAnalyze(viewer.LoadedImage);
            return 0;
        }
        analyzer.Demodulator.AnalysisMethod =
            args.Method == "zc" ? AnalysisZeroCrossing : AnalysisPeak;
        analyzer.StringAnalyze(analyzer.Demodulator.Analyze(viewer.LoadedImage));
        return 0;
    }
    TCliAnalystHost host(args.File);
    TAnalystTab tab(host, viewer, dialog);
    tab.Button3Click();
    if (tab.Report.empty()) {
        return ExitRuntime;  // refused: the notice is on stderr
    }
    return PrintResult(args, tab.LastResult, tab.AnalystInspectText, tab.Report);
}

int RunInspect(const TInspectArgs& args) {
    std::string error;
    const auto bytes = cli::ParseHexArguments(args.Hex, error);
    if (!bytes) {
        throw TUsageError(error);
    }
    PrintTable(BuildInspector(*bytes), args.Json);
    return 0;
}

void AddTabOptions(CLI::App& command, TTabArgs& fields) {
    command.add_option("--number", fields.Number, "Phone number as typed");
    command.add_option("--name", fields.Name, "Caller name as typed");
    command.add_option("--date", fields.Date, "Date MMDD (default: today)");
    command.add_option("--time", fields.Time, "Time HHMM, 24-hour (default: now)");
    command.add_flag("--private", fields.Private, "Private: sends P");
    command.add_flag("--out-of-area", fields.OutOfArea, "Out of area: sends O");
    command.add_flag("--long-distance", fields.LongDistance, "Long distance indicator");
    command.add_flag("--no-number", fields.NoNumber,
                     "Leave out the number parameter (MDMF, CWCID)");
    command.add_flag("--no-name", fields.NoName, "Leave out the name parameter (MDMF, CWCID)");
}

void AddGenerate(CLI::App& app, TGenerateArgs& args) {
    CLI::App* generate =
        app.add_subcommand("generate", "Compose a caller-ID message as Bell 202 FSK audio");
    std::vector<std::string> kinds;
    for (const auto& [name, kind] : kKinds) {
        kinds.push_back(name);
    }
    generate
        ->add_option("KIND", args.Kind, "sdmf, mdmf, cwcid, vmwi-on, vmwi-off, test or workshop")
        ->required()
        ->check(CLI::IsMember(kinds));
    AddTabOptions(*generate, args.Fields);
    generate->add_option("--script", args.Script, "Workshop script (.CID) for KIND workshop");
    generate->add_option("--amplitude", args.Amplitude, "Peak deviation from 128 (default 63)");
    auto* clip = generate->add_option("--clip", args.Clip, "Clipping level (default 63)");
    generate->add_flag("--no-clip", args.NoClip, "Disable clipping (level 128)")->excludes(clip);
    generate->add_flag("--alpha-only", args.AlphaOnly,
                       "Allow only letters, digits and space in the name");
    generate->add_flag("--no-uppercase", args.NoUppercase, "Do not force the name to upper case");
    generate->add_flag("--no-filter", args.NoFilter, "No character filtering whatsoever");
    generate->add_flag("--call-waiting", args.CallWaiting,
                       "Call-waiting signalling for vmwi-on, vmwi-off, test and workshop");
    generate->add_option("-o,--output", args.Output, "Write the WAV file");
    generate->add_flag("--play", args.Play, "Play through the default sound device");
    generate->add_flag("--inspect", args.Inspect, "Print the inspector table");
    generate->add_flag("--json", args.Json, "Print JSON");
}

void AddWorkshop(CLI::App& app, TWorkshopArgs& args) {
    CLI::App* workshop = app.add_subcommand(
        "workshop", "Write the workshop script that a transfer from the MDMF or CWCID tab gives");
    workshop->add_option("--from", args.From, "mdmf or cwcid")
        ->required()
        ->check(CLI::IsMember({"mdmf", "cwcid"}));
    AddTabOptions(*workshop, args.Fields);
    workshop->add_option("-o,--output", args.Output, "The script file (.CID) to write")->required();
    workshop->add_flag("--force", args.Force, "Replace an existing file");
}

void AddAnalyze(CLI::App& app, TAnalyzeArgs& args) {
    CLI::App* analyze =
        app.add_subcommand("analyze", "Decode the caller-ID message in a recorded WAV file");
    analyze->add_option("FILE", args.File, "8-bit mono WAV at 11025, 22050 or 44100 samples/s")
        ->required();
    auto* hex =
        analyze->add_flag("--hex", args.Hex, "Print the method tag and the decoded bytes in hex");
    auto* inspect =
        analyze->add_flag("--inspect", args.Inspect, "Print the inspector table of the result");
    auto* json = analyze->add_flag("--json", args.Json, "Print JSON");
    analyze->add_flag("--all", args.All,
                      "List every valid message (method 3): time, tag, hex, fields");
    analyze->add_flag("--any-format", args.AnyFormat,
                      "Read any sound file libsndfile reads and decode it with method 3");
    analyze
        ->add_option("--method", args.Method,
                     "Run one method and print its frame listing: zc, peak or corr")
        ->check(CLI::IsMember({"zc", "peak", "corr"}))
        ->excludes(hex)
        ->excludes(inspect)
        ->excludes(json);
}

void AddInspect(CLI::App& app, TInspectArgs& args) {
    CLI::App* inspect = app.add_subcommand("inspect", "Explain a caller-ID message byte by byte");
    inspect->add_option("HEX", args.Hex, "Message bytes as hex pairs, e.g. \"82 03 0B 01 FF 70\"")
        ->required();
    inspect->add_flag("--json", args.Json, "Print JSON");
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Ringlark command-line companion: caller-ID signalling audio"};
    app.require_subcommand(1);
    TGenerateArgs generateArgs;
    TInspectArgs inspectArgs;
    TWorkshopArgs workshopArgs;
    TAnalyzeArgs analyzeArgs;
    AddGenerate(app, generateArgs);
    AddAnalyze(app, analyzeArgs);
    AddWorkshop(app, workshopArgs);
    AddInspect(app, inspectArgs);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return ExitUsage;
    }
    try {
        if (app.got_subcommand("generate")) {
            return RunGenerate(generateArgs);
        }
        if (app.got_subcommand("analyze")) {
            return RunAnalyze(analyzeArgs);
        }
        if (app.got_subcommand("workshop")) {
            return RunWorkshop(workshopArgs);
        }
        return RunInspect(inspectArgs);
    } catch (const TUsageError& e) {
        std::cerr << "ringlark-cli: " << e.what() << '\n';
        return ExitUsage;
    } catch (const RinglarkError& e) {
        std::cerr << e.what() << '\n';
        return ExitRuntime;
    }
}
