#include "monitor/ui/LineMonitorWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTableWidget>
#include <QVBoxLayout>
#include <chrono>
#include <cmath>

#include "core/FileWriting.h"
#include "core/RinglarkError.h"
#include "monitor/LineListener.h"
#include "monitor/sound/PortAudioInput.h"

namespace ringlark::ui {

namespace {

// How long a command run for a call may take before it is killed.
constexpr double kHookSeconds = 10;

QString Text(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string Utf8(const QString& text) {
    return text.toUtf8().toStdString();
}

}  // namespace

LineMonitorWindow::LineMonitorWindow(IErrorReporter& errors, TOpenInput openInput, QWidget* parent)
    : QDialog(parent), errors_(errors), openInput_(std::move(openInput)) {
    setWindowTitle(QStringLiteral("Line Monitor"));
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Input:"), this));
    deviceBox = new QComboBox(this);
    deviceBox->setMinimumWidth(260);
    top->addWidget(deviceBox, 1);
    startButton = new QPushButton(QStringLiteral("Start"), this);
    top->addWidget(startButton);
    layout->addLayout(top);

    levelMeter = new QProgressBar(this);
    levelMeter->setRange(-60, 0);
    levelMeter->setValue(-60);
    levelMeter->setFormat(QStringLiteral("no input"));
    layout->addWidget(levelMeter);

    eventTable = new QTableWidget(0, static_cast<int>(LineMonitorTitles.size()), this);
    QStringList titles;
    for (auto title : LineMonitorTitles) {
        titles << QString::fromLatin1(title.data(), static_cast<qsizetype>(title.size()));
    }
    eventTable->setHorizontalHeaderLabels(titles);
    eventTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    eventTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    eventTable->setSelectionMode(QAbstractItemView::SingleSelection);
    eventTable->horizontalHeader()->setSectionResizeMode(LineMonitorDetailsColumn,
                                                         QHeaderView::Stretch);
    eventTable->setWordWrap(false);
    eventTable->setTextElideMode(Qt::ElideRight);
    eventTable->verticalHeader()->hide();
    layout->addWidget(eventTable, 1);

    auto* bottom = new QHBoxLayout;
    recordBox = new QCheckBox(QStringLiteral("Record to"), this);
    bottom->addWidget(recordBox);
    recordFileBox = new QLineEdit(this);
    recordFileBox->setPlaceholderText(QStringLiteral("recording.wav"));
    bottom->addWidget(recordFileBox, 1);
    auto* browse = new QPushButton(QStringLiteral("..."), this);
    browse->setFixedWidth(32);
    bottom->addWidget(browse);
    inspectButton = new QPushButton(QStringLiteral("Inspect"), this);
    bottom->addWidget(inspectButton);
    clearButton = new QPushButton(QStringLiteral("Clear"), this);
    bottom->addWidget(clearButton);
    layout->addLayout(bottom);
    auto* logRow = new QHBoxLayout;
    logBox = new QCheckBox(QStringLiteral("Log calls to"), this);
    logBox->setChecked(true);
    logRow->addWidget(logBox);
    logFileBox = new QLineEdit(Text(DefaultCallLogPath()), this);
    logFileBox->setPlaceholderText(QStringLiteral("calls.sqlite"));
    logRow->addWidget(logFileBox, 1);
    notifyBox = new QCheckBox(QStringLiteral("Notify of calls"), this);
    notifyBox->setChecked(true);
    notifyBox->setToolTip(
        QStringLiteral("A desktop notice for each call heard while this window is not in front"));
    logRow->addWidget(notifyBox);
    layout->addLayout(logRow);
    auto* hookRow = new QHBoxLayout;
    hookRow->addWidget(new QLabel(QStringLiteral("Run for each message:"), this));
    hookBox = new QLineEdit(this);
    hookBox->setPlaceholderText(
        QStringLiteral("a command; the call's fields are in RINGLARK_NUMBER, RINGLARK_NAME, ..."));
    hookBox->setToolTip(QStringLiteral(
        "Run by /bin/sh for each message heard, with its fields in environment variables "
        "(never in the command line); killed after 10 seconds"));
    hookRow->addWidget(hookBox, 1);
    layout->addLayout(hookRow);
    statusLabel = new QLabel(this);
    layout->addWidget(statusLabel);
    resize(980, 420);

    connect(startButton, &QPushButton::clicked, this,
            [this] { Listening() ? StopListening() : StartListening(); });
    connect(inspectButton, &QPushButton::clicked, this, [this] { InspectSelectedRow(); });
    connect(clearButton, &QPushButton::clicked, this, [this] { ClearRows(); });
    connect(eventTable, &QTableWidget::cellDoubleClicked, this,
            [this](int, int) { InspectSelectedRow(); });
    connect(eventTable, &QTableWidget::itemSelectionChanged, this, [this] { RefreshButtons(); });
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString name = QFileDialog::getSaveFileName(
            this, QStringLiteral("Record to"), recordFileBox->text(),
            QStringLiteral("WAV Files (*.WAV)"), nullptr, QFileDialog::DontConfirmOverwrite);
        if (!name.isEmpty()) {
            recordFileBox->setText(name);
            recordBox->setChecked(true);
        }
    });
    RefreshButtons();
}

