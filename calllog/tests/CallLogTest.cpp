// The call log's file: its schema and version, rows written and read back,
// the migration of a version-1 file, searches, and the rows made of events.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <ctime>

#include "calllog/CallLog.h"
#include "core/RinglarkError.h"
#include "tests/support/TestSupport.h"

namespace ringlark {
namespace {

using std::chrono::system_clock;

// The MDMF example: 12/07 09:30, 8005551212, JOHN DOE.
const char* const kMdmfHex =
    "80 20 01 08 31 32 30 37 30 39 33 30 02 0A 38 30 30 35 35 35 31 32 31 32 07 08 4A 4F 48 4E "
    "20 44 4F 45 82";

TStreamEvent MessageEvent(double seconds, const Bytes& bytes, bool uncertain = false) {
    TStreamEvent e;
    e.Kind = TStreamEvent::TKind::Message;
    e.Message.Seconds = seconds;
    e.Message.Message = bytes;
    e.Message.Quality = 0.8612;
    e.Message.Uncertain = uncertain;
    if (uncertain) {
        e.Message.Alternative = test::HexBytes("82 03 0B 01 00 70");
    }
    return e;
}

TStreamEvent ToneEvent(TStreamEvent::TKind kind, double seconds) {
    TStreamEvent e;
    e.Kind = kind;
    e.Tone.Seconds = seconds;
    e.Tone.Duration = 0.1;
    e.Tone.LowHz = kind == TStreamEvent::TKind::DualTone ? 2130 : 440;
    e.Tone.HighHz = 2750;
    e.Tone.LowDbfs = e.Tone.HighDbfs = -6.25;
    return e;
}

// Runs SQL on a file directly, as another program would.
std::string Sql(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    std::string out;
    char* error = nullptr;
    sqlite3_exec(
        db, sql.c_str(),
        [](void* to, int n, char** values, char**) {
            auto& text = *static_cast<std::string*>(to);
            for (int i = 0; i < n; ++i) {
                text += (i ? "|" : "") + std::string(values[i] ? values[i] : "NULL");
            }
            text += "\n";
            return 0;
        },
        &out, &error);
    if (error != nullptr) {
        out += std::string("error: ") + error;
        sqlite3_free(error);
    }
    sqlite3_close(db);
    return out;
}

const system_clock::time_point kStart =
    system_clock::from_time_t(1796630400) + std::chrono::milliseconds(250);  // 2026-12-07 08:00

TEST(CallLog, WritesEveryFieldOfARowAndReadsItBack) {
    test::TTempDir dir;
    const std::string path = (dir / "sub" / "calls.sqlite").string();
    {
        TCallLog log(path, true);
        TCallRecorder recorder("line.wav", kStart);
        TCallRecord row = recorder.Record(MessageEvent(1.5, test::HexBytes(kMdmfHex)));
        row.Contact = "Johnny";
        log.Append(row);
        EXPECT_EQ(row.Id, 1);
    }
    EXPECT_EQ(Sql(path, "PRAGMA user_version; PRAGMA journal_mode"), "3\nwal\n");
    EXPECT_EQ(
        Sql(path,
            "SELECT id, heard_utc, input, offset_seconds, standard, kind, number, name, "
            "message_time, number_absent, name_absent, checksum, quality, uncertain, "
            "hex(raw), details, contact, refused FROM calls"),
        "1|2026-12-07T08:00:01.750Z|line.wav|1.5|bell202|MDMF|8005551212|JOHN DOE|12-07 "
        "09:30|||ok|0.861|0|802001083132303730393330020A3830303535353132313207084A4F484E20444F45"
        "82||Johnny|\n");
    TCallLog again(path, false);
    const auto rows = again.Find({});
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].Raw, test::HexBytes(kMdmfHex));
    EXPECT_EQ(rows[0].Name, "JOHN DOE");
    EXPECT_EQ(rows[0].Contact, "Johnny");
    EXPECT_EQ(rows[0].Quality, 0.861);
}

