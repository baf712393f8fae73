#include "testsignal/ui/TestSignalDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/RinglarkError.h"

namespace ringlark::ui {

namespace {

QString Text(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

}  // namespace

TestSignalDialog::TestSignalDialog(IErrorReporter& errors, QWidget* parent)
    : QDialog(parent), errors_(errors) {
    setWindowTitle(Text(std::string(TTestSignalSettings::Caption)));
    auto* layout = new QVBoxLayout(this);
    auto* note = new QLabel(Text(std::string(TTestSignalSettings::Note)), this);
    note->setWordWrap(true);
    layout->addWidget(note);
    auto* form = new QFormLayout;
    for (const auto& field : settings_.Fields) {
        auto* box = new QLineEdit(this);
        box->setPlaceholderText(QStringLiteral("off (") + Text(field.Range) + QStringLiteral(")"));
        form->addRow(Text(field.Label + ":"), box);
        valueBoxes.push_back(box);
    }
    bandBox = new QCheckBox(QStringLiteral("Telephone band filter (300-3400 Hz)"), this);
    form->addRow(QString(), bandBox);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    allOffButton = buttons->addButton(QStringLiteral("All &Off"), QDialogButtonBox::ResetRole);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { accept(); });
    connect(buttons, &QDialogButtonBox::rejected, this, [this] { reject(); });
    connect(allOffButton, &QPushButton::clicked, this, [this] {
        settings_.AllOff();
        Show();
    });
}

void TestSignalDialog::Show() {
    for (std::size_t i = 0; i < valueBoxes.size(); ++i) {
        valueBoxes[i]->setText(Text(settings_.Fields[i].Text));
    }
    bandBox->setChecked(settings_.TelephoneBand);
}

void TestSignalDialog::Store() {
    for (std::size_t i = 0; i < valueBoxes.size(); ++i) {
        settings_.Fields[i].Text = valueBoxes[i]->text().toUtf8().toStdString();
    }
    settings_.TelephoneBand = bandBox->isChecked();
}

void TestSignalDialog::Load(const TImpairments& impairments) {
    settings_.Show(impairments);
    Show();
}

TImpairments TestSignalDialog::Taken() {
    Store();
    return settings_.Read();
}

void TestSignalDialog::accept() {
    Store();
    try {
        settings_.Read();
    } catch (const RinglarkError& e) {
        errors_.ReportError(e.what());
        return;  // stays open to be corrected
    }
    QDialog::accept();
}

bool TestSignalDialog::Edit(TImpairments& inForce) {
    Load(inForce);
    if (exec() != QDialog::Accepted) {
        return false;
    }
    settings_.Apply(true, inForce);
    return true;
}

}  // namespace ringlark::ui
