#pragma once

#include <QDialog>
#include <QImage>

#include "Services.h"
#include "UnitDebugAnalyst.h"
#include "WavLoader.h"
#include "Waveform.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QScrollBar;

namespace ringlark::ui {

// Paints the viewer's drawing operations into a 771 x 299 picture.
QImage RenderWaveform(const TWaveformPicture& picture);

// TFormSigscope: the waveform viewer over the image that the analyst loaded.
class TFormSigscope : public QDialog {
  public:
    TFormSigscope(TSigscope& model, IErrorReporter& errors, QWidget* parent = nullptr);

    // Redraws from the scroll bar's position; called after every load.
    void UpdateScreen();
    const QImage& Picture() const { return picture_; }

    QScrollBar* ScrollBar1() const { return scroll_; }
    QPushButton* LoadButton() const { return buttons_[0]; }
    QPushButton* PlayButton() const { return buttons_[1]; }
    QPushButton* AnalyzeZcButton() const { return buttons_[2]; }
    QPushButton* AnalyzePeakButton() const { return buttons_[3]; }
    QPushButton* AutoAnalyzeButton() const { return buttons_[4]; }
    QPushButton* AnalyzeCorrButton() const { return buttons_[5]; }
    TFormDebugAnalyst& DebugAnalyst() { return *debug_; }

  private:
    void Run(const std::function<void()>& handler);
    void SyncScrollBar();

    TSigscope& model_;
    IErrorReporter& errors_;
    QLabel* image_;
    QScrollBar* scroll_;
    std::array<QPushButton*, 6> buttons_{};
    TFormDebugAnalyst* debug_;
    QImage picture_;
};

}  // namespace ringlark::ui
