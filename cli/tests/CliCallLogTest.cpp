// The call log, the phone book and the hooks, through ringlark-cli as users
// run it: listen --log, log, phonebook, listen --exec, analyze --log.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <sstream>

#include "calllog/CallLog.h"
#include "cli/tests/CliRun.h"
#include "generation/FskSynth.h"
#include "generation/SignalImage.h"
#include "protocol/MessageFormat.h"
#include "tests/support/TestSignals.h"
#include "tests/support/TestSupport.h"

namespace ringlark {
namespace {

using test::RunCli;
using test::RunShell;
using test::TRun;

// A name no shell may ever run: each part would make a file if it were.
const std::string kHostileName = "$(touch x)`touch y`'\"";

Bytes HostileMdmf() {
    return FrameMessage(0x80,
                        "\x01\x08"
                        "12071030"
                        "\x02\x0A"
                        "5551234567"
                        "\x07" +
                            std::string(1, static_cast<char>(kHostileName.size())) + kHostileName);
}

// Three calls 0.5 s apart: the MDMF example (8005551212, JOHN DOE), an SDMF
// call with the number withheld, and a call-waiting MDMF call with kHostileName.
std::vector<float> ThreeCalls(int calls = 3) {
    std::vector<float> all;
    const auto add = [&](const Bytes& message, TSignalling signalling) {
        TFskSynth synth;
        const std::vector<float> s = ImageSamples(SynthesiseImage(synth, message, signalling));
        all.insert(all.end(), s.begin(), s.end());
        all.insert(all.end(), 22050, 0.0f);
    };
    add(ExampleMdmfMessage(), TSignalling::OnHook);
    add(FrameMessage(0x04, "12071015P"), TSignalling::OnHook);
    if (calls == 3) {
        add(HostileMdmf(), TSignalling::CallWaiting);
    }
    return all;
}

std::string WriteCalls(const test::TTempDir& dir) {
    const std::string wav = (dir / "calls.wav").string();
    test::WriteFile(wav, SamplesImage(ThreeCalls(), 44100));
    return wav;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

int64_t Millis(const std::string& utc) {
    const auto when = ParseUtcText(utc);
    return when ? std::chrono::duration_cast<std::chrono::milliseconds>(when->time_since_epoch())
                      .count()
                : -1;
}

TEST(CliCallLog, ListenLogsEveryEventOfARecordingWithItsFields) {
    test::TTempDir dir;
    const std::string wav = WriteCalls(dir);
    const std::string db = (dir / "calls.sqlite").string();
    const TRun plain = RunCli("listen --input " + wav);
    ASSERT_EQ(plain.Status, 0) << plain.Err;
    const int64_t before = Millis(UtcText(std::chrono::system_clock::now()));
    const TRun logged = RunCli("listen --input " + wav + " --log " + db);
    const int64_t after = Millis(UtcText(std::chrono::system_clock::now()));
    EXPECT_EQ(logged.Status, 0) << logged.Err;
    EXPECT_EQ(logged.Out, plain.Out);  // the output is that of a run without a log
    EXPECT_EQ(logged.Err, "");
    ASSERT_EQ(Lines(plain.Out).size(), 5u) << plain.Out;  // SAS, CAS and three messages

    const TRun json = RunCli("log --json --log " + db);
    ASSERT_EQ(json.Status, 0) << json.Err;
    const auto rows = test::JsonLines(json.Out);
    ASSERT_EQ(rows.size(), 5u);
    const std::vector<std::string> kinds = {"MDMF", "SDMF", "SAS", "CAS", "call waiting"};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(rows[i]["id"], i + 1);
        EXPECT_EQ(rows[i]["kind"], kinds[i]);
        EXPECT_EQ(rows[i]["input"], wav);
        // each row's time: the run's start plus the event's place in the input
        const double offset = rows[i]["offset_seconds"];
        const int64_t start = Millis(rows[i]["heard_utc"]) - std::llround(offset * 1000);
        EXPECT_GE(start, before - 1);
        EXPECT_LE(start, after + 1);
        EXPECT_NEAR(Millis(rows[i]["heard_utc"]) - Millis(rows[0]["heard_utc"]),
                    (offset - rows[0]["offset_seconds"].get<double>()) * 1000, 1.5);
    }
    // the offsets are the times listen printed
    for (std::size_t i = 0; i < rows.size(); ++i) {
        char head[32];
        std::snprintf(head, sizeof head, "%.3fs ", rows[i]["offset_seconds"].get<double>());
        EXPECT_EQ(Lines(plain.Out)[i].rfind(head, 0), 0u) << Lines(plain.Out)[i];
    }
    EXPECT_EQ(rows[0]["number"], "8005551212");
    EXPECT_EQ(rows[0]["name"], "JOHN DOE");
    EXPECT_EQ(rows[0]["message_time"], "12-07 09:30");
    EXPECT_EQ(rows[0]["standard"], "bell202");
    EXPECT_EQ(rows[0]["checksum"], "ok");
    EXPECT_EQ(rows[0]["uncertain"], false);
    EXPECT_EQ(rows[0]["bytes"],
              "80 20 01 08 31 32 30 37 30 39 33 30 02 0A 38 30 30 35 35 35 31 32 31 32 07 08 "
              "4A 4F 48 4E 20 44 4F 45 82");
    EXPECT_EQ(rows[1]["number"], "");
    EXPECT_EQ(rows[1]["number_absent"], "private");
    EXPECT_EQ(rows[1]["message_time"], "12-07 10:15");
    EXPECT_EQ(rows[2]["checksum"], "none");
    EXPECT_EQ(rows[2]["quality"], nullptr);
    // the tone's measurements as listen printed them
    std::string cas = Lines(plain.Out)[3];
    cas = cas.substr(cas.find("CAS ") + 4);
    cas.replace(cas.find(" ms "), 4, " ms, ");
    EXPECT_EQ(rows[3]["details"], cas);
    EXPECT_EQ(rows[4]["number"], "5551234567");
    EXPECT_EQ(rows[4]["name"], kHostileName);
    EXPECT_EQ(rows[4]["message_time"], "12-07 10:30");
}

TEST(CliCallLog, ARecordingIsNotLoggedUnlessAskedAndNoLogTurnsItOff) {
    test::TTempDir dir;
    const std::string wav = WriteCalls(dir);
    const auto home = dir / "home";
    const std::string env =
        "HOME=" + home.string() + " XDG_CONFIG_HOME=" + (home / ".config").string() + " ";
    EXPECT_EQ(RunShell(env + "CLI listen --input " + wav).Status, 0);
    EXPECT_FALSE(std::filesystem::exists(home / ".config"));
    const TRun both = RunCli("listen --input " + wav + " --log x.sqlite --no-log");
    EXPECT_EQ(both.Status, 2);
    EXPECT_EQ(both.Err, "ringlark-cli: --log and --no-log cannot be used together\n");
    EXPECT_EQ(both.Out, "");
}

TEST(CliCallLog, AKilledListenLeavesEveryEventItReportedInTheLog) {
    test::TTempDir dir;
    const std::string db = (dir / "calls.sqlite").string();
    test::TChild child =
        test::Spawn({"listen", "--input", "-", "--raw", "s16le", "--rate", "44100", "--log", db});
    ASSERT_GT(child.Pid, 0);
    // two calls, then the input stays open: listen waits for more
    Bytes raw;
    for (float v : ThreeCalls(2)) {
        const auto s = static_cast<int16_t>(std::lround(std::clamp(v, -1.0f, 1.0f) * 32767));
        raw += static_cast<char>(s & 0xFF);
        raw += static_cast<char>((s >> 8) & 0xFF);
    }
    ASSERT_EQ(write(child.In, raw.data(), raw.size()), static_cast<ssize_t>(raw.size()));
    const std::string first = test::ReadLine(child.Out);
    const std::string second = test::ReadLine(child.Out);
    // a reader sees both while listen still has the log open
    EXPECT_EQ(test::JsonLines(RunCli("log --json --log " + db).Out).size(), 2u);
    kill(child.Pid, SIGKILL);
    int status = 0;
    waitpid(child.Pid, &status, 0);
    close(child.In);
    close(child.Out);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_NE(first.find(" CORR q="), std::string::npos) << first;
    EXPECT_NE(second.find(" CORR q="), std::string::npos) << second;

    const TRun listed = RunCli("log --json --log " + db);
    ASSERT_EQ(listed.Status, 0) << listed.Err;
    const auto rows = test::JsonLines(listed.Out);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]["number"], "8005551212");
    EXPECT_EQ(rows[1]["kind"], "SDMF");
    EXPECT_EQ(rows[1]["number_absent"], "private");
    TSqlDatabase file(db, false);
    TSqlStatement check(file, "PRAGMA integrity_check");
    ASSERT_TRUE(check.Step());
    EXPECT_EQ(check.Text(0), "ok");
}

