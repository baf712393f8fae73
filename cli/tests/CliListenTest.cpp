// ringlark-cli listen, run as a fresh process: from files, pipes, and the sound
// card's input fed by ALSA's file plugin.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/tests/CliRun.h"
#include "core/Bytes.h"
#include "generation/FskSynth.h"
#include "generation/MessageBuilder.h"
#include "generation/SignalImage.h"
#include "monitor/WavRecorder.h"
#include "tests/support/TestSignals.h"
#include "tests/support/TestSupport.h"

namespace ringlark {
namespace {

using test::AlsaHome;
using test::MdmfImage;
using test::ReadLine;
using test::RunCli;
using test::RunShell;
using test::S16Raw;
using test::Spawn;
using test::TChild;
using test::TRun;

const char* const kMdmfLine =
    "0.400s CORR q=1.00 80 20 01 08 31 32 30 37 30 39 33 30 02 0A 38 30 30 35 35 35 31 32 31 32 "
    "07 08 4A 4F 48 4E 20 44 4F 45 82 | Date: 12/07; Time: 09:30; Calling Number: 8005551212; "
    "Calling Name: JOHN DOE\n";

TEST(CliListen, ReadsARecordingAsAStream) {
    test::TTempDir dir;
    const auto wav = (dir / "a.wav").string();
    test::WriteFile(wav, MdmfImage());
    const TRun run = RunCli("listen --input " + wav);
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, kMdmfLine);

    const TRun cw = RunShell("CLI generate vmwi-on --call-waiting -o " + (dir / "cw.wav").string() +
                             " && CLI listen --input " + (dir / "cw.wav").string());
    EXPECT_EQ(cw.Status, 0) << cw.Err;
    EXPECT_EQ(cw.Out,
              "0.000s SAS 300.0 ms 440.0 Hz -6.2 dBFS\n"
              "0.300s CAS 99.9 ms 2129.9 Hz -6.2 dBFS + 2750.0 Hz -6.2 dBFS\n"
              "0.670s CORR q=1.00 82 03 0B 01 FF 70 | VMWI Status: On\n");

    const TRun json = RunCli("listen --json --input " + (dir / "cw.wav").string());
    ASSERT_EQ(json.Status, 0) << json.Err;
    const std::vector<nlohmann::json> events = test::JsonLines(json.Out);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0]["event"], "sas");
    EXPECT_EQ(events[0]["duration"], 0.3);
    EXPECT_EQ(events[1]["event"], "cas");
    EXPECT_EQ(events[1]["frequencies_hz"], nlohmann::json({2129.9, 2750.0}));
    EXPECT_EQ(events[2]["event"], "message");
    EXPECT_EQ(events[2]["tag"], "CORR");
    EXPECT_EQ(events[2]["bytes"], "82 03 0B 01 FF 70");
    EXPECT_EQ(events[2]["fields"], "VMWI Status: On");
    EXPECT_EQ(events[2]["uncertain"], false);
}

TEST(CliListen, RawSamplesThroughAPipe) {
    test::TTempDir dir;
    const auto raw = (dir / "in.raw").string();
    test::WriteFile(raw, S16Raw(MdmfImage()));
    const TRun run = RunShell("cat " + raw + " | CLI listen --input - --raw s16le --rate 44100");
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, kMdmfLine);
    // the same samples as unsigned bytes, and a WAV header of unknown length
    // as a recorder writing to a pipe sends it
    const Bytes image = MdmfImage();
    test::WriteFile(dir / "in.u8", image.substr(44));
    EXPECT_EQ(RunShell("cat " + (dir / "in.u8").string() +
                       " | CLI listen --input - --raw u8 --rate 44100")
                  .Out,
              kMdmfLine);
    Bytes streamed = image;
    WriteLe32(streamed, 4, 0xFFFFFFFF);
    WriteLe32(streamed, 40, 0xFFFFFFFF);
    test::WriteFile(dir / "streamed.wav", streamed);
    EXPECT_EQ(RunShell("cat " + (dir / "streamed.wav").string() + " | CLI listen --input -").Out,
              kMdmfLine);
}

