#pragma once

#include <QDialog>

#include "inspection/Inspector.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QWidget;

namespace ringlark::ui {

// InspectorWindow: the raw stream and the byte table of the last inspection.
class InspectorWindow : public QDialog {
  public:
    static constexpr int RowHeight = 18;
    static constexpr int PlacementOffset = 60;
    static constexpr int DesignWidth = 640;

    explicit InspectorWindow(QWidget* parent = nullptr);

    void ShowTable(const TInspectorTable& table);
    // Placement beside the main window, then the fitting; shown modally.
    int ExecBeside(const QWidget* mainWindow);

    QTableWidget* Table() const { return table_; }
    QLineEdit* RawStream() const { return raw_; }
    QPushButton* OkButton() const { return ok_; }

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void FitColumns();
    void ShrinkToRows();

    QLineEdit* raw_;
    QTableWidget* table_;
    QPushButton* ok_;
    bool fitting_ = false;
};

}  // namespace ringlark::ui
