// The Long Recording window, offscreen: the list filled from its thread, the
// excerpt opened in the viewer, Cancel, and what cannot be scanned.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "analyst/AnalystTab.h"
#include "analyst/tests/AnalystTestSupport.h"
#include "analyst/tests/CallsRecording.h"
#include "analyst/ui/LongRecordingWindow.h"
#include "core/RinglarkError.h"

namespace ringlark::ui {
namespace {

class LongRecordingWindowTest : public ::testing::Test, protected test::TViewerFixture {
  protected:
    bool WaitForEnd() {
        return QTest::qWaitFor([this] { return !window.Model().Scanning(); }, 60000);
    }
    std::string Cell(int row, int column) const {
        const QTableWidgetItem* item = window.table->item(row, column);
        return item == nullptr ? std::string("(none)") : item->text().toStdString();
    }
    void Select(int row) {
        window.table->selectRow(row);
        QApplication::processEvents();
    }

    test::TTempDir dir;
    TPlainAnalystHost host;
    test::TScriptedFileDialog mainOpenDialog;
    TAnalystTab tab{host, viewer, mainOpenDialog};
    test::TRecordingErrors errors;
    LongRecordingWindow window{tab, errors};
};

TEST_F(LongRecordingWindowTest, ListsTheMessagesAndOpensOneInTheViewer) {
    const auto path = (dir / "calls.wav").string();
    const test::TCallsRecording recording = test::WriteCallsRecording(path, 8000, 2);
    int opened = 0;
    window.OnOpened = [&opened] { ++opened; };
    window.show();
    window.Scan(path);
    EXPECT_EQ(window.headingLabel->text().toStdString(), TooLongNotice(17));
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(window.statusLabel->text().toStdString(), "Scanned 0:00:17: 6 found");
    EXPECT_EQ(window.progressBar->value(), 1000);
    EXPECT_FALSE(window.cancelButton->isEnabled());
    EXPECT_EQ(window.windowTitle().toStdString(), "Long Recording - " + path);
    ASSERT_EQ(window.table->rowCount(), 6);
    for (int r = 0; r < 6; ++r) {
        const auto& expected = recording.Events[static_cast<std::size_t>(r)];
        EXPECT_EQ(Cell(r, 0), ClockText(expected.Seconds, true));
        EXPECT_EQ(Cell(r, 1), expected.Tag);
    }
    EXPECT_EQ(Cell(0, 2), test::ToHex(ExampleMdmfMessage()));
    EXPECT_EQ(Cell(0, 3),
              "Date: 12/07; Time: 09:30; Calling Number: 8005551212; Calling Name: JOHN DOE");
    EXPECT_EQ(Cell(1, 2), test::ToHex(recording.Events[1].Message));
    EXPECT_EQ(Cell(2, 2), "A8005551212C");
    EXPECT_EQ(Cell(2, 3), "Calling Number: 8005551212");
    EXPECT_EQ(Cell(3, 1), "SAS");
    EXPECT_EQ(Cell(3, 2), "");

    // nothing chosen, nothing to open
    EXPECT_FALSE(window.openButton->isEnabled());
    window.OpenSelected();
    EXPECT_EQ(opened, 0);
    // the V.23 message: its excerpt loaded into the viewer and analysed
    Select(1);
    ASSERT_TRUE(window.openButton->isEnabled());
    QTest::mouseClick(window.openButton, Qt::LeftButton);
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(tab.LastResult.Text, recording.Events[1].Message);
    EXPECT_EQ(tab.LastResult.MethodTag, "V23");
    // a double click opens the DTMF call
    const QPoint cell = window.table->visualItemRect(window.table->item(2, 0)).center();
    QTest::mouseClick(window.table->viewport(), Qt::LeftButton, {}, cell);
    QTest::mouseDClick(window.table->viewport(), Qt::LeftButton, {}, cell);
    EXPECT_EQ(opened, 2);
    EXPECT_EQ(tab.LastResult.Text, "A8005551212C");
    EXPECT_TRUE(errors.Errors.empty());
    if (const char* folder = std::getenv("RINGLARK_SCREENSHOTS")) {
        window.grab().save(QString::fromLocal8Bit(folder) + "/ringlark-long-recording.png");
    }
}

TEST_F(LongRecordingWindowTest, CancelStopsTheScan) {
    const auto path = (dir / "calls.wav").string();
    test::WriteCallsRecording(path, 8000, 1);
    // a scan that reports part of the recording, then waits to be cancelled
    window.ScanFunction = [](const std::string&, const TScanCallbacks& callbacks) {
        callbacks.Progress(80000, 176000);
        for (int i = 0; i < 60000 && !callbacks.Cancelled(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return !callbacks.Cancelled();
    };
    window.show();
    window.Scan(path);
    ASSERT_TRUE(QTest::qWaitFor([this] { return window.progressBar->value() == 454; }, 60000));
    EXPECT_EQ(window.statusLabel->text().toStdString(), "Scanning: 45 %, 0 found");
    ASSERT_TRUE(window.cancelButton->isEnabled());
    QTest::mouseClick(window.cancelButton, Qt::LeftButton);
    EXPECT_FALSE(window.cancelButton->isEnabled());
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(window.statusLabel->text().toStdString(), "Cancelled at 0:00:10: 0 found");
    EXPECT_EQ(window.progressBar->value(), 454);
    // closing the window cancels a scan too
    window.Scan(path);
    ASSERT_TRUE(window.Model().Scanning());
    window.close();
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(window.statusLabel->text().toStdString().rfind("Cancelled at ", 0), 0u);
}

TEST_F(LongRecordingWindowTest, WhatCannotBeScannedIsReported) {
    const auto none = (dir / "none.wav").string();
    EXPECT_EQ(test::ErrorOf([&] { window.Scan(none); }), "Cannot open file " + none);
    // a rate the stream decoder does not take: its error, reported
    const auto path = (dir / "4000.wav").string();
    SF_INFO info{};
    info.samplerate = 4000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    const std::vector<float> quiet(4000);
    sf_writef_float(file, quiet.data(), 4000);
    sf_close(file);
    window.Scan(path);
    ASSERT_TRUE(WaitForEnd());
    const std::string expected = test::ErrorOf([] { TStreamDecoder decoder(4000, true); });
    EXPECT_EQ(errors.Errors, std::vector<std::string>{expected});
    EXPECT_EQ(window.statusLabel->text().toStdString(), expected);
    EXPECT_EQ(window.table->rowCount(), 0);
}

}  // namespace
}  // namespace ringlark::ui

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
