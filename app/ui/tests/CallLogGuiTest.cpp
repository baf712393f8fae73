// The Call Log window over a log written through the library, offscreen.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
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
    }
    const char* tz = std::getenv("TZ");
    const std::string saved = tz != nullptr ? tz : "";
    setenv("TZ", "UTC", 1);
    tzset();
    window.Refresh();
    ASSERT_EQ(window.callTable->rowCount(), 2);
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
    EXPECT_EQ(window.statusLabel->text().toStdString(), "2 calls in " + path);
    // digits search the number, text the name and the contact
    window.searchBox->setText("555");
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
