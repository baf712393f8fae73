// ringlark-cli listen: caller ID decoded as it arrives, from a sound card's
// input, a recording or a pipe.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>

#include "calllog/CallLog.h"
#include "cli/CallLogging.h"
#include "cli/CliOptions.h"
#include "cli/Commands.h"
#include "cli/batch/EventFormat.h"
#include "cli/batch/StreamInput.h"
#include "core/FileWriting.h"
#include "core/RinglarkError.h"
#include "core/UserMessages.h"
#include "monitor/LineListener.h"
#include "monitor/sound/PortAudioInput.h"

namespace ringlark::cli {

namespace {

std::atomic<bool> gStop{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void StopListening(int) {
    gStop.store(true);
}

// SIGINT, SIGTERM, SIGHUP (the terminal closed) and SIGPIPE (the reader of
// the output went away) end the listening cleanly, the recording completed; a
// blocking read is cut short (no restart) so that the end comes at once.
void CatchStopSignals() {
    struct sigaction action {};
    action.sa_handler = StopListening;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        sigaction(signal, &action, nullptr);
    }
}

bool PrintDevices() {
    const auto devices = ListInputDevices();
    for (const auto& d : devices) {
        std::printf("%c%3d  %s  (%g/s)\n", d.IsDefault ? '*' : ' ', d.Index, d.Name.c_str(),
                    d.DefaultRate);
    }
    std::fflush(stdout);
    return !devices.empty();
}

std::unique_ptr<ISoundInput> OpenInput(const TListenArgs& args) {
    if (!args.Input) {
        return std::make_unique<TPortAudioInput>(args.Device, args.Rate);
    }
    if (!args.Raw.empty()) {
        return std::make_unique<TRawInput>(*args.Input, *RawFormatNamed(args.Raw), args.Rate);
    }
    return std::make_unique<TSoundFileInput>(*args.Input);
}

void CheckOptions(const TListenArgs& args) {
    if (args.Input && !args.Device.empty()) {
        throw TUsageError("--device and --input cannot be used together");
    }
    if (!args.Raw.empty() && !args.Input) {
        throw TUsageError("--raw needs --input");
    }
    if (!args.Raw.empty() && args.Rate <= 0) {
        throw TUsageError("--raw needs --rate");
    }
    if (args.Input && args.Raw.empty() && args.Rate > 0) {
        throw TUsageError("--rate is read from the file; give it only with --raw or a device");
    }
    CheckMeasureOptions(args);
    if (args.Record && *args.Record == "-") {
        throw TUsageError("--record needs a file name");
    }
    if (args.Log && args.NoLog) {
        throw TUsageError("--log and --no-log cannot be used together");
    }
    if (args.ExecTimeout <= 0) {
        throw TUsageError("--exec-timeout must be more than 0");
    }
}

// The call log: --log FILE; with none, the default file for a device and no
// log for a recording (--input); never with --no-log. The phone book: --book
// FILE, else the log's, else the default file's when there is one.
TCallLoggingOptions LoggingOptions(const TListenArgs& args) {
    TCallLoggingOptions options;
    const std::string standard = DefaultCallLogPath();
    if (args.Log) {
        options.Log = args.Log;
    } else if (!args.NoLog && !args.Input) {
        if (standard.empty()) {
            std::cerr << "ringlark-cli: no home folder: the calls heard are not logged\n";
        } else {
            options.Log = standard;
        }
    }
    if (args.Book) {
        options.Book = args.Book;
    } else if (!options.Log && !standard.empty() && FileExists(standard)) {
        options.Book = standard;
    }
    options.Exec = args.Exec;
    options.ExecTimeout = args.ExecTimeout;
    options.Mqtt = args.Mqtt;
    options.MqttCredentials = args.MqttCredentials;
    options.MqttTopic = args.MqttTopic;
    options.MqttDiscovery = !args.NoMqttDiscovery;
    return options;
}

std::string InputName(const TListenArgs& args, const ISoundInput& input) {
    if (args.Input) {
        return *args.Input == "-" ? "standard input" : *args.Input;
    }
    const auto* device = dynamic_cast<const TPortAudioInput*>(&input);
    return device != nullptr && !device->DeviceName().empty() ? device->DeviceName()
           : args.Device.empty()                              ? "default"
                                                              : args.Device;
}

// The input level on one line of the terminal, redrawn at most ten times a
// second and cleared before anything else is printed.
class TLevelLine {
  public:
    explicit TLevelLine(bool shown) : shown_(shown) {}
    void Show(double peakDbfs, double seconds) {
        if (!shown_) {
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        if (drawn_ && now - last_ < std::chrono::milliseconds(100)) {
            return;
        }
        last_ = now;
        drawn_ = true;
        const int bar = static_cast<int>(std::lround(std::clamp((peakDbfs + 60) / 2, 0.0, 30.0)));
        std::fprintf(stderr, "\r%8.1fs  level %6.1f dBFS  [%-30s]\033[K", seconds, peakDbfs,
                     std::string(static_cast<std::size_t>(bar), '#').c_str());
        std::fflush(stderr);
    }
    void Clear() {
        if (drawn_) {
            std::fputs("\r\033[K", stderr);
            std::fflush(stderr);
            drawn_ = false;
        }
    }

  private:
    bool shown_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point last_;
};

}  // namespace

void AddListen(CLI::App& app, TListenArgs& args) {
    auto* listen = app.add_subcommand(
        "listen", "Decode caller ID as it arrives: from the sound card's input, a file or a pipe");
    listen->add_flag("--list-devices", args.ListDevices, "List the input devices and end");
    listen->add_option("--device", args.Device,
                       "Input device: its index or name (default: the "
                       "default input)");
    listen
        ->add_option("--rate", args.Rate,
                     "Sample rate of the device or of --raw input (8000 to 192000)")
        ->check(FiniteIn(TStreamDecoder::MinRate, TStreamDecoder::MaxRate,
                         "must be a sample rate from 8000 to 192000"));
    listen->add_option("--seconds", args.Seconds, "Stop after this many seconds of input")
        ->check(FiniteIn(std::nextafter(0.0, 1.0), 1e9, "must be a number of seconds above 0"));
    listen->add_option("--input", args.Input,
                       "Read a recording as a stream: a file libsndfile reads (8000 to 192000 "
                       "samples/s), or - for standard input");
    listen->add_option("--raw", args.Raw, "The input is raw samples: s16le, u8 or f32le")
        ->check(CLI::IsMember({"s16le", "u8", "f32le"}));
    listen->add_option("--record", args.Record, "Keep everything heard as a 16-bit WAV file");
    listen->add_flag("--force", args.Force, "Replace an existing recording");
    listen->add_flag("--json", args.Json, "Print one JSON object per event");
    listen->add_flag("--quiet", args.Quiet, "Show no input level");
    listen->add_flag("--verbose", args.Verbose,
                     "Show what the sound libraries (ALSA, JACK) print themselves");
    listen->add_option("--log", args.Log,
                       "Keep every event heard in this call log (default for a device: " +
                           std::string("~/.config/Ringlark/calls.sqlite)"));
    listen->add_flag("--no-log", args.NoLog, "Keep no call log");
    listen->add_option("--book", args.Book, "The phone book's file (default: the call log's)");
    listen->add_option("--exec", args.Exec,
                       "Run this shell command for each message, its fields in RINGLARK_* "
                       "environment variables");
    listen->add_option("--exec-timeout", args.ExecTimeout,
                       "Kill a hook still running after this many seconds (default 10)");
    listen->add_option("--mqtt", args.Mqtt,
                       "Publish each call to this MQTT broker: mqtt://HOST[:PORT]");
    listen->add_option("--mqtt-topic", args.MqttTopic,
                       "The topics' prefix (default ringlark): PREFIX/call, PREFIX/last_call "
                       "(retained), PREFIX/status");
    listen->add_option("--mqtt-credentials", args.MqttCredentials,
                       "A file with the MQTT user on its first line and the password on its "
                       "second (default: RINGLARK_MQTT_USER and RINGLARK_MQTT_PASSWORD)");
    listen->add_flag("--no-mqtt-discovery", args.NoMqttDiscovery,
                     "Publish no Home Assistant discovery configuration");
    AddMeasureOptions(*listen, args,
                      "Measure each FSK message and check it against its standard's limits");
}

TExitStatus RunListen(const TListenArgs& args) {
    ShowSoundLibraryMessages(args.Verbose);
    if (args.ListDevices) {
        if (!PrintDevices()) {
            std::cerr << "ringlark-cli: no sound input devices\n";
            return TExitStatus::RuntimeError;
        }
        return TExitStatus::Success;
    }
    CheckOptions(args);
    if (args.Record && !args.Force && FileExists(*args.Record)) {
        throw RinglarkError(msg::FileExistsUseForce(*args.Record));
    }
    gStop.store(false);
    CatchStopSignals();
    TCallLogging logging(LoggingOptions(args));
    std::unique_ptr<ISoundInput> input;
    try {
        input = OpenInput(args);
    } catch (const RinglarkError&) {
        if (gStop.load()) {
            return TExitStatus::NotUnderstood;  // stopped while waiting (a FIFO's writer)
        }
        throw;
    }
    const double rate = input->Rate();
    logging.BeginInput(InputName(args, *input), std::chrono::system_clock::now());
    std::unique_ptr<TWavRecorder> recorder;
    if (args.Record) {
        recorder = std::make_unique<TWavRecorder>(
            *args.Record, static_cast<uint32_t>(std::lround(std::clamp(rate, 1.0, 1e6))));
    }
    // With a log, messages that are read whole but refused go into it too.
    TLineListener listener(*input, recorder.get(), logging.Logs());
    TLevelLine level(!args.Quiet && isatty(STDERR_FILENO) != 0);
    bool recordingFailed = false;
    listener.OnRecordingFailed = [&](const std::string& reason) {
        level.Clear();
        std::cerr << "ringlark-cli: the recording stopped: " << reason << "; listening goes on\n";
        recordingFailed = true;
    };
    listener.OnLevel = [&](double peak, double seconds) { level.Show(peak, seconds); };
    listener.OnInputLost = [&](int times, double seconds) {
        level.Clear();
        std::cerr << "ringlark-cli: " << InputLostLine(times, seconds) << '\n';
        if (args.Json) {
            std::cout << InputLostJson(times, seconds).dump() << std::endl;
        }
    };
    // With --measure, the last 20 s heard are kept: a message's measurements
    // need the second before it (its seizure, mark run and the quiet before).
    std::vector<float> history;
    uint64_t historyStart = 0;
    const auto keep = static_cast<std::size_t>(rate * 20);
    if (args.Measure) {
        listener.OnSamples = [&](std::span<const float> block) {
            history.insert(history.end(), block.begin(), block.end());
            if (history.size() > 2 * keep) {
                const std::size_t drop = history.size() - keep;
                history.erase(history.begin(), history.begin() + static_cast<std::ptrdiff_t>(drop));
                historyStart += drop;
            }
        };
    }
    bool anyFail = false;
    listener.OnEvent = [&](const TStreamEvent& event) {
        if (event.Kind == TStreamEvent::TKind::Message && event.Message.Failed) {
            logging.Take(event);  // logged only: it is not a message
            return;
        }
        level.Clear();
        const TCallRecord record = logging.Take(event);
        if (!args.Measure || event.Kind != TStreamEvent::TKind::Message) {
            if (args.Json) {
                nlohmann::json entry = EventJson(event);
                if (event.Kind == TStreamEvent::TKind::Message ||
                    event.Kind == TStreamEvent::TKind::Dtmf) {
                    logging.PutContactJson(entry, record);
                }
                std::cout << entry.dump() << std::endl;
            } else {
                std::cout << EventLine(event) << logging.ContactText(record) << std::endl;
            }
            return;
        }
        const auto at = static_cast<uint64_t>(std::max(0.0, event.Message.Seconds * rate));
        const uint64_t from =
            std::max<uint64_t>(historyStart, at > rate ? at - static_cast<uint64_t>(rate) : 0);
        const std::span<const float> window(history.data() + (from - historyStart),
                                            history.size() - (from - historyStart));
        TCorrMessage local = event.Message;
        const double shift = static_cast<double>(from) / rate;
        local.Seconds -= shift;
        TMeasureReport report =
            MeasureMessage(window, rate, local, args.Limits, args.DbmAtFullScale);
        report.Measures.Seconds += shift;
        if (report.Measures.Alert) {
            report.Measures.Alert->Seconds += shift;
        }
        if (report.Measures.Subscriber) {
            report.Measures.Subscriber->Seconds += shift;
        }
        anyFail = anyFail || report.AnyFail;
        if (args.Json) {
            nlohmann::json entry = EventJson(event);
            logging.PutContactJson(entry, record);
            PutMeasureJson(entry, report);
            std::cout << entry.dump() << std::endl;
        } else {
            std::cout << EventLine(event) << logging.ContactText(record) << '\n'
                      << MeasureText(report) << std::flush;
        }
    };
    std::string failure;
    try {
        listener.Run(gStop, args.Seconds);
    } catch (const RinglarkError& e) {
        failure = e.what();  // the recording is still completed below
    }
    level.Clear();
    logging.Finish();
    if (recorder) {
        std::string kept;
        try {
            if (!recorder->Finish(args.Force)) {
                kept = msg::FileExistsUseForce(*args.Record);
            }
        } catch (const RinglarkError& e) {
            kept = e.what();
        }
        if (!kept.empty()) {
            throw RinglarkError(kept + "; the recording is in " + recorder->TemporaryName());
        }
    }
    if (!failure.empty()) {
        throw RinglarkError(failure);
    }
    if (recordingFailed) {
        return TExitStatus::RuntimeError;
    }
    if (listener.Messages() == 0) {
        return TExitStatus::NotUnderstood;
    }
    return args.Strict && anyFail ? TExitStatus::LimitFailed : TExitStatus::Success;
}

}  // namespace ringlark::cli
