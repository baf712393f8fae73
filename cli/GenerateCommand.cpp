// generate and workshop: a caller-ID message from the fields of a tab.
#include <iostream>
#include <map>

#include "cli/CliFormat.h"
#include "cli/Commands.h"
#include "core/Cp1252.h"
#include "core/FileWriting.h"
#include "core/RinglarkError.h"
#include "core/WavImage.h"
#include "generation/MessageBuilder.h"
#include "generation/SignalImage.h"
#include "generation/StandardsSynth.h"
#include "generation/sound/PortAudioPlayer.h"
#include "generation/workflow/ClockText.h"
#include "generation/workflow/TabRequest.h"
#include "inspection/Inspector.h"
#include "protocol/DtmfCallerId.h"
#include "workshop/WorkshopScript.h"

namespace ringlark::cli {

namespace {

const std::map<std::string, TMessageKind> kKinds = {
    {"sdmf", TMessageKind::Sdmf},        {"mdmf", TMessageKind::Mdmf},
    {"cwcid", TMessageKind::Mdmf},       {"vmwi-on", TMessageKind::VmwiOn},
    {"vmwi-off", TMessageKind::VmwiOff}, {"test", TMessageKind::Test},
    {"workshop", TMessageKind::Mdmf},
};

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
        request.Rows = ParseWorkshopScript(ReadWorkshopScript(args.Script));
        if (request.Rows.empty()) {
            request.Rows.push_back({});  // an empty script is the empty list: one blank row
        }
    }
    const TCallerIdTabKind tabKind = args.Kind == "sdmf"    ? TCallerIdTabKind::Sdmf
                                     : args.Kind == "cwcid" ? TCallerIdTabKind::Cwcid
                                                            : TCallerIdTabKind::Mdmf;
    TCidRequest fromTab = RequestFromTab(args.Fields.Tab(), tabKind);
    fromTab.Kind = request.Kind;
    fromTab.Workshop = request.Workshop;
    fromTab.Rows = std::move(request.Rows);
    if (args.CallWaiting) {
        fromTab.Signalling = TSignalling::CallWaiting;
    }
    return fromTab;
}

// What a standard cannot carry is refused before anything is made.
void CheckStandard(const TGenerateArgs& args, TCidStandard standard) {
    const std::string name(StandardName(standard));
    if (standard != TCidStandard::EtsiV23 && standard != TCidStandard::Bt && !args.Alert.empty()) {
        throw TUsageError("--alert applies to --standard etsi and bt");
    }
    if (standard == TCidStandard::Bell202) {
        if (args.DtmfFraming) {
            throw TUsageError("--dtmf-framing applies to --standard dtmf");
        }
        return;
    }
    if (args.Clip != 63 || args.NoClip) {
        throw TUsageError("--clip and --no-clip apply to Bell 202 only");
    }
    if (args.Fields.LongDistance) {
        throw TUsageError("--long-distance is Bell 202 only; " + name + " cannot send it");
    }
    if (args.Kind == "sdmf" || args.Kind == "test") {
        throw TUsageError(args.Kind + " is Bell 202 only; " + name +
                          (standard == TCidStandard::Dtmf ? " sends a number: use mdmf"
                                                          : " sends mdmf, cwcid, vmwi-on, "
                                                            "vmwi-off or workshop messages"));
    }
    if (standard == TCidStandard::Dtmf) {
        if (args.Kind != "mdmf") {
            throw TUsageError("dtmf sends only a number: use mdmf");
        }
        if (!args.Fields.Name.empty() || args.Fields.NoName) {
            throw TUsageError("--name cannot be sent with dtmf: it carries only the number");
        }
        if ((args.Fields.Date && !args.Fields.Date->empty()) ||
            (args.Fields.Time && !args.Fields.Time->empty())) {
            throw TUsageError("--date and --time cannot be sent with dtmf");
        }
        if (args.DtmfFraming && !DtmfFramingNamed(*args.DtmfFraming)) {
            throw TUsageError("--dtmf-framing must be ac, a-hash, dc or hash");
        }
    } else if (args.DtmfFraming) {
        throw TUsageError("--dtmf-framing applies to --standard dtmf");
    }
}

