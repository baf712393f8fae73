#pragma once

// Small helpers shared by the parts of the main window's binding.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <array>
#include <string_view>
#include <vector>

#include "app/CallerIdTabs.h"
#include "core/Bytes.h"
#include "core/Cp1252.h"

namespace ringlark::ui::widgets {

inline QString Q(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A text box line: control bytes shown as the inspector's ASCII column shows them.
inline QString Line(const Bytes& bytes) {
    return QString::fromStdString(ShownText(bytes));
}

inline QLabel* Heading(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setStyleSheet(QStringLiteral(
        "background: grey; color: white; font-family: Arial; font-size: 18px; padding: 4px;"));
    return label;
}

inline void SetText(QLineEdit* edit, const QString& text) {
    if (edit->text() != text) {
        edit->setText(text);
    }
}

inline void SetCombo(QComboBox* box, const std::vector<Bytes>& items, const QString& text,
                     QString (*convert)(const Bytes&)) {
    QStringList list;
    for (const auto& item : items) {
        list << convert(item);
    }
    QStringList current;
    for (int i = 0; i < box->count(); ++i) {
        current << box->itemText(i);
    }
    if (current != list) {
        box->clear();
        box->addItems(list);
    }
    if (box->currentText() != text) {
        box->setEditText(text);
    }
}

inline constexpr std::array<TTabId, 3> kTabIds = {TTabId::Sdmf, TTabId::Mdmf, TTabId::Cwcid};

}  // namespace ringlark::ui::widgets
