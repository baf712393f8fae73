// The main window's pages: the caller-ID tabs, the workshop, the analyst, the Misc. tab and the
// output buttons.
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

QWidget* MainWindow::BuildCallerIdTab(int index) {
    const TTabId id = kTabIds[static_cast<std::size_t>(index)];
    auto* page = new QWidget();
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(Heading(Q(PageTable()[static_cast<std::size_t>(index)].Heading), page));
    TTabWidgets& w = tabWidgets[static_cast<std::size_t>(index)];
    const auto box = [&](const char* caption, TTabBox which) {
        auto* check = new QCheckBox(QString::fromUtf8(caption), page);
        connect(check, &QCheckBox::clicked, this, [this, id, which](bool checked) {
            Run([this, id, which, checked] { Model().Tabs.SetChecked(id, which, checked); });
        });
        return check;
    };

    auto* numberPanel = new QGroupBox(page);
    auto* numberLayout = new QGridLayout(numberPanel);
    numberLayout->addWidget(new QLabel(QStringLiteral("Phone Number"), numberPanel), 0, 0);
    w.Number = new QComboBox(numberPanel);
    w.Number->setEditable(true);
    w.Number->setInsertPolicy(QComboBox::NoInsert);
    numberLayout->addWidget(w.Number, 1, 0);
    connect(w.Number, &QComboBox::editTextChanged, this, [this, id](const QString& text) {
        if (!refreshing_) {
            Model().Tabs.Tab(id).NumberText = ToCp1252(text);
            NoteUnsendable(text);
        }
    });
    if (id != TTabId::Sdmf) {
        w.NumberDisabled = box("Disable", TTabBox::NumberDisabled);
        w.NumberDisabled->setLayoutDirection(Qt::RightToLeft);  // caption left of the box
        numberLayout->addWidget(w.NumberDisabled, 1, 1, Qt::AlignAbsolute | Qt::AlignRight);
        numberLayout->setColumnStretch(0, 1);
    }
    layout->addWidget(numberPanel);

    if (id != TTabId::Sdmf) {
        auto* namePanel = new QGroupBox(page);
        auto* nameLayout = new QGridLayout(namePanel);
        nameLayout->addWidget(new QLabel(QStringLiteral("Name"), namePanel), 0, 0);
        w.Name = new QComboBox(namePanel);
        w.Name->setEditable(true);
        w.Name->setInsertPolicy(QComboBox::NoInsert);
        nameLayout->addWidget(w.Name, 1, 0);
        connect(w.Name, &QComboBox::editTextChanged, this, [this, id](const QString& text) {
            if (!refreshing_) {
                Model().Tabs.Tab(id).NameText = ToCp1252(text);
                NoteUnsendable(text);
            }
        });
        w.NameDisabled = box("Disable", TTabBox::NameDisabled);
        w.NameDisabled->setLayoutDirection(Qt::RightToLeft);
        nameLayout->addWidget(w.NameDisabled, 1, 1, Qt::AlignAbsolute | Qt::AlignRight);
        nameLayout->setColumnStretch(0, 1);
        layout->addWidget(namePanel);
    }

    auto* datePanel = new QGroupBox(page);
    auto* dateLayout = new QGridLayout(datePanel);
    dateLayout->addWidget(new QLabel(QStringLiteral("Date"), datePanel), 0, 0);
    dateLayout->addWidget(new QLabel(QStringLiteral("Time"), datePanel), 0, 1);
    w.Date = new QLineEdit(QStringLiteral("MMDD"), datePanel);
    w.Time = new QLineEdit(QStringLiteral("HHMM"), datePanel);
    dateLayout->addWidget(w.Date, 1, 0);
    dateLayout->addWidget(w.Time, 1, 1);
    w.UseCurrent = box("Use Current", TTabBox::UseCurrent);
    dateLayout->addWidget(w.UseCurrent, 1, 2);
    connect(w.Date, &QLineEdit::textEdited, this,
            [this, id](const QString& text) { Model().Tabs.Tab(id).DateText = ToCp1252(text); });
    connect(w.Time, &QLineEdit::textEdited, this,
            [this, id](const QString& text) { Model().Tabs.Tab(id).TimeText = ToCp1252(text); });
    layout->addWidget(datePanel);

    auto* flags = new QHBoxLayout();
    w.OutOfArea = box("Out of Area", TTabBox::OutOfArea);
    w.Private = box("Private", TTabBox::Private);
    w.LongDistance =
        box(id == TTabId::Sdmf ? "Long Distance" : "LD Indicator", TTabBox::LongDistance);
    flags->addWidget(w.OutOfArea);
    flags->addWidget(w.Private);
    flags->addWidget(w.LongDistance);
    flags->addStretch(1);
    layout->addLayout(flags);
    layout->addStretch(1);
    return page;
}

