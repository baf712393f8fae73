// ringlark-cli fed what users should not, but do: each case once crashed,
// blocked, replaced a file or reported success falsely.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/CliFormat.h"
#include "cli/tests/CliRun.h"
#include "core/WavImage.h"
#include "generation/FskSynth.h"
#include "generation/MessageBuilder.h"
#include "generation/SignalImage.h"
#include "tests/support/TestSupport.h"

namespace ringlark {
namespace {

using test::RunCli;
using test::TRun;

// Inputs that once crashed, blocked, replaced files or reported success falsely.
class CliHostileInput : public ::testing::Test {
  protected:
    test::TTempDir dir;
    std::string Path(const std::string& name) const { return (dir / name).string(); }
};

TEST_F(CliHostileInput, GenerateReplacesOnlyWithForceAndNeedsAName) {
    const auto path = Path("x.wav");
    const std::string fields = " --number 5551234 --date 0101 --time 1200 -o " + path;
    ASSERT_EQ(RunCli("generate sdmf" + fields).Status, 0);
    const Bytes first = test::ReadFile(path);
    const TRun again = RunCli("generate mdmf" + fields);
    EXPECT_EQ(again.Status, 1);
    EXPECT_EQ(again.Err, "File " + path + " exists; use --force to replace it\n");
    EXPECT_EQ(test::ReadFile(path), first);
    EXPECT_EQ(RunCli("generate mdmf --force" + fields).Status, 0);
    EXPECT_NE(test::ReadFile(path), first);
    const TRun empty = RunCli("generate sdmf -o \"\"");
    EXPECT_EQ(empty.Status, 2);
    EXPECT_EQ(RunCli("workshop --from mdmf -o \"\"").Status, 2);
}

TEST_F(CliHostileInput, StandardOutputAndInput) {
    const TRun image = RunCli("generate sdmf --number 12-34 --date 0101 --time 1200 -o -");
    ASSERT_EQ(image.Status, 0) << image.Err;
    EXPECT_EQ(image.Out.size(), 23197u);
    test::WriteFile(Path("x.wav"), image.Out);
    // through a pipe, both as "-" and as /dev/stdin
    for (const char* name : {"-", "/dev/stdin"}) {
        const TRun piped =
            RunCli("analyze --hex " + std::string(name) + " < /dev/null; cat " + Path("x.wav") +
                   " | " + RINGLARK_CLI_PATH + " analyze --hex " + name);
        EXPECT_EQ(piped.Out.substr(piped.Out.find("ZCA")),
                  "ZCA 04 0C 30 31 30 31 31 32 30 30 31 32 33 34 A1\n")
            << name << piped.Err;
    }
    EXPECT_EQ(RunCli("workshop --from mdmf --number 5 --date 0101 --time 1200 -o -").Out,
              "$01=01011200\r\n$02=5\r\n$07=\r\n");
}

TEST_F(CliHostileInput, EmptyDateAndTimeAreSentEmpty) {
    const TRun run = RunCli("generate mdmf --number 1 --date \"\" --time \"\" --json");
    ASSERT_EQ(run.Status, 0) << run.Err;
    // the date/time parameter keeps its length byte 8 with nothing after it
    EXPECT_EQ(nlohmann::json::parse(run.Out)["message"], "80 07 01 08 02 01 31 07 00 35");
}

TEST_F(CliHostileInput, NonUtf8FileNameInJsonIsKeptInHex) {
    const std::string name = Path("bad\xff.wav");
    const TRun run = RunCli("generate mdmf --number 1 --name X --json -o '" + name + "'");
    ASSERT_EQ(run.Status, 0) << run.Err;
    const auto json = nlohmann::json::parse(run.Out);
    EXPECT_EQ(json["file_hex"], cli::HexString(name));
    EXPECT_EQ(test::ReadFile(name).size(), 44u + json["samples"].get<std::size_t>());
}

TEST_F(CliHostileInput, WrappedLengthsAreWarnedAbout) {
    const TRun run = RunCli("generate mdmf --number 1 --date 0101 --time 1200 --name " +
                            std::string(250, 'A') + " -o " + Path("long.wav"));
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Err,
              "ringlark-cli: warning: The message body is 265 bytes long; its length byte "
              "holds 9\n");
}

TEST_F(CliHostileInput, CutOffMessageIsPrintedButNotASuccess) {
    const TRun image = RunCli("generate sdmf --number 5551234 --date 0101 --time 1200 -o -");
    ASSERT_EQ(image.Status, 0);
    // cut in the middle of the checksum byte's frame
    Bytes cut = image.Out.substr(0, image.Out.size() - 200);
    WriteWavHeader(cut);
    test::WriteFile(Path("cut.wav"), cut);
    const TRun hex = RunCli("analyze --hex " + Path("cut.wav"));
    EXPECT_EQ(hex.Status, 3);
    EXPECT_EQ(hex.Out.substr(0, 3), "ZCA");
    const TRun json = RunCli("analyze --json " + Path("cut.wav"));
    EXPECT_EQ(json.Status, 3);
    EXPECT_EQ(nlohmann::json::parse(json.Out)["checksum"], false);
}

TEST_F(CliHostileInput, Utf16ScriptAndFifoAreRefusedWithTheReason) {
    test::WriteFile(Path("u16.CID"), Bytes("\xFF\xFE$\0"
                                           "0\0"
                                           "1\0",
                                           8));
    const TRun utf16 =
        RunCli("generate workshop --script " + Path("u16.CID") + " -o " + Path("w.wav"));
    EXPECT_EQ(utf16.Status, 1);
    EXPECT_EQ(utf16.Err, "Cannot open file " + Path("u16.CID") +
                             ": it is UTF-16 text; save the script as single-byte (ANSI) text\n");
    ASSERT_EQ(mkfifo(Path("fifo.CID").c_str(), 0600), 0);
    const TRun fifo =
        RunCli("generate workshop --script " + Path("fifo.CID") + " -o " + Path("w.wav"));
    EXPECT_EQ(fifo.Status, 1);
    EXPECT_EQ(fifo.Err, "Cannot open file " + Path("fifo.CID") + ": it is not a regular file\n");
}

TEST_F(CliHostileInput, LargeWavFilesAreRefusedFromTheirHeader) {
    // 1.1 GB of samples at 22050/s would make a 2.2 GB image: refused for that
    // reason, from the header of a sparse file, without reading the samples.
    Bytes header(44, '\0');
    WriteWavHeader(header);
    WriteLe32(header, 24, 22050);
    WriteLe32(header, 28, 22050);
    const uint32_t samples = 1100000000u;
    WriteLe32(header, 40, samples);
    const auto path = Path("big.wav");
    test::WriteFile(path, header);
    ASSERT_EQ(truncate(path.c_str(), 44 + static_cast<off_t>(samples)), 0);
    const TRun run = RunCli("analyze --hex " + path);
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Err,
              "WAV file too large!\nConverted to 44100 samples per second it would take 2 GB or "
              "more.\n");
}

}  // namespace
}  // namespace ringlark
