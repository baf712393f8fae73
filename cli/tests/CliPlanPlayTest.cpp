// plan play through the real PortAudio and ALSA path into ALSA's file plugin,
// the operator's answers scripted on standard input: what the sound card was
// sent is compared with the files plan make wrote, at the card's calibration,
// and the report's verdicts with the answers.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>

#include "cli/tests/CliRun.h"

namespace ringlark {
namespace {

using test::RunShell;
using test::TRun;

// Three conditions at 8000/s: the nominal signal twice, a quiet one, a
// corrupted checksum the device must reject.
const char* const kPlan = R"({"name": "desk", "standard": "bell", "dbm_at_fs": 3.14, "runs": 1,
  "conditions": [
    {"name": "nominal", "runs": 2},
    {"name": "quiet", "impairments": {"level_dbm": -36.2}},
    {"name": "bad", "expect": "reject", "message": {"corrupt_checksum": true}}]})";

// The card takes 16-bit samples (8-bit ones would be widened on the way).
// Each run opens it afresh, and the file plugin would start its file again
// each time: it appends through a pipe instead.
struct TDesk {
    test::TTempDir dir;
    std::string Plan = (dir / "desk.json").string();
    std::string Out = (dir / "out").string();
    std::string Capture = (dir / "home" / "played.raw").string();

    TDesk() {
        test::WriteFile(Plan, kPlan);
        std::filesystem::create_directories(dir / "home");
        test::WriteFile(
            dir / "home" / ".asoundrc",
            "pcm.!default {\n  type plug\n  slave { pcm \"capfile\" format S16_LE }\n}\n"
            "pcm.capfile {\n  type file\n  slave.pcm \"null\"\n  file \"|cat >> " +
                Capture + "\"\n  format \"raw\"\n}\n");
    }
    TRun Play(const std::string& answers, const std::string& options) {
        // ALSA loads its plugins with dlopen and unloads them before the leak
        // check of a sanitizer build: runs that open the sound card do without it.
        return RunShell("printf '" + answers +
                        "' | ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 HOME='" +
                        (dir / "home").string() + "' CLI plan play " + Plan + " -o " + Out +
                        " --rate 8000 --pause 0 " + options);
    }
    std::vector<int16_t> FileSamples(const std::string& name) const {
        const Bytes wav = test::ReadFile(Out + "/" + name);
        std::vector<int16_t> samples;
        for (std::size_t i = 44; i + 1 < wav.size(); i += 2) {
            samples.push_back(static_cast<int16_t>(static_cast<uint8_t>(wav[i]) |
                                                   (static_cast<uint8_t>(wav[i + 1]) << 8)));
        }
        return samples;
    }
};

std::vector<std::string> Outcomes(const std::string& jsonl) {
    std::vector<std::string> outcomes;
    for (const auto& line : test::JsonLines(jsonl)) {
        outcomes.push_back(line["condition"].get<std::string>() + " " +
                           line["outcome"].get<std::string>());
    }
    return outcomes;
}

TEST(CliPlanPlay, PlaysEachRunAtTheCardsCalibrationAndScoresTheAnswers) {
    TDesk desk;
    // run 1 shown; run 2: an unknown answer, played again, shown; the quiet
    // one showed another number; the bad checksum showed nothing
    const TRun run = desk.Play("a\\nx\\nr\\na\\nw\\nn\\n", "--dbm-at-fs 0");
    EXPECT_EQ(run.Status, 4) << run.Err;
    EXPECT_NE(run.Out.find("desk: 4 runs through the sound card at +0.00 dBm for a full-scale "
                           "sine (the plan's levels +3.14 dB)\n"
                           "[1/4] nominal run 1/2, must accept\nplaying 001-nominal-001.wav\n"),
              std::string::npos)
        << run.Out;
    EXPECT_NE(run.Out.find("Answer a (the number was shown), n (nothing shown), w (something "
                           "else shown), r (play it again) or q (stop and write the report).\n"),
              std::string::npos);
    EXPECT_NE(run.Out.find("[4/4] bad run 1/1, must reject"), std::string::npos);
    EXPECT_NE(run.Out.find("nominal    accept  2 runs: 2 accepted, 0 rejected, 0 wrong  PASS\n"
                           "quiet      accept  1 runs: 0 accepted, 0 rejected, 1 wrong  FAIL\n"
                           "bad        reject  1 runs: 0 accepted, 1 rejected, 0 wrong  PASS\n"
                           "FAIL: 2 of 3 conditions\n"),
              std::string::npos)
        << run.Out;
    EXPECT_EQ(Outcomes(test::ReadFile(desk.Out + "/results.jsonl")),
              (std::vector<std::string>{"nominal accepted", "nominal accepted", "quiet wrong",
                                        "bad rejected"}));
    EXPECT_NE(test::ReadFile(desk.Out + "/results.csv")
                  .find("condition,run,file,expect,outcome,exit_status,output\n"
                        "nominal,1,001-nominal-001.wav,accept,accepted,0,\n"),
              std::string::npos);
    const std::string report = test::ReadFile(desk.Out + "/report.html");
    EXPECT_NE(report.find("played through the sound card at +0.00 dBm for a full-scale sine, "
                          "the operator saying what the device showed"),
              std::string::npos);
    EXPECT_NE(report.find("<td>quiet</td><td>level-dbfs -39.34</td><td>accept</td><td>1</td>"
                          "<td>0</td><td>0</td><td>1</td><td class=\"FAIL\">FAIL</td>"),
              std::string::npos)
        << report;

    // what the card was sent: the files plan make wrote, 3.14 dB louder, run 2
    // twice
    std::vector<int16_t> expected;
    for (const char* name : {"001-nominal-001.wav", "001-nominal-002.wav", "001-nominal-002.wav",
                             "002-quiet-001.wav", "003-bad-001.wav"}) {
        const auto samples = desk.FileSamples(name);
        expected.insert(expected.end(), samples.begin(), samples.end());
    }
    const Bytes played = test::ReadFile(desk.Capture);
    ASSERT_EQ(played.size(), expected.size() * 2);
    const double gain = std::pow(10.0, 3.14 / 20);
    int worst = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto sample = static_cast<int16_t>(static_cast<uint8_t>(played[2 * i]) |
                                                 (static_cast<uint8_t>(played[2 * i + 1]) << 8));
        worst =
            std::max(worst, std::abs(sample - static_cast<int>(std::lround(expected[i] * gain))));
    }
    EXPECT_LE(worst, 2) << "played samples differ from the files at +3.14 dB";
}