LineMonitorWindow::~LineMonitorWindow() {
    StopListening();
}

void LineMonitorWindow::FillDevices() {
    const QString current = deviceBox->currentData().toString();
    deviceBox->clear();
    deviceBox->addItem(QStringLiteral("Default input"), QString());
    try {
        for (const auto& d : ListInputDevices()) {
            deviceBox->addItem(
                QStringLiteral("%1: %2 (%3/s)").arg(d.Index).arg(Text(d.Name)).arg(d.DefaultRate),
                QString::number(d.Index));
        }
    } catch (const RinglarkError& e) {
        statusLabel->setText(Text(e.what()));
    }
    const int index = deviceBox->findData(current);
    deviceBox->setCurrentIndex(index >= 0 ? index : 0);
}

TDialogAnswer LineMonitorWindow::AskReplace(const std::string& path) {
    const std::string question = "File " + path + " exists.  Replace?";
    TDialogAnswer answer = TDialogAnswer::Cancel;
    if (Notices != nullptr) {
        answer = Notices->AskYesNoCancel(question);
    } else {
        const auto button = QMessageBox::warning(
            this, QApplication::applicationName(), Text(question),
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel);
        answer = button == QMessageBox::Yes  ? TDialogAnswer::Yes
                 : button == QMessageBox::No ? TDialogAnswer::No
                                             : TDialogAnswer::Cancel;
    }
    if (answer == TDialogAnswer::No) {
        recordFileBox->setFocus();  // another name, then Start again
        recordFileBox->selectAll();
    }
    return answer;
}

