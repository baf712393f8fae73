#pragma once

#include <QDialog>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace ringlark::ui {

// CallLogWindow: the calls in the call log, newest last, with a search over
// the number, the name and the contact's name. Read afresh on Refresh and
// each time it is shown, so that calls the line monitor logs meanwhile appear.
class CallLogWindow : public QDialog {
  public:
    explicit CallLogWindow(std::string path, QWidget* parent = nullptr);

    // Reads the log again with the search; a log that is not there yet is an
    // empty list, one that cannot be read is said in the status line.
    void Refresh();

    QLineEdit* searchBox = nullptr;
    QPushButton* refreshButton = nullptr;
    QTableWidget* callTable = nullptr;
    QLabel* statusLabel = nullptr;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    std::string path_;
};

}  // namespace ringlark::ui
