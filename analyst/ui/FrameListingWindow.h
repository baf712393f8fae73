#pragma once

#include <QDialog>
#include <vector>

#include "core/Bytes.h"

class QPlainTextEdit;
class QPushButton;

namespace ringlark::ui {

// FrameListingWindow: the frame listing of one analysis, shown modally.
class FrameListingWindow : public QDialog {
  public:
    explicit FrameListingWindow(QWidget* parent = nullptr);
    void ShowListing(const std::vector<Bytes>& lines);
    QPlainTextEdit* ListingBox() const { return memo_; }
    QPushButton* ContinueButton() const { return continue_; }

  private:
    QPlainTextEdit* memo_;
    QPushButton* continue_;
};

}  // namespace ringlark::ui
