// Runs ringlark-cli as a fresh process, as users do.
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

TEST(CliGenerate, SdmfExampleFileInAFreshProcess) {
    test::TTempDir dir;
    const auto path = (dir / "x.wav").string();
    const TRun run = RunCli("generate sdmf --number 12-34 --date 0101 --time 1200 -o " + path);
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, "");
    const Bytes file = test::ReadFile(path);
    ASSERT_EQ(file.size(), 23197u);
    EXPECT_EQ(file.substr(4, 4), test::HexBytes("95 5A 00 00"));   // 23189
    EXPECT_EQ(file.substr(40, 4), test::HexBytes("71 5A 00 00"));  // 23153
    EXPECT_EQ(file.substr(44, 8), test::HexBytes("80 93 A4 B2 BB BE BB B3"));
    TFskSynth fresh;
    EXPECT_EQ(file,
              SynthesiseImage(fresh, test::HexBytes("04 0C 30 31 30 31 31 32 30 30 31 32 33 34 A1"),
                              TSignalling::OnHook));
}

TEST(CliGenerate, StatusFormWithoutOutput) {
    const TRun run = RunCli("generate sdmf --private --long-distance --date 0101 --time 1200");
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Out, "..01011200L\"\n");
    const TRun mdmf = RunCli("generate mdmf --number 12-34 --name bob --date 0101 --time 1200");
    EXPECT_EQ(mdmf.Out, "\xE2\x82\xAC...01011200..1234..BOB0\n");
}

TEST(CliGenerate, InspectJson) {
    const TRun run = RunCli("generate vmwi-on --inspect --json");
    ASSERT_EQ(run.Status, 0) << run.Err;
    const auto json = nlohmann::json::parse(run.Out);
    EXPECT_EQ(json["rows"].size(), 6u);
    EXPECT_EQ(json["rows"][4]["notes"], "VMWI Status: On");
}

TEST(CliGenerate, CallWaitingChangesOnlyTheMiscKinds) {
    const TRun run = RunCli("generate test --call-waiting --json");
    ASSERT_EQ(run.Status, 0) << run.Err;
    const auto json = nlohmann::json::parse(run.Out);
    EXPECT_EQ(json["samples"], 29547 + 5513);  // 150 bits, 37 of them short
    EXPECT_EQ(json["message"], "81 0C 02 0A 30 31 32 33 34 35 36 37 38 39 5A");
    const TRun refused = RunCli("generate sdmf --call-waiting");
    EXPECT_EQ(refused.Status, 2);
    EXPECT_NE(refused.Err.find("--call-waiting applies only to"), std::string::npos);
}

TEST(CliGenerate, CannotCreateFileIsARuntimeError) {
    const TRun run = RunCli("generate sdmf -o /nonexistent-folder/x.wav");
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Err, "Cannot create file /nonexistent-folder/x.wav: No such file or directory\n");
}

TEST(CliGenerate, UsageErrors) {
    EXPECT_EQ(RunCli("generate fax").Status, 2);
    EXPECT_EQ(RunCli("generate sdmf --clip 5 --no-clip").Status, 2);
    EXPECT_EQ(RunCli("generate sdmf --amplitude 99999999999").Status, 2);
    EXPECT_EQ(RunCli("").Status, 2);
    EXPECT_EQ(RunCli("--help").Status, 0);
}

TEST(CliInspect, TableAndMalformedHex) {
    const TRun run = RunCli("inspect 82 03 0b 01 ff 70");
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(run.Out.find("5     FF   255      11111111           \xC3\xBF      VMWI Status: On"),
              std::string::npos)
        << run.Out;
    const TRun bad = RunCli("inspect '82 0x3'");
    EXPECT_EQ(bad.Status, 2);
    EXPECT_EQ(bad.Err,
              "ringlark-cli: malformed hex in argument 1 at character 5: 'x' is not a hexadecimal "
              "digit\n");
}

}  // namespace
}  // namespace ringlark