TEST(CallLog, AMissingFileIsOnlyMadeWhenAsked) {
    test::TTempDir dir;
    const std::string path = (dir / "none.sqlite").string();
    EXPECT_EQ(test::ErrorOf([&] { TCallLog log(path, false); }), "There is no call log at " + path);
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(CallLog, AVersionOneFileIsBroughtUpToDateWithItsRowsKept) {
    test::TTempDir dir;
    const std::string path = (dir / "old.sqlite").string();
    // A file as the first version of the log wrote it, made by hand.
    EXPECT_EQ(Sql(path,
                  "CREATE TABLE calls (id INTEGER PRIMARY KEY, heard_utc TEXT NOT NULL, input "
                  "TEXT NOT NULL, offset_seconds REAL NOT NULL, standard TEXT NOT NULL, kind TEXT "
                  "NOT NULL, number TEXT NOT NULL, name TEXT NOT NULL, message_time TEXT NOT "
                  "NULL, number_absent TEXT NOT NULL, name_absent TEXT NOT NULL, checksum TEXT NOT "
                  "NULL, quality REAL, uncertain INTEGER NOT NULL, raw BLOB NOT NULL, details "
                  "TEXT NOT NULL);"
                  "CREATE INDEX calls_by_time ON calls(heard_utc);"
                  "INSERT INTO calls VALUES (7, '2025-01-02T03:04:05.006Z', 'hw:1', 2.0, "
                  "'bell202', 'SDMF', '5551234', '', '01-02 03:04', '', '', 'ok', 0.5, 0, "
                  "x'040F', '');"
                  "PRAGMA user_version = 1;"),
              "");
    {
        TCallLog log(path, false);
        const auto rows = log.Find({});
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].Id, 7);
        EXPECT_EQ(rows[0].Number, "5551234");
        EXPECT_EQ(rows[0].Raw, test::HexBytes("04 0F"));
        EXPECT_EQ(rows[0].Contact, "");
        TCallRecord next =
            TCallRecorder("hw:1", kStart).Record(ToneEvent(TStreamEvent::TKind::Subscriber, 0));
        next.Contact = "x";
        log.Append(next);
        EXPECT_EQ(next.Id, 8);
    }
    EXPECT_EQ(Sql(path, "PRAGMA user_version"), "3\n");
    EXPECT_EQ(Sql(path, "SELECT id, kind, contact, refused FROM calls ORDER BY id"),
              "7|SDMF||\n8|SAS|x|\n");
    EXPECT_EQ(Sql(path, "SELECT count(*) FROM contacts; SELECT count(*) FROM settings"), "0\n0\n");
}

TEST(CallLog, AVersionTwoFileGainsTheRefusedColumnAndKeepsItsContacts) {
    test::TTempDir dir;
    const std::string path = (dir / "v2.sqlite").string();
    {
        TCallLog log(path, true);
        TCallRecord row =
            TCallRecorder("hw:0", kStart).Record(MessageEvent(1, test::HexBytes(kMdmfHex)));
        log.Append(row);
    }
    // Back to what the second version wrote: no refused column.
    EXPECT_EQ(Sql(path,
                  "ALTER TABLE calls DROP COLUMN refused;"
                  "INSERT INTO contacts (name, number, number_key) VALUES ('Ann', '555', '555');"
                  "PRAGMA user_version = 2;"),
              "");
    TCallLog log(path, false);
    TStreamEvent refused = MessageEvent(2, test::HexBytes("80 03 02 01 35 00"));
    refused.Message.Failed = true;
    refused.Message.Failure = "checksum fails";
    TCallRecord bad = TCallRecorder("hw:0", kStart).Record(refused);
    EXPECT_EQ(bad.Refused, "checksum fails");
    EXPECT_EQ(bad.Checksum, "failed");
    EXPECT_EQ(bad.Number, "5");  // what was read
    EXPECT_EQ(bad.Details, "refused: checksum fails");
    log.Append(bad);
    const auto rows = log.Find({});
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].Refused, "");  // oldest first
    EXPECT_EQ(rows[1].Refused, "checksum fails");
    EXPECT_EQ(rows[1].Raw, test::HexBytes("80 03 02 01 35 00"));
    EXPECT_EQ(Sql(path, "PRAGMA user_version; SELECT name FROM contacts"), "3\nAnn\n");
}