TEST(CliListen, RecordsWhatItHeard) {
    test::TTempDir dir;
    const Bytes raw = S16Raw(MdmfImage(), 1000);
    test::WriteFile(dir / "in.raw", raw);
    const auto rec = (dir / "rec.wav").string();
    const TRun run = RunCli("listen --quiet --input " + (dir / "in.raw").string() +
                            " --raw s16le --rate 44100 --record " + rec);
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(test::ReadFile(rec), TWavRecorder::Header(44100, raw.size() / 2) + raw);
    // an existing recording is kept unless replacing is asked for
    const TRun again = RunCli("listen --input " + (dir / "in.raw").string() +
                              " --raw s16le --rate 44100 --record " + rec);
    EXPECT_EQ(again.Status, 1);
    EXPECT_EQ(again.Err, "File " + rec + " exists; use --force to replace it\n");
    EXPECT_EQ(again.Out, "");
}

TEST(CliListen, PrintsEachMessageAsItCompletesAndStopsCleanlyOnASignal) {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        test::TTempDir dir;
        const auto rec = (dir / "rec.wav").string();
        TChild child =
            Spawn({"listen", "--input", "-", "--raw", "s16le", "--rate", "44100", "--record", rec});
        ASSERT_GT(child.Pid, 0);
        // The message, and then the input stays open: the line must come now,
        // not at the end of the input.
        const Bytes raw = S16Raw(MdmfImage(), 4410);
        ASSERT_EQ(write(child.In, raw.data(), raw.size()), static_cast<ssize_t>(raw.size()));
        EXPECT_EQ(ReadLine(child.Out) + "\n", kMdmfLine);
        kill(child.Pid, signal);
        int status = 0;
        waitpid(child.Pid, &status, 0);
        close(child.In);
        close(child.Out);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);  // a message was decoded
        // everything heard until the signal, with a header that says so
        const Bytes recorded = test::ReadFile(rec);
        ASSERT_GE(recorded.size(), 44u);
        EXPECT_EQ(ReadLe32(recorded, 40), recorded.size() - 44);
        EXPECT_EQ(ReadLe32(recorded, 4), recorded.size() - 8);
        EXPECT_EQ(recorded.substr(44), raw.substr(0, recorded.size() - 44));
        EXPECT_GE(recorded.size() - 44, raw.size() - 2 * 4410);
    }
}

TEST(CliListen, ShowsTheInputLevelOnATerminalUnlessQuiet) {
    test::TTempDir dir;
    const auto wav = (dir / "a.wav").string();
    test::WriteFile(wav, MdmfImage());
    // `script` gives the program a terminal for both outputs. The level line is redrawn by the
    // clock, so how many redraws come before the message depends on the machine's speed: what
    // counts is that the first level line is drawn, and that the message line is cleared and
    // intact.
    const std::string events = RunCli("listen --input " + wav).Out;
    const std::string message = events.substr(0, events.find('\n'));
    ASSERT_EQ(message.rfind("0.400s CORR", 0), 0u) << events;
    const TRun shown = RunShell("script -qec 'CLI listen --input " + wav + "' /dev/null");
    EXPECT_EQ(
        shown.Out.find("\r     0.0s  level   -6.3 dBFS  [###########################   ]\033[K"),
        0u)
        << shown.Out;
    EXPECT_NE(shown.Out.find("\r\033[K" + message + "\r\n"), std::string::npos) << shown.Out;
    const TRun quiet = RunShell("script -qec 'CLI listen --quiet --input " + wav + "' /dev/null");
    EXPECT_EQ(quiet.Out.find("level"), std::string::npos);
    EXPECT_EQ(quiet.Out.find("0.400s CORR"), 0u);
    // not on a terminal: nothing but the events
    EXPECT_EQ(RunCli("listen --input " + wav).Err, "");
}

TEST(CliListen, NothingDecodedIsStatusThree) {
    test::TTempDir dir;
    test::WriteFile(dir / "quiet.raw", Bytes(16000, '\0'));
    const TRun run =
        RunCli("listen --input " + (dir / "quiet.raw").string() + " --raw s16le --rate 8000");
    EXPECT_EQ(run.Status, 3);
    EXPECT_EQ(run.Out, "");
}