TEST(CliPlanPlay, AnswersThatEndEarlyStillGiveTheReport) {
    TDesk desk;
    const TRun run = desk.Play("a\\n", "");
    EXPECT_EQ(run.Status, 4);
    // (PortAudio may add messages of its own on standard error)
    EXPECT_NE(run.Err.find("ringlark-cli: The answers ended before the plan did: the report "
                           "covers the runs answered.\n"),
              std::string::npos)
        << run.Err;
    EXPECT_EQ(Outcomes(test::ReadFile(desk.Out + "/results.jsonl")),
              (std::vector<std::string>{"nominal accepted"}));
    EXPECT_NE(run.Out.find("nominal    accept  1 runs: 1 accepted, 0 rejected, 0 wrong  PASS\n"
                           "quiet      accept  0 runs"),
              std::string::npos)
        << run.Out;
    // at the plan's own calibration the samples are the files' own
    const auto file = desk.FileSamples("001-nominal-001.wav");
    const Bytes played = test::ReadFile(desk.Capture);
    ASSERT_EQ(played.size(), file.size() * 2 * 2);  // run 2 plays before its answer is asked
    EXPECT_EQ(played.substr(0, file.size() * 2),
              test::ReadFile(desk.Out + "/001-nominal-001.wav").substr(44));

    // q stops at once
    TDesk quit;
    const TRun stopped = quit.Play("q\\n", "");
    EXPECT_EQ(stopped.Status, 4);
    EXPECT_EQ(stopped.Err.find("ringlark-cli:"), std::string::npos) << stopped.Err;
    EXPECT_EQ(test::ReadFile(quit.Out + "/results.jsonl"), "");
}

TEST(CliPlanPlay, ACalibrationThatWouldClipOrNoSoundCardIsTold) {
    TDesk desk;
    const TRun run = desk.Play("a\\n", "--dbm-at-fs -10");
    EXPECT_EQ(run.Status, 2);
    EXPECT_EQ(run.Err,
              "ringlark-cli: Condition nominal would go 7.0 dB past full scale at -10 dBm for a "
              "full-scale sine: turn the sound card's output up and calibrate it again\n");
    EXPECT_FALSE(std::filesystem::exists(desk.Capture));
    EXPECT_EQ(desk.Play("", "--dbm-at-fs 21").Err,
              "ringlark-cli: --dbm-at-fs 21 is out of range: -30 to 20 dBm\n");
    EXPECT_EQ(RunShell("CLI plan play " + desk.Plan + " -o " + desk.Out + " --pause 61").Err,
              "ringlark-cli: --pause 61 is out of range: 0 to 60 s\n");
    // no sound card: said so (as every runtime error, without the program's
    // name), the report of what was answered (nothing) written
    TDesk none;
    test::WriteFile(none.dir / "home" / ".asoundrc", "pcm.!default {\n  type hw\n  card 97\n}\n");
    const TRun unplayed = none.Play("a\\n", "");
    EXPECT_EQ(unplayed.Status, 1);
    EXPECT_NE(unplayed.Err.find("Sound could not be played: "), std::string::npos) << unplayed.Err;
    EXPECT_EQ(test::ReadFile(none.Out + "/results.jsonl"), "");
    EXPECT_NE(test::ReadFile(none.Out + "/report.html").find("FAIL: 0 of 3 conditions"),
              std::string::npos);

    const TRun folder = RunShell("CLI plan play " + desk.Out + " --rate 8000 </dev/null");
    EXPECT_EQ(folder.Status, 2);
    EXPECT_EQ(folder.Err,
              "ringlark-cli: -o, --rate, --format, --runs and --force make a plan; a folder is "
              "played as plan make wrote it\n");
}

}  // namespace
}  // namespace ringlark
