#include "inspection/ui/InspectorWindow.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core/Cp1252.h"

namespace ringlark::ui {

namespace {
QString Text(const Bytes& bytes) {
    return QString::fromStdString(ShownText(bytes));
}
}  // namespace

InspectorWindow::InspectorWindow(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("CID Data Stream Inspector"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* title = new QLabel(QStringLiteral("  Data Stream Inspector"), this);
    title->setStyleSheet(
        QStringLiteral("background: grey; color: white; font: bold 14pt 'Arial'; padding: 4px;"));
    layout->addWidget(title);

    auto* rawBand = new QWidget(this);
    auto* rawLayout = new QHBoxLayout(rawBand);
    rawLayout->setContentsMargins(12, 6, 12, 6);
    rawLayout->setSpacing(12);
    rawLayout->addWidget(new QLabel(QStringLiteral("Raw Stream"), rawBand));
    raw_ = new QLineEdit(rawBand);
    raw_->setReadOnly(true);
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setBold(true);
    raw_->setFont(fixed);
    rawLayout->addWidget(raw_, 1);
    layout->addWidget(rawBand);

    table_ = new QTableWidget(0, static_cast<int>(InspectorTitles.size()), this);
    QStringList titles;
    for (auto title : InspectorTitles) {
        titles << QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size()));
    }
    table_->setHorizontalHeaderLabels(titles);
    table_->verticalHeader()->setVisible(false);
    table_->verticalHeader()->setDefaultSectionSize(RowHeight);
    table_->verticalHeader()->setMinimumSectionSize(RowHeight);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table_->setShowGrid(true);
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    layout->addWidget(table_, 1);

    auto* bottom = new QWidget(this);
    auto* bottomLayout = new QHBoxLayout(bottom);
    bottomLayout->setContentsMargins(12, 6, 12, 6);
    bottomLayout->addStretch(1);
    ok_ = new QPushButton(QStringLiteral("OK"), bottom);
    bottomLayout->addWidget(ok_);
    layout->addWidget(bottom);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
}

void InspectorWindow::ShowTable(const TInspectorTable& table) {
    raw_->setText(Text(table.RawStream));
    table_->setRowCount(static_cast<int>(table.Rows.size()));
    for (int r = 0; r < static_cast<int>(table.Rows.size()); ++r) {
        const auto& cells = table.Rows[static_cast<std::size_t>(r)].Cells;
        for (int c = 0; c < static_cast<int>(cells.size()); ++c) {
            table_->setItem(r, c, new QTableWidgetItem(Text(cells[static_cast<std::size_t>(c)])));
        }
    }
}

int InspectorWindow::ExecBeside(const QWidget* mainWindow) {
    const QRect frame = mainWindow != nullptr ? mainWindow->frameGeometry() : QRect();
    const QScreen* screen = mainWindow != nullptr ? mainWindow->screen() : this->screen();
    const int screenHeight = screen != nullptr ? screen->geometry().height() : 768;
    setGeometry(frame.left() + PlacementOffset, frame.top() + PlacementOffset, DesignWidth,
                screenHeight * 4 / 5);
    return exec();
}

void InspectorWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FitColumns();
    ShrinkToRows();
}

void InspectorWindow::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (fitting_) {
        return;  // the fitting's own shortening of the window
    }
    fitting_ = true;
    FitColumns();
    ShrinkToRows();
    fitting_ = false;
}

void InspectorWindow::FitColumns() {
    const QFontMetrics metrics(table_->horizontalHeader()->font());
    int used = 0;
    for (int c = 0; c < 5; ++c) {
        const int width = metrics.horizontalAdvance(table_->horizontalHeaderItem(c)->text()) + 8;
        table_->setColumnWidth(c, width);
        used += width;
    }
    // The viewport's width leaves out the vertical scroll bar while one shows.
    table_->setColumnWidth(5, std::max(0, table_->viewport()->width() - used - 5));
}

void InspectorWindow::ShrinkToRows() {
    const int rowsHeight = table_->horizontalHeader()->height() + table_->rowCount() * RowHeight;
    const int clientHeight = table_->height() - 2 * table_->frameWidth();
    if (rowsHeight < clientHeight) {
        resize(width(), height() - (clientHeight - rowsHeight));
        FitColumns();
        table_->setColumnWidth(5, table_->columnWidth(5) + 32);
    }
}

}  // namespace ringlark::ui
