// The phone book and the hooks through ringlark-cli: contacts imported and
// shown beside the network's name, fields handed to a command as values only,
// a hanging hook killed while decoding goes on.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

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

const std::string kMdmfLine =
    "0.400s CORR q=1.00 80 20 01 08 31 32 30 37 30 39 33 30 02 0A 38 30 30 35 35 35 31 32 31 32 "
    "07 08 4A 4F 48 4E 20 44 4F 45 82 | Date: 12/07; Time: 09:30; Calling Number: 8005551212; "
    "Calling Name: JOHN DOE";

// A name no shell may ever run: each part would make a file if it were.
const std::string kHostileName = "$(touch x)`touch y`'\"";

std::string WriteImage(const test::TTempDir& dir, const std::string& name, const Bytes& message) {
    TFskSynth synth;
    const std::string path = (dir / name).string();
    test::WriteFile(path, SynthesiseImage(synth, message, TSignalling::OnHook));
    return path;
}

std::string MdmfWav(const test::TTempDir& dir) {
    return WriteImage(dir, "mdmf.wav", ExampleMdmfMessage());
}

Bytes HostileMessage() {
    return FrameMessage(0x80,
                        "\x02\x0A"
                        "5551234567"
                        "\x07" +
                            std::string(1, static_cast<char>(kHostileName.size())) + kHostileName);
}

std::string HostileWav(const test::TTempDir& dir) {
    return WriteImage(dir, "hostile.wav", HostileMessage());
}

// "80 21 ...": the bytes as the hook sees them.
std::string SpacedHex(const Bytes& bytes) {
    std::string text;
    for (char c : bytes) {
        char two[4];
        std::snprintf(two, sizeof two, "%02X", static_cast<uint8_t>(c));
        text += (text.empty() ? "" : " ") + std::string(two);
    }
    return text;
}

TEST(CliPhoneBook, ImportsListsAndNamesTheCallerInEveryOutput) {
    test::TTempDir dir;
    const std::string db = (dir / "calls.sqlite").string();
    test::WriteFile(
        dir / "cards.vcf",
        "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:John Smith\r\nTEL;TYPE=work:+1 (800) "
        "555-1212\r\nEND:VCARD\r\nBEGIN:VCARD\r\nFN:Ann\r\nTEL:555 0100\r\nEND:VCARD\r\n");
    const TRun import = RunCli("phonebook import " + (dir / "cards.vcf").string() + " --book " +
                               db + " --national-prefix 1 --country-code 1");
    EXPECT_EQ(import.Status, 0) << import.Err;
    EXPECT_EQ(import.Out, "2 of 2 contacts added to " + db + "\n");
    test::WriteFile(dir / "more.csv",
                    "Name,Phone\r\n\"Doe, Jane\",1-800-555-1212\r\nAnn,555 0100\r\n");
    EXPECT_EQ(RunCli("phonebook import " + (dir / "more.csv").string() + " --book " + db).Out,
              "1 of 2 contacts added to " + db + "\n");
    EXPECT_EQ(RunCli("phonebook list --book " + db).Out,
              "Ann | 555 0100\nDoe, Jane | 1-800-555-1212\nJohn Smith | +1 (800) 555-1212\n");

    // 8005551212 heard: both contacts of that number, beside the network's name
    const std::string wav = MdmfWav(dir);
    const TRun line = RunCli("listen --input " + wav + " --book " + db);
    EXPECT_EQ(line.Status, 0) << line.Err;
    EXPECT_EQ(line.Out, kMdmfLine + " | Contact: Doe, Jane / John Smith\n");
    const TRun json = RunCli("listen --json --input " + wav + " --book " + db);
    const auto events = test::JsonLines(json.Out);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]["contact"], "Doe, Jane / John Smith");
    EXPECT_NE(events[0]["fields"].get<std::string>().find("JOHN DOE"), std::string::npos);
    // and in the log, with the network's name kept
    EXPECT_EQ(RunCli("listen --quiet --input " + wav + " --log " + db).Status, 0);
    const auto rows = test::JsonLines(RunCli("log --json --log " + db).Out);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]["name"], "JOHN DOE");
    EXPECT_EQ(rows[0]["contact"], "Doe, Jane / John Smith");

    // a number not in the book: no contact, and in JSON a null
    const TRun other = RunCli("listen --json --input " + HostileWav(dir) + " --book " + db);
    ASSERT_EQ(test::JsonLines(other.Out).size(), 1u);
    EXPECT_EQ(test::JsonLines(other.Out)[0]["contact"], nullptr);
    // an empty phone book changes nothing
    const std::string empty = (dir / "empty.sqlite").string();
    EXPECT_EQ(RunCli("listen --input " + wav + " --log " + empty).Out, kMdmfLine + "\n");
    EXPECT_EQ(RunCli("listen --input " + wav + " --book " + empty).Out, kMdmfLine + "\n");
}

TEST(CliPhoneBook, AFileWithoutContactsIsRefused) {
    test::TTempDir dir;
    test::WriteFile(dir / "none.csv", "just one column\n");
    const TRun run = RunCli("phonebook import " + (dir / "none.csv").string() + " --book " +
                            (dir / "b.sqlite").string());
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Err,
              "No contact with a name and a number in " + (dir / "none.csv").string() + "\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "b.sqlite"));
}

TEST(CliHook, FieldsReachTheCommandAsValuesOnly) {
    test::TTempDir dir;
    const std::string wav = HostileWav(dir);
    const TRun run = RunShell(
        "cd " + dir.Path().string() + " && CLI listen --input " + wav +
        R"( --exec 'printf "%s|%s|%s|%s|%s|%s\n" "$RINGLARK_NUMBER" "$RINGLARK_NAME" "$RINGLARK_KIND" )"
        R"("$RINGLARK_STANDARD" "$RINGLARK_BYTES" "$RINGLARK_CONTACT" >> hooks.txt')");
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Err, "");
    EXPECT_EQ(test::ReadFile(dir / "hooks.txt"), "5551234567|" + kHostileName + "|MDMF|bell202|" +
                                                     SpacedHex(HostileMessage()) + "|\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "x"));
    EXPECT_FALSE(std::filesystem::exists(dir / "y"));
}

TEST(CliHook, AHangingHookIsKilledAndDecodingGoesOn) {
    test::TTempDir dir;
    const std::string wav = MdmfWav(dir);
    const TRun run = RunCli("listen --input " + wav + " --exec 'sleep 600' --exec-timeout 0.5");
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Out, kMdmfLine + "\n");
    EXPECT_EQ(run.Err,
              "ringlark-cli: The hook was still running after 0.5 s and was killed: sleep 600\n");
    const TRun wrong = RunCli("listen --input " + wav + " --exec true --exec-timeout 0");
    EXPECT_EQ(wrong.Status, 2);
    EXPECT_EQ(wrong.Err, "ringlark-cli: --exec-timeout must be more than 0\n");
}

}  // namespace
}  // namespace ringlark