namespace ringlark {
namespace {

TEST(CliWorkshop, GenerateFromScript) {
    test::TTempDir dir;
    const auto script = (dir / "bob.CID").string();
    test::WriteFile(script, "$07=BOB\r\n$0B=\xFF\r\n");
    const TRun run = RunCli("generate workshop --script " + script + " --json");
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(nlohmann::json::parse(run.Out)["message"], "80 08 07 03 42 4F 42 0B 01 FF 90");

    const auto empty = (dir / "empty.CID").string();
    test::WriteFile(empty, "");
    const TRun blank = RunCli("generate workshop --script " + empty + " --call-waiting --json");
    ASSERT_EQ(blank.Status, 0) << blank.Err;
    const auto json = nlohmann::json::parse(blank.Out);
    EXPECT_EQ(json["message"], "80 02 00 00 7E");
    EXPECT_EQ(json["samples"], 29547 + 50 * 37 - 12);  // 50 bits, 12 of them short

    EXPECT_EQ(RunCli("generate workshop").Status, 2);
    const TRun missing = RunCli("generate workshop --script " + (dir / "none.CID").string());
    EXPECT_EQ(missing.Status, 1);
    EXPECT_EQ(missing.Err,
              "Cannot open file " + (dir / "none.CID").string() + ": No such file or directory\n");
}

TEST(CliWorkshop, TransferWritesTheScript) {
    test::TTempDir dir;
    const auto path = (dir / "t.CID").string();
    const std::string options =
        " --number 800-555-1212 --name 'John Doe' --date 1207 --time 0930 -o " + path;
    const TRun run = RunCli("workshop --from mdmf" + options);
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(test::ReadFile(path), "$01=12070930\r\n$02=800-555-1212\r\n$07=John Doe\r\n");

    const TRun again = RunCli("workshop --from cwcid --private" + options);
    EXPECT_EQ(again.Status, 1);
    EXPECT_EQ(again.Err, "File " + path + " exists; use --force to replace it\n");
    const TRun forced = RunCli("workshop --from cwcid --private --long-distance --force" + options);
    ASSERT_EQ(forced.Status, 0) << forced.Err;
    EXPECT_EQ(test::ReadFile(path), "$01=12070930\r\n$04=P\r\n$08=P\r\n$06=L\r\n");
    EXPECT_EQ(RunCli("workshop --from sdmf -o " + path).Status, 2);
}

}  // namespace
}  // namespace ringlark

