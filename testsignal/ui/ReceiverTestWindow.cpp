#include "testsignal/ui/ReceiverTestWindow.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QScatterSeries>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <chrono>
#include <cmath>

#include "core/RinglarkError.h"

namespace ringlark::ui {

namespace {

QString Text(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string Utf8(const QString& text) {
    return text.toUtf8().toStdString();
}

const QStringList kColumns = {"condition", "impairments", "must",  "runs",
                              "shown",     "nothing",     "wrong", "verdict"};
constexpr int kRates[] = {44100, 48000, 8000};

}  // namespace

ReceiverTestWindow::ReceiverTestWindow(ISoundPlayer& sound, IErrorReporter& errors,
                                       IFileDialog& saveDialog, IFileDialog& openDialog,
                                       QWidget* parent)
    : QDialog(parent),
      sound_(sound),
      errors_(errors),
      saveDialog_(saveDialog),
      openDialog_(openDialog) {
    setWindowTitle(Text(std::string(TReceiverTestModel::Caption)));
    auto* layout = new QVBoxLayout(this);
    auto* settings = new QFormLayout;
    planBox = new QComboBox(this);
    for (const auto& name : model_.PlanNames) {
        planBox->addItem(Text(name));
    }
    planBox->setCurrentText(Text(model_.PlanName));
    openPlanButton = new QPushButton(QStringLiteral("&Open Plan File..."), this);
    openPlanButton->setAutoDefault(false);
    auto* planRow = new QHBoxLayout;
    planRow->addWidget(planBox, 1);
    planRow->addWidget(openPlanButton);
    settings->addRow(QStringLiteral("&Plan:"), planRow);
    calibrationBox = new QLineEdit(this);
    calibrationBox->setPlaceholderText(QStringLiteral("the plan's own (3.14)"));
    settings->addRow(QStringLiteral("dBm at &full scale:"), calibrationBox);
    runsBox = new QLineEdit(this);
    runsBox->setPlaceholderText(QStringLiteral("the plan's"));
    settings->addRow(QStringLiteral("&Runs per condition:"), runsBox);
    rateBox = new QComboBox(this);
    for (int rate : kRates) {
        rateBox->addItem(QString::number(rate), rate);
    }
    settings->addRow(QStringLiteral("Samples per &second:"), rateBox);
    pauseBox = new QDoubleSpinBox(this);
    pauseBox->setRange(0, 60);
    pauseBox->setDecimals(1);
    pauseBox->setSuffix(QStringLiteral(" s"));
    pauseBox->setValue(model_.PauseSeconds);
    settings->addRow(QStringLiteral("&Quiet before each run:"), pauseBox);
    layout->addLayout(settings);

    auto* controls = new QHBoxLayout;
    playButton = new QPushButton(QStringLiteral("P&lay"), this);
    stopButton = new QPushButton(QStringLiteral("S&top"), this);
    replayButton = new QPushButton(QStringLiteral("Play &Again"), this);
    shownButton = new QPushButton(QStringLiteral("S&hown"), this);
    notShownButton = new QPushButton(QStringLiteral("&Not Shown"), this);
    wrongButton = new QPushButton(QStringLiteral("&Wrong"), this);
    saveButton = new QPushButton(QStringLiteral("Save &Report..."), this);
    for (QPushButton* button : {playButton, stopButton, replayButton, shownButton, notShownButton,
                                wrongButton, saveButton}) {
        controls->addWidget(button);
        button->setAutoDefault(false);
    }
    layout->addLayout(controls);
    statusLabel = new QLabel(this);
    statusLabel->setWordWrap(true);
    layout->addWidget(statusLabel);

    resultTable = new QTableWidget(0, static_cast<int>(kColumns.size()), this);
    resultTable->setHorizontalHeaderLabels(kColumns);
    resultTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    resultTable->setSelectionMode(QAbstractItemView::NoSelection);
    resultTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    resultTable->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    layout->addWidget(resultTable, 1);
    chartView = new QChartView(new QChart, this);
    chartView->setRenderHint(QPainter::Antialiasing);
    chartView->setMinimumHeight(260);
    chartView->chart()->legend()->hide();
    layout->addWidget(chartView, 1);
    resize(820, 760);

    connect(playButton, &QPushButton::clicked, this, [this] { PlayPlan(); });
    connect(stopButton, &QPushButton::clicked, this, [this] { StopPlan(); });
    connect(replayButton, &QPushButton::clicked, this, [this] { ReplayRun(); });
    connect(shownButton, &QPushButton::clicked, this, [this] { Answer(TOutcome::Accepted); });
    connect(notShownButton, &QPushButton::clicked, this, [this] { Answer(TOutcome::Rejected); });
    connect(wrongButton, &QPushButton::clicked, this, [this] { Answer(TOutcome::Wrong); });
    connect(saveButton, &QPushButton::clicked, this, [this] { SaveReport(); });
    connect(openPlanButton, &QPushButton::clicked, this, [this] { OpenPlanFile(); });
    Refresh();
}

ReceiverTestWindow::~ReceiverTestWindow() {
    if (worker_.joinable()) {
        worker_.join();  // the sound output cannot be interrupted; it ends with its run
    }
}

void ReceiverTestWindow::OfferCalibration(std::optional<double> dbmAtFs) {
    if (dbmAtFs && calibrationBox->text().isEmpty()) {
        calibrationBox->setText(QString::number(*dbmAtFs, 'g', 6));
    }
}

void ReceiverTestWindow::TakeSettings() {
    model_.PlanName = Utf8(planBox->currentText());
    model_.DbmAtFs = Utf8(calibrationBox->text().trimmed());
    model_.Runs = Utf8(runsBox->text().trimmed());
    model_.Rate = rateBox->currentData().toInt();
    model_.PauseSeconds = pauseBox->value();
}

void ReceiverTestWindow::PlayPlan() {
    if (busy_ || !model_.CanPlay()) {
        return;
    }
    TakeSettings();
    RunHandler(errors_, [this] { StartPlaying(model_.Play()); });
    Refresh();
}

void ReceiverTestWindow::Answer(TOutcome outcome) {
    if (const auto next = model_.Answer(outcome)) {
        StartPlaying(*next);
    }
    Refresh();
}

void ReceiverTestWindow::ReplayRun() {
    if (!busy_ && model_.CanAnswer()) {
        StartPlaying(model_.Replay());
    }
    Refresh();
}

void ReceiverTestWindow::StopPlan() {
    model_.Stop();
    Refresh();
}

void ReceiverTestWindow::SaveReport() {
    RunHandler(errors_, [this] { model_.SaveReport(saveDialog_); });
}

void ReceiverTestWindow::OpenPlanFile() {
    RunHandler(errors_, [this] {
        model_.OpenPlanFile(openDialog_);
        planBox->clear();
        for (const auto& name : model_.PlanNames) {
            planBox->addItem(Text(name));
        }
        planBox->setCurrentText(Text(model_.PlanName));
    });
}

void ReceiverTestWindow::StartPlaying(const Bytes& image) {
    if (worker_.joinable()) {
        worker_.join();  // it has reported back: busy_ is false
    }
    busy_ = true;
    const double pause = model_.PauseSeconds;
    worker_ = std::thread([this, image, pause] {
        std::this_thread::sleep_for(std::chrono::duration<double>(pause));
        std::optional<std::string> failure = sound_.Play(image);
        QMetaObject::invokeMethod(
            this, [this, failure] { Played(failure); }, Qt::QueuedConnection);
    });
}

void ReceiverTestWindow::Played(const std::optional<std::string>& failure) {
    busy_ = false;
    RunHandler(errors_, [this, &failure] { model_.Played(failure); });
    Refresh();
}

void ReceiverTestWindow::Refresh() {
    const bool settable = model_.CanPlay() && !busy_;
    for (QWidget* w : std::initializer_list<QWidget*>{planBox, openPlanButton, calibrationBox,
                                                      runsBox, rateBox, pauseBox, playButton}) {
        w->setEnabled(settable);
    }
    stopButton->setEnabled(model_.CanStop());
    for (QPushButton* b : {replayButton, shownButton, notShownButton, wrongButton}) {
        b->setEnabled(model_.CanAnswer() && !busy_);
    }
    saveButton->setEnabled(model_.CanSaveReport());
    statusLabel->setText(Text(model_.Status()));
    RefreshTable();
    RefreshChart();
}

void ReceiverTestWindow::RefreshTable() {
    const auto rows = model_.Rows();
    resultTable->setRowCount(static_cast<int>(rows.size()));
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const TReceiverTestRow& row = rows[r];
        const QStringList cells = {
            Text(row.Condition),
            Text(row.Impairments),
            Text(row.Must),
            QString::number(row.Answered) + QStringLiteral("/") + QString::number(row.Runs),
            QString::number(row.Accepted),
            QString::number(row.Rejected),
            QString::number(row.Wrong),
            Text(row.Verdict)};
        const TColor c = RowColor(row.State);
        for (int col = 0; col < cells.size(); ++col) {
            auto* item = resultTable->item(static_cast<int>(r), col);
            if (item == nullptr) {
                item = new QTableWidgetItem;
                resultTable->setItem(static_cast<int>(r), col, item);
            }
            item->setText(cells[col]);
            item->setBackground(QColor(c.R, c.G, c.B));
        }
        if (row.State == TRowState::Playing) {
            resultTable->scrollToItem(resultTable->item(static_cast<int>(r), 0));
        }
    }
}

void ReceiverTestWindow::RefreshChart() {
    QChart* chart = chartView->chart();
    chart->removeAllSeries();
    for (QAbstractAxis* axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
    const TReceiverTestChart data = model_.Chart();
    chart->setTitle(Text(data.Title));
    auto* y = new QValueAxis;
    y->setRange(0, 100);
    y->setTickCount(5);
    y->setLabelFormat(QStringLiteral("%.0f"));
    y->setTitleText(Text(data.YTitle));
    chart->addAxis(y, Qt::AlignLeft);
    if (data.AgainstSnr) {
        auto* line = new QLineSeries;
        auto* dots = new QScatterSeries;
        dots->setMarkerSize(8);
        auto points = data.Points;
        std::sort(points.begin(), points.end(),
                  [](const TChartPoint& a, const TChartPoint& b) { return a.X < b.X; });
        for (const auto& p : points) {
            line->append(p.X, p.Y);
            dots->append(p.X, p.Y);
        }
        chart->addSeries(line);
        chart->addSeries(dots);
        auto* x = new QValueAxis;
        x->setTitleText(Text(data.XTitle));
        x->setLabelFormat(QStringLiteral("%.0f"));
        if (!points.empty()) {
            // ticks every 5 dB, a step of room beyond the outer points
            const double lo = std::floor((points.front().X - 1) / 5) * 5;
            const double hi = std::ceil((points.back().X + 1) / 5) * 5;
            x->setRange(lo, hi);
            x->setTickCount(static_cast<int>((hi - lo) / 5) + 1);
        }
        chart->addAxis(x, Qt::AlignBottom);
        for (QAbstractSeries* s :
             {static_cast<QAbstractSeries*>(line), static_cast<QAbstractSeries*>(dots)}) {
            s->attachAxis(x);
            s->attachAxis(y);
        }
        dots->setColor(line->color());
        return;
    }
    auto* set = new QBarSet(Text(data.YTitle));
    QStringList categories;
    for (const auto& p : data.Points) {
        *set << p.Y;
        categories << QString::number(p.X, 'f', 0);
    }
    auto* bars = new QBarSeries;
    bars->append(set);
    chart->addSeries(bars);
    auto* x = new QBarCategoryAxis;
    x->append(categories);
    x->setTitleText(Text(data.XTitle));
    chart->addAxis(x, Qt::AlignBottom);
    bars->attachAxis(x);
    bars->attachAxis(y);
}

}  // namespace ringlark::ui
