#pragma once

#include <QDialog>
#include <QImage>
#include <QWidget>
#include <functional>

#include "analyst/Overview.h"
#include "analyst/Waveform.h"
#include "analyst/WaveformViewer.h"
#include "analyst/ui/FrameListingWindow.h"
#include "core/Services.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QScrollBar;

namespace ringlark::ui {

// Paints the viewer's drawing operations into a 771 x 299 picture.
QImage RenderWaveform(const TWaveformPicture& picture);

// The whole recording in a strip: its envelope, each message (blue) and alert
// tone (orange) as a span, and the part the viewer shows; a click asks for
// the view to move there.
class OverviewStrip : public QWidget {
  public:
    static constexpr int Height = 40;
    explicit OverviewStrip(QWidget* parent = nullptr);
    void SetOverview(TOverview overview);
    void SetView(int64_t from, int64_t to);  // image offsets of the part shown
    const TOverview& Overview() const { return overview_; }
    std::function<void(int column)> OnClick;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    TOverview overview_;
    int64_t viewFrom_ = 0, viewTo_ = 0;
};

// WaveformViewerWindow: the waveform viewer over the image that the analyst loaded.
class WaveformViewerWindow : public QDialog {
  public:
    WaveformViewerWindow(TWaveformViewer& model, IErrorReporter& errors, QWidget* parent = nullptr);

    // Redraws from the scroll bar's position; called after every load.
    void UpdateScreen();
    const QImage& Picture() const { return picture_; }

    QScrollBar* ScrollBar() const { return scroll_; }
    OverviewStrip* Strip() const { return strip_; }
    QPushButton* LoadButton() const { return buttons_[0]; }
    QPushButton* PlayButton() const { return buttons_[1]; }
    QPushButton* AnalyzeZcButton() const { return buttons_[2]; }
    QPushButton* AnalyzePeakButton() const { return buttons_[3]; }
    QPushButton* AutoAnalyzeButton() const { return buttons_[4]; }
    QPushButton* AnalyzeCorrButton() const { return buttons_[5]; }
    FrameListingWindow& FrameListing() { return *debug_; }

  private:
    void Run(const std::function<void()>& handler);
    void SyncScrollBar();

    TWaveformViewer& model_;
    IErrorReporter& errors_;
    OverviewStrip* strip_;
    QLabel* image_;
    QScrollBar* scroll_;
    std::array<QPushButton*, 6> buttons_{};
    FrameListingWindow* debug_;
    QImage picture_;
};

}  // namespace ringlark::ui