// The DTMF digits of the number: only its digits 0-9 are sent. Dropping
// anything but the usual separators is warned about, and a number typed with
// no digit at all is a usage error.
std::string DtmfDigitsToSend(const TGenerateArgs& args, const TCidRequest& request) {
    const TDtmfFraming framing =
        args.DtmfFraming ? *DtmfFramingNamed(*args.DtmfFraming) : TDtmfFraming::StartAEndC;
    const std::string digits = DtmfDigits(request.NumberText, request.Private,
                                          request.OutOfArea || request.NumberDisabled, framing);
    if (request.Private || request.OutOfArea || request.NumberDisabled) {
        return digits;
    }
    const std::string& typed = args.Fields.Number;
    bool anyDigit = false;
    bool dropped = false;
    for (char c : typed) {
        anyDigit = anyDigit || (c >= '0' && c <= '9');
        dropped = dropped || !((c >= '0' && c <= '9') ||
                               std::string_view(" -.()+").find(c) != std::string_view::npos);
    }
    if (!typed.empty() && !anyDigit) {
        throw TUsageError("--number \"" + typed +
                          "\" holds no digit 0-9; DTMF caller ID sends digits only");
    }
    if (dropped) {
        std::cerr << "ringlark-cli: warning: --number \"" << typed << "\" is sent as " << digits
                  << " (DTMF caller ID sends the digits 0-9 only)\n";
    }
    return digits;
}

// The signal of a standard other than Bell 202, as an 8-bit 44100/s image.
Bytes OtherStandardImage(const TGenerateArgs& args, TCidStandard standard, const Bytes& message,
                         const std::string& dtmfDigits, TSignalling signalling) {
    if (standard == TCidStandard::Dtmf) {
        return SynthesiseDtmfImage(dtmfDigits, args.Amplitude);
    }
    const bool alert = args.Alert.empty() ? standard == TCidStandard::Bt : args.Alert == "dtas";
    return SynthesiseV23Image(message, V23TimingFor(standard, signalling, alert), args.Amplitude);
}

// The signal with the receiver-test options: any standard at any rate and
// sample format, impaired as asked.
Bytes TestSignalImage(const TGenerateArgs& args, TCidStandard standard, const Bytes& message,
                      const std::string& dtmfDigits, TSignalling signalling) {
    if (args.Clip != 63 || args.NoClip) {
        throw TUsageError("--clip and --no-clip do not apply to test signals");
    }
    if (args.Amplitude < 1 || args.Amplitude > 128) {
        throw TUsageError("--amplitude " + std::to_string(args.Amplitude) +
                          " is out of range for a test signal: 1 to 128");
    }
    if (args.Play && (args.Impair.OutputRate() != SampleRate ||
                      args.Impair.OutputFormat() != TSampleFormat::U8)) {
        throw TUsageError("--play plays 8-bit 44100/s signals; leave out --rate and --format");
    }
    TTestSignal signal;
    signal.Standard = standard;
    signal.Signalling = signalling;
    signal.Alert = args.Alert.empty() ? standard == TCidStandard::Bt : args.Alert == "dtas";
    signal.Message = message;
    signal.Digits = dtmfDigits;
    signal.Amplitude = args.Amplitude;
    signal.Impairments = args.Impair.Resolved();
    signal.Rate = args.Impair.OutputRate();
    CheckAsUsage(signal);
    return EncodeWav(SynthesiseTestSignal(signal), signal.Rate, args.Impair.OutputFormat());
}

// One character of a UTF-8 text: its bytes from `at` (a byte that starts no
// sequence stands alone).
std::size_t CharacterLength(std::string_view utf8, std::size_t at) {
    const auto lead = static_cast<uint8_t>(utf8[at]);
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return std::min(length, utf8.size() - at);
}

