#include "handshake/ui/LineTestWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cstdio>

#include "core/RinglarkError.h"

namespace ringlark::ui {

namespace {

QString Text(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

LineTestWindow::LineTestWindow(IErrorReporter& errors, TOpenSound openSound, QWidget* parent)
    : QDialog(parent), errors_(errors), openSound_(std::move(openSound)) {
    setWindowTitle(QStringLiteral("Line Test"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    roleBox = new QComboBox(this);
    roleBox->addItems({QStringLiteral("Exchange"), QStringLiteral("Telephone set")});
    form->addRow(QStringLiteral("Play the"), roleBox);
    standardBox = new QComboBox(this);
    standardBox->addItems({QStringLiteral("bell"), QStringLiteral("etsi"), QStringLiteral("bt")});
    form->addRow(QStringLiteral("Standard"), standardBox);
    peerBox = new QComboBox(this);
    peerBox->addItems({QStringLiteral("Simulated peer"), QStringLiteral("Sound card")});
    form->addRow(QStringLiteral("Against"), peerBox);
    ackDigitBox = new QComboBox(this);
    ackDigitBox->addItems({QStringLiteral("D"), QStringLiteral("A"), QStringLiteral("B"),
                           QStringLiteral("C"), QStringLiteral("none")});
    form->addRow(QStringLiteral("The set answers"), ackDigitBox);
    ackDelayBox = new QDoubleSpinBox(this);
    ackDelayBox->setRange(0, 2000);
    ackDelayBox->setDecimals(1);
    ackDelayBox->setSuffix(QStringLiteral(" ms"));
    ackDelayBox->setValue(50);
    form->addRow(QStringLiteral("after the CAS"), ackDelayBox);
    repeatBox = new QSpinBox(this);
    repeatBox->setRange(1, 1000);
    form->addRow(QStringLiteral("Runs"), repeatBox);
    noAckWaitBox =
        new QCheckBox(QStringLiteral("Send the data without waiting for the answer"), this);
    form->addRow(noAckWaitBox);
    calibrateBox = new QCheckBox(
        QStringLiteral("Calibrate the sound card first (a loop-back cable from output to input)"),
        this);
    form->addRow(calibrateBox);
    layout->addLayout(form);
    auto* buttons = new QHBoxLayout;
    startButton = new QPushButton(QStringLiteral("Start"), this);
    buttons->addWidget(startButton);
    buttons->addStretch();
    layout->addLayout(buttons);
    stepTable = new QTableWidget(0, 5, this);
    stepTable->setHorizontalHeaderLabels({QStringLiteral("Run"), QStringLiteral("Step"),
                                          QStringLiteral("Measured"), QStringLiteral("Limits"),
                                          QStringLiteral("Result")});
    stepTable->verticalHeader()->hide();
    stepTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    stepTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    stepTable->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(stepTable, 1);
    summaryLabel = new QLabel(this);
    summaryLabel->setWordWrap(true);
    layout->addWidget(summaryLabel);
    connect(startButton, &QPushButton::clicked, this, [this] {
        if (Running()) {
            StopTest();
        } else {
            StartTest();
        }
    });
    connect(peerBox, &QComboBox::currentIndexChanged, this, [this] { RefreshButtons(); });
    resize(760, 560);
    RefreshButtons();
}

LineTestWindow::~LineTestWindow() {
    StopTest();
}

TLineTestSettings LineTestWindow::Settings() const {
    TLineTestSettings settings;
    settings.Role = roleBox->currentIndex() == 0 ? TLineRole::Exchange : TLineRole::Set;
    settings.Standard =
        StandardNamed(standardBox->currentText().toStdString()).value_or(TCidStandard::Bell202);
    const std::string digit = ackDigitBox->currentText().toStdString();
    settings.Answer = digit != "none";
    settings.AckDigit = settings.Answer ? digit[0] : 'D';
    settings.AckDelayMs = ackDelayBox->value();
    settings.WaitForAck = !noAckWaitBox->isChecked();
    settings.Repeats = repeatBox->value();
    settings.PauseMs = 500;
    settings.Message = Message;
    return settings;
}

void LineTestWindow::StartTest() {
    if (Running()) {
        return;
    }
    const TLineTestSettings settings = Settings();
    std::unique_ptr<IDuplexSound> sound;
    try {
        if (peerBox->currentIndex() == 0) {
            sound = std::make_unique<TSimulatedPeer>(SimulationRate, settings);
        } else {
            sound = openSound_();
        }
    } catch (const RinglarkError& e) {
        summaryLabel->setText(Text(e.what()));
        errors_.ReportError(e.what());
        return;
    }
    stepTable->setRowCount(0);
    summaryLabel->setText(QStringLiteral("Running..."));
    stop_.store(false);
    const bool calibrate = peerBox->currentIndex() == 1 && calibrateBox->isChecked();
    worker_ = std::thread([this, settings, calibrate, sound = std::move(sound)] {
        std::string summary, failure;
        try {
            TLineTest test;
            test.OnRun = [this](int run, const std::vector<TStepRow>& rows) {
                QMetaObject::invokeMethod(
                    this, [this, run, rows] { AddRows(run, rows); }, Qt::QueuedConnection);
            };
            std::string calibrated;
            if (calibrate) {
                const auto roundTrip = TLineTest::Calibrate(*sound, stop_);
                if (!roundTrip) {
                    throw RinglarkError(
                        "The calibration click did not come back: connect the sound card's "
                        "output to its input with a loop-back cable, turn the levels up and "
                        "calibrate again");
                }
                char text[64];
                std::snprintf(text, sizeof text, "sound path round trip %.1f ms; ",
                              static_cast<double>(*roundTrip) * 1000 / sound->Rate());
                calibrated = text;
                test.LatencyOverride = *roundTrip;
            }
            summary = calibrated + test.Run(settings, *sound, stop_);
        } catch (const std::exception& e) {
            failure = e.what();
        }
        QMetaObject::invokeMethod(
            this, [this, summary, failure] { Finished(summary, failure); }, Qt::QueuedConnection);
    });
    RefreshButtons();
}

void LineTestWindow::StopTest() {
    if (!worker_.joinable()) {
        return;
    }
    stop_.store(true);
    worker_.join();
    RefreshButtons();
}

void LineTestWindow::Finished(const std::string& summary, const std::string& failure) {
    StopTest();
    if (!failure.empty()) {
        summaryLabel->setText(Text(failure));
        errors_.ReportError(failure);
        return;
    }
    summaryLabel->setText(Text(summary));
}

void LineTestWindow::AddRows(int run, const std::vector<TStepRow>& rows) {
    for (const TStepRow& row : rows) {
        const int r = stepTable->rowCount();
        stepTable->insertRow(r);
        const QString cells[] = {QString::number(run), Text(row.Step), Text(row.Measured),
                                 Text(row.Limits), Text(row.Result)};
        for (int c = 0; c < 5; ++c) {
            stepTable->setItem(r, c, new QTableWidgetItem(cells[c]));
        }
    }
    stepTable->scrollToBottom();
}

void LineTestWindow::RefreshButtons() {
    const bool running = Running();
    startButton->setText(running ? QStringLiteral("Stop") : QStringLiteral("Start"));
    for (QWidget* w : std::initializer_list<QWidget*>{roleBox, standardBox, peerBox, ackDigitBox,
                                                      ackDelayBox, repeatBox, noAckWaitBox}) {
        w->setEnabled(!running);
    }
    calibrateBox->setEnabled(!running && peerBox->currentIndex() == 1);
}

void LineTestWindow::closeEvent(QCloseEvent* event) {
    StopTest();
    QDialog::closeEvent(event);
}

}  // namespace ringlark::ui