namespace ringlark {
namespace {

class CliAnalyze : public ::testing::Test {
  protected:
    std::string Generate(const std::string& kind, const std::string& options = "") {
        const auto path = (dir / (kind + ".wav")).string();
        const TRun run = RunCli("generate " + kind + " " + options + " -o " + path);
        EXPECT_EQ(run.Status, 0) << run.Err;
        return path;
    }
    test::TTempDir dir;
};

TEST_F(CliAnalyze, ReportOfAGeneratedFile) {
    const auto path = Generate("vmwi-on");
    const TRun run = RunCli("analyze " + path);
    EXPECT_EQ(run.Status, 0) << run.Err;
    // the control bytes 03, 0B and 01 show as spaces, 82 and FF as their characters
    EXPECT_EQ(run.Out,
              "Here is what I decoded:\n(Using Analysis Method 1)\n \n\xE2\x80\x9A   \xC3\xBFp\n \n"
              "Click INSPECT to see a detailed analysis!\n");
}

TEST_F(CliAnalyze, HexAndInspectAndJson) {
    const auto path = Generate("sdmf", "--number 12-34 --date 0101 --time 1200");
    EXPECT_EQ(RunCli("analyze --hex " + path).Out,
              "ZCA 04 0C 30 31 30 31 31 32 30 30 31 32 33 34 A1\n");
    const TRun inspect = RunCli("analyze --inspect " + path);
    EXPECT_NE(inspect.Out.find("Checksum (Passed)"), std::string::npos) << inspect.Out;
    const auto json = nlohmann::json::parse(RunCli("analyze --json " + path).Out);
    EXPECT_EQ(json["tag"], "ZCA");
    EXPECT_EQ(json["inspector"]["rows"][10]["notes"], "Number: 1234");
}

TEST_F(CliAnalyze, UnderstoodNothingExitsWith3) {
    Bytes silence(44, '\0');
    silence += Bytes(44100, '\x80');
    WriteWavHeader(silence);
    const auto path = (dir / "silence.wav").string();
    test::WriteFile(path, silence);
    const TRun run = RunCli("analyze --hex " + path);
    EXPECT_EQ(run.Status, 3);
    EXPECT_EQ(run.Out, "FAIL  |\n");
}

// Methods 1 and 2 check the structure too: a date "010q1200" whose checksum
// adds up is printed as read but is no decoded message.
TEST_F(CliAnalyze, AChecksumOverABrokenRuleExitsWith3) {
    TFskSynth synth;
    const Bytes message =
        FrameMessage(0x80, Bytes("\x01\x08", 2) + "010q1200" + Bytes("\x02\x04", 2) + "5512");
    const auto path = (dir / "broken.wav").string();
    SaveImageToFile(path, SynthesiseImage(synth, message, TSignalling::OnHook));
    const TRun hex = RunCli("analyze --hex " + path);
    EXPECT_EQ(hex.Status, 3);
    EXPECT_EQ(hex.Out, "ZCA " + cli::HexString(message) + "\n");
    const auto json = nlohmann::json::parse(RunCli("analyze --json " + path).Out);
    EXPECT_EQ(json["checksum"], false);
    EXPECT_EQ(json["broken_rule"], "invalid date/time");
}

TEST_F(CliAnalyze, RefusedMissingAndUsage) {
    Bytes stereo(44, '\0');
    stereo += "\x80\x80\x80\x80";
    WriteWavHeader(stereo);
    stereo[32] = 2;
    const auto path = (dir / "stereo.wav").string();
    test::WriteFile(path, stereo);
    // Methods 1 and 2 need the analyst's 8-bit mono image; the automatic
    // analysis reads what libsndfile reads (here two stereo frames: nothing).
    const TRun refused = RunCli("analyze --method zc " + path);
    EXPECT_EQ(refused.Status, 1);
    EXPECT_EQ(refused.Err, "Unsupported format!\nWAV file must be 8-bit mono.\n");
    EXPECT_EQ(refused.Out, "");
    const TRun automatic = RunCli("analyze --hex " + path);
    EXPECT_EQ(automatic.Status, 3);
    EXPECT_EQ(automatic.Out, "FAIL  |\n");
    // a header nothing reads: the loader's own refusal
    const auto garbage = (dir / "garbage.wav").string();
    test::WriteFile(garbage, Bytes(44, '\0') + "\x80\x80\x80\x80");
    const TRun unread = RunCli("analyze " + garbage);
    EXPECT_EQ(unread.Status, 1);
    EXPECT_EQ(unread.Err, "Unsupported format!\nWAV file must be 8-bit mono.\n");
    const TRun missing = RunCli("analyze " + (dir / "none.wav").string());
    EXPECT_EQ(missing.Status, 1);
    EXPECT_EQ(missing.Err,
              "Cannot open file " + (dir / "none.wav").string() + ": No such file or directory\n");
    EXPECT_EQ(RunCli("analyze").Status, 2);
    EXPECT_EQ(RunCli("analyze x.wav --method fsk").Status, 2);
}

TEST_F(CliAnalyze, OneMethodPrintsItsFrameListing) {
    const auto path = Generate("vmwi-off");
    const TRun run = RunCli("analyze --method peak " + path);
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Out.substr(0, 31), "0010000011  Dec: 130  ASC: \xE2\x80\x9A\n");
}

}  // namespace
}  // namespace ringlark