void LineMonitorWindow::StartListening() {
    if (Listening()) {
        return;
    }
    const std::string recordPath = Utf8(recordFileBox->text().trimmed());
    try {
        if (recordBox->isChecked()) {
            if (recordPath.empty()) {
                throw RinglarkError("Give the file to record to");
            }
            if (FileExists(recordPath) && AskReplace(recordPath) != TDialogAnswer::Yes) {
                return;
            }
        }
        const std::string logPath = Utf8(logFileBox->text().trimmed());
        if (logBox->isChecked() && !logPath.empty()) {
            log_ = std::make_unique<TCallLog>(logPath, true);
            book_ = std::make_unique<TPhoneBook>(*log_);
            if (book_->Empty()) {
                book_.reset();
            }
        }
        const std::string hook = Utf8(hookBox->text().trimmed());
        if (!hook.empty()) {
            hooks_ =
                std::make_unique<THookRunner>(hook, kHookSeconds, [this](const std::string& text) {
                    QMetaObject::invokeMethod(
                        this, [this, text] { statusLabel->setText(Text(text)); },
                        Qt::QueuedConnection);
                });
        }
        input_ = openInput_(Utf8(deviceBox->currentData().toString()));
        if (recordBox->isChecked()) {
            recorder_ = std::make_unique<TWavRecorder>(
                recordPath, static_cast<uint32_t>(std::lround(input_->Rate())));
        }
    } catch (const RinglarkError& e) {
        input_.reset();
        book_.reset();
        log_.reset();
        hooks_.reset();
        errors_.ReportError(e.what());
        return;
    }
    stop_.store(false);
    rate_ = input_->Rate();
    const int run = ++run_;
    lost_ = 0;
    if (const TLineMonitorRow* separator = rows_.BeginRun()) {
        AddRow(*separator);
    }
    statusLabel->setText(Text(ListeningStatus(rate_, 0)));
    worker_ = std::thread([this, run, device = Utf8(deviceBox->currentText())] {
        std::string failure;
        try {
            TLineListener listener(*input_, recorder_.get(), true);
            TCallRecorder calls(device, std::chrono::system_clock::now());
            auto lastLevel = std::chrono::steady_clock::now() - std::chrono::seconds(1);
            listener.OnEvent = [this, &calls](const TStreamEvent& event) {
                TLineMonitorRow row = LineMonitorRow(event);
                TCallRecord record = calls.Record(event);
                // the wall clock, and call waiting (known from the alerts before)
                row.Cells[LineMonitorHeardColumn] = LocalText(record.HeardUtc).substr(0, 19);
                if (record.Kind == "call waiting") {
                    row.Cells[1] = (record.Standard == "etsi" ? "V.23 " : "") + record.Kind;
                }
                const bool call = (event.Kind == TStreamEvent::TKind::Message &&
                                   !record.Uncertain && record.Refused.empty()) ||
                                  event.Kind == TStreamEvent::TKind::Dtmf;
                if (book_ && call && !record.Number.empty()) {
                    record.Contact = book_->NameFor(record.Number).value_or("");
                }
                if (!record.Contact.empty()) {
                    row.Cells[3] +=
                        (row.Cells[3].empty() ? "" : " ") + ("(" + record.Contact + ")");
                }
                if (hooks_ && call) {
                    hooks_->Start(HookEnvironment(record));
                }
                if (log_) {
                    try {
                        log_->Append(record);
                    } catch (const RinglarkError& e) {
                        QMetaObject::invokeMethod(
                            this,
                            [this, text = std::string(e.what())] {
                                statusLabel->setText(Text(text));
                            },
                            Qt::QueuedConnection);
                    }
                }
                QMetaObject::invokeMethod(
                    this,
                    [this, row = std::move(row)] {
                        AddRow(rows_.Add(row));
                        NotifyOfCall(row);
                    },
                    Qt::QueuedConnection);
            };
            listener.OnInputLost = [this, run](int times, double) {
                QMetaObject::invokeMethod(
                    this, [this, run, times] { ShowInputLost(run, times); }, Qt::QueuedConnection);
            };
            listener.OnLevel = [this, &lastLevel](double peak, double seconds) {
                const auto now = std::chrono::steady_clock::now();
                if (now - lastLevel >= std::chrono::milliseconds(50)) {
                    lastLevel = now;
                    QMetaObject::invokeMethod(
                        this, [this, peak, seconds] { ShowLevel(peak, seconds); },
                        Qt::QueuedConnection);
                }
            };
            listener.Run(stop_);
        } catch (const std::exception& e) {
            failure = e.what();
        }
        QMetaObject::invokeMethod(
            this, [this, run, failure] { Finished(run, failure); }, Qt::QueuedConnection);
    });
    RefreshButtons();
}

void LineMonitorWindow::StopListening() {
    if (!worker_.joinable()) {
        return;
    }
    stop_.store(true);
    worker_.join();
    input_.reset();
    book_.reset();
    log_.reset();
    hooks_.reset();  // waits for those still running, each at most its timeout
    if (recorder_) {
        try {
            recorder_->Finish(true);
            statusLabel->setText(
                Text(RecordedStatus(static_cast<double>(recorder_->Samples()) / rate_,
                                    Utf8(recordFileBox->text().trimmed()), lost_)));
        } catch (const RinglarkError& e) {
            errors_.ReportError(e.what());
        }
        recorder_.reset();
    } else {
        statusLabel->setText(Text(StoppedStatus(lost_)));
    }
    levelMeter->setValue(-60);
    levelMeter->setFormat(QStringLiteral("no input"));
    RefreshButtons();
}

void LineMonitorWindow::Finished(int run, const std::string& failure) {
    if (run != run_) {
        return;  // a listening that was stopped already
    }
    // The input ended or failed by itself: the thread is done.
    StopListening();
    if (!failure.empty()) {
        statusLabel->setText(Text(failure));
        errors_.ReportError(failure);
    }
}

void LineMonitorWindow::AddRow(const TLineMonitorRow& row) {
    const int r = eventTable->rowCount();
    eventTable->insertRow(r);
    const int columns = static_cast<int>(row.Cells.size());
    if (row.Separator) {
        auto* item = new QTableWidgetItem(Text(row.Cells[0]));
        item->setTextAlignment(Qt::AlignCenter);
        item->setFlags(Qt::ItemIsEnabled);
        eventTable->setItem(r, 0, item);
        eventTable->setSpan(r, 0, 1, columns);
    } else {
        for (int c = 0; c < columns; ++c) {
            auto* item = new QTableWidgetItem(Text(row.Cells[static_cast<std::size_t>(c)]));
            item->setToolTip(item->text());  // the whole of an elided text
            eventTable->setItem(r, c, item);
        }
    }
    eventTable->scrollToBottom();
    auto* header = eventTable->horizontalHeader();
    const int narrow = eventTable->fontMetrics().averageCharWidth() * LineMonitorNarrowColumnChars;
    for (int c = 0; c < columns; ++c) {
        if (c != LineMonitorDetailsColumn && !row.Separator) {
            eventTable->resizeColumnToContents(c);
            if ((c == 2 || c == 3) && header->sectionSize(c) > narrow) {
                header->resizeSection(c, narrow);
            }
        }
    }
}

