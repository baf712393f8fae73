#pragma once

// Small helpers shared by the parts of the main window's binding.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <QVariant>
#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/CallerIdTabs.h"
#include "app/ui/QtServices.h"
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

// The drop-down items are rebuilt only when the model's list changed; the edit
// text is rewritten only when it no longer stands for the model's text, so
// that characters the model cannot hold stay as the user typed them.
inline void SetCombo(QComboBox* box, const std::vector<Bytes>& items, const Bytes& text,
                     QString (*from)(const Bytes&), Bytes (*to)(const QString&)) {
    const QVariant shown = box->property("ringlarkItems");
    const auto itemsKey = QString::number(std::hash<std::string>{}([&items] {
        std::string joined;
        for (const auto& item : items) {
            joined += item;
            joined += '\0';
        }
        return joined;
    }()));
    if (!shown.isValid() || shown.toString() != itemsKey || box->count() != int(items.size())) {
        QStringList list;
        for (const auto& item : items) {
            list << from(item);
        }
        box->clear();
        box->addItems(list);
        box->setProperty("ringlarkItems", itemsKey);
    }
    if (to(box->currentText()) != text) {
        box->setEditText(from(text));
    }
}

inline constexpr std::array<TTabId, 3> kTabIds = {TTabId::Sdmf, TTabId::Mdmf, TTabId::Cwcid};

}  // namespace ringlark::ui::widgets