namespace ringlark {
namespace {

// A 16-bit stereo WAV at 48000/s made from a generated 44100 image.
void WriteStereo48k(const std::filesystem::path& path, const Bytes& image) {
    std::vector<int16_t> frames;
    const std::size_t n = image.size() - 44;
    for (std::size_t i = 0;; ++i) {
        const double position = static_cast<double>(i) * 44100.0 / 48000.0;
        const auto k = static_cast<std::size_t>(position);
        if (k + 1 >= n) {
            break;
        }
        const double f = position - static_cast<double>(k);
        const double v =
            ((ByteAt(image, 44 + k) - 128) * (1 - f) + (ByteAt(image, 45 + k) - 128) * f) / 128.0;
        frames.push_back(static_cast<int16_t>(v * 20000));
        frames.push_back(static_cast<int16_t>(v * 20000));
    }
    const auto dataBytes = static_cast<uint32_t>(frames.size() * 2);
    Bytes file = "RIFF";
    const auto put32 = [&file](uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            file += static_cast<char>((v >> (8 * i)) & 0xFF);
        }
    };
    const auto put16 = [&file](uint16_t v) {
        file += static_cast<char>(v & 0xFF);
        file += static_cast<char>(v >> 8);
    };
    put32(dataBytes + 36);
    file += "WAVEfmt ";
    put32(16);
    put16(1);
    put16(2);
    put32(48000);
    put32(48000 * 4);
    put16(4);
    put16(16);
    file += "data";
    put32(dataBytes);
    file.append(reinterpret_cast<const char*>(frames.data()), dataBytes);
    test::WriteFile(path, file);
}

TEST(CliMethod3, AnyFormatAllAndListing) {
    test::TTempDir dir;
    const auto path8 = (dir / "test-cw.wav").string();
    ASSERT_EQ(RunCli("generate test --call-waiting -o " + path8).Status, 0);
    EXPECT_EQ(RunCli("analyze --hex " + path8).Out,
              "CORR 81 0C 02 0A 30 31 32 33 34 35 36 37 38 39 5A\n");
    EXPECT_EQ(RunCli("analyze " + path8).Out.substr(0, 50),
              "Here is what I decoded:\n(Using Analysis Method 3)\n");
    const TRun all = RunCli("analyze --all " + path8);
    EXPECT_EQ(all.Status, 0);
    EXPECT_EQ(all.Out.substr(0, 16), "0.670s CORR q=1.");
    EXPECT_EQ(all.Out.substr(18),
              " 81 0C 02 0A 30 31 32 33 34 35 36 37 38 39 5A | Calling Number: 0123456789\n");
    const TRun listing = RunCli("analyze --method corr " + path8);
    EXPECT_EQ(listing.Out.substr(0, 29), "0100000011  Dec: 129  ASC: \xC2\x81");

    const auto path16 = dir / "stereo48k.wav";
    TFskSynth synth;
    WriteStereo48k(
        path16, SynthesiseImage(synth, test::HexBytes("82 03 0B 01 FF 70"), TSignalling::OnHook));
    // Without being asked: the 8-bit image is only methods 1 and 2's rule.
    const TRun plain = RunCli("analyze --hex " + path16.string());
    EXPECT_EQ(plain.Status, 0) << plain.Err;
    EXPECT_EQ(plain.Out, "CORR 82 03 0B 01 FF 70\n");
    const TRun refused = RunCli("analyze --method zc " + path16.string());
    EXPECT_EQ(refused.Status, 1);
    EXPECT_EQ(refused.Err, "Unsupported format!\nWAV file must be 8-bit mono.\n");
    const TRun any = RunCli("analyze --any-format --hex " + path16.string());
    EXPECT_EQ(any.Status, 0) << any.Err;
    EXPECT_EQ(any.Out, "CORR 82 03 0B 01 FF 70\n");
    const auto json =
        nlohmann::json::parse(RunCli("analyze --any-format --all --json " + path16.string()).Out);
    ASSERT_EQ(json.size(), 1u);
    EXPECT_EQ(json[0]["fields"], "VMWI Status: On");
    EXPECT_EQ(json[0]["uncertain"], false);
    EXPECT_GT(json[0]["quality"].get<double>(), 0.3);
    EXPECT_LE(json[0]["quality"].get<double>(), 1.0);
    EXPECT_NEAR(json[0]["seconds"].get<double>(), 0.4, 0.01);
    EXPECT_EQ(RunCli("analyze --any-format --method zc " + path16.string()).Status, 2);
    const TRun missing = RunCli("analyze --any-format " + (dir / "none.flac").string());
    EXPECT_EQ(missing.Status, 1);
    EXPECT_EQ(missing.Err,
              "Cannot open file " + (dir / "none.flac").string() + ": No such file or directory\n");
}

TEST(CliMethod3, NoiseGivesNoMessages) {
    test::TTempDir dir;
    Bytes noise(44, '\0');
    uint32_t state = 7;
    for (int i = 0; i < 44100; ++i) {
        state = state * 1664525u + 1013904223u;
        noise += static_cast<char>(96 + (state >> 26));
    }
    WriteWavHeader(noise);
    const auto path = (dir / "noise.wav").string();
    test::WriteFile(path, noise);
    const TRun all = RunCli("analyze --all " + path);
    EXPECT_EQ(all.Status, 3);
    EXPECT_EQ(all.Out, "");
}

}  // namespace
}  // namespace ringlark
namespace ringlark {
namespace {

// The manual page lists every sub-command and every option that the program's
// own help lists, and every exit status.
TEST(CliManualPage, ListsEveryOptionOfEverySubCommand) {
    Bytes page = test::ReadFile(RINGLARK_MAN_PAGE);
    for (std::size_t at; (at = page.find("\\-")) != Bytes::npos;) {
        page.replace(at, 2, "-");
    }
    // every sub-command the program's own help lists
    std::vector<std::string> commands;
    const std::string overview = RunCli("--help").Out;
    std::istringstream lines(overview.substr(overview.find("Subcommands:")));
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line) && line.rfind("  ", 0) == 0) {
        commands.push_back(line.substr(2, line.find(' ', 2) - 2));
    }
    EXPECT_EQ(commands,
              (std::vector<std::string>{"generate", "analyze", "listen", "log", "phonebook",
                                        "workshop", "inspect", "plan", "diagnose", "line"}));
    for (const auto& command : commands) {
        EXPECT_NE(page.find(".SS " + command), Bytes::npos) << command;
        const std::string help = RunCli(command + " --help").Out;
        for (std::size_t at = 0; (at = help.find("--", at)) != std::string::npos;) {
            std::size_t end = at + 2;
            while (end < help.size() &&
                   (std::isalnum(static_cast<unsigned char>(help[end])) || help[end] == '-')) {
                ++end;
            }
            const std::string option = help.substr(at, end - at);
            EXPECT_NE(page.find(option), Bytes::npos) << command << " " << option;
            at = end;
        }
    }
    for (const char* status : {".B 0\n", ".B 1\n", ".B 2\n", ".B 3\n"}) {
        EXPECT_NE(page.find(status), Bytes::npos) << status;
    }
}

}  // namespace
}  // namespace ringlark