TEST(CliListen, WrongUseAndFailures) {
    const std::vector<std::pair<std::string, std::string>> usage = {
        {"listen --raw s16le --rate 8000", "ringlark-cli: --raw needs --input\n"},
        {"listen --input - --raw s16le", "ringlark-cli: --raw needs --rate\n"},
        {"listen --input x.wav --rate 8000",
         "ringlark-cli: --rate is read from the file; give it only with --raw or a device\n"},
        {"listen --input - --device 1",
         "ringlark-cli: --device and --input cannot be used together\n"},
    };
    for (const auto& [arguments, error] : usage) {
        const TRun run = RunCli(arguments);
        EXPECT_EQ(run.Status, 2) << arguments;
        EXPECT_EQ(run.Err, error) << arguments;
    }
    EXPECT_EQ(RunCli("listen --input - --raw s24 --rate 8000").Status, 2);
    EXPECT_EQ(RunCli("listen --input - --raw s16le --rate 4000").Status, 2);
    const TRun missing = RunCli("listen --input /nonexistent/x.wav");
    EXPECT_EQ(missing.Status, 1);
    EXPECT_EQ(missing.Err, "Cannot open file /nonexistent/x.wav: No such file or directory\n");
    test::TTempDir dir;
    test::WriteFile(dir / "low.wav", TWavRecorder::Header(4000, 0));
    const TRun low = RunCli("listen --input " + (dir / "low.wav").string());
    EXPECT_EQ(low.Status, 1);
    EXPECT_EQ(low.Err, "Sample rate 4000 is outside 8000 to 192000\n");
}

// ALSA loads its plugins with dlopen and unloads them before the leak check of
// a sanitizer build, so what they keep cannot be told from a leak of ours: the
// runs that open a sound device do without the leak check.
const std::string kSoundEnvironment = "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 ";

TEST(CliListen, CapturesFromTheSoundCardsInput) {
    test::TTempDir dir;
    const auto home = AlsaHome(dir, S16Raw(MdmfImage()));
    const TRun run = RunShell(kSoundEnvironment + "HOME=" + home.string() +
                              " XDG_CONFIG_HOME= CLI listen --seconds 2 --rate 44100 --quiet");
    EXPECT_EQ(run.Status, 0) << run.Err;
    // ALSA's file plugin may start its file again when the capture recovers
    // from an overrun, so the message can come more than once
    ASSERT_GE(run.Out.size(), std::string(kMdmfLine).size());
    EXPECT_EQ(run.Out.substr(0, std::string(kMdmfLine).size()), kMdmfLine);
    // a device's calls go to the call log beside the configuration
    const TRun logged = RunShell("TZ=UTC CLI log --json --log " +
                                 (home / ".config/Ringlark/calls.sqlite").string());
    EXPECT_EQ(logged.Status, 0) << logged.Err;
    const std::vector<nlohmann::json> rows = test::JsonLines(logged.Out);
    ASSERT_GE(rows.size(), 1u);
    EXPECT_EQ(rows[0]["kind"], "MDMF");
    EXPECT_EQ(rows[0]["number"], "8005551212");
    EXPECT_EQ(rows[0]["input"], "default");
    const TRun devices =
        RunShell(kSoundEnvironment + "HOME=" + home.string() + " CLI listen --list-devices");
    EXPECT_EQ(devices.Status, 0);
    EXPECT_NE(devices.Out.find("default  (44100/s)"), std::string::npos) << devices.Out;
}

TEST(CliListen, ADeviceThatCannotBeOpenedIsARuntimeError) {
    test::TTempDir dir;
    const auto home = dir / "home";
    std::filesystem::create_directories(home);
    test::WriteFile(home / ".asoundrc", "pcm.!default {\n  type hw\n  card 97\n}\n");
    const TRun run =
        RunShell(kSoundEnvironment + "HOME=" + home.string() + " CLI listen --seconds 1 --quiet");
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find("Cannot open the sound input"), std::string::npos) << run.Err;
    EXPECT_EQ(run.Out, "");
}

}  // namespace
}  // namespace ringlark
