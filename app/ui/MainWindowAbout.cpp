// The about page and its artwork, drawn in code: a lark over a caller-ID waveform, and the title.
#include "app/ui/MainWindow.h"

#include <QAbstractItemDelegate>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextBrowser>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

#include "analyst/ui/WaveformViewerWindow.h"
#include "app/ui/OptionsDialog.h"
#include "app/ui/QtServices.h"
#include "core/Cp1252.h"
#include "inspection/ui/InspectorWindow.h"

#include "analyst/ui/WaveformViewerWindow.h"
#include "app/ui/MainWindowWidgets.h"
#include "app/ui/OptionsDialog.h"
#include "app/ui/QtServices.h"
#include "inspection/ui/InspectorWindow.h"

namespace ringlark::ui {

using namespace widgets;

namespace {

// The two pictures of the about page, drawn here: a lark over a caller-ID
// waveform, and the title.
QPixmap ProductPicture() {
    QPixmap picture(150, 150);
    picture.fill(Qt::black);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(166, 202, 240), 2));
    QPainterPath wave;
    wave.moveTo(5, 115);
    for (int x = 5; x <= 145; ++x) {
        const double f = x < 75 ? 0.35 : 0.19;
        wave.lineTo(x, 115 + 14 * std::sin(x * f));
    }
    p.drawPath(wave);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(230, 190, 90));
    QPainterPath bird;
    bird.moveTo(40, 70);
    bird.cubicTo(60, 40, 95, 40, 110, 55);
    bird.lineTo(128, 50);
    bird.lineTo(112, 62);
    bird.cubicTo(100, 80, 70, 85, 40, 70);
    p.drawPath(bird);
    QPainterPath wing;
    wing.moveTo(62, 58);
    wing.cubicTo(70, 20, 95, 15, 100, 22);
    wing.cubicTo(90, 35, 85, 50, 80, 58);
    p.setBrush(QColor(200, 150, 60));
    p.drawPath(wing);
    p.setBrush(Qt::black);
    p.drawEllipse(QPointF(104, 54), 2, 2);
    return picture;
}

QPixmap TitlePicture() {
    QPixmap picture(207, 61);
    picture.fill(Qt::black);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(40);
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(230, 190, 90));
    p.drawText(picture.rect(), Qt::AlignCenter, QStringLiteral("Ringlark"));
    return picture;
}
}  // namespace

void TClickLabel::mousePressEvent(QMouseEvent* event) {
    QLabel::mousePressEvent(event);
    if (OnClick) {
        OnClick();
    }
}

QWidget* MainWindow::BuildAboutPage() {
    auto* page = new QWidget();
    page->setObjectName(QStringLiteral("PanelUnderAboutPage"));
    page->setAutoFillBackground(true);
    QPalette palette = page->palette();
    palette.setColor(QPalette::Window, Qt::black);
    page->setPalette(palette);
    auto* layout = new QGridLayout(page);
    auto* image1 = new QLabel(page);
    image1->setPixmap(ProductPicture());
    auto* image2 = new QLabel(page);
    image2->setPixmap(TitlePicture());
    layout->addWidget(image1, 0, 0);
    layout->addWidget(image2, 0, 1, Qt::AlignLeft | Qt::AlignTop);
    for (std::size_t i = 0; i < aboutLines.size(); ++i) {
        auto* label = new TClickLabel(page);
        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(TAboutPage::FontPixels);
        label->setFont(font);
        label->OnClick = [this, i] {
            Run([this, i] { Model().About.ClickLine(static_cast<int>(i), services_.Shell); });
        };
        layout->addWidget(label, static_cast<int>(i) + 1, 0, 1, 2);
        aboutLines[i] = label;
    }
    aboutOkButton = new QPushButton(QStringLiteral("OK"), page);
    connect(aboutOkButton, &QPushButton::clicked, this,
            [this] { Run([this] { Model().QuitProgram(); }); });
    layout->addWidget(aboutOkButton, 5, 1, Qt::AlignRight | Qt::AlignBottom);
    layout->setRowStretch(5, 1);
    return page;
}

}  // namespace ringlark::ui
