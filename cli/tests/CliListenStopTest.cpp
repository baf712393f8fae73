// How ringlark-cli listen ends: on every signal that stops a program, with a
// recording that cannot take its name or fills the disk, while it waits for a
// FIFO's writer; and what it refuses or says before it starts.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "cli/tests/CliRun.h"
#include "core/Bytes.h"
#include "generation/FskSynth.h"
#include "generation/SignalImage.h"
#include "monitor/WavRecorder.h"
#include "tests/support/TestSignals.h"
#include "tests/support/TestSupport.h"

namespace ringlark {
namespace {

using test::MdmfImage;
using test::ReadLine;
using test::RunCli;
using test::RunShell;
using test::S16Raw;
using test::Spawn;
using test::TChild;
using test::TRun;

const char* const kFields =
    "Date: 12/07; Time: 09:30; Calling Number: 8005551212; Calling Name: JOHN DOE";

// Waits for the child; its exit status, or -signal when a signal ended it.
int Wait(TChild& child) {
    int status = 0;
    waitpid(child.Pid, &status, 0);
    close(child.In);
    if (child.Out >= 0) {
        close(child.Out);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

std::vector<std::string> Names(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(CliListenStop, TheReaderOfTheOutputGoingAwayEndsItWithTheRecordingComplete) {
    test::TTempDir dir;
    std::filesystem::create_directories(dir / "rec");
    const auto wav = (dir / "in.wav").string();
    test::WriteFile(wav, MdmfImage());
    const auto rec = (dir / "rec" / "rec.wav").string();
    TChild child = Spawn({"listen", "--input", wav, "--record", rec}, (dir / "err").string(), true);
    ASSERT_GT(child.Pid, 0);
    EXPECT_EQ(Wait(child), 0);  // a message was decoded; writing it found no reader
    EXPECT_EQ(Names(dir / "rec"), std::vector<std::string>{"rec.wav"});
    const Bytes recorded = test::ReadFile(rec);
    ASSERT_GE(recorded.size(), 44u);
    EXPECT_EQ(ReadLe32(recorded, 40), recorded.size() - 44);
}

TEST(CliListenStop, ARecordingThatCannotTakeItsNameIsKeptAndNamed) {
    test::TTempDir dir;
    const auto rec = (dir / "rec.wav").string();
    TChild child = Spawn(
        {"listen", "--input", "-", "--raw", "s16le", "--rate", "44100", "--record", rec, "--force"},
        (dir / "err").string());
    ASSERT_GT(child.Pid, 0);
    const Bytes raw = S16Raw(MdmfImage(), 4410);
    ASSERT_EQ(write(child.In, raw.data(), raw.size()), static_cast<ssize_t>(raw.size()));
    EXPECT_NE(ReadLine(child.Out).find(kFields), std::string::npos);
    // a folder takes the name meanwhile: the rename fails
    std::filesystem::create_directories(dir / "rec.wav" / "inside");
    kill(child.Pid, SIGINT);
    EXPECT_EQ(Wait(child), 1);
    std::string temporary;
    for (const auto& name : Names(dir.Path())) {
        if (name.rfind(".rec.wav.", 0) == 0) {
            temporary = (dir / name).string();
        }
    }
    ASSERT_FALSE(temporary.empty());
    EXPECT_EQ(
        test::ReadFile(dir / "err"),
        "Cannot create file " + rec + ": Is a directory; the recording is in " + temporary + "\n");
    const Bytes recorded = test::ReadFile(temporary);
    ASSERT_GE(recorded.size(), 44u);
    EXPECT_EQ(ReadLe32(recorded, 40), recorded.size() - 44);
    EXPECT_EQ(recorded.substr(44), raw.substr(0, recorded.size() - 44));
}

TEST(CliListenStop, AFullDiskStopsOnlyTheRecording) {
    test::TTempDir dir;
    const auto wav = (dir / "in.wav").string();
    test::WriteFile(wav, MdmfImage());
    const auto rec = (dir / "rec.wav").string();
    // 40 kB (bash counts in kB) take 0.46 s at 44100/s; the message ends at 0.55 s
    const TRun run = RunShell("bash -c \"ulimit -f 40; trap '' XFSZ; exec CLI listen --input " +
                              wav + " --record " + rec + "\"");
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Out.find(kFields), std::string::npos) << run.Out;
    EXPECT_EQ(run.Err,
              "ringlark-cli: the recording stopped: Stream write error: File too "
              "large; listening goes on\n");
    const Bytes recorded = test::ReadFile(rec);
    ASSERT_GE(recorded.size(), 44u);
    EXPECT_LE(recorded.size(), 40960u);
    EXPECT_LE(ReadLe32(recorded, 40), recorded.size() - 44);
    EXPECT_GT(ReadLe32(recorded, 40), 30000u);
}

// Whether the process has a handler for SIGINT (its status's SigCgt mask).
bool CatchesInterrupt(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("SigCgt:", 0) == 0) {
            return ((std::stoull(line.substr(7), nullptr, 16) >> (SIGINT - 1)) & 1) != 0;
        }
    }
    return false;
}

TEST(CliListenStop, CtrlCWhileWaitingForAFifosWriterStopsQuietly) {
    test::TTempDir dir;
    const auto fifo = (dir / "line.wav").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    TChild child = Spawn({"listen", "--input", fifo}, (dir / "err").string());
    ASSERT_GT(child.Pid, 0);
    while (!CatchesInterrupt(child.Pid)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(child.Pid, SIGINT);
    // If the signal came before the open, the open still waits for a writer:
    // one that leaves at once ends it. The writer can only open once the
    // reader is inside its open, so it tries until the program has ended
    // (a minute at most, against a hang).
    int status = 0;
    pid_t ended = 0;
    for (int tries = 0; tries < 12000 && ended == 0; ++tries) {
        const int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) {
            close(writer);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ended = waitpid(child.Pid, &status, WNOHANG);
    }
    if (ended == 0) {
        kill(child.Pid, SIGKILL);
        waitpid(child.Pid, &status, 0);
    }
    close(child.In);
    if (child.Out >= 0) {
        close(child.Out);
    }
    ASSERT_NE(ended, 0) << "listen did not stop";
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);
    EXPECT_EQ(test::ReadFile(dir / "err"), "");
}

TEST(CliListenStop, SecondsAndRatesMustBeFiniteNumbersInRange) {
    for (const char* seconds : {"0", "nan", "-1", "inf"}) {
        const TRun run = RunCli("listen --input - --seconds " + std::string(seconds));
        EXPECT_EQ(run.Status, 2) << seconds;
        EXPECT_EQ(run.Err,
                  "--seconds: must be a number of seconds above 0\nRun with --help for more "
                  "information.\n")
            << seconds;
    }
    for (const char* rate : {"nan", "4000", "200000"}) {
        const TRun run = RunCli("listen --input - --raw s16le --rate " + std::string(rate));
        EXPECT_EQ(run.Status, 2) << rate;
        EXPECT_EQ(run.Err,
                  "--rate: must be a sample rate from 8000 to 192000\nRun with --help for more "
                  "information.\n")
            << rate;
    }
}

TEST(CliListenStop, ReadsUpTo192000SamplesASecond) {
    test::TTempDir dir;
    TFskSignal signal;
    signal.Rate = 192000;
    std::vector<float> samples = SynthesiseFsk(ExampleMdmfMessage(), signal);
    samples.resize(samples.size() + 19200, 0.0f);
    Bytes raw(samples.size() * 4, '\0');
    std::memcpy(raw.data(), samples.data(), raw.size());
    test::WriteFile(dir / "in.f32", raw);
    const TRun run =
        RunCli("listen --raw f32le --rate 192000 --input " + (dir / "in.f32").string());
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(run.Out.find(kFields), std::string::npos) << run.Out;
}

TEST(CliListenStop, NoSoundCardIsSaidPlainlyWithoutTheLibrariesChatter) {
    test::TTempDir dir;
    const auto home = dir / "home";
    std::filesystem::create_directories(home);
    test::WriteFile(home / ".asoundrc", "pcm.!default {\n  type hw\n  card 97\n}\n");
    const std::string run = "ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 HOME=" + home.string() +
                            " CLI listen --list-devices";
    const TRun quiet = RunShell(run);
    EXPECT_EQ(quiet.Err.find("ALSA lib"), std::string::npos) << quiet.Err;
    if (quiet.Out.empty()) {  // a machine without sound cards
        EXPECT_EQ(quiet.Status, 1);
        EXPECT_EQ(quiet.Err, "ringlark-cli: no sound input devices\n");
        const TRun verbose = RunShell(run + " --verbose");
        EXPECT_EQ(verbose.Status, 1);
        EXPECT_NE(verbose.Err.find("ALSA lib"), std::string::npos) << verbose.Err;
    } else {
        EXPECT_EQ(quiet.Status, 0);
        EXPECT_EQ(quiet.Err, "");
    }
}

}  // namespace
}  // namespace ringlark