QWidget* MainWindow::BuildWorkshopTab() {
    auto* page = new QWidget();
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(Heading(Q(PageTable()[3].Heading), page));
    workshopToolBar = new QToolBar(page);
    workshopToolBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    const std::array<std::pair<const char*, const char*>, 7> tools = {{
        {"Add", "Add a new MDMF Parameter to the end of the list"},
        {"Del", "Delete the selected MDMF Parameter"},
        {"Edit", "Edit the selected MDMF Parameter"},
        {"Up", "Move the selected MDMF Paremeter up one position"},
        {"Down", "Move the selected MDMF parameter down one position"},
        {"Load", "Load an MDMF message from a CID textfile"},
        {"Save", "Save this MDMF message to a CID text file"},
    }};
    const std::array<std::function<void(TWorkshop&)>, 7> commands = {
        [](TWorkshop& w) { w.WorkshopAdd(); },      [](TWorkshop& w) { w.WorkshopDelete(); },
        [](TWorkshop& w) { w.WorkshopEdit(); },     [](TWorkshop& w) { w.WorkshopMoveUp(); },
        [](TWorkshop& w) { w.WorkshopMoveDown(); }, [](TWorkshop& w) { w.WorkshopLoad(); },
        [](TWorkshop& w) { w.WorkshopSave(); },
    };
    for (std::size_t i = 0; i < tools.size(); ++i) {
        QAction* action = workshopToolBar->addAction(QString::fromUtf8(tools[i].first));
        action->setToolTip(QString::fromUtf8(tools[i].second));
        connect(action, &QAction::triggered, this,
                [this, command = commands[i]] { Run([&] { command(Model().Workshop); }); });
        workshopActions[i] = action;
    }
    layout->addWidget(workshopToolBar);

    workshopGrid = new QTableWidget(1, 3, page);
    workshopGrid->setHorizontalHeaderLabels(
        {QString(), QStringLiteral("Parameter"), QStringLiteral("Message String")});
    workshopGrid->verticalHeader()->setVisible(false);
    workshopGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    workshopGrid->setEditTriggers(QAbstractItemView::EditKeyPressed |
                                  QAbstractItemView::AnyKeyPressed |
                                  QAbstractItemView::SelectedClicked);
    workshopGrid->setContextMenuPolicy(Qt::CustomContextMenu);
    layout->addWidget(workshopGrid, 1);
    connect(workshopGrid, &QTableWidget::cellChanged, this, [this](int row, int column) {
        if (!refreshing_) {
            Model().Workshop.EditCell(row + 1, column,
                                      ToCp1252(workshopGrid->item(row, column)->text()));
            RefreshWorkshop();  // the command states follow the edit
        }
    });
    connect(workshopGrid, &QTableWidget::currentCellChanged, this,
            [this](int row, int column, int, int) {
                if (!refreshing_ && row >= 0) {
                    Run([&] { Model().Workshop.SelectCell(row + 1, column); });
                }
            });
    connect(workshopGrid, &QTableWidget::cellDoubleClicked, this,
            [this](int, int) { Run([this] { Model().Workshop.EditSelectedRow(); }); });
    // Enter on a cell: after an edit it closes the editor; on a cell that is
    // not being edited it reaches the grid itself (see eventFilter).
    workshopGrid->installEventFilter(this);
    connect(workshopGrid->itemDelegate(), &QAbstractItemDelegate::closeEditor, this,
            [this](QWidget*, QAbstractItemDelegate::EndEditHint hint) {
                if (hint == QAbstractItemDelegate::SubmitModelCache) {
                    Run([this] { Model().Workshop.PressKey('\r'); });
                }
            });
    workshopMenu = new QMenu(this);
    const std::array<const char*, 5> items = {"&Add", "&Delete", "&Edit", "Move &Up", "&Move Down"};
    for (std::size_t i = 0; i < items.size(); ++i) {
        workshopMenuActions[i] = workshopMenu->addAction(QString::fromUtf8(items[i]));
        connect(workshopMenuActions[i], &QAction::triggered, workshopActions[i], &QAction::trigger);
    }
    connect(workshopGrid, &QTableWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) {
                const QModelIndex index = workshopGrid->indexAt(pos);
                if (index.isValid()) {
                    Run([&] {
                        Model().Workshop.SelectCellUnderPointer(index.row() + 1, index.column());
                    });
                }
                workshopMenu->popup(workshopGrid->viewport()->mapToGlobal(pos));
            });

    auto* signalling = new QHBoxLayout();
    onHookButton = new QRadioButton(QStringLiteral("On-Hook Signaling"), page);
    onHookButton->setToolTip(
        QStringLiteral("Select to include the signaling method used in regular On-Hook Caller ID"));
    callWaitingButton = new QRadioButton(QStringLiteral("Call Waiting Signaling"), page);
    callWaitingButton->setToolTip(
        QStringLiteral("Select to include the special signaling used in Call Waiting Caller ID"));
    connect(onHookButton, &QRadioButton::clicked, this,
            [this] { Run([this] { Model().Workshop.Signalling = TSignalling::OnHook; }); });
    connect(callWaitingButton, &QRadioButton::clicked, this,
            [this] { Run([this] { Model().Workshop.Signalling = TSignalling::CallWaiting; }); });
    signalling->addWidget(onHookButton);
    signalling->addWidget(callWaitingButton);
    signalling->addStretch(1);
    layout->insertLayout(2, signalling);
    return page;
}

