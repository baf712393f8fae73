// ringlark-cli: the command-line companion of the desktop program, over the same
// core libraries. Exit status: 0 success, 1 runtime error, 2 usage error.

#include <CLI/CLI.hpp>
#include <iostream>
#include <map>
#include <optional>
#include <string>

#include "CliFormat.h"
#include "ClockText.h"
#include "Cp1252.h"
#include "GenerationDriver.h"
#include "Inspector.h"
#include "MessageBuilder.h"
#include "PortAudioPlayer.h"
#include "RinglarkError.h"
#include "WavImage.h"

namespace {

using namespace ringlark;

constexpr int ExitRuntime = 1;
constexpr int ExitUsage = 2;

struct TUsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct TGenerateArgs {
    std::string Kind;
    std::string Number, Name, Date, Time;
    bool Private = false, OutOfArea = false, LongDistance = false;
    bool NoNumber = false, NoName = false;
    int32_t Amplitude = 63;
    int32_t Clip = 63;
    bool NoClip = false;
    bool AlphaOnly = false, NoUppercase = false, NoFilter = false;
    bool CallWaiting = false;
    std::string Output;
    bool Play = false, Inspect = false, Json = false;
};

struct TInspectArgs {
    std::vector<std::string> Hex;
    bool Json = false;
};

const std::map<std::string, TMessageKind> kKinds = {
    {"sdmf", TMessageKind::Sdmf},        {"mdmf", TMessageKind::Mdmf},
    {"cwcid", TMessageKind::Mdmf},       {"vmwi-on", TMessageKind::VmwiOn},
    {"vmwi-off", TMessageKind::VmwiOff}, {"test", TMessageKind::Test},
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
    const bool isMisc = request.Kind != TMessageKind::Sdmf && request.Kind != TMessageKind::Mdmf;
    if (args.CallWaiting && !isMisc) {
        throw TUsageError("--call-waiting applies only to vmwi-on, vmwi-off and test; " +
                          args.Kind + " has its own signalling");
    }
    const TClockTexts now = CurrentClockTexts();
    request.NumberText = Utf8ToCp1252(args.Number);
    request.NameText = args.Kind == "sdmf" ? Bytes() : Utf8ToCp1252(args.Name);
    request.DateText = args.Date.empty() ? now.Date : Utf8ToCp1252(args.Date);
    request.TimeText = args.Time.empty() ? now.Time : Utf8ToCp1252(args.Time);
    request.Private = args.Private;
    request.OutOfArea = args.OutOfArea;
    request.LongDistance = args.LongDistance;
    request.NumberDisabled = args.Kind != "sdmf" && args.NoNumber;
    request.NameDisabled = args.NoName;
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

int RunInspect(const TInspectArgs& args) {
    std::string error;
    const auto bytes = cli::ParseHexArguments(args.Hex, error);
    if (!bytes) {
        throw TUsageError(error);
    }
    PrintTable(BuildInspector(*bytes), args.Json);
    return 0;
}

void AddGenerate(CLI::App& app, TGenerateArgs& args) {
    CLI::App* generate =
        app.add_subcommand("generate", "Compose a caller-ID message as Bell 202 FSK audio");
    std::vector<std::string> kinds;
    for (const auto& [name, kind] : kKinds) {
        kinds.push_back(name);
    }
    generate->add_option("KIND", args.Kind, "sdmf, mdmf, cwcid, vmwi-on, vmwi-off or test")
        ->required()
        ->check(CLI::IsMember(kinds));
    generate->add_option("--number", args.Number,
                         "Phone number as typed (non-digits are filtered)");
    generate->add_option("--name", args.Name, "Caller name as typed");
    generate->add_option("--date", args.Date, "Date MMDD (default: today)");
    generate->add_option("--time", args.Time, "Time HHMM, 24-hour (default: now)");
    generate->add_flag("--private", args.Private, "Private: sends P");
    generate->add_flag("--out-of-area", args.OutOfArea, "Out of area: sends O");
    generate->add_flag("--long-distance", args.LongDistance, "Long distance indicator");
    generate->add_flag("--no-number", args.NoNumber,
                       "Leave out the number parameter (MDMF, CWCID)");
    generate->add_flag("--no-name", args.NoName, "Leave out the name parameter (MDMF, CWCID)");
    generate->add_option("--amplitude", args.Amplitude, "Peak deviation from 128 (default 63)");
    auto* clip = generate->add_option("--clip", args.Clip, "Clipping level (default 63)");
    generate->add_flag("--no-clip", args.NoClip, "Disable clipping (level 128)")->excludes(clip);
    generate->add_flag("--alpha-only", args.AlphaOnly,
                       "Allow only letters, digits and space in the name");
    generate->add_flag("--no-uppercase", args.NoUppercase, "Do not force the name to upper case");
    generate->add_flag("--no-filter", args.NoFilter, "No character filtering whatsoever");
    generate->add_flag("--call-waiting", args.CallWaiting,
                       "Call-waiting signalling for vmwi-on, vmwi-off and test");
    generate->add_option("-o,--output", args.Output, "Write the WAV file");
    generate->add_flag("--play", args.Play, "Play through the default sound device");
    generate->add_flag("--inspect", args.Inspect, "Print the inspector table");
    generate->add_flag("--json", args.Json, "Print JSON");
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
    AddGenerate(app, generateArgs);
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
        return RunInspect(inspectArgs);
    } catch (const TUsageError& e) {
        std::cerr << "ringlark-cli: " << e.what() << '\n';
        return ExitUsage;
    } catch (const RinglarkError& e) {
        std::cerr << e.what() << '\n';
        return ExitRuntime;
    }
}
