#include "cli/CliFormat.h"
#include "cli/batch/EventFormat.h"
#include "cli/batch/ProgressBar.h"

#include <gtest/gtest.h>

#include "tests/support/TestSupport.h"

namespace ringlark::cli {
namespace {

Bytes Parse(std::vector<std::string> args, std::string* errorOut = nullptr) {
    std::string error;
    auto bytes = ParseHexArguments(args, error);
    if (errorOut) {
        *errorOut = error;
    }
    return bytes.value_or("<error>");
}

TEST(CliHexInput, SpacesOptionalAnyCase) {
    EXPECT_EQ(Parse({"82 03 0b 01 FF 70"}), test::HexBytes("82030B01FF70"));
    EXPECT_EQ(Parse({"82030b01ff70"}), test::HexBytes("82030B01FF70"));
    EXPECT_EQ(Parse({"82", "03", "0B01", "FF70"}), test::HexBytes("82030B01FF70"));
    EXPECT_EQ(Parse({""}), "");
}

TEST(CliHexInput, ErrorsSayWhere) {
    std::string error;
    EXPECT_EQ(Parse({"82 03", "0G"}, &error), "<error>");
    EXPECT_EQ(error, "malformed hex in argument 2 at character 2: 'G' is not a hexadecimal digit");
    EXPECT_EQ(Parse({"82 030 01"}, &error), "<error>");
    EXPECT_EQ(error, "malformed hex in argument 1: \"030\" has an odd number of digits");
    EXPECT_EQ(Parse({"8\xC3\xA9"}, &error), "<error>");
    EXPECT_EQ(error,
              "malformed hex in argument 1 at character 2: byte 0xC3 is not a hexadecimal digit");
}

TEST(CliInspectorText, AlignedColumnsAndRawStream) {
    const auto table = BuildInspector(test::HexBytes("82 03 0B 01 FF 70"));
    const std::string text = InspectorText(table);
    EXPECT_EQ(text,
              "Raw Stream: \xE2\x80\x9A...\xC3\xBFp\n"
              "Byte  Hex  Decimal  Binary (LSB Left)  ASCII  Notes\n"
              "1     82   130      01000001           \xE2\x80\x9A      Message Type $82 - VMWI\n"
              "2     03   03       11000000                  Message Length: 3 bytes\n"
              "3     0B   11       11010000                  Parameter type $0B: Visual Message "
              "Waiting Indicator\n"
              "4     01   01       10000000                  Parameter Length: 1 bytes\n"
              "5     FF   255      11111111           \xC3\xBF      VMWI Status: On\n"
              "6     70   112      00001110           p      Checksum (Passed)\n");
}

TEST(CliInspectorJson, RowsWithUtf8Texts) {
    const auto json = InspectorJson(BuildInspector(test::HexBytes("82 03 0B 01 FF 70")));
    EXPECT_EQ(json["raw"], "\xE2\x80\x9A...\xC3\xBFp");
    ASSERT_EQ(json["rows"].size(), 6u);
    EXPECT_EQ(json["rows"][0]["byte"], 1);
    EXPECT_EQ(json["rows"][0]["hex"], "82");
    EXPECT_EQ(json["rows"][0]["decimal"], "130");
    EXPECT_EQ(json["rows"][0]["binary"], "01000001");
    EXPECT_EQ(json["rows"][0]["ascii"], "\xE2\x80\x9A");
    EXPECT_EQ(json["rows"][0]["notes"], "Message Type $82 - VMWI");
    EXPECT_EQ(json["rows"][1]["ascii"], " ");
    EXPECT_EQ(json["rows"][5]["notes"], "Checksum (Passed)");
}

TEST(CliInspectorText, ControlBytesInNotesShowAsSpaces) {
    const auto table = BuildInspector(test::HexBytes("80 05 07 03 41 01 42 00"));
    const std::string text = InspectorText(table);
    EXPECT_NE(text.find("Calling Name: A B\n"), std::string::npos) << text;
    const auto json = InspectorJson(table);
    EXPECT_EQ(json["rows"][4]["notes"],
              "Calling Name: A\x01"
              "B");
}

}  // namespace
}  // namespace ringlark::cli

namespace ringlark::cli {
namespace {

TEST(ProgressBar, LineShowsTheBarCountRateAndTimeLeft) {
    EXPECT_EQ(TProgressBar::Line(250, 1000, 10.0),
              "[==========                              ] 250/1000  25.0 files/s  0:30 left");
    EXPECT_EQ(TProgressBar::Line(0, 3, 0.0), "[                                        ] 0/3");
    EXPECT_EQ(TProgressBar::Line(3, 3, 1.5),
              "[========================================] 3/3  2.0 files/s  0:00 left");
}

TEST(CliFormat, LostInputIsToldOnStderrAndAsAJsonEvent) {
    EXPECT_EQ(cli::InputLostLine(1, 12.3456), "input lost at 12.346s (1 time so far)");
    EXPECT_EQ(cli::InputLostLine(3, 0.06), "input lost at 0.060s (3 times so far)");
    EXPECT_EQ(cli::InputLostJson(2, 1.25).dump(),
              R"({"event":"input_lost","seconds":1.25,"times":2})");
}

}  // namespace
}  // namespace ringlark::cli