QWidget* MainWindow::BuildAnalystTab() {
    auto* page = new QWidget();
    auto* layout = new QGridLayout(page);
    layout->addWidget(Heading(Q(PageTable()[4].Heading), page), 0, 0, 1, 3);
    layout->addWidget(new QLabel(QStringLiteral("Filename"), page), 1, 0, 1, 3);
    analystFileBox = new QComboBox(page);
    analystFileBox->setEditable(true);
    analystFileBox->setInsertPolicy(QComboBox::NoInsert);
    layout->addWidget(analystFileBox, 2, 0, 1, 2);
    browseButton = new QPushButton(QStringLiteral("Browse..."), page);
    layout->addWidget(browseButton, 2, 2);
    layout->addWidget(new QLabel(QStringLiteral("Results"), page), 3, 0);
    clearButton = new QPushButton(QStringLiteral("Clear"), page);
    analyzeButton = new QPushButton(QStringLiteral("Analyze..."), page);
    layout->addWidget(clearButton, 3, 1);
    layout->addWidget(analyzeButton, 3, 2);
    viewerButton = new QPushButton(QStringLiteral("Viewer..."), page);
    layout->addWidget(viewerButton, 3, 0, Qt::AlignRight);
    connect(viewerButton, &QPushButton::clicked, this, [this] { ShowViewer(); });
    resultsBox = new QPlainTextEdit(page);
    resultsBox->setReadOnly(true);
    resultsBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    layout->addWidget(resultsBox, 4, 0, 1, 3);
    layout->setRowStretch(4, 1);
    connect(analystFileBox, &QComboBox::editTextChanged, this, [this](const QString& text) {
        if (!refreshing_) {
            Model().AnalystFileText = ToPath(text);
        }
    });
    connect(browseButton, &QPushButton::clicked, this,
            [this] { Run([this] { Model().Analyst.BrowseForRecording(); }); });
    connect(clearButton, &QPushButton::clicked, this,
            [this] { Run([this] { Model().Analyst.ClearResults(); }); });
    connect(analyzeButton, &QPushButton::clicked, this,
            [this] { Run([this] { Model().Analyst.AnalyzeRecording(); }); });
    return page;
}

QWidget* MainWindow::BuildMiscTab() {
    auto* page = new QWidget();
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(Heading(Q(PageTable()[5].Heading), page));
    const std::array<std::pair<const char*, TMiscChoice>, 3> choices = {{
        {"Message Waiting Indicator ON", TMiscChoice::VmwiOn},
        {"Message Waiting Indicator OFF", TMiscChoice::VmwiOff},
        {"Fixed Test Message", TMiscChoice::TestMessage},
    }};
    for (std::size_t i = 0; i < choices.size(); ++i) {
        if (i == 2) {
            layout->addWidget(Heading(Q(MiscLowerHeading), page));
        }
        auto* radio = new QRadioButton(QString::fromUtf8(choices[i].first), page);
        radio->setAutoExclusive(false);  // the tab's rules keep exactly one checked
        connect(radio, &QRadioButton::clicked, this, [this, choice = choices[i].second] {
            Run([this, choice] { Model().Tabs.ClickMisc(choice); });
        });
        layout->addWidget(radio);
        miscChoices[i] = radio;
    }
    layout->addStretch(1);
    return page;
}

QWidget* MainWindow::BuildButtonStrip() {
    panel5_ = new QWidget(this);
    panel5_->setFixedHeight(TMainGeometry::Panel5Height);
    const std::array<QPushButton**, 4> buttons = {&saveButton, &playButton, &inspectButton,
                                                  &quitButton};
    const std::array<std::function<void(TMainWindowModel&)>, 4> actions = {
        [](TMainWindowModel& f) { f.SaveMessageAs(); },
        [](TMainWindowModel& f) { f.PlayMessage(); },
        [](TMainWindowModel& f) { f.InspectMessage(); },
        [](TMainWindowModel& f) { f.QuitProgram(); }};
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        auto* button = new QPushButton(Q(OutputButtons[i].Caption), panel5_);
        button->setToolTip(Q(OutputButtons[i].Hint));
        connect(button, &QPushButton::clicked, this,
                [this, action = actions[i]] { Run([&] { action(Model()); }); });
        *buttons[i] = button;
    }
    return panel5_;
}

}  // namespace ringlark::ui
