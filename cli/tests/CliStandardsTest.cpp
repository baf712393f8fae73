// Caller ID of other standards through the command line: generated, analysed
// and listened to, and what a standard cannot carry refused.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/tests/CliRun.h"
#include "core/WavImage.h"
#include "tests/support/TestSupport.h"

namespace ringlark {
namespace {

using test::RunCli;
using test::RunShell;
using test::TRun;

constexpr const char* kAnna =
    "80 1C 01 08 31 32 30 37 30 39 33 30 02 0A 30 31 32 33 34 35 36 37 38 39 07 04 41 4E 4E 41 83";

TEST(CliStandards, EtsiAndBtRoundTripWithTheV23Tag) {
    test::TTempDir dir;
    for (const std::string standard : {"etsi", "bt"}) {
        const auto wav = (dir / (standard + ".wav")).string();
        const TRun made =
            RunCli("generate mdmf --standard " + standard +
                   " --number 0123456789 --name ANNA --date 1207 --time 0930 -o " + wav);
        ASSERT_EQ(made.Status, 0) << made.Err;
        const TRun hex = RunCli("analyze --hex " + wav);
        EXPECT_EQ(hex.Status, 0) << standard;
        EXPECT_EQ(hex.Out, std::string("V23 ") + kAnna + "\n") << standard;
        const TRun report = RunCli("analyze " + wav);
        EXPECT_NE(report.Out.find("(Using Analysis Method 3, V.23)"), std::string::npos);
        // restricted to Bell 202 it finds nothing; to DTMF neither
        EXPECT_EQ(RunCli("analyze --hex --standard bell " + wav).Status, 3);
        EXPECT_EQ(RunCli("analyze --hex --standard dtmf " + wav).Status, 3);
        EXPECT_EQ(RunCli("analyze --hex --standard " + standard + " " + wav).Out,
                  std::string("V23 ") + kAnna + "\n");
    }
    // BT alerts with the dual tone first; ETSI only when asked
    const TRun bt = RunCli("listen --input " + (dir / "bt.wav").string());
    EXPECT_EQ(bt.Out.substr(0, 10), "0.000s CAS");
    EXPECT_NE(bt.Out.find(" V23 "), std::string::npos);
    EXPECT_EQ(RunCli("listen --input " + (dir / "etsi.wav").string()).Out.substr(0, 11),
              "0.400s V23 ");
    const auto alerted = (dir / "alerted.wav").string();
    ASSERT_EQ(RunCli("generate vmwi-on --standard etsi --alert dtas -o " + alerted).Status, 0);
    const TRun vmwi = RunCli("listen --input " + alerted);
    EXPECT_EQ(vmwi.Out.substr(0, 10), "0.000s CAS");
    EXPECT_NE(vmwi.Out.find("82 03 0B 01 FF 70 | Visual Indicator: On"), std::string::npos)
        << vmwi.Out;
}

TEST(CliStandards, DtmfRoundTripInEveryFraming) {
    test::TTempDir dir;
    const std::vector<std::pair<std::string, std::string>> framings = {{"ac", "A0123456789C"},
                                                                       {"a-hash", "A0123456789#"},
                                                                       {"dc", "D0123456789C"},
                                                                       {"hash", "0123456789#"}};
    for (const auto& [framing, digits] : framings) {
        const auto wav = (dir / (framing + ".wav")).string();
        const TRun made =
            RunCli("generate mdmf --standard dtmf --number 0123456789 --dtmf-framing " + framing +
                   " -o " + wav);
        ASSERT_EQ(made.Status, 0) << made.Err;
        const TRun report = RunCli("analyze " + wav);
        EXPECT_EQ(report.Status, 0);
        EXPECT_NE(report.Out.find("(Using the DTMF Detector)\n \n" + digits + "\n"),
                  std::string::npos)
            << report.Out;
        const TRun all = RunCli("analyze --all --json " + wav);
        const auto json = nlohmann::json::parse(all.Out);
        ASSERT_EQ(json.size(), 1u);
        EXPECT_EQ(json[0]["tag"], "DTMF");
        EXPECT_EQ(json[0]["digits"], digits);
        EXPECT_EQ(json[0]["fields"], "Calling Number: 0123456789");
    }
    EXPECT_EQ(RunCli("generate mdmf --standard dtmf --private").Out, "B10C\n");
    EXPECT_EQ(RunCli("generate mdmf --standard dtmf --out-of-area --inspect").Out,
              "B00C | Reason for Absence: Unavailable\n");
}

TEST(CliStandards, WhatAStandardCannotCarryIsAUsageError) {
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"generate mdmf --standard dtmf --number 1 --name ANNA",
         "--name cannot be sent with dtmf: it carries only the number"},
        {"generate mdmf --standard dtmf --number 1 --date 1207",
         "--date and --time cannot be sent with dtmf"},
        {"generate vmwi-on --standard dtmf", "dtmf sends only a number: use mdmf"},
        {"generate sdmf --standard etsi --number 1",
         "sdmf is Bell 202 only; etsi sends mdmf, cwcid, vmwi-on, vmwi-off or workshop messages"},
        {"generate test --standard bt",
         "test is Bell 202 only; bt sends mdmf, cwcid, vmwi-on, "
         "vmwi-off or workshop messages"},
        {"generate mdmf --standard bt --long-distance --number 1",
         "--long-distance is Bell 202 only; bt cannot send it"},
        {"generate mdmf --alert dtas", "--alert applies to --standard etsi and bt"},
        {"generate mdmf --standard etsi --clip 40", "--clip and --no-clip apply to Bell 202 only"},
        {"generate mdmf --dtmf-framing ac", "--dtmf-framing applies to --standard dtmf"},
        {"generate mdmf --standard dtmf --dtmf-framing xy --number 1",
         "--dtmf-framing must be ac, a-hash, dc or hash"},
    };
    for (const auto& [arguments, error] : refused) {
        const TRun run = RunCli(arguments);
        EXPECT_EQ(run.Status, 2) << arguments;
        EXPECT_EQ(run.Err, "ringlark-cli: " + error + "\n") << arguments;
        EXPECT_EQ(run.Out, "");
    }
    EXPECT_EQ(RunCli("generate mdmf --standard v23").Status, 2);
}

