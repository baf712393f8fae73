#pragma once

// The sub-commands of ringlark-cli: each has its arguments, a function that adds
// its options to the parser, and a function that runs it and returns the exit
// status.
#include <CLI/CLI.hpp>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/ImpairmentOptions.h"
#include "generation/workflow/CallerIdTab.h"
#include "measurement/Measurements.h"

namespace ringlark::cli {

// The process's exit status.
enum class TExitStatus : int {
    Success = 0,
    RuntimeError = 1,
    UsageError = 2,
    NotUnderstood = 3,  // nothing decoded, or the message did not pass its checks
    LimitFailed = 4,    // analyze --measure --strict: a checked limit failed
};

// Wrong use of the options, found after parsing; exits with UsageError.
struct TUsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The fields of a caller-ID tab, as options.
struct TTabArgs {
    std::string Number, Name;
    // Absent: taken from the clock; given, even empty, used as given.
    std::optional<std::string> Date, Time;
    bool Private = false, OutOfArea = false, LongDistance = false;
    bool NoNumber = false, NoName = false;

    // The tab as its fields would stand, texts converted to single bytes and the
    // date and time taken from the clock unless given.
    TCallerIdTab Tab() const;
};

void AddTabOptions(CLI::App& command, TTabArgs& fields);

struct TGenerateArgs {
    std::string Kind;
    TTabArgs Fields;
    std::string Script;
    int32_t Amplitude = 63;
    int32_t Clip = 63;
    bool NoClip = false;
    bool AlphaOnly = false, NoUppercase = false, NoFilter = false;
    bool CallWaiting = false;
    std::optional<std::string> Output;  // "-": standard output
    bool Force = false;
    bool Play = false, Inspect = false, Json = false;
    std::string Standard = "bell";
    std::string Alert;                       // "dtas", "none"; empty: the standard's own
    std::optional<std::string> DtmfFraming;  // absent: A<number>C
    TImpairmentArgs Impair;                  // any given: the test-signal synthesiser
};

void AddGenerate(CLI::App& app, TGenerateArgs& args);
TExitStatus RunGenerate(const TGenerateArgs& args);

struct TWorkshopArgs {
    std::string From;
    TTabArgs Fields;
    std::string Output;
    bool Force = false;
};

void AddWorkshop(CLI::App& app, TWorkshopArgs& args);
TExitStatus RunWorkshop(const TWorkshopArgs& args);

// --measure and the options that go with it (analyze, listen).
struct TMeasureArgs {
    bool Measure = false, Strict = false;
    std::string Limits;  // "bell", "etsi", "bt"; empty: the message's own
    std::optional<double> DbmAtFullScale;
};

// --measure (described by measureHelp), --limits, --dbm-at-fs and --strict.
void AddMeasureOptions(CLI::App& command, TMeasureArgs& args, const std::string& measureHelp);
// The options that go with --measure are a usage error without it.
void CheckMeasureOptions(const TMeasureArgs& args);

struct TAnalyzeArgs : TMeasureArgs {
    std::vector<std::string> Files;  // one file, or a batch of files and folders
    bool Hex = false, Inspect = false, Json = false, All = false, AnyFormat = false;
    std::string Method;
    std::string Standard;  // empty: every standard, Bell 202 first
    bool Recursive = false, Quiet = false;
    unsigned Jobs = 0;               // 0: the number of cores
    std::optional<std::string> Log;  // each file's messages added to this call log
};

void AddAnalyze(CLI::App& app, TAnalyzeArgs& args);
TExitStatus RunAnalyze(const TAnalyzeArgs& args);
// The measurements and limit checks of every FSK message in the samples.
TExitStatus RunMeasure(const TAnalyzeArgs& args, std::span<const float> samples, double rate);

// One message measured and checked (limits: as asked, else its own system's).
struct TMeasureReport {
    TFskMeasures Measures;
    std::string Limits;
    std::vector<TLimitRow> Rows;
    bool AnyFail = false;
};
TMeasureReport MeasureMessage(std::span<const float> samples, double rate,
                              const TCorrMessage& message, const std::string& limits,
                              std::optional<double> dbmAtFullScale);
// "  limits: bell" and one aligned line per row.
std::string MeasureText(const TMeasureReport& report);
// "limits", "measures" and "checks" added to a message's JSON object.
void PutMeasureJson(nlohmann::json& entry, const TMeasureReport& report);

// listen's call log, phone book and hook: --log, --no-log, --book, --exec,
// --exec-timeout.
struct TCallLogArgs {
    std::optional<std::string> Log;
    bool NoLog = false;
    std::optional<std::string> Book;
    std::string Exec;
    double ExecTimeout = 10;
    std::optional<std::string> Mqtt, MqttCredentials;
    std::string MqttTopic = "ringlark";
    bool NoMqttDiscovery = false;
};

struct TListenArgs : TMeasureArgs, TCallLogArgs {
    bool ListDevices = false;
    std::string Device;
    double Rate = 0;     // 0: the device's default, or the file's
    double Seconds = 0;  // 0: until the input ends or a signal stops it
    std::optional<std::string> Input;
    std::string Raw;
    std::optional<std::string> Record;
    bool Force = false, Json = false, Quiet = false, Verbose = false;
};

void AddListen(CLI::App& app, TListenArgs& args);
TExitStatus RunListen(const TListenArgs& args);

// ringlark-cli log: the call log listed, searched, exported.
struct TLogArgs {
    std::optional<std::string> Since, Until;
    std::string Number, Name;
    bool Json = false, Csv = false, Force = false;
    int Limit = 0;
    std::optional<std::string> Log, Export;
};

void AddLog(CLI::App& app, TLogArgs& args);
TExitStatus RunLog(const TLogArgs& args);

// ringlark-cli phonebook import|list.
struct TPhoneBookArgs {
    std::string File;
    std::optional<std::string> Book;
    std::optional<std::string> NationalPrefix, CountryCode;
    bool Json = false;
};

// Adds "phonebook" with its "import" and "list"; RunPhoneBook runs the one given.
CLI::App* AddPhoneBook(CLI::App& app, TPhoneBookArgs& args);
TExitStatus RunPhoneBook(const CLI::App& phonebook, const TPhoneBookArgs& args);

struct TInspectArgs {
    std::vector<std::string> Hex;
    bool Json = false;
    std::string Standard;  // empty: Bell 202
};

void AddInspect(CLI::App& app, TInspectArgs& args);
TExitStatus RunInspect(const TInspectArgs& args);

// plan list | show NAME | make NAME|FILE.json -o DIR | run NAME|FILE.json|DIR |
// play NAME|FILE.json|DIR: the receiver test bench.
struct TPlanArgs {
    std::string Action;  // "list", "show", "make", "run", "play"
    std::string Target;  // a built-in plan's name, a plan file, or a folder plan make wrote
    std::optional<std::string> Output;
    std::optional<int> Rate;
    std::string Format;  // "u8", "s16"; empty: s16
    std::optional<int> Runs;
    std::string Decoder;
    unsigned Jobs = 1;
    std::string Match = "number";
    bool Json = false, Force = false;
    std::optional<double> DbmAtFs;  // play: the sound card's calibration
    double PauseSeconds = 2;        // play: quiet before each run
};

void AddPlan(CLI::App& app, TPlanArgs& args);
TExitStatus RunPlan(const TPlanArgs& args);
// plan run: each file through the decoder, scored and reported.
TExitStatus RunPlanRun(const TPlanArgs& args);
// plan play: each run through the sound card, the operator's answers scored.
TExitStatus RunPlanPlay(const TPlanArgs& args);

// diagnose FILE | --input PATH|- | --device D: the line diagnosis.
struct TDiagnoseArgs {
    std::optional<std::string> File;
    std::string Device;
    std::optional<std::string> Input;
    std::string Raw;
    double Rate = 0;
    double Seconds = 0;  // 0: to the end of the input, or Ctrl-C
    std::optional<double> DbmAtFullScale;
    std::string Expect;
    std::optional<std::string> Advice;
    bool Json = false, Quiet = false;
};

void AddDiagnose(CLI::App& app, TDiagnoseArgs& args);
TExitStatus RunDiagnose(const TDiagnoseArgs& args);

// line exchange | line set: either end of the call-waiting exchange.
struct TLineArgs {
    std::string Standard = "bell";
    std::optional<std::string> Input, Output;
    bool Wav = false, Force = false;
    double Rate = 0;  // 0: 8000 for streams, the device's default
    std::string Device;
    std::optional<double> LatencyMs;
    bool Calibrate = false;
    // the exchange
    TTabArgs Fields;
    bool SimulateSet = false, NoAckWait = false, NoSas = false;
    std::optional<double> AckWindowMs, DataDelayMs, CasMs;
    std::string ExpectDigit;  // empty: the standard's
    int Repeat = 1;
    double PauseMs = 1000;
    double LineDelayMs = 0;
    std::optional<double> NoiseDbfs;
    // the set (or the simulated set)
    std::string AckDigit;  // "A".."D", "none"; empty: the standard's
    std::optional<double> AckDelayMs, AckMs;
    double Seconds = 0;
};

// Adds "line" with its "exchange" and "set"; RunLine runs the one given.
CLI::App* AddLine(CLI::App& app, TLineArgs& args);
TExitStatus RunLine(const CLI::App& line, const TLineArgs& args);

}  // namespace ringlark::cli
