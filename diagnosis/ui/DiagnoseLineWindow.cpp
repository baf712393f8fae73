#include "diagnosis/ui/DiagnoseLineWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

#include "analyst/AnyRecording.h"
#include "core/RinglarkError.h"
#include "decoding/tones/ToneDiscriminator.h"

namespace ringlark::ui {

namespace {

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

DiagnoseLineWindow::DiagnoseLineWindow(IErrorReporter& errors, TOpenInput openInput,
                                       QWidget* parent)
    : QDialog(parent), errors_(errors), openInput_(std::move(openInput)) {
    setWindowTitle(QStringLiteral("Diagnose Line"));
    auto* layout = new QVBoxLayout(this);
    auto* sources = new QHBoxLayout;
    openButton = new QPushButton(QStringLiteral("&Open Recording..."), this);
    listenButton = new QPushButton(QStringLiteral("&Listen"), this);
    deviceBox = new QLineEdit(this);
    deviceBox->setPlaceholderText(QStringLiteral("default input"));
    deviceBox->setToolTip(QStringLiteral("The input device: its index or name"));
    sources->addWidget(openButton);
    sources->addWidget(listenButton);
    sources->addWidget(new QLabel(QStringLiteral("Device:"), this));
    sources->addWidget(deviceBox, 1);
    layout->addLayout(sources);
    auto* settings = new QHBoxLayout;
    expectBox = new QComboBox(this);
    expectBox->addItems({QStringLiteral("Any standard"), QStringLiteral("Bell 202"),
                         QStringLiteral("ETSI V.23"), QStringLiteral("BT"),
                         QStringLiteral("DTMF")});
    calibratedBox = new QCheckBox(QStringLiteral("A full-scale sine is"), this);
    dbmBox = new QDoubleSpinBox(this);
    dbmBox->setRange(-60, 60);
    dbmBox->setDecimals(1);
    dbmBox->setSuffix(QStringLiteral(" dBm"));
    dbmBox->setEnabled(false);
    settings->addWidget(new QLabel(QStringLiteral("The receiver expects:"), this));
    settings->addWidget(expectBox);
    settings->addSpacing(12);
    settings->addWidget(calibratedBox);
    settings->addWidget(dbmBox);
    settings->addStretch(1);
    layout->addLayout(settings);
    summaryLabel = new QLabel(this);
    summaryLabel->setWordWrap(true);
    summaryLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(summaryLabel);
    reportView = new QPlainTextEdit(this);
    reportView->setReadOnly(true);
    reportView->setLineWrapMode(QPlainTextEdit::NoWrap);
    reportView->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(reportView, 1);
    statusLabel = new QLabel(
        QStringLiteral("Open a recording of the line, or listen while one or more calls ring."),
        this);
    layout->addWidget(statusLabel);
    resize(900, 640);

    connect(calibratedBox, &QCheckBox::toggled, dbmBox, &QWidget::setEnabled);
    connect(openButton, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getOpenFileName(
            this, QStringLiteral("Diagnose a Recording"), QString(),
            QStringLiteral("Sound files (*.wav *.flac *.ogg *.aiff *.au *.raw);;All files (*)"));
        if (!path.isEmpty()) {
            OpenRecording(path.toStdString());
        }
    });
    connect(listenButton, &QPushButton::clicked, this, [this] {
        if (listening_) {
            StopListening();
        } else {
            StartListening();
        }
    });
}

DiagnoseLineWindow::~DiagnoseLineWindow() {
    stop_.store(true);
    Join();
}

void DiagnoseLineWindow::SetDbmAtFullScale(std::optional<double> dbm) {
    if (dbm && !calibratedBox->isChecked()) {
        dbmBox->setValue(*dbm);
        calibratedBox->setChecked(true);
    }
}

TDiagnoseOptions DiagnoseLineWindow::Options() const {
    TDiagnoseOptions options;
    if (calibratedBox->isChecked()) {
        options.DbmAtFullScale = dbmBox->value();
    }
    static const char* const kNames[] = {"", "bell", "etsi", "bt", "dtmf"};
    const int index = expectBox->currentIndex();
    if (index > 0 && index < 5) {
        options.Expected = StandardNamed(kNames[index]);
    }
    return options;
}

void DiagnoseLineWindow::Join() {
    if (worker_.joinable()) {
        worker_.join();
    }
}

void DiagnoseLineWindow::Run(std::function<void()> work) {
    Join();
    stop_.store(false);
    done_.store(false);
    worker_ = std::thread([this, work = std::move(work)] {
        work();
        done_.store(true);
    });
    RefreshButtons();
}

void DiagnoseLineWindow::OpenRecording(const std::string& path) {
    if (Busy()) {
        return;
    }
    statusLabel->setText(QStringLiteral("Diagnosing %1...").arg(FromUtf8(path)));
    const TDiagnoseOptions options = Options();
    Run([this, path, options] {
        try {
            const TAnyRecording recording = LoadAnyRecording(path);
            std::vector<float> samples = ImageSampleValues(recording.Image);
            for (auto& v : samples) {
                v = static_cast<float>(v / recording.Gain);  // the file's own scale
            }
            const TDiagnosis d = Diagnose(samples, 44100.0, options);
            QMetaObject::invokeMethod(
                this, [this, d, path] { Show(d, path); }, Qt::QueuedConnection);
        } catch (const std::exception& e) {
            const std::string reason = e.what();
            QMetaObject::invokeMethod(
                this, [this, reason] { Failed(reason); }, Qt::QueuedConnection);
        }
    });
}

void DiagnoseLineWindow::StartListening() {
    if (Busy()) {
        return;
    }
    std::shared_ptr<ISoundInput> input;
    const std::string device = deviceBox->text().trimmed().toStdString();
    try {
        input = openInput_(device);
    } catch (const RinglarkError& e) {
        errors_.ReportError(e.what());
        return;
    }
    listening_ = true;
    statusLabel->setText(QStringLiteral("Listening... Stop and Diagnose ends it."));
    const TDiagnoseOptions options = Options();
    const std::string source = device.empty() ? "the default input" : device;
    Run([this, input, options, source] {
        try {
            std::vector<float> heard;
            std::vector<float> block(static_cast<std::size_t>(input->Rate() / 10));
            // at most 15 minutes are kept
            const auto most = static_cast<std::size_t>(900 * input->Rate());
            while (!stop_.load() && heard.size() < most) {
                const std::size_t got = input->Read(block.data(), block.size());
                if (got == 0) {
                    break;
                }
                heard.insert(heard.end(), block.begin(),
                             block.begin() + static_cast<std::ptrdiff_t>(got));
            }
            const TDiagnosis d = Diagnose(heard, input->Rate(), options);
            QMetaObject::invokeMethod(
                this, [this, d, source] { Show(d, source); }, Qt::QueuedConnection);
        } catch (const std::exception& e) {
            const std::string reason = e.what();
            QMetaObject::invokeMethod(
                this, [this, reason] { Failed(reason); }, Qt::QueuedConnection);
        }
    });
}

void DiagnoseLineWindow::StopListening() {
    stop_.store(true);
}

void DiagnoseLineWindow::Show(const TDiagnosis& diagnosis, const std::string& source) {
    Join();
    listening_ = false;
    report_ = BuildReport(diagnosis, TAdviceBook::LoadDefault());
    summaryLabel->setText(FromUtf8(ReportSummary(report_)));
    reportView->setPlainText(FromUtf8(ReportText(diagnosis, report_, source)));
    statusLabel->setText(QStringLiteral("Diagnosed %1.").arg(FromUtf8(source)));
    RefreshButtons();
}

void DiagnoseLineWindow::Failed(const std::string& reason) {
    Join();
    listening_ = false;
    statusLabel->setText(QStringLiteral("Nothing diagnosed."));
    errors_.ReportError(reason);
    RefreshButtons();
}

void DiagnoseLineWindow::RefreshButtons() {
    const bool busy = Busy();
    openButton->setEnabled(!busy);
    listenButton->setEnabled(!busy || listening_);
    listenButton->setText(listening_ ? QStringLiteral("&Stop and Diagnose")
                                     : QStringLiteral("&Listen"));
    deviceBox->setEnabled(!busy);
}

void DiagnoseLineWindow::closeEvent(QCloseEvent* event) {
    stop_.store(true);
    QDialog::closeEvent(event);
}

}  // namespace ringlark::ui
