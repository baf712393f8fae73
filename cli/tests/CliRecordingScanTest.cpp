// Recordings read once in blocks by analyze: long ones with messages spread
// through them, standard input as it arrives, and the progress line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/CliFormat.h"
#include "cli/batch/ProgressBar.h"
#include "cli/batch/RecordingScan.h"
#include "cli/tests/CliRun.h"
#include "core/Bytes.h"
#include "core/WavImage.h"
#include "decoding/ByteExtraction.h"
#include "generation/FskSynth.h"
#include "generation/SignalImage.h"
#include "tests/support/TestSupport.h"

namespace ringlark {
namespace {

using test::RunCli;
using test::RunShell;
using test::TRun;

// A 16-bit 8000/s WAV: quiet noise, with each of three generated messages
// (8000/s, 16-bit) laid in at 20 s, 70 s and 150 s; 3 minutes in all.
class CliRecordingScan : public ::testing::Test {
  protected:
    void SetUp() override {
        constexpr std::size_t kRate = 8000;
        std::vector<int16_t> samples(180 * kRate);
        uint32_t state = 99;
        for (auto& v : samples) {
            state = state * 1664525u + 1013904223u;
            v = static_cast<int16_t>(static_cast<int>(state >> 24) - 128);
        }
        const std::size_t at[] = {20, 70, 150};
        for (int k = 0; k < 3; ++k) {
            const std::string number = "80055501" + std::to_string(10 + k);
            const auto part = (dir / ("m" + std::to_string(k) + ".wav")).string();
            const TRun made =
                RunCli("generate mdmf --number " + number + " --name CALLER --date 1208 --time 0" +
                       std::to_string(k) + "00 --rate 8000 --format s16 -o " + part);
            ASSERT_EQ(made.Status, 0) << made.Err;
            const Bytes wav = test::ReadFile(part);
            for (std::size_t i = 44; i + 1 < wav.size(); i += 2) {
                samples[at[k] * kRate + (i - 44) / 2] = static_cast<int16_t>(ReadLe16(wav, i));
            }
        }
        Bytes file = "RIFF....WAVEfmt ....................data....";
        WriteLe32(file, 4, static_cast<uint32_t>(36 + samples.size() * 2));
        WriteLe32(file, 16, 16);
        WriteLe16(file, 20, 1);
        WriteLe16(file, 22, 1);
        WriteLe32(file, 24, kRate);
        WriteLe32(file, 28, kRate * 2);
        WriteLe16(file, 32, 2);
        WriteLe16(file, 34, 16);
        WriteLe32(file, 40, static_cast<uint32_t>(samples.size() * 2));
        for (int16_t v : samples) {
            file += static_cast<char>(static_cast<uint16_t>(v) & 0xFF);
            file += static_cast<char>(static_cast<uint16_t>(v) >> 8);
        }
        path = (dir / "long.wav").string();
        test::WriteFile(path, file);
    }

