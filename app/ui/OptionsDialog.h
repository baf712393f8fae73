#pragma once

#include <QDialog>

#include "app/OptionsModel.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace ringlark::ui {

// TFormOptions: the audio values and character filtering.
class OptionsDialog : public QDialog {
  public:
    OptionsDialog(TFormOptions& model, QWidget* parent = nullptr);

    // Shows the dialog modally with the controls as last left.
    TDialogResult Run();

    QLineEdit* Amplitude() const { return amplitude_; }
    QLineEdit* Clip() const { return clip_; }
    QCheckBox* DisableClipping() const { return disableClipping_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }
    QComboBox* Standard() const { return standard_; }
    QComboBox* EtsiAlert() const { return etsiAlert_; }
    QComboBox* DtmfFraming() const { return dtmfFraming_; }
    QLineEdit* DtmfUnavailableCode() const { return unavailable_; }
    QLineEdit* DtmfPrivateCode() const { return private_; }
    QLineEdit* DbmAtFullScale() const { return dbm_; }

  private:
    void Refresh();
    void Clicked(TOptionsBox box, bool checked);

    TFormOptions& model_;
    QLineEdit* amplitude_;
    QLineEdit* clip_;
    QCheckBox* disableClipping_;
    QCheckBox* alphaOnly_;
    QCheckBox* forceUppercase_;
    QCheckBox* noFiltering_;
    QComboBox* standard_;
    QComboBox* etsiAlert_;
    QComboBox* dtmfFraming_;
    QLineEdit* unavailable_;
    QLineEdit* private_;
    QLineEdit* dbm_;
    QPushButton* ok_;
    QPushButton* cancel_;
};

}  // namespace ringlark::ui
