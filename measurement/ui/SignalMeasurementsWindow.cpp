#include "measurement/ui/SignalMeasurementsWindow.h"

#include <QBrush>
#include <QColor>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPen>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace ringlark::ui {

namespace {

QString Text(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

QColor Colour(TColor c) {
    return QColor(c.R, c.G, c.B);
}

}  // namespace

SonogramView::SonogramView(QWidget* parent) : QWidget(parent) {
    setMinimumSize(320, 120);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void SonogramView::ShowMessage(const Bytes* image, const TMeasuredMessage* message) {
    image_ = image;
    message_ = message;
    Recompute();
    update();
}

void SonogramView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Recompute();
}

void SonogramView::Recompute() {
    plot_ = SonogramPlotArea(width(), height());
    spectrum_ = QImage(plot_.Width, plot_.Height, QImage::Format_RGB32);
    spectrum_.fill(Qt::white);
    sonogram_ = TSonogram{};
    frame_.clear();
    if (image_ == nullptr || message_ == nullptr) {
        return;
    }
    // -80 dBFS and below white, 0 dBFS black; 4000 Hz at the top
    sonogram_ = MessageSonogram(*image_, *message_, plot_.Width, plot_.Height);
    for (int x = 0; x < sonogram_.Columns; ++x) {
        for (int b = 0; b < sonogram_.Bins; ++b) {
            const int level =
                std::clamp(static_cast<int>(255 * (-sonogram_.At(x, b) / 80.0)), 0, 255);
            spectrum_.setPixel(x, plot_.Height - 1 - b, qRgb(level, level, level));
        }
    }
    const bool fsk = !message_->Dtmf;
    frame_ = DrawSonogramFrame(sonogram_, plot_, fsk ? message_->Measures.MarkHz : 0,
                               fsk ? message_->Measures.SpaceHz : 0);
}

void SonogramView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.drawImage(plot_.Left, plot_.Top, spectrum_);
    for (const auto& p : frame_) {
        QPen pen(Colour(p.Color));
        pen.setStyle(p.Dashed ? Qt::DashLine : Qt::SolidLine);
        painter.setPen(pen);
        if (p.Kind == TSonogramPrimitive::TKind::Line) {
            painter.drawLine(p.X1, p.Y1, p.X2, p.Y2);
        } else {
            painter.drawText(p.X1, p.Y1, Text(p.Text));
        }
    }
}

QImage SonogramView::Picture() {
    return grab().toImage();
}

SignalMeasurementsWindow::SignalMeasurementsWindow(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Signal Measurements"));
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    messageBox = new QComboBox(this);
    layout->addWidget(messageBox);
    auto* splitter = new QSplitter(Qt::Vertical, this);
    measureTable = new QTableWidget(0, 5, splitter);
    measureTable->setHorizontalHeaderLabels({QStringLiteral("Measure"), QStringLiteral("Value"),
                                             QStringLiteral("Limit"), QStringLiteral("Verdict"),
                                             QStringLiteral("Source")});
    measureTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    measureTable->verticalHeader()->hide();
    measureTable->horizontalHeader()->setStretchLastSection(true);
    sonogramView = new SonogramView(splitter);
    splitter->addWidget(measureTable);
    splitter->addWidget(sonogramView);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    layout->addWidget(splitter, 1);
    summaryLabel = new QLabel(this);
    layout->addWidget(summaryLabel);
    resize(820, 660);
    connect(messageBox, &QComboBox::currentIndexChanged, this, [this](int i) { ShowMessage(i); });
}

void SignalMeasurementsWindow::ShowRecording(const Bytes& image, const TMeasureScale& scale) {
    image_ = image;
    report_ = MeasureRecording(image, scale);
    const QSignalBlocker blocker(messageBox);
    messageBox->clear();
    for (const auto& m : report_) {
        messageBox->addItem(Text(m.Title));
    }
    ShowMessage(report_.empty() ? -1 : 0);
}

void SignalMeasurementsWindow::ShowMessage(int index) {
    measureTable->setRowCount(0);
    if (index < 0 || static_cast<std::size_t>(index) >= report_.size()) {
        sonogramView->ShowMessage(nullptr, nullptr);
        summaryLabel->setText(QStringLiteral("No message in the recording the analyst loaded."));
        return;
    }
    const TMeasuredMessage& m = report_[static_cast<std::size_t>(index)];
    sonogramView->ShowMessage(&image_, &m);
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
    summaryLabel->setText(m.Dtmf ? QStringLiteral("DTMF caller ID: no limits to check.")
                                 : QStringLiteral("Limits: %1.  %2 of %3 rows fail.")
                                       .arg(Text(m.Limits))
                                       .arg(failed)
                                       .arg(m.Rows.size()));
}

}  // namespace ringlark::ui
