#include "analyst/ui/LongRecordingWindow.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHideEvent>
#include <QItemSelectionModel>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core/RinglarkError.h"

namespace ringlark::ui {

namespace {

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

LongRecordingWindow::LongRecordingWindow(TAnalystTab& analyst, IErrorReporter& errors,
                                         QWidget* parent)
    : QDialog(parent), model_(analyst), errors_(errors) {
    setWindowTitle(QStringLiteral("Long Recording"));
    auto* layout = new QVBoxLayout(this);
    headingLabel = new QLabel(this);
    headingLabel->setWordWrap(true);
    headingLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(headingLabel);
    auto* progress = new QHBoxLayout;
    progressBar = new QProgressBar(this);
    progressBar->setRange(0, 1000);
    progressBar->setTextVisible(false);
    cancelButton = new QPushButton(QStringLiteral("&Cancel"), this);
    progress->addWidget(progressBar, 1);
    progress->addWidget(cancelButton);
    layout->addLayout(progress);
    statusLabel = new QLabel(this);
    layout->addWidget(statusLabel);
    table = new QTableWidget(0, 4, this);
    table->setHorizontalHeaderLabels({QStringLiteral("Time"), QStringLiteral("Tag"),
                                      QStringLiteral("Bytes"), QStringLiteral("Fields")});
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->setVisible(false);
    table->horizontalHeader()->setStretchLastSection(true);
    table->setColumnWidth(0, 90);
    table->setColumnWidth(1, 50);
    table->setColumnWidth(2, 400);
    table->setWordWrap(false);  // one line a row: a long text is elided, whole in its tool tip
    table->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    layout->addWidget(table, 1);
    auto* buttons = new QHBoxLayout;
    openButton = new QPushButton(QStringLiteral("&Open in Viewer"), this);
    openButton->setToolTip(
        QStringLiteral("Loads the chosen message into the waveform viewer, from %1 s before it to "
                       "%2 s after it")
            .arg(TLongRecordingList::SecondsBefore)
            .arg(TLongRecordingList::SecondsAfter));
    auto* closeButton = new QPushButton(QStringLiteral("Close"), this);
    buttons->addStretch(1);
    buttons->addWidget(openButton);
    buttons->addWidget(closeButton);
    layout->addLayout(buttons);
    resize(1200, 520);

    connect(cancelButton, &QPushButton::clicked, this, [this] {
        model_.Cancel();
        Refresh();
    });
    connect(openButton, &QPushButton::clicked, this, [this] { OpenSelected(); });
    connect(table, &QTableWidget::cellDoubleClicked, this, [this](int, int) { OpenSelected(); });
    connect(table, &QTableWidget::itemSelectionChanged, this, [this] { Refresh(); });
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);
    Refresh();
}

LongRecordingWindow::~LongRecordingWindow() {
    Stop();
}

void LongRecordingWindow::Stop() {
    model_.Cancel();
    if (worker_.joinable()) {
        worker_.join();
    }
}

void LongRecordingWindow::Scan(const std::string& path) {
    Stop();
    const TRecordingInfo info = ReadRecordingInfo(path);
    const int scan = model_.Begin(path, info);
    table->setRowCount(0);
    Refresh();
    worker_ = std::thread([this, path, scan, run = ScanFunction] {
        int posted = -1;  // the progress last told, in thousandths
        TScanCallbacks callbacks;
        callbacks.Found = [this, scan](const TStreamEvent& event, double heard) {
            QMetaObject::invokeMethod(
                this,
                [this, scan, event, heard] {
                    const std::size_t before = model_.Rows().size();
                    model_.Found(scan, event, heard);
                    if (model_.Rows().size() > before) {
                        AddRow(model_.Rows().back());
                    }
                    Refresh();
                },
                Qt::QueuedConnection);
        };
        callbacks.Progress = [this, scan, &posted](int64_t done, int64_t total) {
            const int perMille = total > 0 ? static_cast<int>(done * 1000 / total) : 0;
            if (perMille != posted) {
                posted = perMille;
                QMetaObject::invokeMethod(
                    this,
                    [this, scan, done, total] {
                        model_.Progressed(scan, done, total);
                        Refresh();
                    },
                    Qt::QueuedConnection);
            }
        };
        callbacks.Cancelled = [this] { return model_.CancelRequested(); };
        try {
            const bool completed = run(path, callbacks);
            QMetaObject::invokeMethod(
                this,
                [this, scan, completed] {
                    model_.Finished(scan, completed);
                    Refresh();
                },
                Qt::QueuedConnection);
        } catch (const std::exception& e) {
            const std::string reason = e.what();
            QMetaObject::invokeMethod(
                this,
                [this, scan, reason] {
                    model_.Failed(scan, reason);
                    errors_.ReportError(reason);
                    Refresh();
                },
                Qt::QueuedConnection);
        }
    });
}

int LongRecordingWindow::SelectedRow() const {
    const QModelIndexList rows = table->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().row();
}

void LongRecordingWindow::OpenSelected() {
    const int row = SelectedRow();
    if (!model_.CanOpen(row)) {
        return;
    }
    try {
        if (model_.Open(row) && OnOpened) {
            OnOpened();
        }
    } catch (const RinglarkError& error) {
        errors_.ReportError(error.what());
    }
}

void LongRecordingWindow::AddRow(const TLongRecordingRow& row) {
    const int r = table->rowCount();
    table->insertRow(r);
    const std::string cells[] = {row.Time, row.Tag, row.Hex, row.Fields};
    for (int c = 0; c < 4; ++c) {
        auto* item = new QTableWidgetItem(FromUtf8(cells[c]));
        item->setToolTip(FromUtf8(cells[c]));
        if (row.Uncertain) {
            item->setBackground(QBrush(QColor(255, 240, 190)));
        }
        table->setItem(r, c, item);
    }
}

void LongRecordingWindow::Refresh() {
    setWindowTitle(model_.Path().empty()
                       ? QStringLiteral("Long Recording")
                       : QStringLiteral("Long Recording - %1").arg(FromUtf8(model_.Path())));
    headingLabel->setText(FromUtf8(model_.Heading()));
    progressBar->setValue(model_.PerMille());
    statusLabel->setText(FromUtf8(model_.Status()));
    cancelButton->setEnabled(model_.CanCancel());
    openButton->setEnabled(model_.CanOpen(SelectedRow()));
}

void LongRecordingWindow::hideEvent(QHideEvent* event) {
    if (!event->spontaneous()) {  // not a minimising
        model_.Cancel();
        Refresh();
    }
    QDialog::hideEvent(event);
}

}  // namespace ringlark::ui
