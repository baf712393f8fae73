// The analyst through the main window: any recording, the overview strip,
// the viewer and its frame listing.
#include "analyst/LongRecording.h"
#include "analyst/tests/CallsRecording.h"
#include "analyst/ui/LongRecordingWindow.h"
#include "app/ui/tests/GuiTestFixture.h"

namespace ringlark::ui {
namespace {

// A 16-bit mono WAV file at 8000/s, written by hand.
std::string WriteSixteenBitRecording(const test::TTempDir& dir, const Bytes& message) {
    TFskSynth synth;
    const Bytes image = SynthesiseImage(synth, message, TSignalling::OnHook);
    Bytes samples;
    for (std::size_t i = WavHeaderSize; i + 5 < image.size(); i += 5) {  // 44100 / 5 = 8820/s
        const int v = (static_cast<uint8_t>(image[i]) - 128) * 256;
        samples += static_cast<char>(v & 0xFF);
        samples += static_cast<char>((v >> 8) & 0xFF);
    }
    Bytes file = "RIFF....WAVEfmt ....................data....";
    WriteLe32(file, 4, static_cast<uint32_t>(36 + samples.size()));
    WriteLe32(file, 16, 16);
    WriteLe16(file, 20, 1);
    WriteLe16(file, 22, 1);
    WriteLe32(file, 24, 8820);
    WriteLe32(file, 28, 8820 * 2);
    WriteLe16(file, 32, 2);
    WriteLe16(file, 34, 16);
    WriteLe32(file, 40, static_cast<uint32_t>(samples.size()));
    const auto path = (dir / "sixteen.wav").string();
    test::WriteFile(path, file + samples);
    return path;
}

TEST_F(GuiTest, TheOverviewStripShowsTheSpansAndAClickMovesTheView) {
    test::TTempDir dir;
    const auto path =
        WriteRecording(dir, test::HexBytes("82 03 0B 01 FF 70"), TSignalling::CallWaiting);
    ASSERT_EQ(window.Model().Viewer.LoadWAV(path), TLoadResult::Loaded);
    const TOverview& overview = viewer.Strip()->Overview();
    ASSERT_EQ(overview.Spans.size(), 3u);
    EXPECT_EQ(overview.Spans[0].Label, "SAS");
    EXPECT_EQ(overview.Spans[1].Label, "CAS");
    EXPECT_EQ(overview.Spans[2].Label, "CORR");
    // a click on the message's span brings the view there, centred on the point clicked
    const int column = static_cast<int>(overview.Spans[2].From * 771 / overview.Samples) + 1;
    QTest::mouseClick(viewer.Strip(), Qt::LeftButton, {}, QPoint(column, 20));
    const int64_t expected = 44 + overview.Samples * column / 771 - 771 / 2;  // centred there
    EXPECT_EQ(viewer.ScrollBar()->value(), expected);
    EXPECT_EQ(window.Model().Viewer.ScrollPosition, expected);
    if (const char* folder = std::getenv("RINGLARK_SCREENSHOTS")) {
        viewer.grab().save(QString::fromLocal8Bit(folder) + "/ringlark-viewer-overview.png");
    }
}

TEST_F(GuiTest, AnalyzeAnyRecordingLoadsASixteenBitFileAndMeasuresIt) {
    test::TTempDir dir;
    TCidRequest request;
    request.Kind = TMessageKind::VmwiOn;
    const Bytes message = BuildCidMessage(request, {});
    viewerOpenDialog.Answers.push_back(WriteSixteenBitRecording(dir, message));
    window.anyRecordingAction->trigger();
    ASSERT_EQ(viewerOpenDialog.Showings.size(), 1u);
    EXPECT_EQ(viewerOpenDialog.Showings[0].Title, "Analyze Any Recording");
    EXPECT_TRUE(errors.Errors.empty());
    EXPECT_EQ(ReadWavFields(window.Model().Viewer.LoadedImage).SampleRate, 44100u);
    EXPECT_TRUE(viewer.isVisible());
    EXPECT_TRUE(measurements.isVisible());
    ASSERT_EQ(measurements.messageBox->count(), 1);
    EXPECT_TRUE(measurements.messageBox->itemText(0).endsWith("82 03 0B 01 FF 70"));
    // the FSK Analyst tab shows the report, under where it came from
    const QStringList lines = window.resultsBox->toPlainText().split(QLatin1Char('\n'));
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines[0], QStringLiteral("Analyze Any Recording: ") +
                            QString::fromStdString((dir / "sixteen.wav").string()));
    EXPECT_EQ(lines[2], QStringLiteral("Here is what I decoded:"));
    // what libsndfile cannot read is reported
    const auto text = (dir / "text.wav").string();
    test::WriteFile(text, "not a sound");
    viewerOpenDialog.Answers.push_back(text);
    window.anyRecordingAction->trigger();
    EXPECT_EQ(errors.Errors, std::vector<std::string>{"Cannot open file " + text});
}

TEST_F(GuiTest, AnalyzeAnyRecordingListsTheMessagesOfARecordingTooLongForTheViewer) {
    test::TTempDir dir;
    const auto path = (dir / "calls.wav").string();
    test::WriteCallsRecording(path, 8000, 1);  // 17 s
    window.Model().Analyst.ViewerLimitSeconds = 10;
    viewerOpenDialog.Answers.push_back(path);
    window.anyRecordingAction->trigger();
    LongRecordingWindow* list = window.longRecordingWindow;
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->isVisible());
    EXPECT_FALSE(viewer.isVisible());  // nothing loaded into the viewer
    EXPECT_TRUE(window.Model().Viewer.LoadedImage.empty());
    EXPECT_EQ(list->headingLabel->text().toStdString(),
              "This recording is 0:00:17 long, too long to show in the viewer. Its messages are "
              "listed instead.");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !list->Model().Scanning(); }, 60000));
    ASSERT_EQ(list->table->rowCount(), 6);
    EXPECT_EQ(list->table->item(0, 2)->text().toStdString(), test::ToHex(ExampleMdmfMessage()));
    // opened: the viewer, the analyst tab's report and the measurements
    list->table->selectRow(0);
    Click(list->openButton);
    EXPECT_TRUE(viewer.isVisible());
    EXPECT_TRUE(measurements.isVisible());
    EXPECT_EQ(viewer.windowTitle().toStdString(),
              "Waveform Viewer - calls.wav 0:00:00.0 to " +
                  ClockText(list->Model().Excerpt(0).second, true));
    ASSERT_GE(measurements.messageBox->count(), 1);
    EXPECT_TRUE(measurements.messageBox->itemText(0).endsWith(
        QString::fromStdString(test::ToHex(ExampleMdmfMessage()))));
    const QStringList lines = window.resultsBox->toPlainText().split(QLatin1Char('\n'));
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines[0].toStdString(), "Analyze Any Recording: " + path + ", 0:00:00.0 to " +
                                          ClockText(list->Model().Excerpt(0).second, true));
    EXPECT_EQ(lines[2], QStringLiteral("Here is what I decoded:"));
    // the same window lists the next long recording
    viewerOpenDialog.Answers.push_back(path);
    window.anyRecordingAction->trigger();
    EXPECT_EQ(window.longRecordingWindow, list);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !list->Model().Scanning(); }, 60000));
    EXPECT_EQ(list->table->rowCount(), 6);
    // at the limit it goes to the viewer whole
    window.Model().Analyst.ViewerLimitSeconds = 17;
    viewerOpenDialog.Answers.push_back(path);
    window.anyRecordingAction->trigger();
    EXPECT_EQ(window.resultsBox->toPlainText().split(QLatin1Char('\n'))[0].toStdString(),
              "Analyze Any Recording: " + path);
    EXPECT_EQ(window.Model().Viewer.LoadedImage.size(), WavHeaderSize + 17 * 44100);
    EXPECT_TRUE(errors.Errors.empty());
}

