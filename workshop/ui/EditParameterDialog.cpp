#include "workshop/ui/EditParameterDialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/Cp1252.h"

namespace ringlark::ui {

EditParameterDialog::EditParameterDialog(QWidget* mainWindow)
    : QDialog(mainWindow), mainWindow_(mainWindow) {
    setWindowTitle(QString::fromStdString(Title));
    auto* layout = new QVBoxLayout(this);
    auto* fields = new QGridLayout();
    fields->addWidget(new QLabel(QStringLiteral("Parameter Type"), this), 0, 0);
    type_ = new QComboBox(this);
    type_->setEditable(true);
    type_->setInsertPolicy(QComboBox::NoInsert);
    for (auto item : ParameterTypeItems) {
        type_->addItem(QString::fromUtf8(item.data(), static_cast<qsizetype>(item.size())));
    }
    fields->addWidget(type_, 0, 1);
    fields->addWidget(new QLabel(QStringLiteral("Message Text"), this), 1, 0, 1, 2);
    text_ = new QLineEdit(this);
    fields->addWidget(text_, 2, 0, 1, 2);
    layout->addLayout(fields);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    adjustSize();
    setFixedSize(size());  // every attempt to resize restores the size
}

bool EditParameterDialog::Execute() {
    setWindowTitle(QString::fromStdString(Title));
    type_->setEditText(QString::fromStdString(Cp1252ToUtf8(Input.ParameterType)));
    text_->setText(QString::fromStdString(Cp1252ToUtf8(Input.MessageText)));
    if (mainWindow_ != nullptr) {
        move(mainWindow_->frameGeometry().topLeft() + QPoint(Offset, Offset));
    }
    text_->setFocus();
    if (exec() != QDialog::Accepted) {
        return false;
    }
    Input.ParameterType = Utf8ToCp1252(type_->currentText().toStdString());
    Input.MessageText = Utf8ToCp1252(text_->text().toStdString());
    return true;
}

}  // namespace ringlark::ui
