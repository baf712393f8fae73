#pragma once

#include <QDialog>
#include <vector>

#include "Bytes.h"

class QPlainTextEdit;
class QPushButton;

namespace ringlark::ui {

// TFormDebugAnalyst: the frame listing of one analysis, shown modally.
class TFormDebugAnalyst : public QDialog {
  public:
    explicit TFormDebugAnalyst(QWidget* parent = nullptr);
    void ShowListing(const std::vector<Bytes>& lines);
    QPlainTextEdit* Memo() const { return memo_; }
    QPushButton* ContinueButton() const { return continue_; }

  private:
    QPlainTextEdit* memo_;
    QPushButton* continue_;
};

}  // namespace ringlark::ui
