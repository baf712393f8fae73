#include "workshop/WorkshopScript.h"

#include <gtest/gtest.h>

#include "core/RinglarkError.h"
#include "workshop/Workshop.h"
#include "workshop/tests/WorkshopTestSupport.h"

namespace ringlark {
namespace {

using Cells = std::vector<std::array<Bytes, 3>>;
using test::ReadFile;
using test::TTempDir;
using test::WriteFile;

class WorkshopScriptTest : public ::testing::Test, protected test::TWorkshopFixture {
  protected:
    void Load(const std::string& content) {
        WriteFile(dir / "in.CID", content);
        openDialog.Answers.push_back((dir / "in.CID").string());
        workshop.WorkshopLoad();
    }
    TTempDir dir;
};

TEST_F(WorkshopScriptTest, ExampleFileIsByteExact) {
    Add("$02", "800-555-1212");
    Add("$07", "John Doe");
    const auto path = (dir / "example.CID").string();
    saveDialog.Answers.push_back(path);
    EXPECT_TRUE(workshop.WorkshopSave());
    EXPECT_EQ(ReadFile(path), "$02=800-555-1212\r\n$07=John Doe\r\n");
    ASSERT_EQ(saveDialog.Showings.size(), 1u);
    EXPECT_EQ(saveDialog.Showings[0].Title, "Save MDMF Workshop File");
    EXPECT_EQ(saveDialog.Showings[0].DefaultExt, ".CID");
    EXPECT_EQ(saveDialog.Showings[0].Filter,
              "MDMF Workshop Files (*.CID)|*.CID|All Files (*.*)|*.*");
}

TEST_F(WorkshopScriptTest, SaveThenLoadGivesTheSameRows) {
    Add("$07", "O'Neil = \xE9t\xE9");
    Add("$0B", "\xFF");
    Add("300", "");
    Add("", "  spaced  ");
    const auto before = workshop.List.Rows();
    saveDialog.Answers.push_back((dir / "round.CID").string());
    workshop.WorkshopSave();
    TTempDir other;
    test::TWorkshopFixture fresh;
    fresh.openDialog.Answers.push_back((dir / "round.CID").string());
    fresh.workshop.WorkshopLoad();
    EXPECT_EQ(fresh.workshop.List.Rows(), before);
}

TEST_F(WorkshopScriptTest, EmptyListIsStoredAsOneEqualsSign) {
    const auto path = (dir / "empty.CID").string();
    saveDialog.Answers.push_back(path);
    workshop.WorkshopSave();
    EXPECT_EQ(ReadFile(path), "=\r\n");
    Load("=\r\n");
    EXPECT_EQ(workshop.List.RowCount(), 1);
    EXPECT_TRUE(workshop.List.IsEmpty());
}

TEST_F(WorkshopScriptTest, ReplaceQuestionYesNoCancel) {
    const auto path = (dir / "exists.CID").string();
    WriteFile(path, "old");
    Add("$07", "new");

    saveDialog.Answers = {path};
    notices.Answers = {TDialogAnswer::Cancel};
    EXPECT_FALSE(workshop.WorkshopSave());
    EXPECT_EQ(notices.Questions.back(), "File " + path + " exists.  Replace?");
    EXPECT_EQ(ReadFile(path), "old");

    const auto other = (dir / "other.CID").string();
    saveDialog.Answers = {path, other};
    notices.Answers = {TDialogAnswer::No};
    EXPECT_TRUE(workshop.WorkshopSave());
    EXPECT_EQ(ReadFile(path), "old");
    EXPECT_EQ(ReadFile(other), "$07=new\r\n");

    saveDialog.Answers = {path, std::nullopt};
    notices.Answers = {TDialogAnswer::No};
    EXPECT_FALSE(workshop.WorkshopSave());
    EXPECT_EQ(ReadFile(path), "old");

    saveDialog.Answers = {path};
    notices.Answers = {TDialogAnswer::Yes};
    EXPECT_TRUE(workshop.WorkshopSave());
    EXPECT_EQ(ReadFile(path), "$07=new\r\n");
}

TEST_F(WorkshopScriptTest, LineBreaksInTextsAreNamedBeforeSaving) {
    Add("$07", "ok");
    Add("$02", "two\r\nlines");
    notices.Answers = {TDialogAnswer::No};
    EXPECT_FALSE(workshop.WorkshopSave());
    ASSERT_EQ(notices.Questions.size(), 1u);
    EXPECT_EQ(notices.Questions[0].rfind("Row 2 holds a line break or a zero byte", 0), 0u);
    EXPECT_TRUE(saveDialog.Showings.empty());

    const auto path = (dir / "broken.CID").string();
    notices.Answers = {TDialogAnswer::Yes};
    saveDialog.Answers = {path};
    EXPECT_TRUE(workshop.WorkshopSave());
    EXPECT_EQ(ReadFile(path), "$07=ok\r\n$02=two\r\nlines\r\n");
}

TEST_F(WorkshopScriptTest, CannotCreateLeavesTheListAsItWas) {
    Add("$07", "x");
    const auto path = (dir / "missing" / "x.CID").string();
    saveDialog.Answers = {path};
    EXPECT_EQ(test::ErrorOf([&] { workshop.WorkshopSave(); }),
              "Cannot create file " + path + ": No such file or directory");
    EXPECT_EQ(Grid(), (Cells{{"1", "$07", "x"}}));
}

TEST_F(WorkshopScriptTest, CannotOpenLeavesTheListUntouched) {
    Add("$07", "x");
    const auto path = (dir / "nothing.CID").string();
    openDialog.Answers = {path};
    EXPECT_EQ(test::ErrorOf([&] { workshop.WorkshopLoad(); }),
              "Cannot open file " + path + ": No such file or directory");
    EXPECT_EQ(Grid(), (Cells{{"1", "$07", "x"}}));
    openDialog.Answers = {dir.Path().string()};
    EXPECT_EQ(test::ErrorOf([&] { workshop.WorkshopLoad(); }),
              "Cannot open file " + dir.Path().string() + ": it is a folder");
}

// A device is not read at all (/dev/zero would grow the memory until the
// program was killed); a script over 4 MB or in UTF-16 is refused; the list
// stays as it was.
TEST_F(WorkshopScriptTest, DevicesHugeFilesAndUtf16AreRefused) {
    Add("$07", "x");
    openDialog.Answers = {"/dev/zero"};
    EXPECT_EQ(test::ErrorOf([&] { workshop.WorkshopLoad(); }),
              "Cannot open file /dev/zero: it is not a regular file");
    const auto huge = (dir / "huge.CID").string();
    test::WriteFile(huge, Bytes(MaxScriptBytes + 1, 'a'));
    openDialog.Answers = {huge};
    EXPECT_EQ(test::ErrorOf([&] { workshop.WorkshopLoad(); }),
              "Cannot open file " + huge + ": it is larger than 4 MB");
    const auto utf16 = (dir / "u16.CID").string();
    test::WriteFile(utf16, Bytes("\xFE\xFF\0$\0"
                                 "0",
                                 6));
    openDialog.Answers = {utf16};
    EXPECT_EQ(test::ErrorOf([&] { workshop.WorkshopLoad(); }),
              "Cannot open file " + utf16 +
                  ": it is UTF-16 text; save the script as single-byte (ANSI) text");
    EXPECT_EQ(Grid(), (Cells{{"1", "$07", "x"}}));
}

TEST_F(WorkshopScriptTest, LoadSplitsLinesAndAtTheFirstEquals) {
    Load("$02=800=555\r\n$07=A\rnoequals\n=abc\r\n\r\nlast");
    EXPECT_EQ(Grid(), (Cells{{"", "$02", "800=555"},
                             {"", "$07", "A"},
                             {"", "", "noequals"},
                             {"", "", "abc"},
                             {"", "", ""},
                             {"", "", "last"}}));
    EXPECT_EQ(openDialog.Showings[0].Title, "Open MDMF Workshop File");
    EXPECT_EQ(openDialog.Showings[0].Filter,
              "MDMF Workshop Files (*.CID)|*.CID|All Files (*.*)|*.*");
}

TEST_F(WorkshopScriptTest, ParameterWithEqualsDoesNotSurvive) {
    Add("$07", "x");
    workshop.EditCell(1, 1, "$0=7");
    saveDialog.Answers = {(dir / "eq.CID").string()};
    workshop.WorkshopSave();
    openDialog.Answers = {(dir / "eq.CID").string()};
    workshop.WorkshopLoad();
    EXPECT_EQ(Grid(), (Cells{{"1", "$0", "7=x"}}));
}

TEST_F(WorkshopScriptTest, FewerLinesKeepSeqTextsAndCurrentRowFollows) {
    for (int i = 0; i < 5; ++i) {
        Add("$07", std::to_string(i));
    }
    workshop.SelectCell(5, 1);
    Load("$01=a\r\n$02=b\r\n$03=c\r\n");
    EXPECT_EQ(Grid(), (Cells{{"1", "$01", "a"}, {"2", "$02", "b"}, {"3", "$03", "c"}}));
    EXPECT_EQ(workshop.CurrentRow(), 3);
    EXPECT_EQ(workshop.Commands(), (TWorkshopCommands{true, true, true, false}));
}

TEST_F(WorkshopScriptTest, EmptyFileGivesTheEmptyList) {
    Add("$07", "x");
    Add("$08", "y");
    workshop.SelectCell(2, 1);
    Load("");
    EXPECT_EQ(workshop.List.RowCount(), 1);
    EXPECT_TRUE(workshop.List.IsEmpty());
    EXPECT_EQ(workshop.CurrentRow(), 1);
    EXPECT_EQ(workshop.Commands(), TWorkshopCommands{});
    Load(std::string("\0$07=hidden", 11));
    EXPECT_TRUE(workshop.List.IsEmpty());
}

TEST_F(WorkshopScriptTest, CancelledLoadStillRefreshes) {
    openDialog.Answers = {std::nullopt};
    workshop.WorkshopLoad();
    EXPECT_TRUE(workshop.List.IsEmpty());
}

TEST_F(WorkshopScriptTest, BadInputLoadsWithoutCrashing) {
    Load(std::string("$07=ab\0cd\r\nmore", 16));
    EXPECT_EQ(Grid(), (Cells{{"", "$07", "ab"}}));
    Load("a\rb\rc\r");
    EXPECT_EQ(workshop.List.RowCount(), 3);
    Load("$07=" + std::string(1 << 20, 'Z') + "\r\n");
    EXPECT_EQ(workshop.List.Cell(2, 1).size(), 1u << 20);
    std::string many;
    for (int i = 0; i < 100000; ++i) {
        many += "$01=" + std::to_string(i) + "\n";
    }
    Load(many);
    EXPECT_EQ(workshop.List.RowCount(), 100000);
    EXPECT_EQ(workshop.List.Cell(2, 100000), "99999");
    std::string binary;
    for (int i = 0; i < 256; ++i) {
        binary += static_cast<char>((i * 37) % 256 == 0 ? 1 : (i * 37) % 256);
    }
    Load(binary);
    EXPECT_GE(workshop.List.RowCount(), 1);
}

TCallerIdTab Tab() {
    TCallerIdTab tab;
    tab.DateText = "1207";
    tab.TimeText = "0930";
    tab.NumberText = "800-555-1212";
    tab.NameText = "John Doe";
    return tab;
}

TEST_F(WorkshopScriptTest, TransferFromMdmf) {
    workshop.TransferCIDtoWorkshop(Tab(), TSignalling::OnHook);
    EXPECT_EQ(workshop.List.Rows(),
              (std::vector<TWorkshopRow>{
                  {"$01", "12070930"}, {"$02", "800-555-1212"}, {"$07", "John Doe"}}));
    EXPECT_EQ(workshop.Signalling, TSignalling::OnHook);
    EXPECT_EQ(workshop.Commands(), (TWorkshopCommands{true, true, false, true}));
}

TEST_F(WorkshopScriptTest, TransferRules) {
    auto tab = Tab();
    tab.Private = true;
    tab.LongDistance = true;
    EXPECT_EQ(TransferLines(tab), (std::vector<Bytes>{"$01=12070930", "$04=P", "$08=P", "$06=L"}));
    tab = Tab();
    tab.OutOfArea = true;
    tab.Private = true;
    EXPECT_EQ(TransferLines(tab), (std::vector<Bytes>{"$01=12070930", "$04=O", "$08=O"}));
    tab = Tab();
    tab.NumberDisabled = tab.NameDisabled = true;
    EXPECT_EQ(TransferLines(tab), (std::vector<Bytes>{"$01=12070930"}));
    tab = Tab();
    tab.NameText = "lower";
    tab.NumberText = "1=2";
    workshop.TransferCIDtoWorkshop(tab, TSignalling::CallWaiting);
    EXPECT_EQ(workshop.List.Cell(2, 2), "1=2");
    EXPECT_EQ(workshop.List.Cell(2, 3), "lower");
    EXPECT_EQ(workshop.Signalling, TSignalling::CallWaiting);
}

TEST_F(WorkshopScriptTest, SaveScriptFromTabRestoresTheListWhenCancelled) {
    Add("$0B", "\xFF");
    saveDialog.Answers = {std::nullopt};
    EXPECT_FALSE(workshop.SaveWorkshopScriptFrom(Tab(), TSignalling::CallWaiting));
    EXPECT_EQ(Grid(), (Cells{{"1", "$0B", "\xFF"}}));
    EXPECT_EQ(workshop.Signalling, TSignalling::OnHook);

    const auto path = (dir / "from-tab.CID").string();
    saveDialog.Answers = {path};
    EXPECT_TRUE(workshop.SaveWorkshopScriptFrom(Tab(), TSignalling::CallWaiting));
    EXPECT_EQ(ReadFile(path), "$01=12070930\r\n$02=800-555-1212\r\n$07=John Doe\r\n");
    EXPECT_EQ(workshop.Signalling, TSignalling::CallWaiting);
    EXPECT_EQ(workshop.List.RowCount(), 3);
}

TEST(WorkshopScriptParse, FormatAndSplit) {
    EXPECT_EQ(SplitScriptLines("a\r\nb\n\nc\r"), (std::vector<Bytes>{"a", "b", "", "c"}));
    EXPECT_TRUE(SplitScriptLines("").empty());
    EXPECT_EQ(FormatWorkshopScript({{"", ""}}), "=\r\n");
    EXPECT_EQ(ParseWorkshopScript("$07=BOB\r\n$0B=\xFF\r\n"),
              (std::vector<TWorkshopRow>{{"$07", "BOB"}, {"$0B", "\xFF"}}));
}

}  // namespace
}  // namespace ringlark
