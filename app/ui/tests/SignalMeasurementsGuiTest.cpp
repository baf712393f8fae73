// The Signal Measurements window over generated recordings, offscreen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QColor>
#include <QComboBox>
#include <QLabel>
#include <QTableWidget>
#include <cmath>
#include <cstdlib>

#include "generation/FskSynth.h"
#include "generation/MessageBuilder.h"
#include "generation/SignalImage.h"
#include "measurement/ui/SignalMeasurementsWindow.h"
#include "tests/support/TestSignals.h"

namespace ringlark::ui {
namespace {

Bytes VmwiImage(TSignalling signalling) {
    TCidRequest request;
    request.Kind = TMessageKind::VmwiOn;
    TFskSynth synth;
    return SynthesiseImage(synth, BuildCidMessage(request, {}), signalling);
}

TEST(SignalMeasurementsGui, ShowsEachRowBesideItsLimitInColour) {
    SignalMeasurementsWindow window;
    window.ShowRecording(VmwiImage(TSignalling::CallWaiting));
    window.show();
    ASSERT_EQ(window.messageBox->count(), 1);
    EXPECT_EQ(window.messageBox->itemText(0), "0.670 s  Bell 202  82 03 0B 01 FF 70");
    // the picker names the number and the name a message carries
    TFskSynth synth;
    window.ShowRecording(SynthesiseImage(synth, ExampleMdmfMessage(), TSignalling::OnHook));
    ASSERT_EQ(window.messageBox->count(), 1);
    EXPECT_TRUE(
        window.messageBox->itemText(0).startsWith("0.400 s  Bell 202  8005551212  JOHN DOE  80 "))
        << window.messageBox->itemText(0).toStdString();
    window.ShowRecording(VmwiImage(TSignalling::CallWaiting));
    int failed = -1;
    for (int r = 0; r < window.measureTable->rowCount(); ++r) {
        if (window.measureTable->item(r, 3)->text() == "FAIL") {
            EXPECT_EQ(window.measureTable->item(r, 0)->text(), "Dual-tone alert");
            EXPECT_EQ(window.measureTable->item(r, 3)->background().color(), QColor(250, 200, 200));
            failed = r;
        } else if (window.measureTable->item(r, 3)->text() == "PASS") {
            EXPECT_EQ(window.measureTable->item(r, 3)->background().color(), QColor(200, 240, 200));
        }
    }
    EXPECT_GE(failed, 0);
    EXPECT_EQ(
        window.summaryLabel->text(),
        QStringLiteral("Limits: bell.  1 of %1 rows fail.").arg(window.measureTable->rowCount()));
    // the sonogram fills its place: the mark and space lines in red across
    // the plot, the tones dark near them, nothing at 3500 Hz
    window.resize(900, 700);
    QApplication::processEvents();
    const SonogramView& view = *window.sonogramView;
    const TSonogramPlot plot = view.Plot();
    EXPECT_EQ(plot.Width, SonogramPlotArea(view.width(), view.height()).Width);
    EXPECT_GT(plot.Width, 800);
    const QImage picture = window.sonogramView->Picture();
    const auto row = [&](double hz) { return plot.Top + SonogramRow(plot, view.Sonogram(), hz); };
    int markRed = 0, dark = 0;
    for (int x = plot.Left; x < plot.Left + plot.Width; ++x) {
        markRed += picture.pixelColor(x, row(1200)) == QColor(220, 0, 0) ? 1 : 0;
        dark += picture.pixelColor(x, row(1200) + 1).red() < 100 ? 1 : 0;
        EXPECT_GT(picture.pixelColor(x, row(3500)).red(), 90) << x;  // below -52 dBFS
    }
    EXPECT_GT(markRed, plot.Width / 3);
    EXPECT_GT(dark, plot.Width / 4);
    const int before = plot.Width;
    window.resize(600, 500);
    QApplication::processEvents();
    EXPECT_LT(window.sonogramView->Plot().Width, before);
    if (const char* folder = std::getenv("RINGLARK_SCREENSHOTS")) {
        window.grab().save(QString::fromLocal8Bit(folder) + "/ringlark-signal-measurements.png");
    }
    // an on-hook recording passes everything; nothing loaded shows why it is empty
    window.ShowRecording(VmwiImage(TSignalling::OnHook));
    EXPECT_EQ(
        window.summaryLabel->text(),
        QStringLiteral("Limits: bell.  0 of %1 rows fail.").arg(window.measureTable->rowCount()));
    window.ShowRecording(Bytes());
    EXPECT_EQ(window.messageBox->count(), 0);
    EXPECT_EQ(window.measureTable->rowCount(), 0);
    EXPECT_EQ(window.summaryLabel->text(), "No message in the recording the analyst loaded.");
}

}  // namespace
}  // namespace ringlark::ui
