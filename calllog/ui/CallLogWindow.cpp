#include "calllog/ui/CallLogWindow.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <array>
#include <filesystem>

#include "calllog/CallLog.h"
#include "core/FileWriting.h"
#include "core/RinglarkError.h"

namespace ringlark::ui {

namespace {

constexpr std::array<const char*, 8> kTitles = {"Time", "Input",   "Kind",      "Number",
                                                "Name", "Contact", "Date/Time", "Checksum"};

QString Text(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// The cells of a row: a withheld number or name as "(private)".
std::array<std::string, 8> Cells(const TCallRecord& r) {
    const auto shown = [](const std::string& value, const std::string& absent) {
        return !value.empty() || absent.empty() ? value : "(" + absent + ")";
    };
    return {LocalText(r.HeardUtc),
            r.Input,
            r.Kind,
            shown(r.Number, r.NumberAbsent),
            shown(r.Name, r.NameAbsent),
            r.Contact,
            r.MessageTime,
            r.Checksum + (r.Uncertain ? " (uncertain)" : "") +
                (r.Refused.empty() ? "" : " (refused: " + r.Refused + ")")};
}

}  // namespace

CallLogWindow::CallLogWindow(std::string path, QWidget* parent)
    : QDialog(parent), path_(std::move(path)) {
    setWindowTitle(QStringLiteral("Call Log"));
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Search:"), this));
    searchBox = new QLineEdit(this);
    searchBox->setPlaceholderText(QStringLiteral("number or name"));
    top->addWidget(searchBox, 1);
    top->addWidget(new QLabel(QStringLiteral("From:"), this));
    sinceBox = new QLineEdit(this);
    sinceBox->setPlaceholderText(QStringLiteral("YYYY-MM-DD"));
    sinceBox->setMaximumWidth(150);
    top->addWidget(sinceBox);
    top->addWidget(new QLabel(QStringLiteral("To:"), this));
    untilBox = new QLineEdit(this);
    untilBox->setPlaceholderText(QStringLiteral("YYYY-MM-DD"));
    untilBox->setMaximumWidth(150);
    top->addWidget(untilBox);
    refreshButton = new QPushButton(QStringLiteral("Refresh"), this);
    top->addWidget(refreshButton);
    exportButton = new QPushButton(QStringLiteral("Export..."), this);
    top->addWidget(exportButton);
    layout->addLayout(top);
    callTable = new QTableWidget(0, static_cast<int>(kTitles.size()), this);
    QStringList titles;
    for (const char* title : kTitles) {
        titles << QString::fromLatin1(title);
    }
    callTable->setHorizontalHeaderLabels(titles);
    callTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    callTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    callTable->verticalHeader()->hide();
    callTable->horizontalHeader()->setStretchLastSection(true);
    callTable->setSortingEnabled(true);
    layout->addWidget(callTable, 1);
    statusLabel = new QLabel(this);
    layout->addWidget(statusLabel);
    resize(820, 420);
    connect(refreshButton, &QPushButton::clicked, this, [this] { Refresh(); });
    connect(searchBox, &QLineEdit::textChanged, this, [this] { Refresh(); });
    connect(sinceBox, &QLineEdit::editingFinished, this, [this] { Refresh(); });
    connect(untilBox, &QLineEdit::editingFinished, this, [this] { Refresh(); });
    connect(exportButton, &QPushButton::clicked, this, [this] {
        const QString name = QFileDialog::getSaveFileName(this, QStringLiteral("Export Calls"),
                                                          QStringLiteral("calls.csv"),
                                                          QStringLiteral("CSV Files (*.csv)"));
        if (!name.isEmpty()) {
            ExportTo(name.toUtf8().toStdString());
        }
    });
}

void CallLogWindow::showEvent(QShowEvent* event) {
    Refresh();
    QDialog::showEvent(event);
}

void CallLogWindow::Refresh() {
    callTable->setSortingEnabled(false);  // rows go in as read, then sort
    callTable->setRowCount(0);
    rows_.clear();
    exportButton->setEnabled(false);
    if (path_.empty() || !std::filesystem::exists(path_)) {
        statusLabel->setText(QStringLiteral("No calls logged yet"));
        callTable->setSortingEnabled(true);
        return;
    }
    std::vector<TCallRecord> rows;
    try {
        TCallFilter filter;
        const std::string search = searchBox->text().trimmed().toUtf8().toStdString();
        // digits search the number, anything else the name and contact
        if (!search.empty()) {
            (search.find_first_not_of("0123456789") == std::string::npos ? filter.Number
                                                                         : filter.Name) = search;
        }
        for (auto [box, endOfDay] : {std::pair{sinceBox, false}, std::pair{untilBox, true}}) {
            const std::string day = box->text().trimmed().toUtf8().toStdString();
            if (day.empty()) {
                continue;
            }
            const auto utc = LocalDateToUtc(day, endOfDay);
            if (!utc) {
                statusLabel->setText(
                    QStringLiteral("Not a date: %1 (YYYY-MM-DD [HH:MM[:SS]])").arg(Text(day)));
                callTable->setSortingEnabled(true);
                return;
            }
            (endOfDay ? filter.UntilUtc : filter.SinceUtc) = *utc;
        }
        rows = TCallLog(path_, false).Find(filter);
    } catch (const RinglarkError& e) {
        statusLabel->setText(Text(e.what()));
        callTable->setSortingEnabled(true);
        return;
    }
    for (const TCallRecord& record : rows) {
        const int r = callTable->rowCount();
        callTable->insertRow(r);
        const auto cells = Cells(record);
        for (std::size_t c = 0; c < cells.size(); ++c) {
            callTable->setItem(r, static_cast<int>(c), new QTableWidgetItem(Text(cells[c])));
        }
    }
    callTable->resizeColumnsToContents();
    callTable->horizontalHeader()->setStretchLastSection(true);
    callTable->setSortingEnabled(true);
    callTable->sortByColumn(0, Qt::AscendingOrder);
    callTable->scrollToBottom();
    statusLabel->setText(QStringLiteral("%1 calls in %2").arg(rows.size()).arg(Text(path_)));
    rows_ = std::move(rows);
    exportButton->setEnabled(!rows_.empty());
}

bool CallLogWindow::ExportTo(const std::string& path) {
    try {
        WriteFileReplacing(path, CallsCsv(rows_));
    } catch (const RinglarkError& e) {
        statusLabel->setText(Text(e.what()));
        return false;
    }
    statusLabel->setText(
        QStringLiteral("%1 calls written to %2").arg(rows_.size()).arg(Text(path)));
    return true;
}

}  // namespace ringlark::ui
