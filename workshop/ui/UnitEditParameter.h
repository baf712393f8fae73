#pragma once

#include <QDialog>

#include "Workshop.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace ringlark::ui {

// TFormEditParameter: a parameter code (picked or typed) and its text.
class TFormEditParameter : public QDialog, public IParameterDialog {
public:
    static constexpr int Offset = 50;

    explicit TFormEditParameter(QWidget* mainWindow);
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
