#include "inspection/Inspector.h"

#include <gtest/gtest.h>

#include <map>

#include "generation/MessageBuilder.h"
#include "tests/support/TestSupport.h"

namespace ringlark {
namespace {

using test::HexBytes;

// Row number -> note, for the rows that have one.
std::map<int, std::string> Notes(const TInspectorTable& table) {
    std::map<int, std::string> notes;
    for (std::size_t i = 0; i < table.Rows.size(); ++i) {
        if (!table.Rows[i].Notes().empty()) {
            notes[static_cast<int>(i + 1)] = table.Rows[i].Notes();
        }
    }
    return notes;
}

TEST(InspectorNotes, FixedTestMessage) {
    const auto table = BuildInspector(HexBytes("81 0C 02 0A 30 31 32 33 34 35 36 37 38 39 5A"));
    ASSERT_EQ(table.Rows.size(), 15u);
    EXPECT_EQ(Notes(table), (std::map<int, std::string>{
                                {1, "Message Type $81 - Test"},
                                {2, "Message Length: 12 bytes"},
                                {3, "MDMF Parameter $02: Calling Number"},
                                {4, "Parameter Length: 10 bytes"},
                                {5, "Calling Number: 0123456789"},
                                {15, "Checksum (Passed)"},
                            }));
}

TEST(InspectorNotes, MdmfWithDateNumberAndName) {
    TCidRequest request;
    request.Kind = TMessageKind::Mdmf;
    request.DateText = "1231";
    request.TimeText = "2359";
    request.NumberText = "5551234567";
    request.NameText = "JOHN DOE";
    const Bytes message = BuildCidMessage(request, {});
    ASSERT_EQ(message.size(), 35u);
    EXPECT_EQ(ByteAt(message, 1), 32);
    EXPECT_EQ(Notes(BuildInspector(message)), (std::map<int, std::string>{
                                                  {1, "Message Type $80 - MDMF"},
                                                  {2, "Message Length: 32 bytes"},
                                                  {3, "MDMF Parameter $01: Date/Time"},
                                                  {4, "Parameter Length: 8 bytes"},
                                                  {5, "Date: 12/31"},
                                                  {9, "Time: 23:59"},
                                                  {13, "MDMF Parameter $02: Calling Number"},
                                                  {14, "Parameter Length: 10 bytes"},
                                                  {15, "Calling Number: 5551234567"},
                                                  {25, "MDMF Parameter $07: Calling Name"},
                                                  {26, "Parameter Length: 8 bytes"},
                                                  {27, "Calling Name: JOHN DOE"},
                                                  {35, "Checksum (Passed)"},
                                              }));
}

TEST(InspectorNotes, VmwiOnAndOff) {
    EXPECT_EQ(Notes(BuildInspector(HexBytes("82 03 0B 01 FF 70"))),
              (std::map<int, std::string>{
                  {1, "Message Type $82 - VMWI"},
                  {2, "Message Length: 3 bytes"},
                  {3, "Parameter type $0B: Visual Message Waiting Indicator"},
                  {4, "Parameter Length: 1 bytes"},
                  {5, "VMWI Status: On"},
                  {6, "Checksum (Passed)"},
              }));
    EXPECT_EQ(Notes(BuildInspector(HexBytes("82 03 0B 01 00 6F")))[5], "VMWI Status: Off");
    auto odd = Notes(BuildInspector(HexBytes("82 03 0C 07 33 00")));
    EXPECT_EQ(odd[3], "Unknown Parameter Type");
    EXPECT_EQ(odd[4], "Parameter Length: 7 bytes");
    EXPECT_EQ(odd[5], "VMWI Status: Invalid");
}

TEST(InspectorNotes, SdmfEmptyNumberHidesChecksum) {
    const auto table = BuildInspector(HexBytes("04 08 30 31 30 31 31 32 30 30 1D"));
    EXPECT_EQ(Notes(table), (std::map<int, std::string>{
                                {1, "Message Type $04 - SDMF"},
                                {2, "Message Length: 8 bytes"},
                                {3, "Date: 01/01"},
                                {7, "Time: 12:00"},
                                {11, "Number: "},
                            }));
}

TEST(InspectorNotes, SdmfChecksumPassesAndFails) {
    Bytes message = HexBytes("04 0C 30 31 30 31 31 32 30 30 31 32 33 34 A1");
    auto notes = Notes(BuildInspector(message));
    EXPECT_EQ(notes[11], "Number: 1234");
    EXPECT_EQ(notes[15], "Checksum (Passed)");
    message.back() = '\xA2';
    EXPECT_EQ(Notes(BuildInspector(message))[15], "Checksum (Failed)");
}

TEST(InspectorNotes, SdmfNumberEndsBeforeLastByteWhateverTheLength) {
    // Length byte says 9, but the number still runs to the byte before the last.
    auto notes = Notes(BuildInspector(HexBytes("04 09 30 31 30 31 31 32 30 30 35 36 37 00")));
    EXPECT_EQ(notes[11], "Number: 567");
    EXPECT_EQ(notes[12], "Checksum (Failed)");
}

TEST(InspectorNotes, SdmfNumberTakesAtMost255Bytes) {
    Bytes message = HexBytes("04 08 30 31 30 31 31 32 30 30") + Bytes(300, '7') + "\x00";
    auto notes = Notes(BuildInspector(message));
    EXPECT_EQ(notes[11], "Number: " + Bytes(254, '7'));
}

TEST(InspectorNotes, ShortDateTimeParameterReadsOnRegardless) {
    // $01 with length 6, then a calling number parameter
    const Bytes message = HexBytes("80 0D 01 06 31 32 33 34 35 36 02 03 39 38 37 00");
    auto notes = Notes(BuildInspector(message));
    EXPECT_EQ(notes[4], "Parameter Length: 6 bytes (Invalid Length)");
    EXPECT_EQ(notes[5], "Date: 12/34");
    EXPECT_EQ(notes[9], "Time: 56:\x02\x03");
    EXPECT_EQ(notes[11], "MDMF Parameter $02: Calling Number");
    EXPECT_EQ(notes[13], "Calling Number: 987");
}

TEST(InspectorNotes, LaterNoteWins) {
    // $01 with length 2: its time note lands on row 9, the next parameter's
    // value row, which then replaces it.
    const Bytes message = HexBytes("80 0A 01 02 31 32 07 03 41 42 43 58 00");
    auto notes = Notes(BuildInspector(message));
    EXPECT_EQ(notes[4], "Parameter Length: 2 bytes (Invalid Length)");
    EXPECT_EQ(notes[7], "MDMF Parameter $07: Calling Name");
    EXPECT_EQ(notes[9], "Calling Name: ABC");
}

TEST(InspectorNotes, CallQualifierLengthIsNotChecked) {
    auto notes = Notes(BuildInspector(HexBytes("80 05 06 03 4C 4C 4C 00")));
    EXPECT_EQ(notes[4], "Parameter Length: 3 bytes");
    EXPECT_EQ(notes[5], "Call Qualifier: Long Distance");
    EXPECT_EQ(Notes(BuildInspector(HexBytes("80 03 06 01 41 00")))[5], "Call Qualifier: Unknown");
}

TEST(InspectorNotes, ZeroLengthParameterAtEndIsNotVisited) {
    auto notes = Notes(BuildInspector(HexBytes("80 02 07 00 00")));
    EXPECT_EQ(notes.count(3), 0u);
    EXPECT_EQ(notes.count(4), 0u);
    EXPECT_EQ(notes[5], "Checksum (Failed)");
}

TEST(InspectorNotes, UnknownMessageTypeHasOnlyItsNote) {
    EXPECT_EQ(Notes(BuildInspector(HexBytes("41 03 0B 01 FF 00"))),
              (std::map<int, std::string>{{1, "Unknown Message Type ($41)"}}));
}

TEST(InspectorNotes, UnknownAndReasonParameters) {
    const Bytes message = HexBytes(
        "80 1A 0A 02 58 59 04 01 4F 04 01 50 04 01 41 08 01 4F 08 01 50 08 02 41 42 09 01 81 00");
    auto notes = Notes(BuildInspector(message));
    EXPECT_EQ(notes[3], "MDMF Parameter $0A: Unknown");
    EXPECT_EQ(notes[5], "Message Content: XY");
    EXPECT_EQ(notes[7], "MDMF Parameter $04: Number Blocked");
    EXPECT_EQ(notes[9], "Reason for Number Block: Out of Area");
    EXPECT_EQ(notes[12], "Reason for Number Block: Private");
    EXPECT_EQ(notes[15], "Reason for Number Block Undetermined (Invalid)");
    EXPECT_EQ(notes[16], "MDMF Parameter $08: Calling Name Blocked");
    EXPECT_EQ(notes[18], "Reason for Calling Name Block: Out of Area");
    EXPECT_EQ(notes[21], "Reason for Calling Name Block: Private");
    EXPECT_EQ(notes[23], "Parameter Length: 2 bytes (Invalid Length)");
    EXPECT_EQ(notes[24], "Reason for Name Block Undetermined (Invalid)");
    EXPECT_EQ(notes[26], "MDMF Parameter $09: Call Type");
    EXPECT_EQ(notes[28], "Call Type: Message Waiting");
    EXPECT_EQ(notes[29], "Checksum (Failed)");
}

TEST(InspectorNotes, CallTypesDdnAndVmwiParameter) {
    EXPECT_EQ(Notes(BuildInspector(HexBytes("80 03 09 01 01 00")))[5], "Call Type: Voice");
    EXPECT_EQ(Notes(BuildInspector(HexBytes("80 03 09 01 02 00")))[5],
              "Call Type: Ring-Back-When-Free");
    EXPECT_EQ(Notes(BuildInspector(HexBytes("80 03 09 01 07 00")))[5],
              "Call Type: Undetermined (Invalid)");
    auto ddn = Notes(BuildInspector(HexBytes("80 04 03 02 31 32 00")));
    EXPECT_EQ(ddn[3], "MDMF Parameter $03: Dialable Directory Number");
    EXPECT_EQ(ddn[5], "DDN: 12");
    auto vmwi = Notes(BuildInspector(HexBytes("80 03 0B 01 42 00")));
    EXPECT_EQ(vmwi[3], "MDMF Parameter $0B: Visual Message Waiting Indicator");
    EXPECT_EQ(vmwi[5], "VMWI Status: Invalid");
}

TEST(InspectorCells, ByteForms) {
    const auto table = BuildInspector(HexBytes("00 FF 20 1F 0B 80 07 0C"));
    const auto& zero = table.Rows[0].Cells;
    EXPECT_EQ(zero[0], "1");
    EXPECT_EQ(zero[1], "00");
    EXPECT_EQ(zero[2], "00");
    EXPECT_EQ(zero[3], "00000000");
    EXPECT_EQ(zero[4], " ");
    const auto& ff = table.Rows[1].Cells;
    EXPECT_EQ(ff[1], "FF");
    EXPECT_EQ(ff[2], "255");
    EXPECT_EQ(ff[3], "11111111");
    EXPECT_EQ(ff[4], "\xFF");
    EXPECT_EQ(table.Rows[2].Cells[4], " ");
    EXPECT_EQ(table.Rows[3].Cells[4], " ");
    EXPECT_EQ(table.Rows[4].Cells[3], "11010000");
    EXPECT_EQ(table.Rows[5].Cells[3], "00000001");
    EXPECT_EQ(table.Rows[6].Cells[2], "07");
    EXPECT_EQ(table.Rows[7].Cells[2], "12");
    EXPECT_EQ(table.RawStream,
              ".\xFF .."
              "\x80"
              "..");
}

TEST(InspectorCells, RowNumbersHaveNoLeadingZeros) {
    const auto table = BuildInspector(Bytes(140, 'A'));
    EXPECT_EQ(table.Rows[11].Cells[0], "12");
    EXPECT_EQ(table.Rows[139].Cells[0], "140");
    EXPECT_EQ(table.Rows[0].Notes(), "Unknown Message Type ($41)");
}

TEST(InspectorShortInput, NothingBeyondTheEnd) {
    EXPECT_TRUE(BuildInspector("").Rows.empty());
    EXPECT_EQ(BuildInspector("").RawStream, "");
    EXPECT_EQ(Notes(BuildInspector(HexBytes("80"))),
              (std::map<int, std::string>{{1, "Message Type $80 - MDMF"}}));
    // Length claims 32 bytes; the walk stops at the end of what is there.
    auto notes = Notes(BuildInspector(HexBytes("80 20 01 08 31 32 33")));
    EXPECT_EQ(notes[5], "Date: 12/3");
    EXPECT_EQ(notes.count(9), 0u);
    EXPECT_EQ(Notes(BuildInspector(HexBytes("80 20 07 0A 41 42")))[5], "Calling Name: AB");
    EXPECT_EQ(Notes(BuildInspector(HexBytes("80 20 07")))[3], "MDMF Parameter $07: Calling Name");
    EXPECT_EQ(
        Notes(BuildInspector(HexBytes("04 0C 30 31 30"))),
        (std::map<int, std::string>{
            {1, "Message Type $04 - SDMF"}, {2, "Message Length: 12 bytes"}, {3, "Date: 01/0"}}));
    EXPECT_EQ(Notes(BuildInspector(HexBytes("82 03 0B"))).size(), 3u);
}

TEST(InspectorShortInput, LengthByteBoundsTheWalk) {
    // L = 3 covers only the first parameter; the second gets no notes, and the
    // checksum note lands on row 6 whatever stands there.
    auto notes = Notes(BuildInspector(HexBytes("80 03 07 01 41 07 01 42 00")));
    EXPECT_EQ(notes[3], "MDMF Parameter $07: Calling Name");
    EXPECT_EQ(notes[5], "Calling Name: A");
    EXPECT_EQ(notes[6], "Checksum (Failed)");
    EXPECT_EQ(notes.count(7), 0u);
    EXPECT_EQ(notes.count(8), 0u);
}

}  // namespace
}  // namespace ringlark