void LineMonitorWindow::ApplySettings(const std::string& logFile, bool notify,
                                      const std::string& hook) {
    logFileBox->setText(Text(logFile.empty() ? DefaultCallLogPath() : logFile));
    notifyBox->setChecked(notify);
    hookBox->setText(Text(hook));
}

std::string LineMonitorWindow::LogFileSetting() const {
    const std::string path = Utf8(logFileBox->text().trimmed());
    return path == DefaultCallLogPath() ? std::string() : path;
}

bool LineMonitorWindow::NotifySetting() const {
    return notifyBox->isChecked();
}

std::string LineMonitorWindow::HookSetting() const {
    return Utf8(hookBox->text().trimmed());
}

void LineMonitorWindow::NotifyOfCall(const TLineMonitorRow& row) {
    if (!notifyBox->isChecked() || (InFront ? InFront() : isActiveWindow())) {
        return;
    }
    const std::optional<TCallNotice> notice = CallNoticeFor(row);
    if (!notice) {
        return;
    }
    if (Notify) {
        Notify(*notice);
        return;
    }
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        return;  // no tray on this desktop: the row is all there is
    }
    if (tray_ == nullptr) {
        tray_ = new QSystemTrayIcon(windowIcon().isNull()
                                        ? style()->standardIcon(QStyle::SP_MessageBoxInformation)
                                        : windowIcon(),
                                    this);
        tray_->setToolTip(QStringLiteral("Ringlark Line Monitor"));
        connect(tray_, &QSystemTrayIcon::messageClicked, this, [this] {
            show();
            raise();
            activateWindow();
        });
        tray_->show();
    }
    tray_->showMessage(Text(notice->Title), Text(notice->Body), QSystemTrayIcon::Information,
                       10000);
}

void LineMonitorWindow::ClearRows() {
    eventTable->clearSpans();
    eventTable->setRowCount(0);
    rows_.Clear();
    if (Listening()) {
        rows_.BeginRun();  // the listening going on is the first of the new list
    }
    RefreshButtons();
}

void LineMonitorWindow::ShowInputLost(int run, int times) {
    if (run == run_ && Listening()) {
        lost_ = times;
        statusLabel->setText(Text(ListeningStatus(rate_, lost_)));
    }
}

void LineMonitorWindow::ShowLevel(double peakDbfs, double seconds) {
    levelMeter->setValue(static_cast<int>(std::lround(std::clamp(peakDbfs, -60.0, 0.0))));
    levelMeter->setFormat(
        QStringLiteral("%1 dBFS   %2 s").arg(peakDbfs, 0, 'f', 1).arg(seconds, 0, 'f', 1));
}

void LineMonitorWindow::InspectSelectedRow() {
    const int r = eventTable->currentRow();
    const auto& rows = rows_.Rows();
    if (r < 0 || static_cast<std::size_t>(r) >= rows.size() ||
        rows[static_cast<std::size_t>(r)].Message.empty() || !InspectMessage) {
        return;
    }
    const TLineMonitorRow& row = rows[static_cast<std::size_t>(r)];
    InspectMessage(row.Message, row.Standard);
}

void LineMonitorWindow::RefreshButtons() {
    startButton->setText(Listening() ? QStringLiteral("Stop") : QStringLiteral("Start"));
    deviceBox->setEnabled(!Listening());
    recordBox->setEnabled(!Listening());
    recordFileBox->setEnabled(!Listening());
    logBox->setEnabled(!Listening());
    logFileBox->setEnabled(!Listening());
    const int r = eventTable->currentRow();
    const auto& rows = rows_.Rows();
    inspectButton->setEnabled(r >= 0 && static_cast<std::size_t>(r) < rows.size() &&
                              !rows[static_cast<std::size_t>(r)].Message.empty());
    clearButton->setEnabled(!rows.empty());
}

void LineMonitorWindow::closeEvent(QCloseEvent* event) {
    StopListening();
    QDialog::closeEvent(event);
}

}  // namespace ringlark::ui
