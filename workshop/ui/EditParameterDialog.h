#pragma once

#include <QDialog>

#include "workshop/Workshop.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace ringlark::ui {

// EditParameterDialog: a parameter code (picked or typed) and its text.
class EditParameterDialog : public QDialog, public IParameterDialog {
  public:
    static constexpr int Offset = 50;

    explicit EditParameterDialog(QWidget* mainWindow);
    bool Execute() override;

    QComboBox* ParameterType() const { return type_; }
    QLineEdit* MessageText() const { return text_; }
    QPushButton* OkButton() const { return ok_; }

  private:
    QWidget* mainWindow_;
    QComboBox* type_;
    QLineEdit* text_;
    QPushButton* ok_;
};

}  // namespace ringlark::ui