TEST(CallLog, AFileFromALaterVersionIsRefusedAndLeftAsItIs) {
    test::TTempDir dir;
    const std::string path = (dir / "new.sqlite").string();
    Sql(path, "CREATE TABLE future (x); PRAGMA user_version = 9;");
    EXPECT_EQ(test::ErrorOf([&] { TCallLog log(path, false); }),
              "The call log " + path +
                  " was written by a later Ringlark (schema version 9) and is left as it is");
    EXPECT_EQ(Sql(path, "PRAGMA user_version; SELECT name FROM sqlite_master"), "9\nfuture\n");
}

TEST(CallLog, FindsByTimeNumberAndNameAndKeepsTheLatest) {
    test::TTempDir dir;
    TCallLog log((dir / "c.sqlite").string(), true);
    const char* const names[] = {"Alice Smith", "Bob Jones", "alice cooper", "Carol"};
    for (int i = 0; i < 4; ++i) {
        TCallRecord r;
        r.HeardUtc = "2026-12-0" + std::to_string(i + 1) + "T10:00:00.000Z";
        r.Input = "in";
        r.Kind = "MDMF";
        r.Number = "55501" + std::to_string(i);
        r.Name = names[i];
        r.Checksum = "ok";
        r.Contact = i == 3 ? "Aunt Alice" : "";
        log.Append(r);
    }
    const auto numbers = [&](const TCallFilter& f) {
        std::string text;
        for (const auto& r : log.Find(f)) {
            text += r.Number + " ";
        }
        return text;
    };
    const auto filter = [](std::optional<std::string> since, std::optional<std::string> until,
                           std::string number, std::string name, int limit) {
        TCallFilter f;
        f.SinceUtc = std::move(since);
        f.UntilUtc = std::move(until);
        f.Number = std::move(number);
        f.Name = std::move(name);
        f.Limit = limit;
        return f;
    };
    const std::string day2 = "2026-12-02T10:00:00.000Z";
    EXPECT_EQ(numbers({}), "555010 555011 555012 555013 ");
    EXPECT_EQ(numbers(filter(day2, {}, "", "", 0)), "555011 555012 555013 ");
    EXPECT_EQ(numbers(filter({}, day2, "", "", 0)), "555010 ");
    EXPECT_EQ(numbers(filter({}, {}, "012", "", 0)), "555012 ");
    EXPECT_EQ(numbers(filter({}, {}, "", "ALICE", 0)), "555010 555012 555013 ");
    EXPECT_EQ(numbers(filter({}, {}, "", "", 2)), "555012 555013 ");
    EXPECT_EQ(numbers(filter({}, {}, "", "alice", 1)), "555013 ");
}

