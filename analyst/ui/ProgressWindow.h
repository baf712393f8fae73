#pragma once

#include <QDialog>

#include "analyst/WavLoader.h"

class QLabel;
class QProgressBar;

namespace ringlark::ui {

// ProgressWindow: the progress of a rate conversion, shown without being modal.
// Each position update lets the window system repaint; the rest of the program
// is disabled meanwhile, so that nothing touches the image being converted.
class ProgressWindow : public QDialog, public IProgress {
  public:
    explicit ProgressWindow(QWidget* mainWindow);
    void Begin(const std::string& text, int64_t minimum, int64_t maximum,
               int64_t position) override;
    void Position(int64_t value) override;
    void End() override;

  private:
    QWidget* mainWindow_;
    QLabel* label_;
    QProgressBar* bar_;
    std::vector<QWidget*> disabled_;
    int64_t minimum_ = 0;
    int64_t maximum_ = 100;
};

}  // namespace ringlark::ui
