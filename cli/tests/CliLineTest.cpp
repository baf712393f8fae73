// ringlark-cli line exchange | set, run as fresh processes: against the
// simulated set, against each other through a pair of pipes, against a small
// scripted set on the other end of standard input and output, and through
// ALSA's file plugin.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "cli/tests/CliRun.h"
#include "tests/support/TestSupport.h"

namespace ringlark {
namespace {

using test::RunCli;
using test::RunShell;
using test::TRun;

const std::string kCall = " --date 1207 --time 0930 --number 8005551212 --name \"JOHN DOE\"";

// The figure on a row of the report ("  CAS end -> ACK start  50.0 ms ..."),
// in ms; NaN when the row is not there.
double RowMs(const std::string& report, const std::string& step, std::size_t from = 0) {
    const std::size_t at = report.find("  " + step + "  ", from);
    if (at == std::string::npos) {
        return std::nan("");
    }
    return std::strtod(report.c_str() + at + step.size() + 4, nullptr);
}

// The text with every run of spaces made one (the columns' widths follow the
// figures).
std::string Squeezed(std::string text) {
    for (std::size_t at; (at = text.find("  ")) != std::string::npos;) {
        text.erase(at, 1);
    }
    return text;
}

TEST(CliLine, ExchangeAgainstTheSimulatedSet) {
    const TRun run = RunCli("line exchange --simulate-set --no-sas" + kCall);
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out.substr(0, run.Out.find("run 1 (simulated set)")),
              "run 1 (exchange)\n"
              "  CAS sent              80.0 ms\n"
              "  CAS end -> ACK start  50.0 ms   0-100 ms  ok\n"
              "  ACK digit             D         D         ok\n"
              "  ACK length            60.0 ms   55-65 ms  ok\n"
              "  ACK levels            941.0 Hz -12.0 dBFS, 1633.0 Hz -12.0 dBFS\n"
              "  ACK twist             0.0 dB\n"
              "  verdict               valid               data sent\n"
              "  ACK end -> data       100.0 ms  0-500 ms  ok\n");
    EXPECT_NE(run.Out.find("  message          CORR 80 20 01 08 31 32 30 37 30 39 33 30 02 0A 38 "
                           "30 30 35 35 35 31 32 31 32 07 08 4A 4F 48 4E 20 44 4F 45 82\n"),
              std::string::npos)
        << run.Out;
    EXPECT_NE(run.Out.find("summary: 1 run, 0 without a valid ACK; CAS end -> ACK start "
                           "50.0/50.0/50.0 ms (min/median/max)"),
              std::string::npos)
        << run.Out;
}

// A set that answers wrongly gets no data, and the status says a run failed.
TEST(CliLine, RefusedAcknowledgementsSendNoData) {
    const struct {
        const char* Options;
        const char* Verdict;
    } cases[] = {
        {"--ack-delay-ms 130", "\n verdict late no data\n"},
        {"--ack-ms 45", "\n verdict too short no data\n"},
        {"--ack-digit A", "\n verdict wrong digit no data\n"},
        {"--ack-digit none", "\n verdict none no data\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Options);
        const TRun run = RunCli(std::string("line exchange --simulate-set --no-sas ") + c.Options);
        EXPECT_EQ(run.Status, 4) << run.Err;
        EXPECT_NE(Squeezed(run.Out).find(c.Verdict), std::string::npos) << run.Out;
        EXPECT_NE(Squeezed(run.Out).find("\n data none none\n"), std::string::npos) << run.Out;
    }
    // without waiting, the data goes to a set that never answered
    const TRun anyway = RunCli("line exchange --simulate-set --ack-digit none --no-ack-wait");
    EXPECT_EQ(anyway.Status, 0) << anyway.Err;
    EXPECT_NE(Squeezed(anyway.Out).find("\n verdict none data sent\n"), std::string::npos);
    EXPECT_NE(Squeezed(anyway.Out).find("\n message CORR 80 "), std::string::npos) << anyway.Out;
}

// The two roles as two processes joined by a pair of FIFOs: each prints its
// own figures, and they agree on the set's 40 ms and the exchange's 100 ms.
// (the FIFOs are made before either end starts: an end that came first would
// make its output a plain file)
TEST(CliLine, SetAndExchangeThroughAPairOfPipes) {
    test::TTempDir dir;
    const std::string a = (dir / "a").string(), b = (dir / "b").string();
    const std::string setOut = (dir / "set.txt").string();
    const TRun run =
        RunShell("mkfifo " + a + " " + b + " || exit 9; { CLI line set --ack-delay-ms 40 " +
                 "--input " + a + " --output " + b + " > " + setOut + "; echo \"set $?\" >> " +
                 setOut + "; } & CLI line exchange " + "--repeat 2 --pause 300 --input " + b +
                 " --output " + a + kCall + "; echo \"exchange $?\"; wait; cat " + setOut);
    EXPECT_EQ(run.Status, 0) << run.Err;
    const std::string& out = run.Out;
    EXPECT_NE(out.find("exchange 0\n"), std::string::npos) << out;
    EXPECT_NE(out.find("set 0\n"), std::string::npos) << out;
    const std::size_t second = out.find("run 2 (exchange)");
    ASSERT_NE(second, std::string::npos) << out;
    for (std::size_t from : {std::size_t{0}, second}) {
        EXPECT_NEAR(RowMs(out, "CAS end -> ACK start", from), 40, 2) << out;
        EXPECT_NEAR(RowMs(out, "ACK length", from), 60, 2) << out;
        EXPECT_NEAR(RowMs(out, "ACK end -> data", from), 100, 2) << out;
    }
    const std::size_t set = out.find("run 1 (set)");
    ASSERT_NE(set, std::string::npos) << out;
    EXPECT_NEAR(RowMs(out, "CAS length", set), 80, 2) << out;
    EXPECT_NEAR(RowMs(out, "ACK end -> data", set), 100, 2) << out;
    EXPECT_NE(out.find("  message          CORR 80 20 01 08 31 32 30 37 30 39 33 30 02 0A 38 30 "
                       "30 35 35 35 31 32 31 32 07 08 4A 4F 48 4E 20 44 4F 45 82\n",
                       set),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("summary: 2 runs, 0 without data read in the window"), std::string::npos);
}

// A scripted set on the other end of standard input and output: it answers
// every block it reads with a block from a prepared track, which holds a D
// from 40 ms to 100 ms after the CAS (the exchange writes its first 1 ms
// before it reads, the round trip it takes out). The data must start 100 ms
// after the ACK.
TEST(CliLine, ExchangeAgainstAScriptedPeer) {
    constexpr double kRate = 8000;
    constexpr int kCasEnd = 640;                   // 80 ms, no SAS
    constexpr int kAckStart = kCasEnd + 320;       // 40 ms later
    constexpr int kAckEnd = kAckStart + 480;       // 60 ms long
    constexpr int kDataStart = kAckEnd + 800 - 8;  // 100 ms, less the 1 ms lead heard late
    std::vector<int16_t> track(static_cast<std::size_t>(kRate * 4), 0);
    for (int i = kAckStart; i < kAckEnd; ++i) {
        const double t = (i - kAckStart) / kRate;
        track[static_cast<std::size_t>(i)] = static_cast<int16_t>(
            std::lround(8000 * (std::sin(2 * M_PI * 941 * t) + std::sin(2 * M_PI * 1633 * t))));
    }
    test::TTempDir dir;
    const std::string errPath = (dir / "err").string();
    test::TChild child = test::Spawn({"line", "exchange", "--no-sas", "--input", "-", "--output",
                                      "-", "--date", "1207", "--time", "0930"},
                                     errPath);
    ASSERT_GT(child.Pid, 0);
    std::vector<int16_t> heard;
    std::size_t answered = 0;
    char bytes[8192];
    std::string pending;
    for (;;) {
        const ssize_t n = read(child.Out, bytes, sizeof bytes);
        if (n <= 0) {
            break;
        }
        pending.append(bytes, static_cast<std::size_t>(n));
        const std::size_t samples = pending.size() / 2;
        for (std::size_t i = 0; i < samples; ++i) {
            heard.push_back(static_cast<int16_t>(static_cast<uint8_t>(pending[2 * i]) |
                                                 static_cast<uint8_t>(pending[2 * i + 1]) << 8));
        }
        pending.erase(0, samples * 2);
        std::vector<int16_t> answer(samples, 0);
        for (std::size_t i = 0; i < samples && answered + i < track.size(); ++i) {
            answer[i] = track[answered + i];
        }
        answered += samples;
        if (child.In >= 0 && write(child.In, answer.data(), answer.size() * 2) !=
                                 static_cast<ssize_t>(answer.size() * 2)) {
            close(child.In);
            child.In = -1;
        }
    }
    if (child.In >= 0) {
        close(child.In);
    }
    close(child.Out);
    int status = 0;
    waitpid(child.Pid, &status, 0);
    const std::string report = test::ReadFile(errPath);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << report;
    EXPECT_NEAR(RowMs(report, "CAS end -> ACK start"), 40, 2) << report;
    EXPECT_NEAR(RowMs(report, "ACK length"), 60, 2) << report;
    EXPECT_NEAR(RowMs(report, "ACK end -> data"), 100, 2) << report;
    // the exchange's own output: CAS, quiet, then the data at its sample
    ASSERT_GT(heard.size(), static_cast<std::size_t>(kDataStart + 100));
    EXPECT_NE(heard[101], 0);
    std::size_t first = kCasEnd;
    while (first < heard.size() && heard[first] == 0) {
        ++first;
    }
    // the burst starts at sin(0); the ACK's end is measured within 2 ms
    EXPECT_NEAR(static_cast<double>(first), kDataStart + 1, 2 * kRate / 1000);
}

// WAV streams both ways: the exchange hears a quiet WAV file and writes its
// own as a WAV file (the sizes completed at the end), which listen reads; the
// set reads the same file, hears the CAS and, although its answer goes
// nowhere, times and reads the data that was sent regardless.
TEST(CliLine, WavStreams) {
    test::TTempDir dir;
    const std::string quiet = (dir / "quiet.wav").string(), sent = (dir / "sent.wav").string();
    Bytes header = "RIFF";
    const auto le = [&](uint32_t v, int n) {
        for (int i = 0; i < n; ++i) {
            header += static_cast<char>((v >> (8 * i)) & 0xFF);
        }
    };
    const uint32_t samples = 16000;
    le(36 + samples * 2, 4);
    header += "WAVEfmt ";
    le(16, 4), le(1, 2), le(1, 2), le(8000, 4), le(16000, 4), le(2, 2), le(16, 2);
    header += "data";
    le(samples * 2, 4);
    test::WriteFile(quiet, header + Bytes(samples * 2, '\0'));
    const TRun exchange =
        RunCli("line exchange --no-ack-wait --wav --input " + quiet + " --output " + sent + kCall);
    EXPECT_EQ(exchange.Status, 0) << exchange.Err;
    const TRun heard = RunCli("listen --input " + sent);
    EXPECT_EQ(heard.Status, 0) << heard.Err;
    EXPECT_NE(
        heard.Out.find("0.000s SAS 300.3 ms 440.0 Hz -12.0 dBFS\n0.300s CAS 79.9 ms 2130.0 Hz "
                       "-12.0 dBFS + 2750.0 Hz -12.0 dBFS\n"),
        std::string::npos)
        << heard.Out;
    EXPECT_NE(heard.Out.find("Calling Number: 8005551212; Calling Name: JOHN DOE\n"),
              std::string::npos)
        << heard.Out;
    const TRun set = RunCli("line set --input " + sent + " --output /dev/null");
    EXPECT_EQ(set.Status, 0) << set.Err;
    EXPECT_NEAR(RowMs(set.Out, "CAS length"), 80, 2) << set.Out;
    // the data left 210 ms after the CAS (a nominal ACK of 60 ms 50 ms after
    // it, then 100 ms): 100 ms after this set's own answer ended
    EXPECT_NEAR(RowMs(set.Out, "ACK end -> data"), 100, 2) << set.Out;
    EXPECT_NE(set.Out.find("summary: 1 run, 0 without data read in the window"), std::string::npos)
        << set.Out;
}

TEST(CliLine, UsageErrors) {
    const struct {
        const char* Arguments;
        const char* Error;
    } cases[] = {
        {"line exchange --ack-delay-ms 10", "ringlark-cli: --ack-delay-ms needs --simulate-set\n"},
        {"line exchange --input -", "ringlark-cli: --input and --output go together\n"},
        {"line set --input - --output - --device 1",
         "ringlark-cli: --device and --input/--output cannot be used together\n"},
        {"line exchange --simulate-set --output x --input y",
         "ringlark-cli: --simulate-set needs no sound device and no streams\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Arguments);
        const TRun run = RunCli(c.Arguments);
        EXPECT_EQ(run.Status, 2);
        EXPECT_EQ(run.Err, c.Error);
    }
    const TRun missing = RunCli("line set --input /nonexistent/in.raw --output -");
    EXPECT_EQ(missing.Status, 1);
    EXPECT_EQ(missing.Err, "Cannot open file /nonexistent/in.raw: No such file or directory\n");
}

// The exchange on the sound card, its output captured by ALSA's file plugin
// and its input fed from a file of quiet: with --no-ack-wait it plays SAS,
// CAS and the data, which listen then reads from the capture.
TEST(CliLine, ExchangeOnTheSoundCard) {
    test::TTempDir dir;
    const auto home = dir / "home";
    std::filesystem::create_directories(home);
    test::WriteFile(dir / "in.raw", Bytes(16000, '\0'));
    const std::string out = (dir / "out.raw").string();
    const std::string plug =
        "    type plug\n    slave { pcm \"%s\" format S16_LE rate 8000 "
        "channels 1 }\n";
    const auto slave = [&](const char* name) {
        std::string text = plug;
        text.replace(text.find("%s"), 2, name);
        return text;
    };
    test::WriteFile(home / ".asoundrc",
                    "pcm.!default {\n  type asym\n  playback.pcm {\n" + slave("outfile") +
                        "  }\n  capture.pcm {\n" + slave("infile") +
                        "  }\n}\n"
                        "pcm.outfile {\n  type file\n  slave.pcm \"null\"\n  file \"" +
                        out +
                        "\"\n  format \"raw\"\n}\n"
                        "pcm.infile {\n  type file\n  slave.pcm \"null\"\n  file \"/dev/null\"\n"
                        "  infile \"" +
                        (dir / "in.raw").string() + "\"\n  format \"raw\"\n}\n");
    const TRun run =
        RunShell("ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 HOME=" + home.string() +
                 " CLI line exchange --rate 8000 --latency-ms 0 " + "--no-ack-wait" + kCall);
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(Squeezed(run.Out).find("\n verdict none data sent\n"), std::string::npos) << run.Out;
    const TRun heard = RunCli("listen --raw s16le --rate 8000 --input " + out);
    EXPECT_EQ(heard.Status, 0) << heard.Err;
    EXPECT_NE(heard.Out.find("s SAS 300."), std::string::npos) << heard.Out;
    EXPECT_NE(heard.Out.find("s CAS 79.9 ms 2130.0 Hz -12.0 dBFS + 2750.0 Hz -12.0 dBFS\n"),
              std::string::npos)
        << heard.Out;
    EXPECT_NE(heard.Out.find("Calling Number: 8005551212; Calling Name: JOHN DOE\n"),
              std::string::npos)
        << heard.Out;
}

}  // namespace
}  // namespace ringlark