namespace ringlark {
namespace {

// A folder of good, noisy and broken recordings: one line per file, in name
// order, never stopping early; the status says a file failed.
TEST(CliBatch, FolderOfMixedFilesGivesOneLinePerFileInOrder) {
    test::TTempDir dir;
    std::filesystem::create_directories(dir / "sub");
    const std::string quiet = " --date 0101 --time 1200";
    ASSERT_EQ(
        RunCli("generate sdmf --number 5551234" + quiet + " -o " + (dir / "a.wav").string()).Status,
        0);
    ASSERT_EQ(RunCli("generate vmwi-on -o " + (dir / "sub" / "b.WAV").string()).Status, 0);
    test::WriteFile(dir / "c.wav", "not a recording");
    Bytes silence(44, '\0');
    silence += Bytes(22050, '\x80');
    WriteWavHeader(silence);
    test::WriteFile(dir / "d.wav", silence);
    test::WriteFile(dir / "notes.txt", "ignored");

    for (const char* jobs : {"1", "2"}) {
        const TRun run =
            RunCli("analyze --recursive --jobs " + std::string(jobs) + " " + dir.Path().string());
        EXPECT_EQ(run.Status, 1) << run.Err;
        const std::string d = dir.Path().string();
        EXPECT_EQ(run.Out,
                  d + "/a.wav: ZCA 04 0F 30 31 30 31 31 32 30 30 35 35 35 31 32 33 34 FF\n" + d +
                      "/c.wav: error: Unsupported format! WAV file must be 8-bit mono.\n" + d +
                      "/d.wav: FAIL\n" + d + "/sub/b.WAV: ZCA 82 03 0B 01 FF 70\n");
        EXPECT_EQ(run.Err, "");  // no progress bar: stderr is not a terminal
    }
    // without --recursive the sub-folder is left out; JSON gives one object a line
    const TRun json =
        RunCli("analyze --json " + dir.Path().string() + " " + (dir / "missing.wav").string());
    std::vector<nlohmann::json> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = json.Out.find('\n', start)) != std::string::npos;
         start = end + 1) {
        lines.push_back(nlohmann::json::parse(json.Out.substr(start, end - start)));
    }
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0]["status"], "decoded");
    EXPECT_EQ(lines[0]["messages"][0]["fields"], "Date: 01/01; Time: 12:00; Number: 5551234");
    EXPECT_EQ(lines[1]["status"], "error");
    EXPECT_EQ(lines[2]["status"], "not understood");
    EXPECT_EQ(lines[3]["error"],
              "Cannot open file " + (dir / "missing.wav").string() + ": No such file or directory");
    EXPECT_EQ(RunCli("analyze --all " + dir.Path().string()).Status, 2);
}

}  // namespace
}  // namespace ringlark