// The name as it is sent. Every decoder takes only printable ASCII in a name,
// so an accented letter goes as its base letter (with a warning that says what
// is sent) and a character with no ASCII form is a usage error. --no-filter
// sends the bytes as typed.
Bytes NameToSend(const TGenerateArgs& args, const TCidRequest& request,
                 const TFilterOptions& filters) {
    if (args.NoFilter || request.Workshop || request.Kind != TMessageKind::Mdmf ||
        request.NameDisabled || request.Private || request.OutOfArea) {
        return request.NameText;
    }
    const std::string& typed = args.Fields.Name;
    Bytes ascii;
    for (std::size_t at = 0; at < typed.size();) {
        const std::size_t length = CharacterLength(typed, at);
        const std::string character = typed.substr(at, length);
        const Bytes single = Utf8ToCp1252(character);
        const TAsciiName converted = AsciiName(single);
        if (converted.Refused || (single == "?" && character != "?")) {
            throw TUsageError("--name: \"" + character +
                              "\" cannot be sent; a caller-ID name holds letters, digits, "
                              "spaces and ASCII punctuation only");
        }
        ascii += converted.Text;
        at += length;
    }
    if (ascii != request.NameText) {
        Bytes sent = FilterName(ascii, filters);
        if (filters.ForceUppercaseName) {
            sent = UpperCaseAscii(sent);
        }
        std::cerr << "ringlark-cli: warning: --name \"" << typed << "\" is sent as \"" << sent
                  << "\" (a caller-ID name holds ASCII only)\n";
    }
    return ascii;
}

}  // namespace

TCallerIdTab TTabArgs::Tab() const {
    const TClockTexts now = CurrentClockTexts();
    TCallerIdTab tab;
    tab.NumberText = Utf8ToCp1252(Number);
    tab.NameText = Utf8ToCp1252(Name);
    tab.DateText = Date ? Utf8ToCp1252(*Date) : now.Date;
    tab.TimeText = Time ? Utf8ToCp1252(*Time) : now.Time;
    tab.Private = Private;
    tab.OutOfArea = OutOfArea;
    tab.LongDistance = LongDistance;
    tab.NumberDisabled = NoNumber;
    tab.NameDisabled = NoName;
    return tab;
}

void AddTabOptions(CLI::App& command, TTabArgs& fields) {
    command.add_option("--number", fields.Number,
                       "Phone number as typed (dtmf sends its digits 0-9 and warns about "
                       "anything else dropped)");
    command.add_option("--name", fields.Name,
                       "Caller name as typed, sent as printable ASCII: accented letters as "
                       "their base letters (with a warning), others refused");
    command.add_option("--date", fields.Date, "Date MMDD (default: today; \"\" sends none)");
    command.add_option("--time", fields.Time, "Time HHMM, 24-hour (default: now; \"\" sends none)");
    command.add_flag("--private", fields.Private, "Private: sends P");
    command.add_flag("--out-of-area", fields.OutOfArea, "Out of area: sends O");
    command.add_flag("--long-distance", fields.LongDistance, "Long distance indicator");
    command.add_flag("--no-number", fields.NoNumber,
                     "Leave out the number parameter (MDMF, CWCID)");
    command.add_flag("--no-name", fields.NoName, "Leave out the name parameter (MDMF, CWCID)");
}

