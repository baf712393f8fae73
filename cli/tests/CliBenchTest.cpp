// The receiver test bench on the command line: generate's test-signal options
// (defaults byte-identical, ranges as usage errors, impairments measured back
// by analyze --measure), and plan list, show, make and run against a scripted
// receiver and against ringlark-cli analyze itself.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "cli/tests/CliRun.h"

namespace ringlark {
namespace {

using test::RunCli;
using test::RunShell;

uint64_t Fnv1a(const std::string& bytes) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (char c : bytes) {
        hash = (hash ^ static_cast<uint8_t>(c)) * 0x100000001b3ull;
    }
    return hash;
}

TEST(CliBench, DefaultGenerationIsByteIdentical) {
    // FNV-1a of each file as generate made it before the test-signal options
    const std::vector<std::pair<std::string, uint64_t>> made = {
        {"generate sdmf --number 5551212 --date 0101 --time 1200", 0xca55d232558e00b2ull},
        {"generate mdmf --number 8005551212 --name 'JOHN DOE' --date 1207 --time 0930",
         0x2090c6bc5e4b1586ull},
        {"generate cwcid --number 8005551212 --name 'JOHN DOE' --date 1207 --time 0930",
         0x546255006a13205bull},
        {"generate vmwi-on --call-waiting", 0xdd7cc749945305f0ull},
        {"generate mdmf --standard etsi --alert dtas --number 0123456789 --date 1207 --time 0930",
         0x566971ade251ad10ull},
        {"generate cwcid --standard etsi --number 0123456789 --date 1207 --time 0930",
         0x7d8c032d71b60c4cull},
        {"generate mdmf --standard bt --number 0123456789 --name BT --date 1207 --time 0930",
         0xf995591f68c1d936ull},
        {"generate mdmf --standard dtmf --number 0123456789 --date '' --time ''",
         0x18a10e13b44c2d71ull},
    };
    for (const auto& [command, hash] : made) {
        const auto run = RunCli(command + " -o -");
        ASSERT_EQ(run.Status, 0) << command << run.Err;
        EXPECT_EQ(Fnv1a(run.Out), hash) << command << " " << std::hex << Fnv1a(run.Out);
    }
}

TEST(CliBench, EveryValueOutOfRangeIsAUsageErrorNamingTheRange) {
    const std::map<std::string, std::string> errors = {
        {"--twist-db 30", "--twist-db 30 is out of range: -20 to 20 dB"},
        {"--level-dbfs 3", "--level-dbfs 3 is out of range: -90 to 0 dBFS"},
        {"--mark-error-pct -11", "--mark-error-pct -11 is out of range: -10 to 10 %"},
        {"--baud-error-pct 12", "--baud-error-pct 12 is out of range: -10 to 10 %"},
        {"--seizure-bits 1001", "--seizure-bits 1001 is out of range: 0 to 1000 bits"},
        {"--idle-bits 21", "--idle-bits 21 is out of range: 0 to 20 bits"},
        {"--snr-db 90", "--snr-db 90 is out of range: -20 to 80 dB"},
        {"--rate 7999", "--rate 7999 is out of range: 8000 to 192000 samples per second"},
        {"--level-dbm -20",
         "--level-dbm and --alert-level-dbm need --dbm-at-fs (the level in dBm "
         "of a full-scale sine)"},
        {"--level-dbm 0 --dbm-at-fs -3",
         "--level-dbfs 3 is out of range: -90 to 0 dBFS (after --dbm-at-fs)"},
        {"--alert-level-dbfs -20",
         "--alert-level-dbfs applies only when a dual-tone alert is sent"},
        {"--alert-ms 80",
         "--alert-ms applies to call waiting, bt and etsi: Bell 202 on-hook has "
         "no alert tone"},
        {"--dtmf-tone-ms 50", "--dtmf-tone-ms applies to --standard dtmf"},
        {"--level-dbfs -1 --twist-db -6",
         "The level and twist put the FSK tones above full scale (peak 1.78 of 1)"},
        {"--clip 40 --snr-db 20", "--clip and --no-clip do not apply to test signals"},
    };
    for (const auto& [options, error] : errors) {
        const auto run = RunCli("generate mdmf --number 1 -o - " + options);
        EXPECT_EQ(run.Status, 2) << options;
        EXPECT_EQ(run.Err, "ringlark-cli: " + error + "\n") << options;
        EXPECT_EQ(run.Out, "") << options;
    }
    const auto dtmf = RunCli("generate mdmf --standard dtmf --number 1 -o - --baud-error-pct 1");
    EXPECT_EQ(dtmf.Status, 2);
    EXPECT_EQ(dtmf.Err,
              "ringlark-cli: --baud-error-pct applies to FSK (--standard bell, etsi or bt)\n");
}

TEST(CliBench, ImpairedFileIsMeasuredBackByAnalyze) {
    test::TTempDir dir;
    const std::string file = (dir / "t.wav").string();
    const auto made = RunCli(
        "generate mdmf --number 8005551212 --date 1207 --time 0930 --rate 8000 "
        "--format s16 --level-dbm -30 --dbm-at-fs 3.14 --twist-db 4 "
        "--mark-error-pct 1 --space-error-pct -1 --baud-error-pct 1.5 "
        "--seizure-bits 100 --mark-bits 70 --snr-db 30 --seed 2 -o " +
        file);
    ASSERT_EQ(made.Status, 0) << made.Err;
    const std::string header = test::ReadFile(file).substr(0, 44);
    EXPECT_EQ(header.substr(22, 14),
              std::string("\x01\x00\x40\x1F\x00\x00\x80\x3E\x00\x00\x02\x00\x10\x00", 14));
    const auto run = RunCli("analyze --measure --json --any-format " + file);
    ASSERT_EQ(run.Status, 0) << run.Err;
    const auto m = nlohmann::json::parse(run.Out)[0]["measures"];
    EXPECT_NEAR(m["mark_dbfs"].get<double>(), -33.14, 0.3);
    EXPECT_NEAR(m["space_dbfs"].get<double>(), -37.14, 0.3);
    EXPECT_NEAR(m["twist_db"].get<double>(), 4, 0.4);
    EXPECT_NEAR(m["mark_hz"].get<double>(), 1212, 2);
    EXPECT_NEAR(m["space_hz"].get<double>(), 2178, 2);
    EXPECT_NEAR(m["bit_rate"].get<double>(), 1218, 1200 * 0.002);
    EXPECT_NEAR(m["seizure_bits"].get<int>(), 100, 1);
    EXPECT_NEAR(m["mark_bits"].get<int>(), 70, 1);
    EXPECT_NEAR(m["snr_db"].get<double>(), 30, 1.5);
}

TEST(CliBench, PlanListAndShow) {
    const auto list = RunCli("plan list");
    EXPECT_EQ(list.Status, 0);
    EXPECT_EQ(list.Out.substr(0, list.Out.find('\n') + 1),
              "bell              17 conditions  Bell 202 on-hook receiver acceptance\n");
    const auto show = RunCli("plan show bell");
    EXPECT_NE(show.Out.find("level-min  must accept, 3 runs  level-dbfs -39.34\n"
                            "    level -36.20 dBm (-39.34 dBFS); source: TIA-777 receiver, "
                            "12 mVrms [S7]\n"),
              std::string::npos)
        << show.Out;
    const auto unknown = RunCli("plan show nope");
    EXPECT_EQ(unknown.Status, 2);
    EXPECT_EQ(
        unknown.Err,
        "ringlark-cli: No plan named nope (built-in plans: bell, etsi, bt, dtmf, sensitivity, "
        "sensitivity-etsi, sensitivity-dtmf; or a .json file or a folder)\n");
}

// A receiver that shows nothing for level-min, a wrong number for twist+10dB
// and the number for everything else (also the corrupted checksum).
const char* kFakeReceiver =
    "case \"$1\" in\n"
    "  *level-min*) exit 3 ;;\n"
    "  *twist+10dB*) echo 'NUMBER 800-555-1299' ;;\n"
    "  *) echo 'NUMBER (800) 555-1212' ;;\n"
    "esac\n";

TEST(CliBench, PlanRunScoresAScriptedReceiverExactly) {
    test::TTempDir dir;
    test::WriteFile(dir / "fake.sh", kFakeReceiver);
    const std::string out = (dir / "bell").string();
    const auto run = RunCli("plan run bell --runs 1 --rate 8000 --jobs 2 -o " + out +
                            " --decoder 'sh " + (dir / "fake.sh").string() + " {}'");
    EXPECT_EQ(run.Status, 4) << run.Err;
    EXPECT_EQ(run.Out,
              "nominal                  accept  1 runs: 1 accepted, 0 rejected, 0 wrong  PASS\n"
              "level-max                accept  1 runs: 1 accepted, 0 rejected, 0 wrong  PASS\n"
              "level-min                accept  1 runs: 0 accepted, 1 rejected, 0 wrong  FAIL\n"
              "level-below-no-response  reject  1 runs: 1 accepted, 0 rejected, 0 wrong  FAIL\n"
              "twist+10dB               accept  1 runs: 0 accepted, 0 rejected, 1 wrong  FAIL\n"
              "twist-10dB               accept  1 runs: 1 accepted, 0 rejected, 0 wrong  PASS\n"
              "mark+1%                  accept  1 runs: 1 accepted, 0 rejected, 0 wrong  PASS\n"
              "mark-1%                  accept  1 runs: 1 accepted, 0 rejected, 0 wrong  PASS\n"
              "space+1%                 accept  1 runs: 1 accepted, 0 rejected, 0 wrong  PASS\n"
              "space-1%                 accept  1 runs: 1 accepted, 0 rejected, 0 wrong  PASS\n"
              "baud+1%                  accept  1 runs: 1 accepted, 0 rejected, 0 wrong  PASS\n"
              "baud-1%                  accept  1 runs: 1 accepted, 0 rejected, 0 wrong  PASS\n"
              "seizure-150              accept  1 runs: 1 accepted, 0 rejected, 0 wrong  PASS\n"
              "mark-run-126             accept  1 runs: 1 accepted, 0 rejected, 0 wrong  PASS\n"
              "mark-run-186             accept  1 runs: 1 accepted, 0 rejected, 0 wrong  PASS\n"
              "idle-20                  accept  1 runs: 1 accepted, 0 rejected, 0 wrong  PASS\n"
              "bad-checksum             reject  1 runs: 1 accepted, 0 rejected, 0 wrong  FAIL\n"
              "FAIL: 13 of 17 conditions\n");
    const auto lines = test::JsonLines(test::ReadFile(dir / "bell" / "results.jsonl"));
    ASSERT_EQ(lines.size(), 17u);
    EXPECT_EQ(lines[2]["file"], "003-level-min-001.wav");
    EXPECT_EQ(lines[2]["outcome"], "rejected");
    EXPECT_EQ(lines[2]["exit_status"], 3);
    EXPECT_EQ(lines[4]["outcome"], "wrong");
    EXPECT_EQ(test::ReadFile(dir / "bell" / "outputs" / "005-twist+10dB-001.txt"),
              "NUMBER 800-555-1299\n");
    const std::string csv = test::ReadFile(dir / "bell" / "results.csv");
    EXPECT_NE(csv.find("\nlevel-min,1,003-level-min-001.wav,accept,rejected,3,"
                       "outputs/003-level-min-001.txt\n"),
              std::string::npos);
    const std::string html = test::ReadFile(dir / "bell" / "report.html");
    EXPECT_NE(html.find("<p id=\"summary\" class=\"FAIL\">FAIL: 13 of 17 conditions</p>"),
              std::string::npos);
    EXPECT_NE(html.find("<td>twist+10dB</td><td>twist-db 10</td><td>accept</td><td>1</td><td>0"
                        "</td><td>0</td><td>1</td><td class=\"FAIL\">FAIL</td>"),
              std::string::npos);
    // the folder runs again as made, with the same verdicts
    const auto again =
        RunCli("plan run " + out + " --decoder 'sh " + (dir / "fake.sh").string() + " {}'");
    EXPECT_EQ(again.Status, 4);
    EXPECT_EQ(again.Out, run.Out);
}

// Ringlark's own decoder on the Bell 202 plan: it reads levels relative to the
// recording, so it answers the signal below the must-not-respond level;
// everything else it decodes (20 idle marks between bytes included), and it
// never shows the message with the corrupted checksum.
TEST(CliBench, PlanRunScoresRinglarkAnalyzeItself) {
    test::TTempDir dir;
    const auto run = RunShell("CLI plan run bell --runs 1 --rate 8000 -o " + (dir / "b").string() +
                              " --decoder 'CLI analyze --all --any-format {}'");
    EXPECT_EQ(run.Status, 4) << run.Err;
    std::map<std::string, std::string> verdicts;
    std::istringstream lines(run.Out);
    for (std::string line; std::getline(lines, line);) {
        verdicts[line.substr(0, line.find(' '))] = line.substr(line.rfind(' ') + 1);
    }
    for (const auto& [condition, verdict] : verdicts) {
        const bool fails = condition == "level-below-no-response";
        if (condition != "FAIL:") {
            EXPECT_EQ(verdict, fails ? "FAIL" : "PASS") << condition;
        }
    }
    EXPECT_EQ(verdicts.size(), 18u);
    EXPECT_EQ(run.Out.substr(run.Out.rfind("FAIL:")), "FAIL: 16 of 17 conditions\n");
    // its own report of the bad checksum is no number at all
    EXPECT_EQ(test::ReadFile(dir / "b" / "outputs" / "017-bad-checksum-001.txt").find("8005551212"),
              std::string::npos);
}

TEST(CliBench, SensitivityReportDrawsTheDecodeRate) {
    test::TTempDir dir;
    // shows the number when the file's noise is at 10 dB or more
    test::WriteFile(dir / "fake.sh",
                    "case \"$1\" in *snr-[0-9]dB*) ;; *) echo 8005551212 ;; esac\n");
    const auto run =
        RunCli("plan run sensitivity --runs 1 --rate 8000 --format u8 -o " + (dir / "s").string() +
               " --decoder 'sh " + (dir / "fake.sh").string() + " {}'");
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out.substr(run.Out.rfind("PASS")), "PASS: 0 of 0 conditions\n");
    const std::string html = test::ReadFile(dir / "s" / "report.html");
    EXPECT_NE(html.find("<title>10 dB: 100 %</title>"), std::string::npos);
    EXPECT_NE(html.find("<title>8 dB: 0 %</title>"), std::string::npos);
    EXPECT_EQ(html.find("<script"), std::string::npos);
    EXPECT_EQ(html.find("http://www.w3.org/2000/svg") != std::string::npos, true);
}

TEST(CliBench, PlanUsageErrors) {
    const auto noBraces = RunCli("plan run bell -o /tmp/x --decoder 'cat'");
    EXPECT_EQ(noBraces.Status, 2);
    EXPECT_EQ(noBraces.Err, "ringlark-cli: --decoder needs {} where the file's path goes\n");
    const auto noOut = RunCli("plan run bell --decoder 'cat {}'");
    EXPECT_EQ(noOut.Status, 2);
    EXPECT_EQ(noOut.Err,
              "ringlark-cli: plan run bell needs -o DIR to make the plan in (or a "
              "folder plan make wrote)\n");
    const auto runs = RunCli("plan make bell -o /tmp/x --runs 0");
    EXPECT_EQ(runs.Status, 2);
    EXPECT_EQ(runs.Err, "ringlark-cli: --runs 0 is out of range: 1 to 10000\n");
}

}  // namespace
}  // namespace ringlark
