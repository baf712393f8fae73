// The main window's widgets brought to the model's state, and its geometry.
#include "app/ui/MainWindow.h"

#include <QAbstractItemDelegate>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextBrowser>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

#include "analyst/ui/WaveformViewerWindow.h"
#include "app/ui/OptionsDialog.h"
#include "app/ui/QtServices.h"
#include "core/Cp1252.h"
#include "inspection/ui/InspectorWindow.h"

#include "analyst/ui/WaveformViewerWindow.h"
#include "app/ui/MainWindowWidgets.h"
#include "app/ui/OptionsDialog.h"
#include "app/ui/QtServices.h"
#include "inspection/ui/InspectorWindow.h"

namespace ringlark::ui {

using namespace widgets;

void MainWindow::ShowFirstTime() {
    Model().ShowFirstTime();
    if (const QScreen* screen = this->screen()) {
        move(screen->geometry().topLeft() + QPoint(20, 20));
    }
    RefreshAll();
    ApplyGeometry();
}

void MainWindow::RefreshDateTime() {
    refreshing_ = true;
    for (std::size_t i = 0; i < kTabIds.size(); ++i) {
        const TCallerIdTab& tab = Model().Tabs.Tab(kTabIds[i]);
        SetText(tabWidgets[i].Date, FromCp1252(tab.DateText));
        SetText(tabWidgets[i].Time, FromCp1252(tab.TimeText));
    }
    refreshing_ = false;
}

void MainWindow::RefreshTabs() {
    refreshing_ = true;
    TMainWindowModel& m = Model();
    for (std::size_t i = 0; i < kTabIds.size(); ++i) {
        const TCallerIdTab& tab = m.Tabs.Tab(kTabIds[i]);
        TTabWidgets& w = tabWidgets[i];
        const QSignalBlocker blockNumber(w.Number);
        SetCombo(w.Number, m.NumberItems.Items, tab.NumberText, &FromCp1252, &ToCp1252);
        w.Number->setEnabled(tab.NumberBoxEnabled);
        if (w.Name != nullptr) {
            const QSignalBlocker blockName(w.Name);
            SetCombo(w.Name, m.NameItems.Items, tab.NameText, &FromCp1252, &ToCp1252);
            w.Name->setEnabled(tab.NameBoxEnabled);
        }
        SetText(w.Date, FromCp1252(tab.DateText));
        SetText(w.Time, FromCp1252(tab.TimeText));
        w.Date->setEnabled(tab.DateTimeEnabled);
        w.Time->setEnabled(tab.DateTimeEnabled);
        w.UseCurrent->setChecked(tab.UseCurrent);
        w.OutOfArea->setChecked(tab.OutOfArea);
        w.Private->setChecked(tab.Private);
        w.LongDistance->setChecked(tab.LongDistance);
        if (w.NumberDisabled != nullptr) {
            w.NumberDisabled->setChecked(tab.NumberDisabled);
            w.NameDisabled->setChecked(tab.NameDisabled);
        }
    }
    miscChoices[0]->setChecked(m.Tabs.VmwiOn);
    miscChoices[1]->setChecked(m.Tabs.VmwiOff);
    miscChoices[2]->setChecked(m.Tabs.TestMessage);
    refreshing_ = false;
}

void MainWindow::RefreshWorkshop() {
    refreshing_ = true;
    TWorkshop& w = Model().Workshop;
    const QSignalBlocker block(workshopGrid);
    const int rows = w.List.RowCount();
    workshopGrid->setRowCount(rows);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < 3; ++c) {
            const QString text = FromCp1252(w.List.Cell(c, r + 1));
            QTableWidgetItem* item = workshopGrid->item(r, c);
            if (item == nullptr) {
                item = new QTableWidgetItem();
                if (c == 0) {
                    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
                }
                workshopGrid->setItem(r, c, item);
            }
            if (item->text() != text) {
                item->setText(text);
            }
        }
    }
    workshopGrid->setCurrentCell(w.CurrentRow() - 1, w.CurrentColumn());
    const TWorkshopCommands& commands = w.Commands();
    const std::array<bool, 5> enabled = {true, commands.Del, commands.Edit, commands.Up,
                                         commands.Down};
    for (std::size_t i = 0; i < enabled.size(); ++i) {
        workshopActions[i]->setEnabled(enabled[i]);
        workshopMenuActions[i]->setEnabled(enabled[i]);
    }
    onHookButton->setChecked(w.Signalling == TSignalling::OnHook);
    callWaitingButton->setChecked(w.Signalling == TSignalling::CallWaiting);
    refreshing_ = false;
}