TEST_F(GuiTest, WorkshopGridEditsReachTheModel) {
    SelectTab(TPage::Workshop);
    window.workshopGrid->item(0, 1)->setText(QStringLiteral("11"));
    window.workshopGrid->item(0, 2)->setText(QStringLiteral("AB"));
    EXPECT_EQ(window.Model().Workshop.List.Rows(), (std::vector<TWorkshopRow>{{"11", "AB"}}));
    EXPECT_TRUE(window.workshopActions[2]->isEnabled());  // Edit: the list is no longer empty
}

TEST_F(GuiTest, AnalyzeOnTheTabThenInspectAndClear) {
    test::TTempDir dir;
    const Bytes message = test::HexBytes("82 03 0B 01 FF 70");
    const auto path = WriteRecording(dir, message, TSignalling::OnHook);
    SelectTab(TPage::Analyst);
    window.analystFileBox->setEditText(QString::fromStdString(path));
    Click(window.analyzeButton);
    const QStringList lines = window.resultsBox->toPlainText().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 6);
    EXPECT_EQ(lines[0], QStringLiteral("Here is what I decoded:"));
    EXPECT_EQ(lines[1], QStringLiteral("(Using Analysis Method 1)"));
    EXPECT_EQ(lines[3], QStringLiteral("\u201A   \u00FFp"));  // control bytes as spaces
    EXPECT_EQ(window.analystFileBox->itemText(0), QString::fromStdString(path));

    QString note;
    WhenModalOpens([&] {
        note = inspect.Table()->item(4, 5)->text();
        Click(inspect.OkButton());
    });
    Click(window.inspectButton);
    EXPECT_EQ(note, QStringLiteral("VMWI Status: On"));

    Click(window.clearButton);
    EXPECT_TRUE(window.resultsBox->toPlainText().isEmpty());
    int rows = 0;
    WhenModalOpens([&] {
        rows = inspect.Table()->rowCount();
        Click(inspect.OkButton());
    });
    Click(window.inspectButton);
    EXPECT_EQ(rows, 199);
}

