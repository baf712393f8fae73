#include "analyst/ui/WaveformViewerWindow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "core/WavImage.h"

namespace ringlark::ui {

namespace {

QColor Q(TColor color) {
    return QColor(color.R, color.G, color.B);
}

}  // namespace

QImage RenderWaveform(const TWaveformPicture& picture) {
    QImage image(TWaveformPicture::Width, TWaveformPicture::Height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    QFont small(QStringLiteral("Sans"));
    small.setPixelSize(8);
    painter.setFont(small);
    for (const TPrimitive& p : picture.Primitives) {
        switch (p.Type) {
            case TPrimitive::Kind::Rect:
                painter.fillRect(QRect(p.X1, p.Y1, p.X2 - p.X1, p.Y2 - p.Y1), Q(p.Color));
                break;
            case TPrimitive::Kind::Line: {
                painter.setPen(QPen(Q(p.Color), 1));
                // the end point is not drawn
                if (p.Y1 == p.Y2) {
                    if (p.X2 != p.X1) {
                        painter.drawLine(p.X1, p.Y1, p.X2 - (p.X2 > p.X1 ? 1 : -1), p.Y2);
                    }
                } else if (p.X1 == p.X2) {
                    painter.drawLine(p.X1, p.Y1, p.X2, p.Y2 - (p.Y2 > p.Y1 ? 1 : -1));
                } else {
                    painter.drawLine(p.X1, p.Y1, p.X2, p.Y2);
                }
                break;
            }
            case TPrimitive::Kind::Text:
                painter.setPen(Q(p.Color));
                painter.drawText(QRect(p.X1, p.Y1, 200, 12), Qt::AlignLeft | Qt::AlignTop,
                                 QString::fromStdString(p.Text));
                break;
        }
    }
    return image;
}

WaveformViewerWindow::WaveformViewerWindow(TWaveformViewer& model, IErrorReporter& errors,
                                           QWidget* parent)
    : QDialog(parent), model_(model), errors_(errors) {
    setModal(false);
    setWindowTitle(QString::fromStdString(model_.Caption));
    auto* layout = new QVBoxLayout(this);
    strip_ = new OverviewStrip(this);
    layout->addWidget(strip_);
    strip_->OnClick = [this](int column) {
        if (model_.HasImage() && !model_.Converting()) {
            scroll_->setValue(static_cast<int>(
                OverviewScrollPosition(strip_->Overview(), column, TWaveformPicture::Width,
                                       model_.ScrollMin, model_.ScrollMax)));
        }
    };
    image_ = new QLabel(QStringLiteral("You should not be seeing this."), this);
    image_->setFixedSize(TWaveformPicture::Width, TWaveformPicture::Height);
    image_->setScaledContents(true);
    layout->addWidget(image_);
    scroll_ = new QScrollBar(Qt::Horizontal, this);
    scroll_->setRange(0, 30000);
    scroll_->setPageStep(385);
    scroll_->setSingleStep(50);
    layout->addWidget(scroll_);
    auto* row = new QHBoxLayout();
    const std::array<const char*, 6> captions = {"Load...",      "Play",         "Analyze ZC",
                                                 "Analyze Peak", "Auto Analyze", "Analyze Corr"};
    for (std::size_t i = 0; i < captions.size(); ++i) {
        buttons_[i] = new QPushButton(QString::fromUtf8(captions[i]), this);
        row->addWidget(buttons_[i]);
    }
    layout->addLayout(row);
    debug_ = new FrameListingWindow(this);
    model_.Analyzer.ShowListing = [this](const std::vector<Bytes>& lines) {
        debug_->ShowListing(lines);
    };
    model_.OnLoaded = [this] {
        strip_->SetOverview(BuildOverview(model_.LoadedImage, TWaveformPicture::Width));
        SyncScrollBar();
        UpdateScreen();
    };

    connect(scroll_, &QScrollBar::valueChanged, this, [this](int value) {
        if (!model_.HasImage() || model_.Converting()) {
            return;  // with no image, scrolling does nothing
        }
        model_.ScrollPosition = value;
        UpdateScreen();
    });
    connect(buttons_[0], &QPushButton::clicked, this,
            [this] { Run([this] { model_.LoadWAV(""); }); });
    connect(buttons_[1], &QPushButton::clicked, this,
            [this] { Run([this] { model_.PlayFromScroll(); }); });
    connect(buttons_[2], &QPushButton::clicked, this,
            [this] { Run([this] { model_.AnalyzeZeroCrossing(); }); });
    connect(buttons_[3], &QPushButton::clicked, this,
            [this] { Run([this] { model_.AnalyzePeak(); }); });
    connect(buttons_[5], &QPushButton::clicked, this,
            [this] { Run([this] { model_.AnalyzeCorrelation(); }); });
    connect(buttons_[4], &QPushButton::clicked, this,
            [this] { Run([this] { model_.AutoAnalyzeToNotice(); }); });
    resize(783, 397 + OverviewStrip::Height + 6);
    UpdateScreen();
}

OverviewStrip::OverviewStrip(QWidget* parent) : QWidget(parent) {
    setFixedSize(TWaveformPicture::Width, Height);
}

void OverviewStrip::SetOverview(TOverview overview) {
    overview_ = std::move(overview);
    update();
}

void OverviewStrip::SetView(int64_t from, int64_t to) {
    viewFrom_ = from;
    viewTo_ = to;
    update();
}

void OverviewStrip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(250, 250, 250));
    const int w = width();
    const auto column = [&](int64_t sample) {
        return overview_.Samples > 0 ? static_cast<int>(sample * w / overview_.Samples) : 0;
    };
    for (const auto& span : overview_.Spans) {
        const int from = column(span.From);
        const int to = std::max(from + 1, column(span.To));
        painter.fillRect(from, 0, to - from, Height,
                         span.Kind == TOverviewSpan::TKind::Message ? QColor(170, 200, 255)
                                                                    : QColor(255, 200, 140));
    }
    painter.setPen(QColor(60, 60, 60));
    for (int x = 0; x < static_cast<int>(overview_.Columns.size()); ++x) {
        const auto [low, high] = overview_.Columns[static_cast<std::size_t>(x)];
        painter.drawLine(x, Height - 1 - low * (Height - 1) / 255, x,
                         Height - 1 - high * (Height - 1) / 255);
    }
    // the time scale along the bottom
    painter.setPen(QColor(90, 90, 90));
    for (const auto& tick : OverviewTicks(overview_, w)) {
        painter.drawLine(tick.Column, Height - 5, tick.Column, Height - 1);
        painter.drawText(
            tick.Column + 2, Height - 3,
            QString::fromUtf8(tick.Label.data(), static_cast<qsizetype>(tick.Label.size())));
    }
    if (overview_.Samples > 0 && viewTo_ > viewFrom_) {
        painter.setPen(QColor(200, 0, 0));
        const int from = column(viewFrom_ - static_cast<int64_t>(WavHeaderSize));
        painter.drawRect(from, 0, std::max(2, column(viewTo_ - viewFrom_)), Height - 1);
    }
}

void OverviewStrip::mousePressEvent(QMouseEvent* event) {
    if (OnClick) {
        OnClick(static_cast<int>(event->position().x()));
    }
}

void WaveformViewerWindow::Run(const std::function<void()>& handler) {
    RunHandler(errors_, handler);
    setWindowTitle(QString::fromStdString(model_.Caption));
}

void WaveformViewerWindow::SyncScrollBar() {
    const QSignalBlocker block(scroll_);
    scroll_->setRange(static_cast<int>(model_.ScrollMin), static_cast<int>(model_.ScrollMax));
    scroll_->setValue(static_cast<int>(model_.ScrollPosition));
}

void WaveformViewerWindow::UpdateScreen() {
    const TDemodulator& demodulator = model_.Analyzer.Demodulator;
    picture_ = RenderWaveform(DrawWaveform(model_.LoadedImage, model_.ScrollPosition,
                                           demodulator.AnalysisMethod, demodulator.SignalOffset));
    image_->setPixmap(QPixmap::fromImage(picture_));
    strip_->SetView(model_.ScrollPosition, model_.ScrollPosition + TWaveformPicture::Width);
    setWindowTitle(QString::fromStdString(model_.Caption));
}

}  // namespace ringlark::ui