TEST(CliMeasure, ReportsEachMessageBesideItsLimits) {
    test::TTempDir dir;
    const auto onHook = (dir / "on.wav").string();
    const auto waiting = (dir / "cw.wav").string();
    ASSERT_EQ(RunCli("generate mdmf --number 8005551212 --name ANNA -o " + onHook).Status, 0);
    ASSERT_EQ(RunCli("generate vmwi-on --call-waiting -o " + waiting).Status, 0);
    const TRun run = RunCli("analyze --measure --strict " + onHook);
    EXPECT_EQ(run.Status, 0) << run.Out;
    EXPECT_NE(run.Out.find("  limits: bell\n"), std::string::npos);
    EXPECT_NE(run.Out.find("  Channel seizure                300 bits"), std::string::npos)
        << run.Out;
    EXPECT_EQ(run.Out.find("FAIL"), std::string::npos) << run.Out;
    // the call-waiting dual tone is 100 ms: longer than the 75-85 ms allowed
    const TRun cw = RunCli("analyze --measure --strict --json " + waiting);
    EXPECT_EQ(cw.Status, 4);
    const auto json = nlohmann::json::parse(cw.Out);
    ASSERT_EQ(json.size(), 1u);
    EXPECT_EQ(json[0]["bytes"], "82 03 0B 01 FF 70");
    std::vector<std::string> failed;
    for (const auto& check : json[0]["checks"]) {
        if (check["verdict"] == "FAIL") {
            failed.push_back(check["name"]);
        }
    }
    EXPECT_EQ(failed, std::vector<std::string>{"Dual-tone alert"});
    EXPECT_NEAR(json[0]["measures"]["alert"]["duration"].get<double>(), 0.100, 0.002);
    EXPECT_EQ(RunCli("analyze --measure " + waiting).Status, 0);  // not strict
    // listen measures each message as it comes, with the same rows
    const TRun listened = RunCli("listen --measure --strict --json --input " + waiting);
    EXPECT_EQ(listened.Status, 4);
    const std::vector<nlohmann::json> events = test::JsonLines(listened.Out);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[2]["event"], "message");
    EXPECT_EQ(events[2]["checks"], json[0]["checks"]);
    EXPECT_NEAR(events[2]["measures"]["seconds"].get<double>(),
                json[0]["measures"]["seconds"].get<double>(), 1e-6);
    EXPECT_EQ(RunCli("analyze --strict " + waiting).Status, 2);
    EXPECT_EQ(RunCli("analyze --strict " + waiting).Err,
              "ringlark-cli: --strict, --limits and --dbm-at-fs go with --measure\n");
}