// A log with fixed rows, written through the library.
std::string FixedLog(const test::TTempDir& dir) {
    const std::string db = (dir / "fixed.sqlite").string();
    TCallLog log(db, true);
    TCallRecord a;
    a.HeardUtc = "2026-12-07T08:00:01.750Z";
    a.Input = "hw:1";
    a.Offset = 1.5;
    a.Standard = "bell202";
    a.Kind = "MDMF";
    a.Number = "8005551212";
    a.Name = "JOHN DOE";
    a.Contact = "John, \"Boss\"";
    a.MessageTime = "12-07 09:30";
    a.Checksum = "ok";
    a.Quality = 0.861;
    a.Raw = test::HexBytes("80 01 7F");
    log.Append(a);
    TCallRecord b = a;
    b.HeardUtc = "2026-12-08T23:59:59.999Z";
    b.Kind = "SDMF";
    b.Number = "";
    b.NumberAbsent = "private";
    b.Name = "";
    b.Contact = "";
    b.Checksum = "failed";
    b.Uncertain = true;
    b.Raw = test::HexBytes("04 01 00");
    b.Details = "uncertain; other reading: 04 01 FB";
    log.Append(b);
    TCallRecord c;
    c.HeardUtc = "2026-12-09T12:00:00.000Z";
    c.Input = "calls.wav";
    c.Standard = "dtmf";
    c.Kind = "DTMF";
    c.Number = "0123456789";
    c.Checksum = "none";
    c.Raw = "A0123456789C";
    log.Append(c);
    return db;
}

