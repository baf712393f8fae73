#include "analyst/ui/ProgressWindow.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace ringlark::ui {

namespace {
// The bar counts in ints; long conversions are scaled to per mille.
constexpr int kScale = 1000;
}  // namespace

// Not a child of the main window: disabling the other windows while it shows
// must not disable (grey out) the progress window itself.
ProgressWindow::ProgressWindow(QWidget* mainWindow) : QDialog(nullptr), mainWindow_(mainWindow) {
    setWindowTitle(QStringLiteral("Progress"));
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    label_ = new QLabel(QStringLiteral("Converting from Alien Format..."), this);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(18);
    label_->setFont(font);
    bar_ = new QProgressBar(this);
    bar_->setRange(0, 100);
    layout->addWidget(label_);
    layout->addWidget(bar_);
    resize(320, 100);
}

void ProgressWindow::Begin(const std::string& text, int64_t minimum, int64_t maximum,
                           int64_t position) {
    label_->setText(QString::fromStdString(text));
    label_->repaint();
    minimum_ = minimum;
    maximum_ = std::max(minimum + 1, maximum);
    bar_->setRange(0, kScale);
    Position(position);
    if (mainWindow_ != nullptr) {
        // placed by the main window's size, not its position
        move(mainWindow_->width() / 2 - width() / 2, mainWindow_->height() / 2 - height() / 2);
    }
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window != this && window->isEnabled()) {
            window->setEnabled(false);
            disabled_.push_back(window);
        }
    }
    show();
    QApplication::processEvents();
}

void ProgressWindow::Position(int64_t value) {
    bar_->setValue(static_cast<int>((value - minimum_) * kScale / (maximum_ - minimum_)));
    QApplication::processEvents();
}

void ProgressWindow::End() {
    hide();
    for (QWidget* window : disabled_) {
        window->setEnabled(true);
    }
    disabled_.clear();
}

}  // namespace ringlark::ui