TEST(CliMeasure, EachSystemsOwnSignalPassesItsOwnLimits) {
    test::TTempDir dir;
    for (const std::string standard : {"etsi", "bt"}) {
        const auto wav = (dir / (standard + ".wav")).string();
        ASSERT_EQ(RunCli("generate mdmf --standard " + standard +
                         " --number 0123456789 --name ANNA --date 1207 --time 0930 -o " + wav)
                      .Status,
                  0);
        const TRun run = RunCli("analyze --measure --strict " + wav);
        EXPECT_EQ(run.Status, 0) << run.Out;
        EXPECT_NE(run.Out.find("  limits: " + standard + "\n"), std::string::npos) << run.Out;
        EXPECT_EQ(run.Out.find("FAIL"), std::string::npos) << run.Out;
    }
    // nothing to measure is said
    Bytes silence(44, '\0');
    silence += Bytes(8820, '\x80');
    WriteWavHeader(silence);
    test::WriteFile(dir / "silence.wav", silence);
    const TRun none = RunCli("analyze --measure " + (dir / "silence.wav").string());
    EXPECT_EQ(none.Status, 3);
    EXPECT_EQ(none.Out, "");
    EXPECT_EQ(none.Err, "ringlark-cli: no message to measure\n");
}

TEST(CliStandards, DtmfDigitsAreExplainedByTheirFraming) {
    const TRun run = RunCli("inspect --standard dtmf --json A012D34B10C");
    ASSERT_EQ(run.Status, 0) << run.Err;
    const auto json = nlohmann::json::parse(run.Out);
    std::vector<std::string> notes;
    for (const auto& row : json["rows"]) {
        notes.push_back(row["notes"]);
    }
    EXPECT_EQ(notes,
              (std::vector<std::string>{"Start: Calling Number Follows", "Calling Number: 012", "",
                                        "", "Redirecting Number Follows", "Redirecting Number: 34",
                                        "", "Reason for Absence Follows",
                                        "Reason for Absence: Private", "", "End of Caller ID"}));
    // a DTMF recording's analysis is inspected in the same terms
    test::TTempDir dir;
    const auto wav = (dir / "d.wav").string();
    ASSERT_EQ(RunCli("generate mdmf --standard dtmf --number 0123 -o " + wav).Status, 0);
    const TRun inspected = RunCli("analyze --inspect " + wav);
    EXPECT_NE(inspected.Out.find("Start: Calling Number Follows"), std::string::npos)
        << inspected.Out;
    EXPECT_NE(inspected.Out.find("Calling Number: 0123"), std::string::npos);
}

TEST(CliStandards, TheEtsiInspectorNamesItsParameters) {
    const TRun run = RunCli(
        "generate mdmf --standard etsi --private --name ANNA --date 1207 "
        "--time 0930 --inspect --json");
    ASSERT_EQ(run.Status, 0) << run.Err;
    const auto json = nlohmann::json::parse(run.Out);
    std::vector<std::string> notes;
    for (const auto& row : json["rows"]) {
        if (!row["notes"].get<std::string>().empty()) {
            notes.push_back(row["notes"]);
        }
    }
    ASSERT_GE(notes.size(), 4u);
    EXPECT_EQ(notes[0], "Message Type $80 - Call Set-Up");
    EXPECT_NE(std::find(notes.begin(), notes.end(), "Parameter $04: Reason for Absence of CLI"),
              notes.end());
    EXPECT_NE(std::find(notes.begin(), notes.end(), "Reason for Absence of CLI: Private"),
              notes.end());
    EXPECT_NE(std::find(notes.begin(), notes.end(), "Reason for Absence of Name: Private"),
              notes.end());
}

}  // namespace
}  // namespace ringlark
