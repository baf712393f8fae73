// The Qt binding driven through its real widgets, offscreen. Only what the
// binding can get wrong is checked here; the rules are tested on the models.
#include "app/ui/tests/GuiTestFixture.h"

namespace ringlark::ui {
namespace {

TEST_F(GuiTest, PlayOnTheSdmfTabPlaysTheExactImage) {
    UseFixedSdmfFields();
    std::filesystem::remove(gCapture);
    Click(window.playButton);
    EXPECT_EQ(window.statusPanel->text(), QStringLiteral("..010112001234\u00A1"));
    TFskSynth fresh;
    const Bytes image = SynthesiseImage(
        fresh, test::HexBytes("04 0C 30 31 30 31 31 32 30 30 31 32 33 34 A1"), TSignalling::OnHook);
    EXPECT_TRUE(test::ReadFile(gCapture) == image.substr(WavHeaderSize)) << "played bytes differ";
    EXPECT_TRUE(window.playButton->isEnabled());
    EXPECT_TRUE(window.isEnabled());
}

TEST_F(GuiTest, SaveWritesTheFileChosenInTheDialog) {
    UseFixedSdmfFields();
    test::TTempDir dir;
    saveDialog.Answers = {(dir / "cid.wav").string()};
    Click(window.saveButton);
    EXPECT_EQ(test::ReadFile(dir / "cid.wav").size(), 23197u);
}

TEST_F(GuiTest, SaveToAnUnwritablePathIsReportedAndButtonsStayEnabled) {
    saveDialog.Answers = {"/nonexistent-folder/x.wav"};
    Click(window.saveButton);
    EXPECT_EQ(errors.Errors,
              std::vector<std::string>{
                  "Cannot create file /nonexistent-folder/x.wav: No such file or directory"});
    EXPECT_TRUE(window.saveButton->isEnabled());
    EXPECT_TRUE(window.playButton->isEnabled());
    EXPECT_TRUE(window.inspectButton->isEnabled());
}

TEST_F(GuiTest, InspectOpensTheInspectorWithTheMessageRows) {
    UseFixedSdmfFields();
    int rows = -1;
    QString checksum;
    QString raw;
    WhenModalOpens([&] {
        rows = inspect.Table()->rowCount();
        checksum = inspect.Table()->item(14, 5)->text();
        raw = inspect.RawStream()->text();
        Click(inspect.OkButton());
    });
    Click(window.inspectButton);
    EXPECT_EQ(rows, 15);
    EXPECT_EQ(checksum, QStringLiteral("Checksum (Passed)"));
    EXPECT_EQ(raw, QStringLiteral("..010112001234\u00A1"));
    EXPECT_EQ(inspect.Table()->verticalHeader()->defaultSectionSize(), 18);
}

TEST_F(GuiTest, CheckBoxRulesThroughRealClicks) {
    auto& sdmf = window.tabWidgets[0];
    Click(sdmf.Private);
    Click(sdmf.LongDistance);
    EXPECT_FALSE(sdmf.Private->isChecked());
    EXPECT_TRUE(sdmf.LongDistance->isChecked());

    SelectTab(TPage::Cwcid);
    auto& cwcid = window.tabWidgets[2];
    Click(cwcid.NameDisabled);
    EXPECT_FALSE(cwcid.Name->isEnabled());
    Click(cwcid.OutOfArea);
    EXPECT_FALSE(cwcid.Number->isEnabled());
    Click(cwcid.LongDistance);
    EXPECT_FALSE(cwcid.OutOfArea->isChecked());
    EXPECT_TRUE(cwcid.Number->isEnabled());
    Click(cwcid.OutOfArea);
    EXPECT_FALSE(cwcid.LongDistance->isChecked());
    EXPECT_FALSE(cwcid.Number->isEnabled());
}

TEST_F(GuiTest, TabChangesSetTheCommandStates) {
    SelectTab(TPage::Analyst);
    EXPECT_FALSE(window.playButton->isEnabled());
    EXPECT_FALSE(window.saveButton->isEnabled());
    EXPECT_FALSE(window.saveAction->isEnabled());
    EXPECT_TRUE(window.inspectButton->isEnabled());
    SelectTab(TPage::Workshop);
    EXPECT_TRUE(window.saveWorkshopScriptAction->isEnabled());
    EXPECT_FALSE(window.transferAction->isEnabled());
    SelectTab(TPage::Cwcid);
    EXPECT_TRUE(window.transferAction->isEnabled());
    EXPECT_TRUE(window.playButton->isEnabled());
}

TEST_F(GuiTest, AboutThenQuitReturnsToMdmfAndASecondQuitCloses) {
    SelectTab(TPage::Misc);
    window.aboutAction->trigger();
    EXPECT_EQ(window.pages->currentIndex(), static_cast<int>(TPage::About));
    EXPECT_TRUE(window.pages->isTabVisible(static_cast<int>(TPage::About)));
    EXPECT_FALSE(window.playButton->isEnabled());
    EXPECT_EQ(window.aboutLines[1]->text(), QStringLiteral("Version 1.3.1 Build 037"));
    Click(window.quitButton);
    EXPECT_EQ(window.pages->currentIndex(), static_cast<int>(TPage::Mdmf));
    EXPECT_FALSE(window.pages->isTabVisible(static_cast<int>(TPage::About)));
    EXPECT_TRUE(window.isVisible());
    Click(window.quitButton);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(store.Saves, 2);  // the first run's defaults, then the close
}

TEST_F(GuiTest, OptionsCancelWithDisableClippingSetsClip128) {
    WhenModalOpens([&] {
        Click(options.DisableClipping());
        Click(options.CancelButton());
    });
    window.preferencesAction->trigger();
    EXPECT_EQ(window.Model().Config.Clip, 128);
    EXPECT_FALSE(options.Clip()->isEnabled());
}

TEST_F(GuiTest, TheStandardChosenInTheOptionsIsUsedAndShown) {
    EXPECT_TRUE(window.standardPanel->isHidden());
    WhenModalOpens([&] {
        options.Standard()->setCurrentIndex(1);
        emit options.Standard()->activated(1);
        Click(options.OkButton());
    });
    window.preferencesAction->trigger();
    EXPECT_EQ(window.Model().Config.Standard, TCidStandard::EtsiV23);
    EXPECT_FALSE(window.standardPanel->isHidden());
    EXPECT_EQ(window.standardPanel->text(), "ETSI V.23 (Europe)");
    // and back: cancelling keeps it, choosing Bell 202 hides the panel
    WhenModalOpens([&] {
        options.Standard()->setCurrentIndex(0);
        emit options.Standard()->activated(0);
        Click(options.OkButton());
    });
    window.preferencesAction->trigger();
    EXPECT_EQ(window.Model().Config.Standard, TCidStandard::Bell202);
    EXPECT_TRUE(window.standardPanel->isHidden());
}

// An emptied number stays empty when the name list is refreshed after it.
TEST_F(GuiTest, ClearedNumberDoesNotComeBack) {
    for (std::size_t t : {1u, 2u}) {
        auto& tab = window.tabWidgets[t];
        SelectTab(t == 1 ? TPage::Mdmf : TPage::Cwcid);
        Type(tab.Number, QStringLiteral("555-0100"));
        Type(tab.Name, QStringLiteral("Ann"));
        Click(window.playButton);
        Type(tab.Number, QString());
        Type(tab.Name, QStringLiteral("Bob"));
        Click(window.playButton);
        EXPECT_EQ(tab.Number->currentText(), QString()) << t;
        EXPECT_EQ(tab.Name->currentText(), QStringLiteral("Bob"));
        EXPECT_EQ(window.statusPanel->text().indexOf(QStringLiteral("555")), -1);
    }
}

// The workshop page is sized at start and on every resize, also while hidden,
// so a transfer shows the grid and the tool bar whole.
TEST_F(GuiTest, WorkshopIsSizedAfterATransfer) {
    window.resize(700, 520);
    SelectTab(TPage::Mdmf);
    window.transferAction->trigger();
    ASSERT_EQ(window.pages->currentIndex(), static_cast<int>(TPage::Workshop));
    const QFontMetrics metrics(window.workshopGrid->horizontalHeader()->font());
    EXPECT_EQ(window.workshopGrid->columnWidth(1),
              metrics.horizontalAdvance(QStringLiteral("Parameter")) + 8);
    EXPECT_GT(window.workshopGrid->columnWidth(2), 300);
    for (QAction* action : window.workshopActions) {
        QWidget* tool = window.workshopToolBar->widgetForAction(action);
        ASSERT_NE(tool, nullptr);
        EXPECT_TRUE(tool->isVisible()) << action->text().toStdString();
    }
}

// Enter on a Parameter cell that is not being edited turns "11" into "$0B".
TEST_F(GuiTest, EnterOnAParameterCellWithoutEditing) {
    SelectTab(TPage::Workshop);
    window.workshopGrid->item(0, 1)->setText(QStringLiteral("11"));
    window.workshopGrid->setCurrentCell(0, 1);
    window.workshopGrid->setFocus();
    QTest::keyClick(window.workshopGrid, Qt::Key_Return);
    EXPECT_EQ(window.Model().Workshop.List.Rows()[0].TypeText, "$0B");
    EXPECT_EQ(window.workshopGrid->item(0, 1)->text(), QStringLiteral("$0B"));
}

// The inspector fits itself to its rows on every resize, not only when opened.
TEST_F(GuiTest, InspectorFitsOnEveryResize) {
    inspect.ShowTable(BuildInspector(test::HexBytes("82 03 0B 01 FF 70")));
    inspect.show();
    inspect.resize(640, 400);
    const int fitted = inspect.height();
    const int notes = inspect.Table()->columnWidth(5);
    EXPECT_LT(fitted, 400);  // shortened to the last row
    inspect.resize(640, 700);
    EXPECT_EQ(inspect.height(), fitted);
    EXPECT_EQ(inspect.Table()->columnWidth(5), notes);
    inspect.hide();
}

// A carriage return and line feed in the report break its line.
TEST_F(GuiTest, ResultsBoxBreaksLinesAtCarriageReturnLineFeed) {
    window.Model().Analyst.Report = {"Here",
                                     "A\r\nB\x01"
                                     "C",
                                     "end"};
    window.RefreshAll();
    EXPECT_EQ(window.resultsBox->toPlainText(), QStringLiteral("Here\nA\nB C\nend"));
}

// Text outside Windows-1252 stays in the box as typed; what is sent holds "?",
// and the status bar says so.
TEST_F(GuiTest, TypedTextOutsideWindows1252StaysAsTyped) {
    SelectTab(TPage::Mdmf);
    auto& mdmf = window.tabWidgets[1];
    const QString typed = QStringLiteral("Zo\u00EB \u65E5\u672C");
    Type(mdmf.Name, typed);
    window.RefreshAll();
    EXPECT_EQ(mdmf.Name->currentText(), typed);
    EXPECT_EQ(window.Model().Tabs.Mdmf.NameText, "Zo\xEB ??");
    EXPECT_EQ(window.statusPanel->text().toStdString(), MainWindow::kUnsendableNote);
}

// The progress window stays usable (not greyed) while the others are disabled,
// and everything is enabled again at its end.
TEST_F(GuiTest, ProgressWindowIsNotGreyedOut) {
    ProgressWindow progressWindow(&window);
    progressWindow.Begin("Converting from 11k format", 1, 100, 1);
    EXPECT_TRUE(progressWindow.isEnabled());
    EXPECT_FALSE(window.isEnabled());
    progressWindow.End();
    EXPECT_TRUE(window.isEnabled());
}

// The WAV dialogs show the filter as the program names it and list .wav files
// in any letter case.
TEST(QtFileFilter, ShownAsNamedAndMatchedInAnyCase) {
    EXPECT_EQ(QtFilter("WAV Files (*.WAV)|*.WAV"), QStringLiteral("WAV Files (*.WAV)"));
    EXPECT_EQ(QtFilter("WAV Files (*.wav)|*.WAV|All Files (*.*)|*.*"),
              QStringLiteral("WAV Files (*.wav);;All Files (*)"));
    test::TTempDir dir;
    for (const char* name : {"a.wav", "B.WAV", "c.Wav", "d.txt"}) {
        test::WriteFile(dir / name, "");
    }
    QFileDialog dialog(nullptr, QStringLiteral("Open"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilter(QtFilter("WAV Files (*.WAV)|*.WAV"));
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
    dialog.setDirectory(QString::fromStdString(dir.Path().string()));
    dialog.show();
    auto* view = dialog.findChild<QListView*>(QStringLiteral("listView"));
    ASSERT_NE(view, nullptr);
    QStringList shown;
    for (int wait = 0; wait < 1500 && shown.size() < 3; ++wait) {
        QTest::qWait(20);
        shown.clear();
        const QModelIndex root = view->rootIndex();
        for (int r = 0; r < view->model()->rowCount(root); ++r) {
            shown << view->model()->index(r, 0, root).data().toString();
        }
    }
    shown.sort();
    EXPECT_EQ(shown, (QStringList{QStringLiteral("B.WAV"), QStringLiteral("a.wav"),
                                  QStringLiteral("c.Wav")}));
}

// The any-recording dialog lists every sound file its filter names.
TEST(QtFileFilter, SeveralPatternsAreEachMatched) {
    EXPECT_EQ(QtFilter(std::string(MainWindow::kAnyRecordingFilter)),
              QStringLiteral("Sound Files (*.WAV *.FLAC *.OGG *.AIFF *.AU *.CAF);;All Files (*)"));
    test::TTempDir dir;
    for (const char* name : {"a.wav", "b.flac", "c.Ogg", "d.txt"}) {
        test::WriteFile(dir / name, "");
    }
    QFileDialog dialog(nullptr, QStringLiteral("Open"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setNameFilter(QtFilter(std::string(MainWindow::kAnyRecordingFilter)));
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
    dialog.setDirectory(QString::fromStdString(dir.Path().string()));
    dialog.show();
    auto* view = dialog.findChild<QListView*>(QStringLiteral("listView"));
    ASSERT_NE(view, nullptr);
    QStringList shown;
    for (int wait = 0; wait < 1500 && shown.size() < 3; ++wait) {
        QTest::qWait(20);
        shown.clear();
        const QModelIndex root = view->rootIndex();
        for (int r = 0; r < view->model()->rowCount(root); ++r) {
            shown << view->model()->index(r, 0, root).data().toString();
        }
    }
    shown.sort();
    EXPECT_EQ(shown, (QStringList{QStringLiteral("a.wav"), QStringLiteral("b.flac"),
                                  QStringLiteral("c.Ogg")}));
}

}  // namespace
}  // namespace ringlark::ui
