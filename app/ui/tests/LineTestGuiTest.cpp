// The Line Test window against the simulated peer, offscreen: either role,
// the steps listed as they are judged, and a sound card that cannot be opened.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <cstdlib>

#include "core/RinglarkError.h"
#include "handshake/ui/LineTestWindow.h"
#include "tests/support/TestSignals.h"

namespace ringlark::ui {
namespace {

class TRecordingErrors : public IErrorReporter {
  public:
    std::vector<std::string> Reported;
    void ReportError(const std::string& text) override { Reported.push_back(text); }
};

std::unique_ptr<IDuplexSound> NoSoundCard() {
    throw RinglarkError("Cannot open the sound device: Device unavailable");
}

// Waits for the test's thread to finish, as a hang guard only.
void WaitForTheEnd(const LineTestWindow& window) {
    for (int waited = 0; window.Running() && waited < 120000; waited += 20) {
        QTest::qWait(20);
    }
    QTest::qWait(50);  // the last rows and the summary come through the event loop
}

// The cells of the first row of a step: measured, limits, result.
std::vector<std::string> Step(const QTableWidget& table, const std::string& step) {
    for (int r = 0; r < table.rowCount(); ++r) {
        if (table.item(r, 1)->text().toStdString() == step) {
            return {table.item(r, 2)->text().toStdString(), table.item(r, 3)->text().toStdString(),
                    table.item(r, 4)->text().toStdString()};
        }
    }
    return {};
}

TEST(LineTestGui, ExchangeAgainstTheSimulatedSet) {
    TRecordingErrors errors;
    LineTestWindow window(errors, NoSoundCard);
    window.Message = ExampleMdmfMessage();
    window.show();
    EXPECT_FALSE(window.calibrateBox->isEnabled());  // only for the sound card
    QTest::mouseClick(window.startButton, Qt::LeftButton);
    EXPECT_EQ(window.startButton->text(), "Stop");
    EXPECT_FALSE(window.roleBox->isEnabled());
    WaitForTheEnd(window);
    EXPECT_EQ(window.startButton->text(), "Start");
    EXPECT_TRUE(errors.Reported.empty());
    EXPECT_EQ(Step(*window.stepTable, "CAS end -> ACK start"),
              (std::vector<std::string>{"50.0 ms", "0-100 ms", "ok"}));
    EXPECT_EQ(Step(*window.stepTable, "verdict"),
              (std::vector<std::string>{"valid", "", "data sent"}));
    EXPECT_EQ(Step(*window.stepTable, "ACK end -> data"),
              (std::vector<std::string>{"100.0 ms", "0-500 ms", "ok"}));
    EXPECT_EQ(window.summaryLabel->text().toStdString().substr(0, 30),
              "1 run, 0 without a valid ACK; ");
    if (const char* folder = std::getenv("RINGLARK_SCREENSHOTS")) {
        window.grab().save(QString::fromLocal8Bit(folder) + "/ringlark-line-test.png");
    }

    // a set that answers too late: no data, the next test starts afresh
    window.ackDelayBox->setValue(130);
    window.repeatBox->setValue(2);
    QTest::mouseClick(window.startButton, Qt::LeftButton);
    WaitForTheEnd(window);
    EXPECT_EQ(Step(*window.stepTable, "verdict"),
              (std::vector<std::string>{"late", "", "no data"}));
    EXPECT_EQ(window.stepTable->item(window.stepTable->rowCount() - 1, 0)->text(), "2");
    EXPECT_EQ(window.summaryLabel->text().toStdString().substr(0, 31),
              "2 runs, 2 without a valid ACK; ");
}

TEST(LineTestGui, SetAgainstTheSimulatedExchange) {
    TRecordingErrors errors;
    LineTestWindow window(errors, NoSoundCard);
    window.Message = ExampleMdmfMessage();
    window.roleBox->setCurrentIndex(1);
    window.standardBox->setCurrentText(QStringLiteral("bt"));
    window.ackDelayBox->setValue(30);
    QTest::mouseClick(window.startButton, Qt::LeftButton);
    WaitForTheEnd(window);
    EXPECT_TRUE(errors.Reported.empty());
    EXPECT_EQ(Step(*window.stepTable, "ACK sent"),
              (std::vector<std::string>{"D after 30.0 ms, 70.0 ms", "", ""}));
    const auto data = Step(*window.stepTable, "ACK end -> data");
    ASSERT_EQ(data.size(), 3u);
    EXPECT_EQ(data[1], "5-100 ms");
    EXPECT_EQ(data[2], "in window");
    EXPECT_NEAR(std::stod(data[0]), 50, 2);
    EXPECT_EQ(window.summaryLabel->text().toStdString().substr(0, 44),
              "1 run, 0 without data read in the window; CA");
}

TEST(LineTestGui, ASoundCardThatCannotBeOpenedIsReported) {
    TRecordingErrors errors;
    LineTestWindow window(errors, NoSoundCard);
    window.peerBox->setCurrentIndex(1);
    EXPECT_TRUE(window.calibrateBox->isEnabled());
    QTest::mouseClick(window.startButton, Qt::LeftButton);
    EXPECT_FALSE(window.Running());
    EXPECT_EQ(errors.Reported,
              (std::vector<std::string>{"Cannot open the sound device: Device unavailable"}));
    EXPECT_EQ(window.summaryLabel->text(), "Cannot open the sound device: Device unavailable");
}

}  // namespace
}  // namespace ringlark::ui
