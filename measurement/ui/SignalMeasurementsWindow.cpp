#include "measurement/ui/SignalMeasurementsWindow.h"

#include <QBrush>
#include <QColor>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPixmap>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace ringlark::ui {

namespace {

QString Text(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

}  // namespace

SignalMeasurementsWindow::SignalMeasurementsWindow(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Signal Measurements"));
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    messageBox = new QComboBox(this);
    layout->addWidget(messageBox);
    measureTable = new QTableWidget(0, 5, this);
    measureTable->setHorizontalHeaderLabels({QStringLiteral("Measure"), QStringLiteral("Value"),
                                             QStringLiteral("Limit"), QStringLiteral("Verdict"),
                                             QStringLiteral("Source")});
    measureTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    measureTable->verticalHeader()->hide();
    measureTable->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(measureTable, 1);
    summaryLabel = new QLabel(this);
    layout->addWidget(summaryLabel);
    sonogramLabel_ = new QLabel(this);
    sonogramLabel_->setFixedSize(SonogramWidth, SonogramHeight);
    layout->addWidget(sonogramLabel_);
    resize(820, 660);
    connect(messageBox, &QComboBox::currentIndexChanged, this, [this](int i) { ShowMessage(i); });
}

void SignalMeasurementsWindow::ShowRecording(const Bytes& image) {
    image_ = image;
    report_ = MeasureRecording(image);
    const QSignalBlocker blocker(messageBox);
    messageBox->clear();
    for (const auto& m : report_) {
        messageBox->addItem(Text(m.Title));
    }
    ShowMessage(report_.empty() ? -1 : 0);
}

void SignalMeasurementsWindow::ShowMessage(int index) {
    measureTable->setRowCount(0);
    sonogram_ = QImage(SonogramWidth, SonogramHeight, QImage::Format_RGB32);
    sonogram_.fill(Qt::white);
    sonogramLabel_->setPixmap(QPixmap::fromImage(sonogram_));
    if (index < 0 || static_cast<std::size_t>(index) >= report_.size()) {
        summaryLabel->setText(
            QStringLiteral("No FSK message in the recording the analyst loaded."));
        return;
    }
    const TMeasuredMessage& m = report_[static_cast<std::size_t>(index)];
    // the sonogram: -80 dBFS and below white, 0 dBFS black; 4000 Hz at the top
    const TSonogram s = MessageSonogram(image_, m, SonogramWidth, SonogramHeight);
    for (int x = 0; x < s.Columns; ++x) {
        for (int b = 0; b < s.Bins; ++b) {
            const int level = std::clamp(static_cast<int>(255 * (-s.At(x, b) / 80.0)), 0, 255);
            sonogram_.setPixel(x, SonogramHeight - 1 - b, qRgb(level, level, level));
        }
    }
    for (double hz : {m.Measures.MarkHz, m.Measures.SpaceHz}) {
        if (hz > 0 && s.Bins > 0) {
            const int y = SonogramHeight - 1 - s.BinOf(hz);
            for (int x = 0; x < SonogramWidth; x += 2) {
                sonogram_.setPixel(x, y, qRgb(220, 0, 0));
            }
        }
    }
    sonogramLabel_->setPixmap(QPixmap::fromImage(sonogram_));
    int failed = 0;
    for (const auto& row : m.Rows) {
        const int r = measureTable->rowCount();
        measureTable->insertRow(r);
        const std::string cells[] = {row.Name, row.Value, row.Limit, row.Verdict, row.Source};
        for (int c = 0; c < 5; ++c) {
            auto* item = new QTableWidgetItem(Text(cells[c]));
            if (row.Verdict == "PASS") {
                item->setBackground(QBrush(QColor(200, 240, 200)));
            } else if (row.Verdict == "FAIL") {
                item->setBackground(QBrush(QColor(250, 200, 200)));
            }
            measureTable->setItem(r, c, item);
        }
        failed += row.Verdict == "FAIL" ? 1 : 0;
    }
    measureTable->resizeColumnsToContents();
    measureTable->horizontalHeader()->setStretchLastSection(true);
    summaryLabel->setText(QStringLiteral("Limits: %1.  %2 of %3 rows fail.")
                              .arg(Text(m.Limits))
                              .arg(failed)
                              .arg(m.Rows.size()));
}

}  // namespace ringlark::ui
