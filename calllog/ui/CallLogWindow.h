#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "calllog/CallRecord.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace ringlark::ui {

// CallLogWindow: the calls in the call log, newest last, with a search over
// the number, the name and the contact's name and over the days heard; a
// click on a column's title sorts by it. Read afresh on Refresh and each time
// it is shown, so that calls the line monitor logs meanwhile appear. "Export..."
// writes the calls listed as CSV, as `ringlark-cli log --csv` prints them.
class CallLogWindow : public QDialog {
  public:
    explicit CallLogWindow(std::string path, QWidget* parent = nullptr);

    // Reads the log again with the search; a log that is not there yet is an
    // empty list, one that cannot be read is said in the status line.
    void Refresh();
    // Writes the calls listed now to a CSV file (replacing it); false, with the
    // reason in the status line, when it cannot.
    bool ExportTo(const std::string& path);

    QLineEdit* searchBox = nullptr;
    QLineEdit* sinceBox = nullptr;  // "from" day: YYYY-MM-DD [HH:MM[:SS]], local
    QLineEdit* untilBox = nullptr;  // "to" day, counted to its end
    QPushButton* exportButton = nullptr;
    QPushButton* refreshButton = nullptr;
    QTableWidget* callTable = nullptr;
    QLabel* statusLabel = nullptr;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    std::string path_;
    std::vector<TCallRecord> rows_;  // as listed
};

}  // namespace ringlark::ui
