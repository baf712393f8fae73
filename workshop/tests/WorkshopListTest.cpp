#include <gtest/gtest.h>

#include "generation/MessageBuilder.h"
#include "workshop/Workshop.h"
#include "workshop/tests/WorkshopTestSupport.h"

namespace ringlark {
namespace {

using Cells = std::vector<std::array<Bytes, 3>>;

class WorkshopListTest : public ::testing::Test, protected test::TWorkshopFixture {};

TEST_F(WorkshopListTest, StartsWithOneBlankRowAndNoCommands) {
    EXPECT_EQ(workshop.List.RowCount(), 1);
    EXPECT_TRUE(workshop.StringGridZero());
    EXPECT_EQ(workshop.Commands(), TWorkshopCommands{});
    EXPECT_EQ(test::ToHex(EncodeWorkshopRows(workshop.List.Rows())), "80 02 00 00 7E");
}

TEST_F(WorkshopListTest, AddFillsRowOneThenAppends) {
    Add("$07 - Calling Name ", "John");
    EXPECT_EQ(Grid(), (Cells{{"1", "$07", "John"}}));
    EXPECT_EQ(dialog.Showings[0].Title, "Enter Parameter and Text...");
    EXPECT_EQ(dialog.Showings[0].Input.ParameterType, "");
    Add("$0B", "\xFF");
    EXPECT_EQ(Grid(), (Cells{{"1", "$07", "John"}, {"2", "$0B", "\xFF"}}));
    EXPECT_EQ(workshop.CurrentRow(), 1);
    EXPECT_EQ(workshop.Commands(), (TWorkshopCommands{true, true, false, true}));
}

TEST_F(WorkshopListTest, CancelledAddChangesNothing) {
    dialog.Answers.push_back(std::nullopt);
    workshop.WorkshopAdd();
    EXPECT_TRUE(workshop.List.IsEmpty());
}

TEST_F(WorkshopListTest, CodeTextsFromTheDialog) {
    Add("300", "");
    Add("11", "");
    Add("$0b", "");
    Add("abc", "");
    Add("-1", "");
    Add("", "");
    Add("$04 - Number Not Transmitted", "");
    Add("x1F", "");
    std::vector<Bytes> codes;
    for (const auto& row : Grid()) {
        codes.push_back(row[1]);
    }
    EXPECT_EQ(codes,
              (std::vector<Bytes>{"$12C", "$0B", "$00", "$00", "$FFFFFFFF", "$00", "$04", "$1F"}));
    EXPECT_EQ(ByteAt(EncodeWorkshopRows(workshop.List.Rows()), 2), 0x2C);
}

TEST_F(WorkshopListTest, DecimalCodeValueReadsLikeAnEditField) {
    EXPECT_EQ(DecimalCodeValue("  42"), 42);
    EXPECT_EQ(DecimalCodeValue("-7"), -7);
    EXPECT_EQ(DecimalCodeValue("$ff"), 255);
    EXPECT_EQ(DecimalCodeValue("0X10"), 16);
    EXPECT_EQ(DecimalCodeValue("12 "), 0);
    EXPECT_EQ(DecimalCodeValue("4294967296"), 0);
    EXPECT_EQ(DecimalCodeValue("2147483648"), 0);
    EXPECT_EQ(DecimalCodeValue("-2147483648"), INT32_MIN);
    EXPECT_EQ(DecimalCodeValue("$FFFFFFFF"), -1);
}

TEST_F(WorkshopListTest, EditRenumbersOnlyTheEditedRow) {
    Add("$01", "a");
    Add("$02", "b");
    Add("$03", "c");
    workshop.SelectCell(1, 2);
    workshop.WorkshopDelete();  // rows now hold Seq. "2" and "3"
    EXPECT_EQ(Grid(), (Cells{{"2", "$02", "b"}, {"3", "$03", "c"}}));
    workshop.SelectCell(2, 1);
    dialog.Answers.push_back(TParameterDialogInput{"$07", "Zed"});
    workshop.EditSelectedRow();
    EXPECT_EQ(dialog.Showings.back().Title, "Edit MDMF Parameter...");
    EXPECT_EQ(dialog.Showings.back().Input.ParameterType, "$03");
    EXPECT_EQ(dialog.Showings.back().Input.MessageText, "c");
    EXPECT_EQ(Grid(), (Cells{{"2", "$02", "b"}, {"2", "$07", "Zed"}}));
}

TEST_F(WorkshopListTest, CancelledEditChangesNothing) {
    Add("$01", "a");
    dialog.Answers.push_back(std::nullopt);
    workshop.WorkshopEdit();
    EXPECT_EQ(Grid(), (Cells{{"1", "$01", "a"}}));
}

TEST_F(WorkshopListTest, DoubleClickOnEmptyListDoesNotEdit) {
    workshop.EditSelectedRow();
    EXPECT_TRUE(dialog.Showings.empty());
}

TEST_F(WorkshopListTest, DeletingTheOnlyRowEmptiesIt) {
    Add("$01", "a");
    workshop.WorkshopDelete();
    EXPECT_EQ(workshop.List.RowCount(), 1);
    EXPECT_TRUE(workshop.List.IsEmpty());
    EXPECT_EQ(workshop.Commands(), TWorkshopCommands{});
}

TEST_F(WorkshopListTest, DeletingTheLastRowMovesSelectionAndRefreshes) {
    Add("$01", "a");
    Add("$02", "b");
    workshop.SelectCell(2, 1);
    EXPECT_EQ(workshop.Commands(), (TWorkshopCommands{true, true, true, false}));
    workshop.WorkshopDelete();
    EXPECT_EQ(workshop.CurrentRow(), 1);
    EXPECT_EQ(workshop.Commands(), (TWorkshopCommands{true, true, false, false}));
    workshop.WorkshopMoveUp();  // offered nowhere: nothing happens
    EXPECT_EQ(Grid(), (Cells{{"1", "$01", "a"}}));
}

TEST_F(WorkshopListTest, MovesKeepTextsExactly) {
    Add("$07", "");
    Add("$02", "5");
    workshop.SelectCell(1, 2);
    workshop.WorkshopMoveDown();
    EXPECT_EQ(Grid(), (Cells{{"2", "$02", "5"}, {"1", "$07", ""}}));
    EXPECT_EQ(workshop.CurrentRow(), 2);
    EXPECT_EQ(workshop.Commands(), (TWorkshopCommands{true, true, true, false}));
    EXPECT_EQ(test::ToHex(EncodeWorkshopRows(workshop.List.Rows())), "80 05 02 01 35 07 00 3C");
    workshop.WorkshopMoveDown();  // below the list: ignored
    workshop.WorkshopMoveUp();
    EXPECT_EQ(Grid(), (Cells{{"1", "$07", ""}, {"2", "$02", "5"}}));
    EXPECT_EQ(workshop.CurrentRow(), 1);
}

TEST_F(WorkshopListTest, RetainedTextsReturnWhenTheListGrows) {
    Add("$01", "a");
    Add("$02", "b");
    workshop.SelectCell(1, 1);
    workshop.WorkshopDelete();
    EXPECT_EQ(workshop.List.RowCount(), 1);
    EXPECT_EQ(workshop.List.Cell(0, 2), "2");  // kept outside the list
    workshop.TransferCIDtoWorkshop(TCallerIdTab{}, TSignalling::OnHook);
    EXPECT_EQ(workshop.List.Cell(0, 2), "2");  // Seq. is not written by a transfer
}

TEST_F(WorkshopListTest, EnterKeyOnParameterColumn) {
    Add("$01", "a");
    const auto enter = [&](const std::string& typed) {
        workshop.EditCell(1, 1, typed);
        workshop.SelectCell(1, 1);
        workshop.PressKey('\r');
        return workshop.List.Cell(1, 1);
    };
    EXPECT_EQ(enter("11"), "$0B");
    EXPECT_EQ(enter("300"), "$2C");
    EXPECT_EQ(enter("-1"), "$FF");
    EXPECT_EQ(enter("abc"), "$00");
    EXPECT_EQ(enter("$7"), "$7");
    workshop.EditCell(1, 1, "11");
    workshop.SelectCell(1, 2);
    workshop.PressKey('\r');
    EXPECT_EQ(workshop.List.Cell(1, 1), "11");
    workshop.SelectCell(1, 1);
    workshop.PressKey('a');
    EXPECT_EQ(workshop.List.Cell(1, 1), "11");
    // typed without Enter, 11 is read as hex
    EXPECT_EQ(ByteAt(EncodeWorkshopRows(workshop.List.Rows()), 2), 0x11);
}

TEST_F(WorkshopListTest, RightButtonSelectsTheCellUnderThePointer) {
    Add("$01", "a");
    Add("$02", "b");
    Add("$03", "c");
    workshop.SelectCellUnderPointer(3, 2);
    EXPECT_EQ(workshop.CurrentRow(), 3);
    EXPECT_EQ(workshop.Commands(), (TWorkshopCommands{true, true, true, false}));
    workshop.SelectCellUnderPointer(7, 1);  // below the last row: no cell there
    EXPECT_EQ(workshop.CurrentRow(), 3);
    workshop.WorkshopDelete();
    EXPECT_EQ(Grid(), (Cells{{"1", "$01", "a"}, {"2", "$02", "b"}}));
}

TEST_F(WorkshopListTest, SeqAloneMakesTheListNotEmpty) {
    Add("$01", "a");
    workshop.EditCell(1, 1, "");
    workshop.EditCell(1, 2, "");
    EXPECT_FALSE(workshop.StringGridZero());
}

}  // namespace
}  // namespace ringlark