TEST(CliCallLog, LogListsSearchesAndExportsExactly) {
    test::TTempDir dir;
    const std::string db = FixedLog(dir);
    const std::string tz = "TZ=UTC CLI log --log " + db;
    const TRun text = RunShell(tz);
    EXPECT_EQ(text.Status, 0) << text.Err;
    EXPECT_EQ(text.Out,
              "2026-12-07 08:00:01.750 | hw:1 | MDMF | 8005551212 | JOHN DOE | John, \"Boss\" | "
              "12-07 09:30 | ok | \n"
              "2026-12-08 23:59:59.999 | hw:1 | SDMF | (private) |  |  | 12-07 09:30 | failed "
              "uncertain | uncertain; other reading: 04 01 FB\n"
              "2026-12-09 12:00:00.000 | calls.wav | DTMF | 0123456789 |  |  |  | none | \n");
    const std::string header =
        "id,heard_utc,local_time,input,offset_seconds,standard,kind,number,name,contact,"
        "message_time,number_absent,name_absent,checksum,quality,uncertain,bytes,details,"
        "refused\r\n";
    const std::string csvA =
        "1,2026-12-07T08:00:01.750Z,2026-12-07 08:00:01.750,hw:1,1.500,bell202,MDMF,8005551212,"
        "JOHN DOE,\"John, \"\"Boss\"\"\",12-07 09:30,,,ok,0.861,0,80 01 7F,,\r\n";
    const std::string csvB =
        "2,2026-12-08T23:59:59.999Z,2026-12-08 23:59:59.999,hw:1,1.500,bell202,SDMF,,,,12-07 "
        "09:30,private,,failed,0.861,1,04 01 00,uncertain; other reading: 04 01 FB,\r\n";
    const std::string csvC =
        "3,2026-12-09T12:00:00.000Z,2026-12-09 12:00:00.000,calls.wav,0.000,dtmf,DTMF,"
        "0123456789,,,,,,none,,0,A0123456789C,,\r\n";
    EXPECT_EQ(RunShell(tz + " --csv").Out, header + csvA + csvB + csvC);
    // searches: by digits, by name or contact in any case, by day, the latest
    EXPECT_EQ(RunShell(tz + " --csv --number 0123").Out, header + csvC);
    EXPECT_EQ(RunShell(tz + " --csv --name boss").Out, header + csvA);
    EXPECT_EQ(RunShell(tz + " --csv --since 2026-12-08 --until 2026-12-08").Out, header + csvB);
    EXPECT_EQ(RunShell(tz + " --csv --since '2026-12-08 23:59:59'").Out, header + csvB + csvC);
    EXPECT_EQ(RunShell(tz + " --csv --limit 1").Out, header + csvC);
    EXPECT_EQ(RunShell(tz + " --csv --name nobody").Out, header);
    // the local time is the zone's
    EXPECT_EQ(RunShell("TZ=XYZ-2 CLI log --limit 1 --log " + db).Out.substr(0, 24),
              "2026-12-09 14:00:00.000 ");
    // export: the same text in a file, kept unless replacing is asked for
    const std::string csv = (dir / "out.csv").string();
    EXPECT_EQ(RunShell(tz + " --export " + csv + " --until 2026-12-07").Status, 0);
    EXPECT_EQ(test::ReadFile(csv), header + csvA);
    const TRun again = RunShell(tz + " --export " + csv);
    EXPECT_EQ(again.Status, 1);
    EXPECT_EQ(again.Err, "File " + csv + " exists; use --force to replace it\n");
    EXPECT_EQ(RunShell(tz + " --export " + csv + " --force").Status, 0);
    EXPECT_EQ(test::ReadFile(csv), header + csvA + csvB + csvC);

    const TRun wrong = RunCli("log --since tomorrow --log " + db);
    EXPECT_EQ(wrong.Status, 2);
    EXPECT_EQ(wrong.Err, "ringlark-cli: --since: not a date: tomorrow\n");
    const TRun none = RunCli("log --log " + (dir / "none.sqlite").string());
    EXPECT_EQ(none.Status, 1);
    EXPECT_EQ(none.Err, "There is no call log at " + (dir / "none.sqlite").string() + "\n");
}