TEST_F(GuiTest, ViewerDrawsTheLoadedRecording) {
    test::TTempDir dir;
    const auto path =
        WriteRecording(dir, test::HexBytes("82 03 0B 01 FF 70"), TSignalling::CallWaiting);
    ASSERT_EQ(window.Model().Viewer.LoadWAV(path), TLoadResult::Loaded);
    EXPECT_EQ(viewer.ScrollBar()->minimum(), 44);
    EXPECT_EQ(viewer.ScrollBar()->value(), 44);
    EXPECT_EQ(viewer.windowTitle(), QStringLiteral("Waveform Viewer - recording.wav"));

    // in the silence of the call-waiting preamble: the centre line, the flat
    // waveform just under it, white elsewhere, and a grid line where the offset
    // is a multiple of 350
    const int silenceStart = 44 + 13230 + 4410 + 200;
    viewer.ScrollBar()->setValue(silenceStart);
    const QImage silence = viewer.Picture();
    EXPECT_EQ(Pixel(silence, 400, 131), QColor(0, 0, 128));
    EXPECT_EQ(Pixel(silence, 400, 132), QColor(0, 0, 0));
    EXPECT_EQ(Pixel(silence, 400, 200), QColor(255, 255, 255));
    const int gridX = (silenceStart / 350 + 1) * 350 - silenceStart;
    EXPECT_EQ(Pixel(silence, gridX, 250), QColor(128, 0, 0));

    // in the mark run before the message: events with aqua lines and fuchsia bars
    viewer.ScrollBar()->setValue(44 + 29547 - 1000);
    const QImage mark = viewer.Picture();
    int aqua = 0;
    int fuchsia = 0;
    for (int x = 0; x < 771; ++x) {
        aqua += Pixel(mark, x, 250) == QColor(0, 255, 255) ? 1 : 0;
        fuchsia += Pixel(mark, x, 20) == QColor(255, 0, 255) ? 1 : 0;
    }
    EXPECT_GT(aqua, 30);
    EXPECT_GT(fuchsia, 600);

    // scrolling past the end draws the same picture as the limit
    const int imageSize = static_cast<int>(window.Model().Viewer.LoadedImage.size());
    viewer.ScrollBar()->setValue(imageSize - 771);
    const QImage limit = viewer.Picture();
    viewer.ScrollBar()->setValue(imageSize);
    EXPECT_EQ(viewer.Picture(), limit);
}

TEST_F(GuiTest, ViewerAnalysisShowsTheFrameListingModally) {
    test::TTempDir dir;
    window.Model().Viewer.LoadWAV(
        WriteRecording(dir, test::HexBytes("82 03 0B 01 00 6F"), TSignalling::OnHook));
    int lines = 0;
    WhenModalOpens([&] {
        lines = static_cast<int>(
            viewer.FrameListing().ListingBox()->toPlainText().split(QLatin1Char('\n')).size());
        Click(viewer.FrameListing().ContinueButton());
    });
    Click(viewer.AnalyzeZcButton());
    EXPECT_EQ(lines, 6);
    lines = 0;
    WhenModalOpens([&] {
        lines = static_cast<int>(
            viewer.FrameListing().ListingBox()->toPlainText().split(QLatin1Char('\n')).size());
        Click(viewer.FrameListing().ContinueButton());
    });
    Click(viewer.AnalyzeCorrButton());
    EXPECT_EQ(lines, 7);  // six frames and the quality line
    EXPECT_EQ(window.Model().Viewer.Analyzer.Demodulator.AnalysisMethod,
              TAnalysisMethod::Correlation);
}

}  // namespace
}  // namespace ringlark::ui
