// The Receiver Test window offscreen, its sound output and file dialog
// scripted: the buttons drive the plan, each run plays on the window's own
// thread, the table colours and the chart follow the answers.
#include <gtest/gtest.h>

#include <QApplication>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <mutex>

#include "tests/support/TestSupport.h"
#include "testsignal/ui/ReceiverTestWindow.h"

namespace ringlark::ui {
namespace {

// Records what it is asked to play, from whichever thread asks.
class TThreadedSound : public ISoundPlayer {
  public:
    std::optional<std::string> Play(const Bytes& image) override {
        std::lock_guard lock(mutex_);
        played_.push_back(image);
        return Failure;
    }
    std::vector<Bytes> Played() {
        std::lock_guard lock(mutex_);
        return played_;
    }
    std::optional<std::string> Failure;  // set only while nothing plays

  private:
    std::mutex mutex_;
    std::vector<Bytes> played_;
};

struct TBench {
    TThreadedSound sound;
    test::TRecordingErrors errors;
    test::TScriptedFileDialog dialog;
    test::TScriptedFileDialog openDialog;
    ReceiverTestWindow window{sound, errors, dialog, openDialog};

    TBench(const char* plan, const char* runs) {
        window.planBox->setCurrentText(plan);
        window.runsBox->setText(runs);
        window.rateBox->setCurrentText("8000");
        window.pauseBox->setValue(0);
    }
    // Waits (a hang guard only) until the run has played and is asked about.
    bool AwaitQuestion() {
        for (int waited = 0; window.Busy() && waited < 60000; waited += 10) {
            QTest::qWait(10);
        }
        return !window.Busy();
    }
    QColor RowColour(int row) { return window.resultTable->item(row, 0)->background().color(); }
    std::string Cell(int row, int column) {
        return window.resultTable->item(row, column)->text().toStdString();
    }
};

TEST(ReceiverTestWindow, ADtmfPlanAnsweredButtonByButton) {
    TBench bench("dtmf", "1");
    EXPECT_FALSE(bench.window.shownButton->isEnabled());
    EXPECT_FALSE(bench.window.saveButton->isEnabled());
    EXPECT_EQ(bench.window.statusLabel->text().toStdString(),
              "Choose a plan and the calibration, then Play.");
    bench.window.OfferCalibration(-7.3);
    EXPECT_EQ(bench.window.calibrationBox->text().toStdString(), "-7.3");
    bench.window.calibrationBox->setText("5");
    bench.window.OfferCalibration(7);  // a value typed stays
    EXPECT_EQ(bench.window.calibrationBox->text().toStdString(), "5");

    QTest::mouseClick(bench.window.playButton, Qt::LeftButton);
    EXPECT_TRUE(bench.errors.Errors.empty()) << bench.errors.Errors.front();
    EXPECT_FALSE(bench.window.planBox->isEnabled());
    ASSERT_TRUE(bench.AwaitQuestion());
    EXPECT_TRUE(bench.window.shownButton->isEnabled());
    EXPECT_EQ(bench.window.statusLabel->text().toStdString(),
              "What did the device show after run 1 of 10: nominal 1/1 (must accept)?");
    ASSERT_EQ(bench.window.resultTable->rowCount(), 10);
    EXPECT_EQ(bench.RowColour(0), QColor(255, 236, 160));
    EXPECT_EQ(bench.RowColour(1), QColor(255, 255, 255));
    // every run shown, but level-max shows another number and the 15 ms tones
    // (to be rejected) show nothing; the level to be rejected is shown
    const int runs = bench.window.resultTable->rowCount();
    for (int run = 0; run < runs; ++run) {
        QPushButton* button = run == 1          ? bench.window.wrongButton
                              : run == runs - 1 ? bench.window.notShownButton
                                                : bench.window.shownButton;
        ASSERT_TRUE(button->isEnabled()) << run;
        QTest::mouseClick(button, Qt::LeftButton);
        ASSERT_TRUE(bench.AwaitQuestion()) << run;
    }
    EXPECT_TRUE(bench.errors.Errors.empty());
    EXPECT_EQ(bench.sound.Played().size(), 10u);
    EXPECT_EQ(bench.sound.Played()[4], bench.window.Model().Session()->Image(4));
    EXPECT_TRUE(bench.window.playButton->isEnabled());
    EXPECT_FALSE(bench.window.shownButton->isEnabled());
    EXPECT_EQ(bench.Cell(1, 6), "1");
    EXPECT_EQ(bench.Cell(1, 7), "FAIL");
    EXPECT_EQ(bench.RowColour(0), QColor(200, 236, 200));
    EXPECT_EQ(bench.RowColour(1), QColor(244, 192, 192));
    EXPECT_EQ(bench.Cell(3, 0), "level-reject");
    EXPECT_EQ(bench.Cell(3, 7), "FAIL");
    EXPECT_EQ(bench.Cell(9, 0), "tone-15ms");
    EXPECT_EQ(bench.Cell(9, 5), "1");
    EXPECT_EQ(bench.Cell(9, 7), "PASS");
    EXPECT_EQ(bench.RowColour(9), QColor(200, 236, 200));
    EXPECT_EQ(bench.window.statusLabel->text().toStdString(), "FAIL: 8 of 10 conditions");

    // the chart: one bar per condition, the share shown
    const auto series = bench.window.chartView->chart()->series();
    ASSERT_EQ(series.size(), 1);
    auto* bars = dynamic_cast<QBarSeries*>(series[0]);
    ASSERT_NE(bars, nullptr);
    ASSERT_EQ(bars->barSets().size(), 1);
    QBarSet* set = bars->barSets()[0];
    ASSERT_EQ(set->count(), 10);
    EXPECT_EQ(set->at(0), 100);
    EXPECT_EQ(set->at(1), 0);
    EXPECT_EQ(set->at(3), 100);
    EXPECT_EQ(set->at(9), 0);

    test::TTempDir dir;
    bench.dialog.Answers = {(dir / "dtmf.html").string()};
    QTest::mouseClick(bench.window.saveButton, Qt::LeftButton);
    EXPECT_EQ(test::ReadFile(dir / "dtmf.html"), bench.window.Model().Session()->Report());
}

TEST(ReceiverTestWindow, ASensitivityPlanDrawsTheRateAgainstSnrAndStops) {
    TBench bench("sensitivity", "1");
    QTest::mouseClick(bench.window.playButton, Qt::LeftButton);
    ASSERT_TRUE(bench.AwaitQuestion());
    QTest::mouseClick(bench.window.shownButton, Qt::LeftButton);
    ASSERT_TRUE(bench.AwaitQuestion());
    QTest::mouseClick(bench.window.replayButton, Qt::LeftButton);
    ASSERT_TRUE(bench.AwaitQuestion());
    QTest::mouseClick(bench.window.notShownButton, Qt::LeftButton);
    ASSERT_TRUE(bench.AwaitQuestion());
    const auto played = bench.sound.Played();
    ASSERT_EQ(played.size(), 4u);
    EXPECT_EQ(played[1], played[2]);  // played again
    QChart* chart = bench.window.chartView->chart();
    EXPECT_EQ(chart->title().toStdString(), "Decode rate against SNR");
    ASSERT_EQ(chart->series().size(), 2);
    auto* line = dynamic_cast<QLineSeries*>(chart->series()[0]);
    ASSERT_NE(line, nullptr);
    ASSERT_EQ(line->count(), 2);
    EXPECT_EQ(line->at(0), QPointF(20, 0));
    EXPECT_EQ(line->at(1), QPointF(30, 100));
    EXPECT_EQ(bench.Cell(0, 7), "-");
    EXPECT_EQ(bench.RowColour(0), QColor(208, 224, 244));

    QTest::mouseClick(bench.window.stopButton, Qt::LeftButton);
    EXPECT_EQ(bench.window.statusLabel->text().toStdString(), "Stopped after 2 of 10 runs.");
    EXPECT_TRUE(bench.window.playButton->isEnabled());
    EXPECT_TRUE(bench.window.saveButton->isEnabled());
}

TEST(ReceiverTestWindow, SettingsAndSoundFailuresAreReported) {
    TBench bench("bell", "1");
    // a plan file joins the list and is chosen; one that cannot be read is told
    test::TTempDir dir;
    test::WriteFile(dir / "p.json", R"({"name": "p", "conditions": [{"name": "c"}]})");
    bench.openDialog.Answers = {(dir / "none.json").string(), (dir / "p.json").string()};
    QTest::mouseClick(bench.window.openPlanButton, Qt::LeftButton);
    ASSERT_EQ(bench.errors.Errors.size(), 1u);
    EXPECT_EQ(bench.errors.Errors[0].rfind("Cannot open file " + (dir / "none.json").string(), 0),
              0u);
    QTest::mouseClick(bench.window.openPlanButton, Qt::LeftButton);
    EXPECT_EQ(bench.window.planBox->currentText().toStdString(), (dir / "p.json").string());
    EXPECT_EQ(bench.window.planBox->count(), static_cast<int>(BuiltInPlanNames().size()) + 1);
    bench.errors.Errors.clear();

    bench.window.calibrationBox->setText("abc");
    QTest::mouseClick(bench.window.playButton, Qt::LeftButton);
    EXPECT_EQ(bench.errors.Errors, (std::vector<std::string>{"'abc' is not a valid number"}));
    EXPECT_TRUE(bench.window.playButton->isEnabled());
    EXPECT_TRUE(bench.sound.Played().empty());

    bench.window.calibrationBox->setText("");
    bench.sound.Failure = "Sound could not be played: Device unavailable";
    QTest::mouseClick(bench.window.playButton, Qt::LeftButton);
    ASSERT_TRUE(bench.AwaitQuestion());
    ASSERT_EQ(bench.errors.Errors.size(), 2u);
    EXPECT_EQ(bench.errors.Errors[1], "Sound could not be played: Device unavailable");
    EXPECT_TRUE(bench.window.playButton->isEnabled());
    EXPECT_FALSE(bench.window.shownButton->isEnabled());
}

}  // namespace
}  // namespace ringlark::ui

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