TEST(CliCallLog, AnalyzeAddsTheMessagesOfRecordingsAndMarksARefusedOne) {
    test::TTempDir dir;
    const std::string wav = WriteCalls(dir);
    // the example with its checksum one too high: read, but no valid message
    Bytes bad = ExampleMdmfMessage();
    bad.back() = static_cast<char>(bad.back() + 1);
    TFskSynth synth;
    const std::string badWav = (dir / "bad.wav").string();
    test::WriteFile(badWav, SynthesiseImage(synth, bad, TSignalling::OnHook));
    const std::string db = (dir / "calls.sqlite").string();
    const TRun plain = RunCli("analyze " + badWav);
    const TRun run = RunCli("analyze " + badWav + " --log " + db);
    EXPECT_EQ(run.Status, 3);
    EXPECT_EQ(run.Out, plain.Out);
    const auto rows = test::JsonLines(RunCli("log --json --log " + db).Out);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]["input"], badWav);
    EXPECT_EQ(rows[0]["kind"], "MDMF");
    EXPECT_EQ(rows[0]["checksum"], "failed");
    EXPECT_EQ(rows[0]["number"], "8005551212");
    EXPECT_EQ(rows[0]["bytes"],
              "80 20 01 08 31 32 30 37 30 39 33 30 02 0A 38 30 30 35 35 35 31 32 31 32 07 08 "
              "4A 4F 48 4E 20 44 4F 45 83");
    // read whole by the stream decoder and refused: logged with the reason
    EXPECT_EQ(rows[0]["details"], "refused: checksum fails");
    EXPECT_EQ(rows[0]["refused"], "checksum fails");
    // listen logs it the same way and prints what it prints without a log
    const std::string heard = (dir / "heard.sqlite").string();
    const TRun listened = RunCli("listen --input " + badWav + " --log " + heard);
    EXPECT_EQ(listened.Out, RunCli("listen --input " + badWav).Out);
    EXPECT_EQ(listened.Out.find("MDMF"), std::string::npos) << listened.Out;
    const auto heardRows = test::JsonLines(RunCli("log --json --log " + heard).Out);
    ASSERT_EQ(heardRows.size(), 1u);
    EXPECT_EQ(heardRows[0]["refused"], "checksum fails");
    EXPECT_EQ(heardRows[0]["bytes"], rows[0]["bytes"]);
    const std::string line = RunCli("log --log " + heard).Out;
    const std::string tail = " | failed refused | refused: checksum fails\n";
    ASSERT_GE(line.size(), tail.size());
    EXPECT_EQ(line.substr(line.size() - tail.size()), tail);

    // a batch: every event of each file, the file's name as the input
    EXPECT_EQ(RunCli("analyze --quiet " + wav + " " + badWav + " --log " + db).Status, 3);
    // (a file's rows are timed from when it was read: files may interleave)
    auto all = test::JsonLines(RunCli("log --json --log " + db).Out);
    ASSERT_EQ(all.size(), 7u);
    std::sort(all.begin(), all.end(),
              [](const nlohmann::json& a, const nlohmann::json& b) { return a["id"] < b["id"]; });
    std::string kinds;
    for (std::size_t i = 1; i < all.size(); ++i) {
        kinds += all[i]["input"].get<std::string>() == wav ? "" : "other ";
        kinds += all[i]["kind"].get<std::string>() + ",";
    }
    EXPECT_EQ(kinds, "MDMF,SDMF,SAS,CAS,call waiting,other MDMF,");
    EXPECT_EQ(RunCli("analyze - --log " + db).Status, 2);
}

}  // namespace
}  // namespace ringlark