TExitStatus RunGenerate(const TGenerateArgs& args) {
    if (args.Output && args.Output->empty()) {
        throw TUsageError("-o needs a file name (\"-\" for standard output)");
    }
    const bool toStdout = args.Output == "-";
    if (toStdout && (args.Inspect || args.Json)) {
        throw TUsageError(
            "-o - writes the WAV image to standard output; leave out --inspect and --json");
    }
    const TCidStandard standard = *StandardNamed(args.Standard);
    CheckStandard(args, standard);
    TCidRequest request = RequestFrom(args);
    TFilterOptions filters;
    filters.NoFiltering = args.NoFilter;
    filters.AlphaOnly = args.AlphaOnly;
    filters.ForceUppercaseName = !args.NoUppercase;
    request.NameText = NameToSend(args, request, filters);
    const Bytes message = BuildCidMessage(request, filters);
    // DTMF sends the digits alone: no length byte to wrap
    const Bytes digits =
        standard == TCidStandard::Dtmf ? Bytes(DtmfDigitsToSend(args, request)) : Bytes();
    if (const auto wrapped = LengthWrapNotice(message); wrapped && standard != TCidStandard::Dtmf) {
        std::cerr << "ringlark-cli: warning: " << *wrapped << '\n';
    }

    TFskSynth synth;
    synth.Amplitude = args.Amplitude;
    synth.Clip = args.NoClip ? 128 : args.Clip;
    const Bytes image =
        args.Impair.Given() ? TestSignalImage(args, standard, message, digits, request.Signalling)
        : standard == TCidStandard::Bell202
            ? SynthesiseImage(synth, message, request.Signalling)
            : OtherStandardImage(args, standard, message, digits, request.Signalling);
    const std::size_t samples =
        (image.size() - WavHeaderSize) / (args.Impair.OutputFormat() == TSampleFormat::S16 ? 2 : 1);

    if (args.Output) {
        WriteOutputFile(*args.Output, image, args.Force);
    }
    TExitStatus status = TExitStatus::Success;
    if (args.Play) {
        TPortAudioPlayer player;
        if (auto failure = player.Play(image)) {
            std::cerr << *failure << '\n';
            status = TExitStatus::RuntimeError;
        }
    }
    const bool quiet = args.Output.has_value() || args.Play;
    if (standard == TCidStandard::Dtmf) {
        if (args.Json) {
            nlohmann::json out = {
                {"digits", digits}, {"fields", DtmfFieldsText(digits)}, {"samples", samples}};
            if (args.Output) {
                PutFileName(out, "file", *args.Output);
            }
            std::cout << out.dump(2) << '\n';
        } else if (args.Inspect || !quiet) {
            std::cout << digits << (args.Inspect ? " | " + DtmfFieldsText(digits) : "") << '\n';
        }
    } else if (args.Inspect) {
        PrintInspectorTable(BuildInspector(message, standard), args.Json);
    } else if (args.Json) {
        nlohmann::json out = {{"status", Cp1252ToUtf8(PrintableText(message))},
                              {"message", HexString(message)},
                              {"samples", samples}};
        if (args.Output) {
            PutFileName(out, "file", *args.Output);
        }
        std::cout << out.dump(2) << '\n';
    } else if (!quiet) {
        std::cout << Cp1252ToUtf8(PrintableText(message)) << '\n';
    }
    return status;
}

TExitStatus RunWorkshop(const TWorkshopArgs& args) {
    std::vector<TWorkshopRow> rows;
    for (const auto& line : TransferLines(args.Fields.Tab())) {
        rows.push_back(SplitScriptLine(line));
    }
    if (const auto row = FirstRowThatCannotBeStored(rows)) {
        throw RinglarkError(
            "Row " + std::to_string(*row) +
            " holds a line break or a zero byte, which a workshop file cannot keep");
    }
    if (args.Output.empty()) {
        throw TUsageError("-o needs a file name (\"-\" for standard output)");
    }
    WriteOutputFile(args.Output, FormatWorkshopScript(rows), args.Force);
    return TExitStatus::Success;
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
    generate->add_option("-o,--output", args.Output, "Write the WAV file (\"-\": standard output)");
    generate->add_flag("--force", args.Force, "Replace an existing file");
    generate->add_flag("--play", args.Play, "Play through the default sound device");
    generate->add_flag("--inspect", args.Inspect, "Print the inspector table");
    generate->add_flag("--json", args.Json, "Print JSON");
    generate->add_option("--standard", args.Standard, "bell (default), etsi, bt or dtmf")
        ->check(CLI::IsMember({"bell", "etsi", "bt", "dtmf"}));
    generate
        ->add_option("--alert", args.Alert,
                     "etsi, bt: dtas (the dual-tone alert first) or none (default: none "
                     "for etsi, dtas for bt)")
        ->check(CLI::IsMember({"dtas", "none"}));
    AddImpairmentOptions(*generate, args.Impair);
    generate->add_option("--dtmf-framing", args.DtmfFraming,
                         "dtmf: ac (A<number>C, default), a-hash (A<number>#), dc "
                         "(D<number>C) or hash (<number>#)");
}

void AddWorkshop(CLI::App& app, TWorkshopArgs& args) {
    CLI::App* workshop = app.add_subcommand(
        "workshop", "Write the workshop script that a transfer from the MDMF or CWCID tab gives");
    workshop->add_option("--from", args.From, "mdmf or cwcid")
        ->required()
        ->check(CLI::IsMember({"mdmf", "cwcid"}));
    AddTabOptions(*workshop, args.Fields);
    workshop
        ->add_option("-o,--output", args.Output,
                     "The script file (.CID) to write (\"-\": standard output)")
        ->required();
    workshop->add_flag("--force", args.Force, "Replace an existing file");
}

}  // namespace ringlark::cli
