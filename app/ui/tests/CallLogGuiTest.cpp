// The Call Log window over a log written through the library, offscreen.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <cstdlib>

#include "calllog/CallLog.h"
#include "calllog/ui/CallLogWindow.h"
#include "tests/support/TestSupport.h"

namespace ringlark::ui {
namespace {

TEST(CallLogGui, ListsTheCallsAndSearchesByNumberOrName) {
    test::TTempDir dir;
    const std::string path = (dir / "calls.sqlite").string();
    CallLogWindow window(path);
    window.Refresh();
    EXPECT_EQ(window.callTable->rowCount(), 0);
    EXPECT_EQ(window.statusLabel->text(), "No calls logged yet");
    {
        TCallLog log(path, true);
        TCallRecord a;
        a.HeardUtc = "2026-12-07T08:00:01.750Z";
        a.Input = "Default input";
        a.Kind = "MDMF";
        a.Number = "8005551212";
        a.Name = "JOHN DOE";
        a.Contact = "Johnny";
        a.MessageTime = "12-07 09:30";
        a.Checksum = "ok";
        log.Append(a);
        TCallRecord b = a;
        b.HeardUtc = "2026-12-07T09:00:00.000Z";
        b.Kind = "SDMF";
        b.Number = "";
        b.NumberAbsent = "private";
        b.Name = "";
        b.Contact = "";
        b.Uncertain = true;
        log.Append(b);
        TCallRecord c = a;
        c.HeardUtc = "2026-12-08T10:30:00.000Z";
        c.Number = "8005551213";
        c.Contact = "";
        c.Checksum = "failed";
        c.Refused = "checksum fails";
        log.Append(c);
    }
    const char* tz = std::getenv("TZ");
    const std::string saved = tz != nullptr ? tz : "";
    setenv("TZ", "UTC", 1);
    tzset();
    window.Refresh();
    ASSERT_EQ(window.callTable->rowCount(), 3);
    const auto cell = [&](int row, int column) {
        return window.callTable->item(row, column)->text().toStdString();
    };
    EXPECT_EQ(cell(0, 0), "2026-12-07 08:00:01.750");
    EXPECT_EQ(cell(0, 1), "Default input");
    EXPECT_EQ(cell(0, 2), "MDMF");
    EXPECT_EQ(cell(0, 3), "8005551212");
    EXPECT_EQ(cell(0, 4), "JOHN DOE");
    EXPECT_EQ(cell(0, 5), "Johnny");
    EXPECT_EQ(cell(0, 6), "12-07 09:30");
    EXPECT_EQ(cell(0, 7), "ok");
    EXPECT_EQ(cell(1, 3), "(private)");
    EXPECT_EQ(cell(1, 7), "ok (uncertain)");
    EXPECT_EQ(cell(2, 7), "failed (refused: checksum fails)");
    EXPECT_EQ(window.statusLabel->text().toStdString(), "3 calls in " + path);
    if (const char* folder = std::getenv("RINGLARK_SCREENSHOTS")) {
        window.resize(900, 260);
        window.show();
        window.grab().save(QString::fromLocal8Bit(folder) + "/ringlark-call-log.png");
    }

    // a click on a title sorts; the export writes the calls listed, as `log --csv`
    window.callTable->sortByColumn(3, Qt::DescendingOrder);
    EXPECT_EQ(cell(0, 3), "8005551213");
    EXPECT_EQ(cell(2, 3), "(private)");
    const std::string csv = (dir / "calls.csv").string();
    ASSERT_TRUE(window.ExportTo(csv));
    EXPECT_EQ(window.statusLabel->text().toStdString(), "3 calls written to " + csv);
    EXPECT_EQ(test::ReadFile(csv), CallsCsv(TCallLog(path, false).Find({})));
    EXPECT_FALSE(window.ExportTo((dir / "no" / "such" / "x.csv").string()));

    // the days heard: from, to (to the end of that day), or a clear error
    window.sinceBox->setText("2026-12-08");
    window.Refresh();
    ASSERT_EQ(window.callTable->rowCount(), 1);
    EXPECT_EQ(cell(0, 3), "8005551213");
    window.sinceBox->clear();
    window.untilBox->setText("2026-12-07");
    window.Refresh();
    EXPECT_EQ(window.callTable->rowCount(), 2);
    window.untilBox->setText("7 Dec");
    window.Refresh();
    EXPECT_EQ(window.callTable->rowCount(), 0);
    EXPECT_EQ(window.statusLabel->text(), "Not a date: 7 Dec (YYYY-MM-DD [HH:MM[:SS]])");
    EXPECT_FALSE(window.exportButton->isEnabled());
    window.untilBox->clear();

    // digits search the number, text the name and the contact
    window.searchBox->setText("555121");
    ASSERT_EQ(window.callTable->rowCount(), 2);
    window.searchBox->setText("5551212");
    ASSERT_EQ(window.callTable->rowCount(), 1);
    EXPECT_EQ(cell(0, 2), "MDMF");
    window.searchBox->setText("johnny");
    EXPECT_EQ(window.callTable->rowCount(), 1);
    window.searchBox->setText("nobody");
    EXPECT_EQ(window.callTable->rowCount(), 0);
    if (tz != nullptr) {
        setenv("TZ", saved.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

}  // namespace
}  // namespace ringlark::ui
