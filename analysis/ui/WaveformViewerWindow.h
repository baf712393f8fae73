#pragma once

#include <QDialog>
#include <QImage>

#include "analysis/Waveform.h"
#include "analysis/WaveformViewer.h"
#include "analysis/ui/FrameListingWindow.h"
#include "core/Services.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QScrollBar;

namespace ringlark::ui {

// Paints the viewer's drawing operations into a 771 x 299 picture.
QImage RenderWaveform(const TWaveformPicture& picture);

// WaveformViewerWindow: the waveform viewer over the image that the analyst loaded.
class WaveformViewerWindow : public QDialog {
  public:
    WaveformViewerWindow(TWaveformViewer& model, IErrorReporter& errors, QWidget* parent = nullptr);

    // Redraws from the scroll bar's position; called after every load.
    void UpdateScreen();
    const QImage& Picture() const { return picture_; }

    QScrollBar* ScrollBar() const { return scroll_; }
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
    QLabel* image_;
    QScrollBar* scroll_;
    std::array<QPushButton*, 6> buttons_{};
    FrameListingWindow* debug_;
    QImage picture_;
};

}  // namespace ringlark::ui
