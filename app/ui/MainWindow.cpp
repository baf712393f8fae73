// The main window: construction, the model's handlers run with error reporting, and closing.
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

MainWindow::MainWindow(TDesktopServices services) : services_(services) {
    app_ = std::make_unique<TRinglarkApplication>(TMainServices{
        *this, services.Errors, services.Notices, services.SaveDialog1, services.OpenDialog1,
        timer_, services.Sound, services.Store, services.Shell, services.Clock,
        services.EditParameter, services.ViewerOpenDialog, services.Progress});

    setWindowTitle(Q(TMainWindowModel::Title));
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    pages = new QTabWidget(central);
    pages->setUsesScrollButtons(false);
    pages->setStyleSheet(QStringLiteral("QTabBar::tab { padding: 3px 5px; }"));
    for (int i = 0; i < 3; ++i) {
        pages->addTab(BuildCallerIdTab(i), Q(PageTable()[static_cast<std::size_t>(i)].Caption));
    }
    pages->addTab(BuildWorkshopTab(), Q(PageTable()[3].Caption));
    pages->addTab(BuildAnalystTab(), Q(PageTable()[4].Caption));
    pages->addTab(BuildMiscTab(), Q(PageTable()[5].Caption));
    pages->addTab(BuildAboutPage(), QStringLiteral("About Ringlark"));
    pages->setTabVisible(static_cast<int>(TPage::About), false);
    layout->addWidget(pages, 1);
    layout->addWidget(BuildButtonStrip());
    setCentralWidget(central);
    BuildMenu();

    statusPanel = new QLabel(this);
    statusPanel->setMinimumWidth(100);
    statusBar()->addWidget(statusPanel, 1);
    // the caller-ID system, shown when it is not Bell 202
    standardPanel = new QLabel(this);
    statusBar()->addPermanentWidget(standardPanel);
    standardPanel->hide();

    connect(pages, &QTabWidget::currentChanged, this, [this](int index) {
        if (!refreshing_) {
            Run([this, index] { Model().ChangePage(static_cast<TPage>(index)); });
            if (index == static_cast<int>(TPage::Workshop)) {
                ApplyGeometry();  // the workshop's widgets have their real sizes only when shown
            }
        }
    });

    tickTimer = new QTimer(this);
    tickTimer->setInterval(TTickTimer::IntervalMs);
    connect(tickTimer, &QTimer::timeout, this, [this] {
        timer_.Tick();
        RefreshDateTime();  // the tick changes nothing else
    });

    // The start sequence of the model: configuration, state, date and time.
    RunHandler(services_.Errors, [this] { app_->Start(); });
    resize(TMainGeometry::DesignWidth, TMainGeometry::DesignHeight);
    setMinimumSize(TMainGeometry::MinWidth, TMainGeometry::MinHeight);
    tickTimer->start();
    RefreshAll();
}

MainWindow::~MainWindow() = default;

void MainWindow::Run(const std::function<void()>& handler) {
    RunHandler(services_.Errors, handler);
    RefreshAll();
}

void MainWindow::NoteUnsendable(const QString& typed) {
    if (FromCp1252(ToCp1252(typed)) != typed) {
        Model().StatusText = std::string(kUnsendableNote);
        statusPanel->setText(FromCp1252(Model().StatusText));
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == workshopGrid && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            Run([this] { Model().Workshop.PressKey('\r'); });
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (Model().Viewer.Converting()) {
        // the conversion processes events; the window closes once it has ended
        event->ignore();
        QTimer::singleShot(100, this, [this] { close(); });
        return;
    }
    if (!closing_) {
        closing_ = true;
        KeepLineMonitorSettings();
        Model().SaveConfigOnClose();  // a failed save is reported; the window still closes
    }
    event->accept();
    QApplication::closeAllWindows();
}

}  // namespace ringlark::ui
