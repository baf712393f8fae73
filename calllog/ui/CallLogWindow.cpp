#include "calllog/ui/CallLogWindow.h"

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
            r.Checksum + (r.Uncertain ? " (uncertain)" : "")};
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
    refreshButton = new QPushButton(QStringLiteral("Refresh"), this);
    top->addWidget(refreshButton);
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
    layout->addWidget(callTable, 1);
    statusLabel = new QLabel(this);
    layout->addWidget(statusLabel);
    resize(820, 420);
    connect(refreshButton, &QPushButton::clicked, this, [this] { Refresh(); });
    connect(searchBox, &QLineEdit::textChanged, this, [this] { Refresh(); });
}

void CallLogWindow::showEvent(QShowEvent* event) {
    Refresh();
    QDialog::showEvent(event);
}

void CallLogWindow::Refresh() {
    callTable->setRowCount(0);
    if (path_.empty() || !std::filesystem::exists(path_)) {
        statusLabel->setText(QStringLiteral("No calls logged yet"));
        return;
    }
    std::vector<TCallRecord> rows;
    try {
        TCallLog log(path_, false);
        const std::string search = searchBox->text().trimmed().toUtf8().toStdString();
        if (search.empty()) {
            rows = log.Find({});
        } else {
            // digits search the number, anything else the name and contact
            TCallFilter filter;
            (search.find_first_not_of("0123456789") == std::string::npos ? filter.Number
                                                                         : filter.Name) = search;
            rows = log.Find(filter);
        }
    } catch (const RinglarkError& e) {
        statusLabel->setText(Text(e.what()));
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
    callTable->scrollToBottom();
    statusLabel->setText(QStringLiteral("%1 calls in %2").arg(rows.size()).arg(Text(path_)));
}

}  // namespace ringlark::ui
