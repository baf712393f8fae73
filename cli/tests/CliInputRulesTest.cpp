// What ringlark-cli sends and reads at the edges: names and numbers a
// standard cannot carry, samples that are not numbers, WAV headers with no
// data size, files that are not recordings, and the reasons it gives.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <nlohmann/json.hpp>

#include "cli/tests/CliRun.h"
#include "core/Bytes.h"
#include "tests/support/TestSupport.h"

namespace ringlark {
namespace {

using test::RunCli;
using test::RunShell;
using test::TRun;

const std::string kClock = " --date 0101 --time 1200";

// An 8-bit image's samples as a 32-bit float mono WAV file at 44100/s, each
// scaled by `scale`, and sample `bad` (if any) replaced by `value`.
Bytes FloatWav(const Bytes& image, float scale, std::size_t bad = 0, float value = 0) {
    Bytes data;
    for (std::size_t i = 44; i < image.size(); ++i) {
        float v = (static_cast<float>(static_cast<uint8_t>(image[i])) - 128.0f) / 128.0f * scale;
        if (bad != 0 && i - 44 == bad) {
            v = value;
        }
        char bytes[4];
        std::memcpy(bytes, &v, 4);
        data.append(bytes, 4);
    }
    Bytes header = "RIFF....WAVEfmt ....................data....";
    WriteLe32(header, 4, static_cast<uint32_t>(36 + data.size()));
    WriteLe32(header, 16, 16);
    WriteLe16(header, 20, 3);  // IEEE float
    WriteLe16(header, 22, 1);
    WriteLe32(header, 24, 44100);
    WriteLe32(header, 28, 44100 * 4);
    WriteLe16(header, 32, 4);
    WriteLe16(header, 34, 32);
    WriteLe32(header, 40, static_cast<uint32_t>(data.size()));
    return header + data;
}

class CliInputRules : public ::testing::Test {
  protected:
    test::TTempDir dir;
    std::string Path(const std::string& name) const { return (dir / name).string(); }
    // The example message's image, as generated.
    Bytes Image(const std::string& options) {
        const TRun run =
            RunCli("generate mdmf --number 5551212 --name ANNA" + kClock + " " + options + " -o -");
        EXPECT_EQ(run.Status, 0) << run.Err;
        return run.Out;
    }
};

const char* const kAnnaHex =
    "80 19 01 08 30 31 30 31 31 32 30 30 02 07 35 35 35 31 32 31 32 07 04 41 4E 4E 41 42";

TEST_F(CliInputRules, AccentedNamesAreSentAsTheirBaseLettersAndDecodeEverywhere) {
    for (const std::string standard : {"bell", "etsi"}) {
        const auto wav = Path(standard + ".wav");
        const TRun made = RunCli("generate mdmf --standard " + standard +
                                 " --number 123 --name 'José Müller'" + kClock + " -o " + wav);
        EXPECT_EQ(made.Status, 0);
        EXPECT_EQ(made.Err,
                  "ringlark-cli: warning: --name \"José Müller\" is sent as \"JOSE MULLER\" (a "
                  "caller-ID name holds ASCII only)\n");
        const std::string fields = "Calling Number: 123; Calling Name: JOSE MULLER";
        for (const std::string way :
             {"listen --input ", "analyze --all ", "analyze --any-format --all "}) {
            const TRun read = RunCli(way + wav);
            EXPECT_EQ(read.Status, 0) << way << standard;
            EXPECT_NE(read.Out.find(fields), std::string::npos) << way << standard << read.Out;
        }
    }
    // without upper case the letters keep their case; ß is "ss"
    const TRun lower =
        RunCli("generate mdmf --number 1 --name 'Straße' --no-uppercase" + kClock + " --json");
    EXPECT_NE(nlohmann::json::parse(lower.Out)["message"].get<std::string>().find(
                  "07 07 53 74 72 61 73 73 65"),
              std::string::npos)
        << lower.Out;
    // a character with no ASCII form is refused; --no-filter sends the bytes as typed
    const TRun refused = RunCli("generate mdmf --number 1 --name 'Zhang 李' -o " + Path("z.wav"));
    EXPECT_EQ(refused.Status, 2);
    EXPECT_EQ(refused.Err,
              "ringlark-cli: --name: \"李\" cannot be sent; a caller-ID name holds letters, "
              "digits, spaces and ASCII punctuation only\n");
    EXPECT_FALSE(std::filesystem::exists(Path("z.wav")));
    const TRun raw =
        RunCli("generate mdmf --number 1 --name 'Jé' --no-filter --date '' --time '' --json");
    EXPECT_EQ(raw.Err, "");
    EXPECT_EQ(nlohmann::json::parse(raw.Out)["message"], "80 09 01 08 02 01 31 07 02 4A E9 FE");
}

TEST_F(CliInputRules, DtmfNumbersSayWhatIsSent) {
    const TRun ext = RunCli("generate mdmf --standard dtmf --number '555-1212 ext. 9'");
    EXPECT_EQ(ext.Status, 0);
    EXPECT_EQ(ext.Out, "A55512129C\n");
    EXPECT_EQ(ext.Err,
              "ringlark-cli: warning: --number \"555-1212 ext. 9\" is sent as A55512129C (DTMF "
              "caller ID sends the digits 0-9 only)\n");
    const TRun keys = RunCli("generate mdmf --standard dtmf --number '12AB#*CD'");
    EXPECT_EQ(keys.Out, "A12C\n");
    EXPECT_NE(keys.Err.find("is sent as A12C"), std::string::npos) << keys.Err;
    // the usual separators go without a word
    const TRun plain = RunCli("generate mdmf --standard dtmf --number '+1 (800) 555-12.12'");
    EXPECT_EQ(plain.Out, "A18005551212C\n");
    EXPECT_EQ(plain.Err, "");
    // no digit at all: refused (Arabic-Indic digits are not 0-9)
    const TRun arabic = RunCli("generate mdmf --standard dtmf --number '٠١٢'");
    EXPECT_EQ(arabic.Status, 2);
    EXPECT_EQ(arabic.Err,
              "ringlark-cli: --number \"٠١٢\" holds no digit 0-9; DTMF caller ID sends digits "
              "only\n");
    // 300 digits: DTMF has no length byte to wrap
    const TRun longer = RunCli("generate mdmf --standard dtmf --number " + std::string(300, '7'));
    EXPECT_EQ(longer.Status, 0);
    EXPECT_EQ(longer.Err, "");
    EXPECT_EQ(longer.Out, "A" + std::string(300, '7') + "C\n");
    const TRun empty = RunCli("generate mdmf --standard dtmf --number 1 --dtmf-framing ''");
    EXPECT_EQ(empty.Status, 2);
    EXPECT_EQ(empty.Err, "ringlark-cli: --dtmf-framing must be ac, a-hash, dc or hash\n");
    EXPECT_EQ(RunCli("generate mdmf --number 1 --dtmf-framing ''").Status, 2);
}

TEST_F(CliInputRules, SamplesThatAreNotNumbersCountAsSilence) {
    const Bytes image = Image("");
    const std::vector<std::pair<std::string, Bytes>> files = {
        {"nan.wav", FloatWav(image, 1, 100, std::numeric_limits<float>::quiet_NaN())},
        {"inf.wav", FloatWav(image, 1, 5000, std::numeric_limits<float>::infinity())},
        {"huge.wav", FloatWav(image, 1e19f)},
    };
    for (const auto& [name, bytes] : files) {
        test::WriteFile(Path(name), bytes);
        const TRun any = RunCli("analyze --any-format --hex " + Path(name));
        EXPECT_EQ(any.Status, 0) << name;
        EXPECT_EQ(any.Out, std::string("CORR ") + kAnnaHex + "\n") << name;
    }
    // measured as the clean signal is
    test::WriteFile(Path("clean.wav"), FloatWav(image, 1));
    const TRun clean = RunCli("listen --measure --json --input " + Path("clean.wav"));
    const TRun nan = RunCli("listen --measure --json --input " + Path("nan.wav"));
    ASSERT_EQ(nan.Status, 0) << nan.Err;
    const auto a = nlohmann::json::parse(clean.Out)["measures"];
    const auto b = nlohmann::json::parse(nan.Out)["measures"];
    EXPECT_EQ(b["seizure_bits"], 300);
    EXPECT_NEAR(b["mark_dbfs"].get<double>(), a["mark_dbfs"].get<double>(), 0.05);
    EXPECT_EQ(b["snr_db"], a["snr_db"]);
    EXPECT_EQ(b["seizure_bits"], a["seizure_bits"]);
}

TEST_F(CliInputRules, AWavWithNoDataSizeIsReadToItsEndEverywhere) {
    for (const std::string kind : {"8bit", "float"}) {
        Bytes image = kind == "8bit" ? Image("") : FloatWav(Image(""), 1);
        WriteLe32(image, 40, 0);
        const auto wav = Path(kind + ".wav");
        test::WriteFile(wav, image);
        const std::string line = "0.400s CORR";
        EXPECT_EQ(RunCli("listen --input " + wav).Out.rfind(line, 0), 0u) << kind;
        EXPECT_EQ(RunCli("listen --input - < " + wav).Out.rfind(line, 0), 0u) << kind;
        EXPECT_EQ(RunCli("analyze --any-format --hex " + wav).Out,
                  std::string("CORR ") + kAnnaHex + "\n")
            << kind;
        EXPECT_EQ(RunShell("cat " + wav + " | CLI analyze --any-format --hex -").Out,
                  std::string("CORR ") + kAnnaHex + "\n")
            << kind;
    }
}

TEST_F(CliInputRules, FifosAreRefusedByAnyFormatAnalysis) {
    ASSERT_EQ(mkfifo(Path("fifo.wav").c_str(), 0600), 0);
    test::WriteFile(Path("a.wav"), Image(""));
    const TRun one = RunCli("analyze --any-format --hex " + Path("fifo.wav"));
    EXPECT_EQ(one.Status, 1);
    EXPECT_EQ(one.Err, "Cannot open file " + Path("fifo.wav") + ": it is not a regular file\n");
    const TRun batch = RunCli("analyze --any-format " + Path("fifo.wav") + " " + Path("a.wav"));
    EXPECT_EQ(batch.Status, 1);
    EXPECT_EQ(batch.Out, Path("fifo.wav") + ": error: Cannot open file " + Path("fifo.wav") +
                             ": it is not a regular file\n" + Path("a.wav") + ": CORR " + kAnnaHex +
                             "\n");
}

TEST_F(CliInputRules, ErrorsSayWhy) {
    const TRun missing = RunCli("analyze --any-format " + Path("none.wav"));
    EXPECT_EQ(missing.Err,
              "Cannot open file " + Path("none.wav") + ": No such file or directory\n");
    EXPECT_EQ(RunCli("analyze " + Path("none.wav")).Err,
              "Cannot open file " + Path("none.wav") + ": No such file or directory\n");
    test::WriteFile(Path("notes.txt"), "not a sound");
    EXPECT_EQ(RunCli("analyze --any-format " + Path("notes.txt")).Err,
              "Cannot open file " + Path("notes.txt") + ": Format not recognised\n");
    std::filesystem::create_directories(Path("folder"));
    EXPECT_EQ(RunCli("listen --input " + Path("folder")).Err,
              "Cannot open file " + Path("folder") + ": it is a folder\n");
    const TRun create = RunCli("generate sdmf -o " + Path("none/x.wav"));
    EXPECT_EQ(create.Status, 1);
    EXPECT_EQ(create.Err,
              "Cannot create file " + Path("none/x.wav") + ": No such file or directory\n");
    EXPECT_EQ(RunCli("generate sdmf --force -o " + Path("folder")).Err,
              "Cannot create file " + Path("folder") + ": it is a folder\n");
}

TEST_F(CliInputRules, StandardInputInABatchAndNewLinesInNames) {
    test::WriteFile(Path("a.wav"), Image(""));
    const TRun run = RunShell("cat " + Path("a.wav") + " | CLI analyze - " + Path("a.wav"));
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, std::string("-: ZCA ") + kAnnaHex + "\n" + Path("a.wav") + ": ZCA " +
                           kAnnaHex + "\n");
    std::filesystem::create_directories(Path("d"));
    test::WriteFile(Path("d/new\nline.wav"), Image(""));
    const TRun named = RunCli("analyze " + Path("d"));
    EXPECT_EQ(named.Out, Path("d") + "/new\\nline.wav: ZCA " + kAnnaHex + "\n");
}

TEST_F(CliInputRules, NothingToAnalyseSaysWhatWasSkipped) {
    std::filesystem::create_directories(Path("empty"));
    const TRun empty = RunCli("analyze " + Path("empty"));
    EXPECT_EQ(empty.Status, 3);
    EXPECT_EQ(empty.Out, "");
    EXPECT_EQ(empty.Err,
              "ringlark-cli: no files to analyse in " + Path("empty") + " (nothing in it)\n");
    std::filesystem::create_directories(Path("flac/sub"));
    for (const char* name : {"a.flac", "b.flac", "c.FLAC"}) {
        test::WriteFile(Path("flac/" + std::string(name)), "fLaC");
    }
    test::WriteFile(Path("flac/notes.txt"), "x");
    const TRun flac = RunCli("analyze " + Path("flac"));
    EXPECT_EQ(flac.Status, 3);
    EXPECT_EQ(flac.Err, "ringlark-cli: no files to analyse in " + Path("flac") +
                            " (3 skipped: not .wav; add --any-format; 1 skipped: not "
                            "recordings; 1 sub-folder: add --recursive)\n");
}

}  // namespace
}  // namespace ringlark
