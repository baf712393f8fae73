#pragma once

#include <QDialog>
#include <vector>

#include "core/Services.h"
#include "testsignal/settings/TestSignalSettings.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace ringlark::ui {

// TestSignalDialog (Options, Test Signal): the impairments that Play, Save
// and Inspect apply to the generated signal. OK with a value that cannot be
// read tells why and keeps the dialog open.
class TestSignalDialog : public QDialog {
  public:
    TestSignalDialog(IErrorReporter& errors, QWidget* parent = nullptr);

    // The fields show these impairments.
    void Load(const TImpairments& impairments);
    // What the fields hold now (after OK: what was accepted).
    TImpairments Taken();
    // Load, shown modally; on OK the values replace those in force. Returns
    // whether they did.
    bool Edit(TImpairments& inForce);

    std::vector<QLineEdit*> valueBoxes;  // one per TTestSignalSettings field
    QCheckBox* bandBox = nullptr;
    QPushButton* allOffButton = nullptr;

    void accept() override;

  private:
    void Store();
    void Show();

    IErrorReporter& errors_;
    TTestSignalSettings settings_;
};

}  // namespace ringlark::ui
