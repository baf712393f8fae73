#include "analyst/ui/FrameListingWindow.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/Cp1252.h"

namespace ringlark::ui {

FrameListingWindow::FrameListingWindow(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("FormDebugAnalyst"));
    auto* layout = new QVBoxLayout(this);
    memo_ = new QPlainTextEdit(this);
    memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont fixed(QStringLiteral("Monospace"));
    fixed.setStyleHint(QFont::TypeWriter);
    memo_->setFont(fixed);
    layout->addWidget(memo_, 1);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    continue_ = new QPushButton(QStringLiteral("Continue"), this);
    buttons->addWidget(continue_);
    layout->addLayout(buttons);
    connect(continue_, &QPushButton::clicked, this, &QDialog::accept);
    resize(783, 540);
}

void FrameListingWindow::ShowListing(const std::vector<Bytes>& lines) {
    QStringList text;
    for (const auto& line : lines) {
        text << QString::fromStdString(ShownText(line));
    }
    memo_->setPlainText(text.join(QLatin1Char('\n')));
    exec();
}

}  // namespace ringlark::ui