    test::TTempDir dir;
    std::string path;
};

TEST_F(CliRecordingScan, EveryMessageOfALongRecordingWithItsTime) {
    const TRun all = RunCli("analyze --any-format --all " + path);
    ASSERT_EQ(all.Status, 0) << all.Err;
    std::istringstream lines(all.Out);
    std::vector<std::string> got;
    for (std::string line; std::getline(lines, line);) {
        got.push_back(line);
    }
    ASSERT_EQ(got.size(), 3u) << all.Out;
    const char* starts[] = {"20.", "70.", "150."};
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(got[k].rfind(starts[k], 0), 0u) << got[k];
        EXPECT_NE(got[k].find(" CORR q="), std::string::npos) << got[k];
        EXPECT_NE(got[k].find("Time: 0" + std::to_string(k) + ":00; Calling Number: 80055501" +
                              std::to_string(10 + k) + "; Calling Name: CALLER"),
                  std::string::npos)
            << got[k];
    }
    // the same without --any-format, and from standard input as it arrives
    EXPECT_EQ(RunCli("analyze --all " + path).Out, all.Out);
    EXPECT_EQ(RunShell("cat " + path + " | CLI analyze --all -").Out, all.Out);
    // the automatic analysis stops at the first message
    const TRun first = RunCli("analyze --hex " + path);
    EXPECT_EQ(first.Status, 0);
    EXPECT_EQ(first.Out.substr(0, 11), "CORR 80 1E ") << first.Out;
    EXPECT_NE(first.Out.find(" 38 30 30 35 35 35 30 31 31 30 "), std::string::npos) << first.Out;
    // --standard etsi finds none of them
    const TRun etsi = RunCli("analyze --all --standard etsi " + path);
    EXPECT_EQ(etsi.Status, 3);
    EXPECT_EQ(etsi.Out, "");
}

TEST_F(CliRecordingScan, JsonIsOneObjectPerLineInsideAnArray) {
    const TRun run = RunCli("analyze --all --json " + path);
    ASSERT_EQ(run.Status, 0) << run.Err;
    std::istringstream lines(run.Out);
    std::vector<std::string> got;
    for (std::string line; std::getline(lines, line);) {
        got.push_back(line);
    }
    ASSERT_EQ(got.size(), 5u) << run.Out;
    EXPECT_EQ(got.front(), "[");
    EXPECT_EQ(got.back(), "]");
    for (int k = 1; k <= 3; ++k) {
        const std::string object = k < 3 ? got[k].substr(0, got[k].size() - 1) : got[k];
        EXPECT_EQ(got[k].back(), k < 3 ? ',' : '}');
        const auto entry = nlohmann::json::parse(object);
        EXPECT_EQ(entry["tag"], "CORR");
        EXPECT_EQ(entry["uncertain"], false);
    }
    const auto whole = nlohmann::json::parse(run.Out);
    ASSERT_EQ(whole.size(), 3u);
    EXPECT_NEAR(whole[1]["seconds"].get<double>(), 70.6, 0.01);  // seizure and marks first
    // nothing found: an empty array, exit 3
    const TRun none = RunCli("analyze --all --json --standard dtmf " + path);
    EXPECT_EQ(none.Status, 3);
    EXPECT_EQ(none.Out, "[]\n");
}

TEST(CliLargeImage, AnalysedInBlocksAsTheWholeImageIsAnalysed) {
    // 3.5 minutes at 44100/s, 8 bits: too large to hold. Noise strong enough
    // that methods 1 and 2 fail and method 3 reads the message at 150 s.
    TFskSynth synth;
    const Bytes burst = SynthesiseImage(synth, ExampleMdmfMessage(), TSignalling::OnHook);
    Bytes image(WavHeaderSize, '\0');
    const std::size_t samples = 210 * 44100;
    image.reserve(WavHeaderSize + samples);
    uint32_t state = 5;
    for (std::size_t i = 0; i < samples; ++i) {
        state = state * 1664525u + 1013904223u;
        const std::size_t inBurst = i - 150 * 44100;
        int v = i >= 150 * 44100 && inBurst < burst.size() - WavHeaderSize
                    ? static_cast<uint8_t>(burst[WavHeaderSize + inBurst])
                    : 128;
        v += static_cast<int>(state >> 28) - 8 + static_cast<int>((state >> 20) & 7) - 4;
        image += static_cast<char>(std::clamp(v, 0, 255));
    }
    WriteWavHeader(image);
    test::TTempDir dir;
    const auto path = (dir / "large.wav").string();
    test::WriteFile(path, image);
    TByteAnalyzer analyzer;
    const TAutoResult expected = analyzer.AutoAnalyze(image);
    ASSERT_EQ(expected.MethodTag, "CORR");
    const TRun hex = RunCli("analyze --hex " + path);
    EXPECT_EQ(hex.Status, 0) << hex.Err;
    EXPECT_EQ(hex.Out, "CORR " + cli::HexString(expected.Text) + "\n");
    const TRun report = RunCli("analyze " + path);
    EXPECT_EQ(report.Out.substr(0, 50), "Here is what I decoded:\n(Using Analysis Method 3)\n");
    // silence but for the noise: the failure of both methods, exit 3
    const auto quiet = (dir / "quiet.wav").string();
    Bytes noise = image.substr(0, WavHeaderSize + 100 * 44100);
    WriteWavHeader(noise);
    test::WriteFile(quiet, noise);
    const TAutoResult failed = analyzer.AutoAnalyze(noise);
    const TRun none = RunCli("analyze --hex " + quiet);
    EXPECT_EQ(none.Status, 3);
    EXPECT_EQ(none.Out.substr(0, 5), "FAIL ");
    EXPECT_EQ(none.Out, "FAIL " + cli::HexString(failed.ZeroCrossingText()) + " | " +
                            cli::HexString(failed.Text) + "\n");
}

TEST(CliAudioProgress, LineShowsTimeReadSpeedAndTimeLeft) {
    EXPECT_EQ(cli::TAudioProgress::Line(3600, 86400, 10),
              "[=                                       ] 1:00:00 of 24:00:00  360x  0:03:50 "
              "left");
    EXPECT_EQ(cli::TAudioProgress::Line(86400, 86400, 100),
              "[========================================] 24:00:00 of 24:00:00  864x  0:00:00 "
              "left");
    EXPECT_EQ(cli::TAudioProgress::Line(0, 60, 0),
              "[                                        ] 0:00:00 of 0:01:00");
}

}  // namespace
}  // namespace ringlark