TEST(CallRecorder, ReadsTheFieldsOfEachKindOfEvent) {
    TCallRecorder recorder("hw:0", kStart);
    // SDMF, number withheld: the reason, no number
    const TCallRecord sdmf =
        recorder.Record(MessageEvent(0.25, test::HexBytes("04 09 31 32 30 37 30 39 33 30 50 00")));
    EXPECT_EQ(sdmf.Kind, "SDMF");
    EXPECT_EQ(sdmf.HeardUtc, "2026-12-07T08:00:00.500Z");
    EXPECT_EQ(sdmf.MessageTime, "12-07 09:30");
    EXPECT_EQ(sdmf.Number, "");
    EXPECT_EQ(sdmf.NumberAbsent, "private");
    EXPECT_EQ(sdmf.Checksum, "failed");  // 00 is not its checksum

    // a message after SAS and CAS is a call-waiting one, uncertain marked so
    recorder.Record(ToneEvent(TStreamEvent::TKind::Subscriber, 10));
    const TCallRecord cas = recorder.Record(ToneEvent(TStreamEvent::TKind::DualTone, 10.4));
    EXPECT_EQ(cas.Kind, "CAS");
    EXPECT_EQ(cas.Checksum, "none");
    EXPECT_EQ(cas.Details, "100.0 ms, 2130.0 Hz -6.2 dBFS + 2750.0 Hz -6.2 dBFS");
    const TCallRecord cw = recorder.Record(MessageEvent(10.8, test::HexBytes(kMdmfHex), true));
    EXPECT_EQ(cw.Kind, "call waiting");
    EXPECT_TRUE(cw.Uncertain);
    EXPECT_EQ(cw.Details, "uncertain; other reading: 82 03 0B 01 00 70");
    EXPECT_EQ(cw.Checksum, "ok");
    // three seconds on, an MDMF message is an on-hook one again
    EXPECT_EQ(recorder.Record(MessageEvent(14, test::HexBytes(kMdmfHex))).Kind, "MDMF");

    const TCallRecord vmwi = recorder.Record(MessageEvent(20, test::HexBytes("82 03 0B 01 FF 70")));
    EXPECT_EQ(vmwi.Kind, "VMWI");
    EXPECT_EQ(vmwi.Details, "message waiting: on");
    // name withheld, V.23
    TStreamEvent etsi = MessageEvent(21, test::HexBytes("80 06 02 01 35 08 01 4F EA"));
    etsi.Message.Standard = TCidStandard::EtsiV23;
    const TCallRecord e = recorder.Record(etsi);
    EXPECT_EQ(e.Standard, "etsi");
    EXPECT_EQ(e.Number, "5");
    EXPECT_EQ(e.NameAbsent, "unavailable");
    EXPECT_EQ(e.Checksum, "ok");

    TStreamEvent dtmf;
    dtmf.Kind = TStreamEvent::TKind::Dtmf;
    dtmf.Dtmf.Seconds = 30;
    dtmf.Dtmf.Digits = "A0123456789C";
    const TCallRecord d = recorder.Record(dtmf);
    EXPECT_EQ(d.Kind, "DTMF");
    EXPECT_EQ(d.Standard, "dtmf");
    EXPECT_EQ(d.Number, "0123456789");
    EXPECT_EQ(d.Raw, "A0123456789C");
    EXPECT_EQ(d.Checksum, "none");
    EXPECT_FALSE(d.Quality.has_value());
}

TEST(CallLogTime, UtcTextRoundTripsAndShowsInTheLocalZone) {
    const auto when = system_clock::from_time_t(1796630400) + std::chrono::milliseconds(7);
    EXPECT_EQ(UtcText(when), "2026-12-07T08:00:00.007Z");
    EXPECT_EQ(ParseUtcText("2026-12-07T08:00:00.007Z"), when);
    EXPECT_FALSE(ParseUtcText("2026-12-07 08:00:00").has_value());
    const char* old = std::getenv("TZ");
    const std::string saved = old != nullptr ? old : "";
    setenv("TZ", "XYZ-2", 1);  // two hours east of UTC
    tzset();
    EXPECT_EQ(LocalText("2026-12-07T23:30:00.120Z"), "2026-12-08 01:30:00.120");
    EXPECT_EQ(LocalDateToUtc("2026-12-08", false), "2026-12-07T22:00:00.000Z");
    EXPECT_EQ(LocalDateToUtc("2026-12-08", true), "2026-12-08T22:00:00.000Z");
    EXPECT_EQ(LocalDateToUtc("2026-12-08 01:30", false), "2026-12-07T23:30:00.000Z");
    EXPECT_EQ(LocalDateToUtc("2026-12-08 01:30:15", false), "2026-12-07T23:30:15.000Z");
    EXPECT_EQ(LocalDateToUtc("2026-12-07T08:00:00.007Z", false), "2026-12-07T08:00:00.007Z");
    EXPECT_FALSE(LocalDateToUtc("yesterday", false).has_value());
    EXPECT_FALSE(LocalDateToUtc("2026-13-01", false).has_value());
    if (old != nullptr) {
        setenv("TZ", saved.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

}  // namespace
}  // namespace ringlark