void MainWindow::RefreshAbout() {
    const TAboutPage& about = Model().About;
    pages->setTabText(static_cast<int>(TPage::About), QString::fromStdString(about.TabCaption));
    for (std::size_t i = 0; i < aboutLines.size(); ++i) {
        const TAboutLine& line = about.Lines[i];
        TClickLabel* label = aboutLines[i];
        label->setText(QString::fromStdString(line.Text));
        label->setStyleSheet(
            QStringLiteral("color: rgb(%1, %2, %3); text-decoration: %4;")
                .arg(line.Color.R)
                .arg(line.Color.G)
                .arg(line.Color.B)
                .arg(line.Underlined ? QStringLiteral("underline") : QStringLiteral("none")));
        label->setCursor(line.Cursor == TCursor::Hand ? Qt::PointingHandCursor : Qt::ArrowCursor);
    }
}

void MainWindow::RefreshAll() {
    TMainWindowModel& m = Model();
    RefreshTabs();
    RefreshWorkshop();
    RefreshAbout();
    refreshing_ = true;
    {
        const QSignalBlocker block(analystFileBox);
        SetCombo(analystFileBox, m.AnalystItems.Items, m.AnalystFileText, &FromPath, &ToPath);
    }
    // A carriage return and line feed inside a line of the report (the
    // method-0 text may hold them) break it; other control bytes show as
    // spaces, as everywhere.
    QStringList report;
    for (const auto& line : m.Analyst.Report) {
        std::size_t start = 0;
        for (std::size_t at; (at = line.find("\r\n", start)) != Bytes::npos; start = at + 2) {
            report << Line(line.substr(start, at - start));
        }
        report << Line(line.substr(start));
    }
    const QString reportText = report.join(QLatin1Char('\n'));
    if (resultsBox->toPlainText() != reportText) {
        resultsBox->setPlainText(reportText);
    }
    const int shownBefore = pages->currentIndex();
    {
        const QSignalBlocker block(pages);
        pages->setTabVisible(static_cast<int>(TPage::About), m.AboutVisible);
        pages->setCurrentIndex(static_cast<int>(m.Page));
    }
    refreshing_ = false;
    if (pages->currentIndex() != shownBefore && panel5_ != nullptr) {
        ApplyGeometry();  // a transfer or a script save switched the page
    }
    const TMainCommands& c = m.Commands;
    saveButton->setEnabled(c.SaveButton);
    playButton->setEnabled(c.PlayButton);
    inspectButton->setEnabled(c.InspectButton);
    saveAction->setEnabled(c.SaveWav);
    inspectAction->setEnabled(c.InspectMenu);
    saveWorkshopScriptAction->setEnabled(c.SaveWorkshopScript);
    transferAction->setEnabled(c.TransferCID);
    statusPanel->setText(FromCp1252(m.StatusText));
    const std::string_view standard = StandardTitle(m.Config.Standard);
    standardPanel->setText(
        QString::fromLatin1(standard.data(), static_cast<qsizetype>(standard.size())));
    standardPanel->setVisible(m.Config.Standard != TCidStandard::Bell202);
    if (!m.Caption.empty()) {
        setWindowTitle(QString::fromStdString(m.Caption));
    }
}

void MainWindow::ApplyGeometry() {
    // The workshop page is laid out at the size of the shown page even while
    // it is hidden, so that its grid and tool bar are sized at start, after
    // every resize and when a transfer switches to it.
    QWidget* workshopPage = workshopGrid->parentWidget();
    if (QWidget* shown = pages->currentWidget(); shown != nullptr && shown != workshopPage) {
        workshopPage->resize(shown->size());
    }
    if (QLayout* workshop = workshopPage->layout()) {
        workshop->setGeometry(workshopPage->rect());
        workshop->activate();
    }
    TQtMetrics metrics(workshopGrid->horizontalHeader()->font());
    Model().ResizeTo(width(), height(), panel5_->width(), workshopToolBar->width(),
                     workshopGrid->viewport()->width() + 3, metrics);
    const TMainGeometry& g = Model().Geometry;
    const std::array<QPushButton*, 4> buttons = {saveButton, playButton, inspectButton, quitButton};
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        buttons[i]->setGeometry(g.ButtonLeft[i], (TMainGeometry::Panel5Height - 32) / 2,
                                g.ButtonWidth[i], 32);
    }
    for (std::size_t i = 0; i < workshopActions.size(); ++i) {
        if (QWidget* tool = workshopToolBar->widgetForAction(workshopActions[i])) {
            tool->setFixedWidth(std::max(1, g.ToolButtonWidth[i] - 2));
        }
    }
    for (int c = 0; c < 3; ++c) {
        workshopGrid->setColumnWidth(c, std::max(1, g.ColumnWidth[static_cast<std::size_t>(c)]));
    }
    RefreshWorkshop();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (app_ && panel5_ != nullptr) {
        ApplyGeometry();
    }
}

}  // namespace ringlark::ui
