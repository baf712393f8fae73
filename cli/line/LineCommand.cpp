// ringlark-cli line exchange | set: either end of the call-waiting exchange,
// against a simulated set, over a pair of streams, or through a sound card.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>

#include "cli/CliOptions.h"
#include "cli/Commands.h"
#include "cli/line/LineStreams.h"
#include "core/RinglarkError.h"
#include "core/UserMessages.h"
#include "generation/MessageBuilder.h"
#include "generation/workflow/TabRequest.h"
#include "handshake/HandshakeReport.h"
#include "handshake/SimulatedLine.h"
#include "handshake/linetest/LineTest.h"
#include "handshake/sound/DuplexDevice.h"

namespace ringlark::cli {

namespace {

// Streams are read in blocks of at most this many samples.
constexpr std::size_t kBlock = 4096;
// After its last run the exchange goes on this long, so that the set hears the
// end of the data and the quiet after it.
constexpr double kTailMs = 500;
// The default rate of raw streams: a telephone line's.
constexpr double kStreamRate = 8000;

void AddCommonOptions(CLI::App& command, TLineArgs& args) {
    command.add_option("--standard", args.Standard, "bell (default), etsi or bt")
        ->check(CLI::IsMember({"bell", "etsi", "bt"}));
    command.add_option("--input", args.Input,
                       "Hear the line from this stream: raw signed 16-bit mono samples, or a "
                       "16-bit mono WAV file; - for standard input");
    command.add_option("--output", args.Output,
                       "Send to the line on this stream (raw unless --wav); - for standard output");
    command.add_flag("--wav", args.Wav, "Write the output stream as a WAV file");
    command.add_flag("--force", args.Force, "Replace an existing output file");
    command
        .add_option("--rate", args.Rate,
                    "Samples per second of raw streams (default 8000) or of the device")
        ->check(FiniteIn(TStreamDecoder::MinRate, TStreamDecoder::MaxRate,
                         "must be a sample rate from 8000 to 192000"));
    command.add_option("--device", args.Device,
                       "Sound device for input and output at once: its index or name");
    command
        .add_option("--latency-ms", args.LatencyMs,
                    "Round trip of the sound path to take out of every time (default: measured "
                    "on a device by --calibrate, 0 on streams)")
        ->check(FiniteIn(0, 10000, "must be 0 to 10000 ms"));
    command.add_flag("--calibrate", args.Calibrate,
                     "Before the test, play a click and hear it back through a loop-back cable "
                     "to measure the sound path's round trip");
}

// The exchange's figures: the standard's, with what the options change.
TCallWaitingTiming ExchangeTiming(const TLineArgs& args) {
    TCallWaitingTiming timing = *CallWaitingTimingFor(*StandardNamed(args.Standard));
    if (args.CasMs) {
        timing.CasMs = *args.CasMs;
    }
    if (args.NoSas) {
        timing.SasMs = 0;
    }
    if (args.AckWindowMs) {
        timing.AckWindowMs = *args.AckWindowMs;
    }
    if (args.DataDelayMs) {
        timing.DataDelayMs = *args.DataDelayMs;
    }
    if (!args.ExpectDigit.empty()) {
        timing.AckDigit = args.ExpectDigit[0];
    }
    CheckCallWaitingTiming(timing);
    return timing;
}

// The set's: the standard's, with its answer as the options make it.
TCallWaitingTiming SetTiming(const TLineArgs& args) {
    TCallWaitingTiming timing = *CallWaitingTimingFor(*StandardNamed(args.Standard));
    if (args.AckDelayMs) {
        timing.AckDelayMs = *args.AckDelayMs;
    }
    if (args.AckMs) {
        timing.AckMs = *args.AckMs;
    }
    if (!args.AckDigit.empty() && args.AckDigit != "none") {
        timing.AckDigit = args.AckDigit[0];
    }
    CheckCallWaitingTiming(timing);
    return timing;
}

bool Streams(const TLineArgs& args) {
    return args.Input || args.Output;
}

void CheckOptions(const TLineArgs& args, bool exchange) {
    if (Streams(args) && !(args.Input && args.Output)) {
        throw TUsageError("--input and --output go together");
    }
    if (Streams(args) && !args.Device.empty()) {
        throw TUsageError("--device and --input/--output cannot be used together");
    }
    if (args.Calibrate && Streams(args)) {
        throw TUsageError("--calibrate needs a sound device, not streams");
    }
    if (!exchange) {
        return;
    }
    if (args.SimulateSet && (Streams(args) || !args.Device.empty() || args.Calibrate)) {
        throw TUsageError("--simulate-set needs no sound device and no streams");
    }
    if (!args.SimulateSet) {
        for (const auto& [given, name] : {std::pair{args.AckDelayMs.has_value(), "--ack-delay-ms"},
                                          std::pair{args.AckMs.has_value(), "--ack-ms"},
                                          std::pair{!args.AckDigit.empty(), "--ack-digit"},
                                          std::pair{args.LineDelayMs > 0, "--line-delay-ms"},
                                          std::pair{args.NoiseDbfs.has_value(), "--noise-dbfs"}}) {
            if (given) {
                throw TUsageError(std::string(name) + " needs --simulate-set");
            }
        }
    }
}

std::atomic<bool> gStop{false};

extern "C" void StopLine(int) {
    gStop.store(true);
}

// The sound path's round trip on a device: as given, or measured with a
// click through a loop-back cable, or (with a note) none.
int64_t DeviceLatency(TDuplexDevice& device, const TLineArgs& args, std::FILE* report) {
    if (args.LatencyMs) {
        return MsToSamples(*args.LatencyMs, device.Rate());
    }
    if (!args.Calibrate) {
        std::fprintf(report,
                     "the sound path is not calibrated: its round trip is in every time "
                     "(--calibrate, --latency-ms)\n");
        return 0;
    }
    const std::optional<int64_t> roundTrip = TLineTest::Calibrate(device, gStop);
    if (!roundTrip) {
        throw RinglarkError(
            "The calibration click did not come back: connect the sound card's output to its "
            "input with a loop-back cable, turn the levels up and calibrate again");
    }
    std::fprintf(report, "sound path round trip: %.1f ms\n",
                 SamplesToMs(static_cast<double>(*roundTrip), device.Rate()));
    return *roundTrip;
}

void RunOnDevice(TDuplexDevice& device, const TDuplexDevice::TStep& step) {
    struct sigaction action {};
    action.sa_handler = StopLine;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
    device.Run(step, &gStop);
    if (device.Overflows() > 0) {
        // a lost block breaks the count of samples the times are made of
        std::fprintf(stderr, "ringlark-cli: %s: the times after it are not exact\n",
                     msg::InputLost(device.Overflows()).c_str());
    }
}

// The run's rows under its heading, flushed at once.
void PrintRun(std::FILE* to, int index, const char* who, const std::vector<TStepRow>& rows) {
    std::fprintf(to, "run %d (%s)\n%s", index, who, RowsText(rows).c_str());
    std::fflush(to);
}

Bytes MessageFrom(const TLineArgs& args) {
    return BuildCidMessage(RequestFromTab(args.Fields.Tab(), TCallerIdTabKind::Cwcid),
                           TFilterOptions{});
}

int64_t LatencySamples(const TLineArgs& args, double rate) {
    return args.LatencyMs ? MsToSamples(*args.LatencyMs, rate) : 0;
}

bool ExchangePassed(const std::vector<TExchangeRun>& runs, bool waited) {
    for (const TExchangeRun& run : runs) {
        if (!run.DataSent || (waited && run.Verdict != TAckVerdict::Valid)) {
            return false;
        }
    }
    return !runs.empty();
}

// The exchange over a pair of streams: it writes its first block before it
// reads (a block of 1 ms, the round trip it then takes out), then answers each
// block it reads; once the input has ended it goes on alone.
void ExchangeOverStreams(TExchangeRole& exchange, TSampleWriter& writer, const TLineArgs& args,
                         double rate, std::size_t lead) {
    std::vector<float> in(lead, 0.0f), out(std::max(lead, kBlock));
    exchange.Start();
    exchange.Process(in, std::span(out).first(lead));
    writer.Write(out.data(), lead);
    TSampleReader reader(*args.Input, rate);
    if (std::lround(reader.Rate()) != std::lround(rate)) {
        throw RinglarkError("The input stream's rate (" +
                            std::to_string(std::lround(reader.Rate())) +
                            "/s) is not the output's (" + std::to_string(std::lround(rate)) +
                            "/s): give both the same --rate");
    }
    in.resize(kBlock);
    const int64_t tail = MsToSamples(kTailMs, rate);
    int64_t doneAt = -1;
    bool ended = false;
    while (doneAt < 0 || exchange.Now() < doneAt + tail) {
        std::size_t n = ended ? 0 : reader.Read(in.data(), kBlock);
        if (n == 0) {
            ended = true;
            n = lead;
            std::fill_n(in.begin(), n, 0.0f);
        }
        exchange.Process(std::span(in).first(n), std::span(out).first(n));
        writer.Write(out.data(), n);
        if (doneAt < 0 && exchange.Done()) {
            doneAt = exchange.Now();
        }
    }
    writer.Close();
    // read what the other end still sends, so that its last writes find a reader
    while (!ended && reader.Read(in.data(), kBlock) > 0) {
    }
}

TExitStatus RunExchange(const TLineArgs& args) {
    CheckOptions(args, true);
    const TCallWaitingTiming timing = ExchangeTiming(args);
    TExchangeRole::TSettings settings;
    settings.Timing = timing;
    settings.Message = MessageFrom(args);
    settings.WaitForAck = !args.NoAckWait;
    settings.Repeats = args.Repeat;
    settings.PauseMs = args.PauseMs;
    std::FILE* report = args.Output == "-" ? stderr : stdout;
    const auto print = [&](const TExchangeRun& run) {
        PrintRun(report, run.Index, "exchange", ExchangeRows(run, timing));
    };
    std::vector<TExchangeRun> runs;
    if (args.SimulateSet) {
        const double rate = args.Rate > 0 ? args.Rate : kStreamRate;
        TSimulatedLine line;
        line.DelayMs = args.LineDelayMs;
        line.NoiseDbfs = args.NoiseDbfs;
        settings.LatencySamples = RoundTripSamples(line, rate);
        TSetRole::TSettings setSettings;
        setSettings.Timing = SetTiming(args);
        setSettings.Answer = args.AckDigit != "none";
        TExchangeRole exchange(rate, settings);
        TSetRole set(rate, setSettings);
        exchange.OnRun = print;
        set.OnRun = [&](const TSetRun& run) {
            PrintRun(report, run.Index, "simulated set", SetRows(run, setSettings.Timing));
        };
        RunSimulation(exchange, set, line);
        runs = exchange.Runs();
    } else if (Streams(args)) {
        const double rate = args.Rate > 0 ? args.Rate : kStreamRate;
        const auto lead = static_cast<std::size_t>(std::max<int64_t>(1, MsToSamples(1, rate)));
        settings.LatencySamples = static_cast<int64_t>(lead) + LatencySamples(args, rate);
        TExchangeRole exchange(rate, settings);
        exchange.OnRun = print;
        TSampleWriter writer(*args.Output, rate, args.Wav, args.Force);
        ExchangeOverStreams(exchange, writer, args, rate, lead);
        runs = exchange.Runs();
    } else {
        TDuplexDevice device(args.Device, args.Rate);
        const double rate = device.Rate();
        settings.LatencySamples = DeviceLatency(device, args, report);
        TExchangeRole exchange(rate, settings);
        exchange.OnRun = print;
        RunOnDevice(device, [&](std::span<const float> in, std::span<float> out) {
            if (!exchange.Started()) {
                exchange.Start();
            }
            exchange.Process(in, out);
            return !exchange.Done();
        });
        runs = exchange.Runs();
    }
    std::fprintf(report, "summary: %s\n", SummaryText(SummariseExchange(runs)).c_str());
    std::fflush(report);
    return ExchangePassed(runs, !args.NoAckWait) ? TExitStatus::Success : TExitStatus::LimitFailed;
}

TExitStatus RunSet(const TLineArgs& args) {
    CheckOptions(args, false);
    const TCallWaitingTiming timing = SetTiming(args);
    TSetRole::TSettings settings;
    settings.Timing = timing;
    settings.Answer = args.AckDigit != "none";
    std::FILE* report = args.Output == "-" ? stderr : stdout;
    std::vector<TSetRun> runs;
    const auto print = [&](const TSetRun& run) {
        PrintRun(report, run.Index, "set", SetRows(run, timing));
    };
    if (Streams(args)) {
        TSampleReader reader(*args.Input, args.Rate > 0 ? args.Rate : kStreamRate);
        const double rate = reader.Rate();
        settings.LatencySamples = LatencySamples(args, rate);
        TSetRole set(rate, settings);
        set.OnRun = print;
        TSampleWriter writer(*args.Output, rate, args.Wav, args.Force);
        std::vector<float> in(kBlock), out(kBlock);
        for (std::size_t n; (n = reader.Read(in.data(), kBlock)) > 0;) {
            set.Process(std::span(in).first(n), std::span(out).first(n));
            writer.Write(out.data(), n);
        }
        set.Finish();
        writer.Close();
        runs = set.Runs();
    } else {
        TDuplexDevice device(args.Device, args.Rate);
        settings.LatencySamples = DeviceLatency(device, args, report);
        TSetRole set(device.Rate(), settings);
        set.OnRun = print;
        const int64_t stopAt =
            args.Seconds > 0 ? MsToSamples(args.Seconds * 1000, device.Rate()) : -1;
        RunOnDevice(device, [&](std::span<const float> in, std::span<float> out) {
            set.Process(in, out);
            return stopAt < 0 || set.Now() < stopAt;
        });
        set.Finish();
        runs = set.Runs();
    }
    if (runs.empty()) {
        std::fprintf(report, "no CAS heard\n");
        return TExitStatus::NotUnderstood;
    }
    const TSetSummary summary = SummariseSet(runs);
    std::fprintf(report, "summary: %s\n", SummaryText(summary).c_str());
    std::fflush(report);
    return summary.Failures == 0 ? TExitStatus::Success : TExitStatus::LimitFailed;
}

}  // namespace

CLI::App* AddLine(CLI::App& app, TLineArgs& args) {
    auto* line = app.add_subcommand(
        "line", "Play either end of the call-waiting exchange and time the other end");
    line->require_subcommand(1);
    auto* exchange = line->add_subcommand(
        "exchange",
        "Be the exchange: send SAS and CAS, wait for the set's DTMF acknowledgement, send the "
        "data if it came in time");
    AddCommonOptions(*exchange, args);
    AddTabOptions(*exchange, args.Fields);
    exchange->add_flag("--simulate-set", args.SimulateSet,
                       "Talk to a simulated telephone set instead of a line");
    exchange
        ->add_option("--ack-delay-ms", args.AckDelayMs,
                     "Simulated set: CAS end to ACK start (default: the standard's, 50 ms)")
        ->check(FiniteIn(0, 10000, "must be 0 to 10000 ms"));
    exchange->add_option("--ack-ms", args.AckMs, "Simulated set: ACK length (default 60 ms)")
        ->check(FiniteIn(1, 10000, "must be 1 to 10000 ms"));
    exchange->add_option("--ack-digit", args.AckDigit, "Simulated set: the digit, or none")
        ->check(CLI::IsMember({"A", "B", "C", "D", "none"}));
    exchange
        ->add_option("--line-delay-ms", args.LineDelayMs,
                     "Simulated line: delay each way (taken out as the round trip)")
        ->check(FiniteIn(0, 1000, "must be 0 to 1000 ms"));
    exchange
        ->add_option("--noise-dbfs", args.NoiseDbfs, "Simulated line: white noise at this level")
        ->check(FiniteIn(-120, 0, "must be -120 to 0 dBFS"));
    exchange
        ->add_option("--expect-digit", args.ExpectDigit,
                     "The acknowledgement to wait for: D (default, a set without ADSI) or A "
                     "(an ADSI set)")
        ->check(CLI::IsMember({"A", "B", "C", "D"}));
    exchange->add_flag("--no-ack-wait", args.NoAckWait,
                       "Send the data whether an acknowledgement came or not");
    exchange
        ->add_option("--ack-window", args.AckWindowMs,
                     "Latest ACK start after the CAS end, ms (default: the standard's)")
        ->check(FiniteIn(0, 10000, "must be 0 to 10000 ms"));
    exchange
        ->add_option("--ack-delay", args.DataDelayMs,
                     "From the ACK's end to the data, ms (default: the standard's)")
        ->check(FiniteIn(0, 10000, "must be 0 to 10000 ms"));
    exchange->add_option("--cas-ms", args.CasMs, "CAS length, ms (default: the standard's)")
        ->check(FiniteIn(1, 10000, "must be 1 to 10000 ms"));
    exchange->add_flag("--no-sas", args.NoSas, "Send no 440 Hz beep before the CAS");
    exchange->add_option("--repeat", args.Repeat, "Run the exchange this many times (default 1)")
        ->check(CLI::Range(1, 100000));
    exchange->add_option("--pause", args.PauseMs, "Pause between runs, ms (default 1000)")
        ->check(FiniteIn(0, 600000, "must be 0 to 600000 ms"));
    auto* set = line->add_subcommand(
        "set",
        "Be the telephone set: answer a valid CAS with the DTMF acknowledgement, then time and "
        "decode the data");
    AddCommonOptions(*set, args);
    set->add_option("--ack-digit", args.AckDigit, "The digit to answer with (default D), or none")
        ->check(CLI::IsMember({"A", "B", "C", "D", "none"}));
    set->add_option("--ack-delay-ms", args.AckDelayMs,
                    "CAS end to ACK start (default: the standard's, 50 ms)")
        ->check(FiniteIn(0, 10000, "must be 0 to 10000 ms"));
    set->add_option("--ack-ms", args.AckMs, "ACK length (default: the standard's)")
        ->check(FiniteIn(1, 10000, "must be 1 to 10000 ms"));
    set->add_option("--seconds", args.Seconds, "On a device: stop after this many seconds")
        ->check(FiniteIn(0, 1e9, "must be a number of seconds"));
    return line;
}

TExitStatus RunLine(const CLI::App& line, const TLineArgs& args) {
    signal(SIGPIPE, SIG_IGN);  // a reader gone is a write error with its reason
    if (line.got_subcommand("exchange")) {
        return RunExchange(args);
    }
    return RunSet(args);
}

}  // namespace ringlark::cli
