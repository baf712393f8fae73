#include "wcidsim.h"

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

#include "Cp1252.h"
#include "InspectUnit.h"
#include "Options.h"
#include "QtServices.h"
#include "SigscopeMain.h"

namespace ringlark::ui {

namespace {

QString Q(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A text box line: control bytes shown as the inspector's ASCII column shows them.
QString Line(const Bytes& bytes) {
    return QString::fromStdString(ShownText(bytes));
}

QLabel* Heading(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setStyleSheet(QStringLiteral(
        "background: grey; color: white; font-family: Arial; font-size: 18px; padding: 4px;"));
    return label;
}

void SetText(QLineEdit* edit, const QString& text) {
    if (edit->text() != text) {
        edit->setText(text);
    }
}

void SetCombo(QComboBox* box, const std::vector<Bytes>& items, const QString& text,
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

constexpr std::array<TTabId, 3> kTabIds = {TTabId::Sdmf, TTabId::Mdmf, TTabId::Cwcid};

}  // namespace

void TClickLabel::mousePressEvent(QMouseEvent* event) {
    QLabel::mousePressEvent(event);
    if (OnClick) {
        OnClick();
    }
}

TForm1Window::TForm1Window(TDesktopServices services) : services_(services) {
    app_ = std::make_unique<TRinglarkApplication>(TMainServices{
        *this, services.Errors, services.Notices, services.SaveDialog1, services.OpenDialog1,
        timer_, services.Sound, services.Store, services.Shell, services.Clock,
        services.EditParameter, services.ViewerOpenDialog, services.Progress});

    setWindowTitle(Q(TForm1::Title));
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    PageControl1 = new QTabWidget(central);
    PageControl1->setUsesScrollButtons(false);
    PageControl1->setStyleSheet(QStringLiteral("QTabBar::tab { padding: 3px 5px; }"));
    for (int i = 0; i < 3; ++i) {
        PageControl1->addTab(BuildCallerIdTab(i),
                             Q(PageTable()[static_cast<std::size_t>(i)].Caption));
    }
    PageControl1->addTab(BuildWorkshopTab(), Q(PageTable()[3].Caption));
    PageControl1->addTab(BuildAnalystTab(), Q(PageTable()[4].Caption));
    PageControl1->addTab(BuildMiscTab(), Q(PageTable()[5].Caption));
    PageControl1->addTab(BuildAboutPage(), QStringLiteral("About Ringlark"));
    PageControl1->setTabVisible(static_cast<int>(TPage::About), false);
    layout->addWidget(PageControl1, 1);
    layout->addWidget(BuildButtonStrip());
    setCentralWidget(central);
    BuildMenu();

    StatusPanel = new QLabel(this);
    StatusPanel->setMinimumWidth(100);
    statusBar()->addWidget(StatusPanel, 1);

    connect(PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
        if (!refreshing_) {
            Run([this, index] { Model().PageControl1Change(static_cast<TPage>(index)); });
            if (index == static_cast<int>(TPage::Workshop)) {
                ApplyGeometry();  // the workshop's widgets have their real sizes only when shown
            }
        }
    });

    Timer1 = new QTimer(this);
    Timer1->setInterval(TTickTimer::IntervalMs);
    connect(Timer1, &QTimer::timeout, this, [this] {
        timer_.Tick();
        RefreshTabs();
    });

    app_->Form1.Sigscope.Sound = &services_.Sound;
    // The start sequence of the model: configuration, state, date and time.
    RunHandler(services_.Errors, [this] { app_->Start(); });
    resize(TMainGeometry::DesignWidth, TMainGeometry::DesignHeight);
    setMinimumSize(TMainGeometry::MinWidth, TMainGeometry::MinHeight);
    Timer1->start();
    RefreshAll();
}

TForm1Window::~TForm1Window() = default;

void TForm1Window::Run(const std::function<void()>& handler) {
    RunHandler(services_.Errors, handler);
    RefreshAll();
}

QWidget* TForm1Window::BuildCallerIdTab(int index) {
    const TTabId id = kTabIds[static_cast<std::size_t>(index)];
    auto* page = new QWidget();
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(Heading(Q(PageTable()[static_cast<std::size_t>(index)].Heading), page));
    TTabWidgets& w = Tabs[static_cast<std::size_t>(index)];
    const auto box = [&](const char* caption, TTabBox which) {
        auto* check = new QCheckBox(QString::fromUtf8(caption), page);
        connect(check, &QCheckBox::clicked, this, [this, id, which](bool checked) {
            Run([this, id, which, checked] { Model().Tabs.SetChecked(id, which, checked); });
        });
        return check;
    };

    auto* numberPanel = new QGroupBox(page);
    auto* numberLayout = new QGridLayout(numberPanel);
    numberLayout->addWidget(new QLabel(QStringLiteral("Phone Number"), numberPanel), 0, 0);
    w.Number = new QComboBox(numberPanel);
    w.Number->setEditable(true);
    w.Number->setInsertPolicy(QComboBox::NoInsert);
    numberLayout->addWidget(w.Number, 1, 0);
    connect(w.Number, &QComboBox::editTextChanged, this, [this, id](const QString& text) {
        if (!refreshing_) {
            Model().Tabs.Tab(id).NumberText = ToCp1252(text);
        }
    });
    if (id != TTabId::Sdmf) {
        w.NumberDisabled = box("Disable", TTabBox::NumberDisabled);
        w.NumberDisabled->setLayoutDirection(Qt::RightToLeft);  // caption left of the box
        numberLayout->addWidget(w.NumberDisabled, 1, 1, Qt::AlignAbsolute | Qt::AlignRight);
        numberLayout->setColumnStretch(0, 1);
    }
    layout->addWidget(numberPanel);

    if (id != TTabId::Sdmf) {
        auto* namePanel = new QGroupBox(page);
        auto* nameLayout = new QGridLayout(namePanel);
        nameLayout->addWidget(new QLabel(QStringLiteral("Name"), namePanel), 0, 0);
        w.Name = new QComboBox(namePanel);
        w.Name->setEditable(true);
        w.Name->setInsertPolicy(QComboBox::NoInsert);
        nameLayout->addWidget(w.Name, 1, 0);
        connect(w.Name, &QComboBox::editTextChanged, this, [this, id](const QString& text) {
            if (!refreshing_) {
                Model().Tabs.Tab(id).NameText = ToCp1252(text);
            }
        });
        w.NameDisabled = box("Disable", TTabBox::NameDisabled);
        w.NameDisabled->setLayoutDirection(Qt::RightToLeft);
        nameLayout->addWidget(w.NameDisabled, 1, 1, Qt::AlignAbsolute | Qt::AlignRight);
        nameLayout->setColumnStretch(0, 1);
        layout->addWidget(namePanel);
    }

    auto* datePanel = new QGroupBox(page);
    auto* dateLayout = new QGridLayout(datePanel);
    dateLayout->addWidget(new QLabel(QStringLiteral("Date"), datePanel), 0, 0);
    dateLayout->addWidget(new QLabel(QStringLiteral("Time"), datePanel), 0, 1);
    w.Date = new QLineEdit(QStringLiteral("MMDD"), datePanel);
    w.Time = new QLineEdit(QStringLiteral("HHMM"), datePanel);
    dateLayout->addWidget(w.Date, 1, 0);
    dateLayout->addWidget(w.Time, 1, 1);
    w.UseCurrent = box("Use Current", TTabBox::UseCurrent);
    dateLayout->addWidget(w.UseCurrent, 1, 2);
    connect(w.Date, &QLineEdit::textEdited, this,
            [this, id](const QString& text) { Model().Tabs.Tab(id).DateText = ToCp1252(text); });
    connect(w.Time, &QLineEdit::textEdited, this,
            [this, id](const QString& text) { Model().Tabs.Tab(id).TimeText = ToCp1252(text); });
    layout->addWidget(datePanel);

    auto* flags = new QHBoxLayout();
    w.OutOfArea = box("Out of Area", TTabBox::OutOfArea);
    w.Private = box("Private", TTabBox::Private);
    w.LongDistance =
        box(id == TTabId::Sdmf ? "Long Distance" : "LD Indicator", TTabBox::LongDistance);
    flags->addWidget(w.OutOfArea);
    flags->addWidget(w.Private);
    flags->addWidget(w.LongDistance);
    flags->addStretch(1);
    layout->addLayout(flags);
    layout->addStretch(1);
    return page;
}

QWidget* TForm1Window::BuildWorkshopTab() {
    auto* page = new QWidget();
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(Heading(Q(PageTable()[3].Heading), page));
    ToolBar1 = new QToolBar(page);
    ToolBar1->setToolButtonStyle(Qt::ToolButtonTextOnly);
    const std::array<std::pair<const char*, const char*>, 7> tools = {{
        {"Add", "Add a new MDMF Parameter to the end of the list"},
        {"Del", "Delete the selected MDMF Parameter"},
        {"Edit", "Edit the selected MDMF Parameter"},
        {"Up", "Move the selected MDMF Paremeter up one position"},
        {"Down", "Move the selected MDMF parameter down one position"},
        {"Load", "Load an MDMF message from a CID textfile"},
        {"Save", "Save this MDMF message to a CID text file"},
    }};
    const std::array<std::function<void(TWorkshop&)>, 7> commands = {
        [](TWorkshop& w) { w.WorkshopAdd(); },      [](TWorkshop& w) { w.WorkshopDelete(); },
        [](TWorkshop& w) { w.WorkshopEdit(); },     [](TWorkshop& w) { w.WorkshopMoveUp(); },
        [](TWorkshop& w) { w.WorkshopMoveDown(); }, [](TWorkshop& w) { w.WorkshopLoad(); },
        [](TWorkshop& w) { w.WorkshopSave(); },
    };
    for (std::size_t i = 0; i < tools.size(); ++i) {
        QAction* action = ToolBar1->addAction(QString::fromUtf8(tools[i].first));
        action->setToolTip(QString::fromUtf8(tools[i].second));
        connect(action, &QAction::triggered, this,
                [this, command = commands[i]] { Run([&] { command(Model().Workshop); }); });
        WorkshopActions[i] = action;
    }
    layout->addWidget(ToolBar1);

    StringGrid1 = new QTableWidget(1, 3, page);
    StringGrid1->setHorizontalHeaderLabels(
        {QString(), QStringLiteral("Parameter"), QStringLiteral("Message String")});
    StringGrid1->verticalHeader()->setVisible(false);
    StringGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    StringGrid1->setEditTriggers(QAbstractItemView::EditKeyPressed |
                                 QAbstractItemView::AnyKeyPressed |
                                 QAbstractItemView::SelectedClicked);
    StringGrid1->setContextMenuPolicy(Qt::CustomContextMenu);
    layout->addWidget(StringGrid1, 1);
    connect(StringGrid1, &QTableWidget::cellChanged, this, [this](int row, int column) {
        if (!refreshing_) {
            Model().Workshop.EditCell(row + 1, column,
                                      ToCp1252(StringGrid1->item(row, column)->text()));
            RefreshWorkshop();  // the command states follow the edit
        }
    });
    connect(StringGrid1, &QTableWidget::currentCellChanged, this,
            [this](int row, int column, int, int) {
                if (!refreshing_ && row >= 0) {
                    Run([&] { Model().Workshop.StringGrid1Click(row + 1, column); });
                }
            });
    connect(StringGrid1, &QTableWidget::cellDoubleClicked, this,
            [this](int, int) { Run([this] { Model().Workshop.StringGrid1DblClick(); }); });
    // Enter on a cell: after an edit it closes the editor, otherwise it reaches the grid.
    connect(StringGrid1->itemDelegate(), &QAbstractItemDelegate::closeEditor, this,
            [this](QWidget*, QAbstractItemDelegate::EndEditHint hint) {
                if (hint == QAbstractItemDelegate::SubmitModelCache) {
                    Run([this] { Model().Workshop.StringGrid1KeyPress('\r'); });
                }
            });
    WorkshopMenu = new QMenu(this);
    const std::array<const char*, 5> items = {"&Add", "&Delete", "&Edit", "Move &Up", "&Move Down"};
    for (std::size_t i = 0; i < items.size(); ++i) {
        WorkshopMenuActions[i] = WorkshopMenu->addAction(QString::fromUtf8(items[i]));
        connect(WorkshopMenuActions[i], &QAction::triggered, WorkshopActions[i], &QAction::trigger);
    }
    connect(StringGrid1, &QTableWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) {
                const QModelIndex index = StringGrid1->indexAt(pos);
                if (index.isValid()) {
                    Run([&] {
                        Model().Workshop.StringGrid1MouseDown(index.row() + 1, index.column());
                    });
                }
                WorkshopMenu->popup(StringGrid1->viewport()->mapToGlobal(pos));
            });

    auto* signalling = new QHBoxLayout();
    RadioButton4 = new QRadioButton(QStringLiteral("On-Hook Signaling"), page);
    RadioButton4->setToolTip(
        QStringLiteral("Select to include the signaling method used in regular On-Hook Caller ID"));
    RadioButton5 = new QRadioButton(QStringLiteral("Call Waiting Signaling"), page);
    RadioButton5->setToolTip(
        QStringLiteral("Select to include the special signaling used in Call Waiting Caller ID"));
    connect(RadioButton4, &QRadioButton::clicked, this,
            [this] { Run([this] { Model().Workshop.Signalling = TSignalling::OnHook; }); });
    connect(RadioButton5, &QRadioButton::clicked, this,
            [this] { Run([this] { Model().Workshop.Signalling = TSignalling::CallWaiting; }); });
    signalling->addWidget(RadioButton4);
    signalling->addWidget(RadioButton5);
    signalling->addStretch(1);
    layout->insertLayout(2, signalling);
    return page;
}

QWidget* TForm1Window::BuildAnalystTab() {
    auto* page = new QWidget();
    auto* layout = new QGridLayout(page);
    layout->addWidget(Heading(Q(PageTable()[4].Heading), page), 0, 0, 1, 3);
    layout->addWidget(new QLabel(QStringLiteral("Filename"), page), 1, 0, 1, 3);
    ComboBox5 = new QComboBox(page);
    ComboBox5->setEditable(true);
    ComboBox5->setInsertPolicy(QComboBox::NoInsert);
    layout->addWidget(ComboBox5, 2, 0, 1, 2);
    ButtonOpenAnalystWAV = new QPushButton(QStringLiteral("Browse..."), page);
    layout->addWidget(ButtonOpenAnalystWAV, 2, 2);
    layout->addWidget(new QLabel(QStringLiteral("Results"), page), 3, 0);
    Button1 = new QPushButton(QStringLiteral("Clear"), page);
    Button3 = new QPushButton(QStringLiteral("Analyze..."), page);
    layout->addWidget(Button1, 3, 1);
    layout->addWidget(Button3, 3, 2);
    ButtonViewer = new QPushButton(QStringLiteral("Viewer..."), page);
    layout->addWidget(ButtonViewer, 3, 0, Qt::AlignRight);
    connect(ButtonViewer, &QPushButton::clicked, this, [this] { ShowViewer(); });
    Memo1 = new QPlainTextEdit(page);
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    layout->addWidget(Memo1, 4, 0, 1, 3);
    layout->setRowStretch(4, 1);
    connect(ComboBox5, &QComboBox::editTextChanged, this, [this](const QString& text) {
        if (!refreshing_) {
            Model().AnalystFileText = ToPath(text);
        }
    });
    connect(ButtonOpenAnalystWAV, &QPushButton::clicked, this,
            [this] { Run([this] { Model().Analyst.ButtonOpenAnalystWAVClick(); }); });
    connect(Button1, &QPushButton::clicked, this,
            [this] { Run([this] { Model().Analyst.Button1Click(); }); });
    connect(Button3, &QPushButton::clicked, this,
            [this] { Run([this] { Model().Analyst.Button3Click(); }); });
    return page;
}

QWidget* TForm1Window::BuildMiscTab() {
    auto* page = new QWidget();
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(Heading(Q(PageTable()[5].Heading), page));
    const std::array<std::pair<const char*, TMiscChoice>, 3> choices = {{
        {"Message Waiting Indicator ON", TMiscChoice::VmwiOn},
        {"Message Waiting Indicator OFF", TMiscChoice::VmwiOff},
        {"Fixed Test Message", TMiscChoice::TestMessage},
    }};
    for (std::size_t i = 0; i < choices.size(); ++i) {
        if (i == 2) {
            layout->addWidget(Heading(Q(MiscLowerHeading), page));
        }
        auto* radio = new QRadioButton(QString::fromUtf8(choices[i].first), page);
        radio->setAutoExclusive(false);  // the tab's rules keep exactly one checked
        connect(radio, &QRadioButton::clicked, this, [this, choice = choices[i].second] {
            Run([this, choice] { Model().Tabs.ClickMisc(choice); });
        });
        layout->addWidget(radio);
        MiscChoices[i] = radio;
    }
    layout->addStretch(1);
    return page;
}

QWidget* TForm1Window::BuildAboutPage() {
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
    for (std::size_t i = 0; i < AboutLines.size(); ++i) {
        auto* label = new TClickLabel(page);
        QFont font(QStringLiteral("Arial"));
        font.setPixelSize(TAboutPage::FontPixels);
        label->setFont(font);
        label->OnClick = [this, i] {
            Run([this, i] { Model().About.ClickLine(static_cast<int>(i), services_.Shell); });
        };
        layout->addWidget(label, static_cast<int>(i) + 1, 0, 1, 2);
        AboutLines[i] = label;
    }
    Button2 = new QPushButton(QStringLiteral("OK"), page);
    connect(Button2, &QPushButton::clicked, this,
            [this] { Run([this] { Model().Button2Click(); }); });
    layout->addWidget(Button2, 5, 1, Qt::AlignRight | Qt::AlignBottom);
    layout->setRowStretch(5, 1);
    return page;
}

QWidget* TForm1Window::BuildButtonStrip() {
    panel5_ = new QWidget(this);
    panel5_->setFixedHeight(TMainGeometry::Panel5Height);
    const std::array<QPushButton**, 4> buttons = {&ButtonSave, &ButtonPlay, &ButtonInspect,
                                                  &ButtonQuit};
    const std::array<std::function<void(TForm1&)>, 4> actions = {
        [](TForm1& f) { f.ButtonSaveClick(); }, [](TForm1& f) { f.ButtonPlayClick(); },
        [](TForm1& f) { f.ButtonInspectClick(); }, [](TForm1& f) { f.ButtonQuitClick(); }};
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        auto* button = new QPushButton(Q(OutputButtons[i].Caption), panel5_);
        button->setToolTip(Q(OutputButtons[i].Hint));
        connect(button, &QPushButton::clicked, this,
                [this, action = actions[i]] { Run([&] { action(Model()); }); });
        *buttons[i] = button;
    }
    return panel5_;
}

void TForm1Window::BuildMenu() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    Save1 = file->addAction(QStringLiteral("&Save WAV File"));
    SaveWorkshopScript1 = file->addAction(QStringLiteral("Save &Workshop Script"));
    Inspect1 = file->addAction(QStringLiteral("&Inspect"));
    file->addSeparator();
    Exit1 = file->addAction(QStringLiteral("&Exit"));
    QMenu* options = menuBar()->addMenu(QStringLiteral("&Options"));
    Preferences1 = options->addAction(QStringLiteral("&Preferences"));
    TransferCIDtoWorkshop1 = options->addAction(QStringLiteral("&Transfer CID to Workshop"));
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    UsingRinglark1 = help->addAction(QStringLiteral("&Using Ringlark"));
    About1 = help->addAction(QStringLiteral("&About Ringlark"));
    ContactSupport1 = help->addAction(QStringLiteral("&Contact/Support"));
    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    WaveformViewer1 = view->addAction(QStringLiteral("&Waveform Viewer"));
    connect(WaveformViewer1, &QAction::triggered, this, [this] { ShowViewer(); });
    menuBar()->insertMenu(help->menuAction(), view);
    const std::vector<std::pair<QAction*, std::function<void(TForm1&)>>> bindings = {
        {Save1, [](TForm1& f) { f.Save1Click(); }},
        {SaveWorkshopScript1, [](TForm1& f) { f.SaveWorkshopScript1Click(); }},
        {Inspect1, [](TForm1& f) { f.ButtonInspectClick(); }},
        {Exit1, [](TForm1& f) { f.ButtonQuitClick(); }},
        {Preferences1, [](TForm1& f) { f.Options1Click(); }},
        {TransferCIDtoWorkshop1, [](TForm1& f) { f.TransferCIDtoWorkshop1Click(); }},
        {UsingRinglark1, [](TForm1& f) { f.UsingRinglark1Click(); }},
        {About1, [](TForm1& f) { f.About1Click(); }},
        {ContactSupport1, [](TForm1& f) { f.ContactSupport1Click(); }},
    };
    for (const auto& [action, handler] : bindings) {
        connect(action, &QAction::triggered, this,
                [this, handler = handler] { Run([&] { handler(Model()); }); });
    }
}

void TForm1Window::FormShow() {
    Model().FormShow();
    if (const QScreen* screen = this->screen()) {
        move(screen->geometry().topLeft() + QPoint(20, 20));
    }
    RefreshAll();
    ApplyGeometry();
}

void TForm1Window::RefreshTabs() {
    refreshing_ = true;
    TForm1& m = Model();
    for (std::size_t i = 0; i < kTabIds.size(); ++i) {
        const TCallerIdTab& tab = m.Tabs.Tab(kTabIds[i]);
        TTabWidgets& w = Tabs[i];
        const QSignalBlocker blockNumber(w.Number);
        SetCombo(w.Number, m.NumberItems.Items, FromCp1252(tab.NumberText), &FromCp1252);
        w.Number->setEnabled(tab.NumberBoxEnabled);
        if (w.Name != nullptr) {
            const QSignalBlocker blockName(w.Name);
            SetCombo(w.Name, m.NameItems.Items, FromCp1252(tab.NameText), &FromCp1252);
            w.Name->setEnabled(tab.NameBoxEnabled);
        }
        SetText(w.Date, FromCp1252(tab.DateText));
        SetText(w.Time, FromCp1252(tab.TimeText));
        w.Date->setEnabled(tab.DateTimeEnabled);
        w.Time->setEnabled(tab.DateTimeEnabled);
        w.UseCurrent->setChecked(tab.UseCurrent);
        w.OutOfArea->setChecked(tab.OutOfArea);
        w.Private->setChecked(tab.Private);
        w.LongDistance->setChecked(tab.LongDistance);
        if (w.NumberDisabled != nullptr) {
            w.NumberDisabled->setChecked(tab.NumberDisabled);
            w.NameDisabled->setChecked(tab.NameDisabled);
        }
    }
    MiscChoices[0]->setChecked(m.Tabs.VmwiOn);
    MiscChoices[1]->setChecked(m.Tabs.VmwiOff);
    MiscChoices[2]->setChecked(m.Tabs.TestMessage);
    refreshing_ = false;
}

void TForm1Window::RefreshWorkshop() {
    refreshing_ = true;
    TWorkshop& w = Model().Workshop;
    const QSignalBlocker block(StringGrid1);
    const int rows = w.List.RowCount();
    StringGrid1->setRowCount(rows);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < 3; ++c) {
            const QString text = FromCp1252(w.List.Cell(c, r + 1));
            QTableWidgetItem* item = StringGrid1->item(r, c);
            if (item == nullptr) {
                item = new QTableWidgetItem();
                if (c == 0) {
                    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
                }
                StringGrid1->setItem(r, c, item);
            }
            if (item->text() != text) {
                item->setText(text);
            }
        }
    }
    StringGrid1->setCurrentCell(w.CurrentRow() - 1, w.CurrentColumn());
    const TWorkshopCommands& commands = w.Commands();
    const std::array<bool, 5> enabled = {true, commands.Del, commands.Edit, commands.Up,
                                         commands.Down};
    for (std::size_t i = 0; i < enabled.size(); ++i) {
        WorkshopActions[i]->setEnabled(enabled[i]);
        WorkshopMenuActions[i]->setEnabled(enabled[i]);
    }
    RadioButton4->setChecked(w.Signalling == TSignalling::OnHook);
    RadioButton5->setChecked(w.Signalling == TSignalling::CallWaiting);
    refreshing_ = false;
}

void TForm1Window::RefreshAbout() {
    const TAboutPage& about = Model().About;
    PageControl1->setTabText(static_cast<int>(TPage::About),
                             QString::fromStdString(about.TabCaption));
    for (std::size_t i = 0; i < AboutLines.size(); ++i) {
        const TAboutLine& line = about.Lines[i];
        TClickLabel* label = AboutLines[i];
        label->setText(QString::fromStdString(line.Text));
        label->setStyleSheet(
            QStringLiteral("color: rgb(%1, %2, %3); text-decoration: %4;")
                .arg(line.Color.R)
                .arg(line.Color.G)
                .arg(line.Color.B)
                .arg(line.Underlined ? QStringLiteral("underline") : QStringLiteral("none")));
        label->setCursor(line.Cursor == TCursor::Hand ? Qt::PointingHandCursor : Qt::ArrowCursor);
    }
}

void TForm1Window::RefreshAll() {
    TForm1& m = Model();
    RefreshTabs();
    RefreshWorkshop();
    RefreshAbout();
    refreshing_ = true;
    {
        const QSignalBlocker block(ComboBox5);
        SetCombo(ComboBox5, m.AnalystItems.Items, FromPath(m.AnalystFileText), &FromPath);
    }
    QStringList report;
    for (const auto& line : m.Analyst.Report) {
        report << Line(line);
    }
    const QString reportText = report.join(QLatin1Char('\n'));
    if (Memo1->toPlainText() != reportText) {
        Memo1->setPlainText(reportText);
    }
    {
        const QSignalBlocker block(PageControl1);
        PageControl1->setTabVisible(static_cast<int>(TPage::About), m.AboutVisible);
        PageControl1->setCurrentIndex(static_cast<int>(m.Page));
    }
    refreshing_ = false;
    const TMainCommands& c = m.Commands;
    ButtonSave->setEnabled(c.SaveButton);
    ButtonPlay->setEnabled(c.PlayButton);
    ButtonInspect->setEnabled(c.InspectButton);
    Save1->setEnabled(c.SaveWav);
    Inspect1->setEnabled(c.InspectMenu);
    SaveWorkshopScript1->setEnabled(c.SaveWorkshopScript);
    TransferCIDtoWorkshop1->setEnabled(c.TransferCID);
    StatusPanel->setText(FromCp1252(m.StatusText));
    if (!m.Caption.empty()) {
        setWindowTitle(QString::fromStdString(m.Caption));
    }
}

void TForm1Window::ApplyGeometry() {
    if (QLayout* workshop = StringGrid1->parentWidget()->layout()) {
        workshop->activate();
    }
    TQtMetrics metrics(StringGrid1->horizontalHeader()->font());
    Model().FormResize(width(), height(), panel5_->width(), ToolBar1->width(),
                       StringGrid1->viewport()->width() + 3, metrics);
    const TMainGeometry& g = Model().Geometry;
    const std::array<QPushButton*, 4> buttons = {ButtonSave, ButtonPlay, ButtonInspect, ButtonQuit};
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        buttons[i]->setGeometry(g.ButtonLeft[i], (TMainGeometry::Panel5Height - 32) / 2,
                                g.ButtonWidth[i], 32);
    }
    for (std::size_t i = 0; i < WorkshopActions.size(); ++i) {
        if (QWidget* tool = ToolBar1->widgetForAction(WorkshopActions[i])) {
            tool->setFixedWidth(std::max(1, g.ToolButtonWidth[i] - 2));
        }
    }
    for (int c = 0; c < 3; ++c) {
        StringGrid1->setColumnWidth(c, std::max(1, g.ColumnWidth[static_cast<std::size_t>(c)]));
    }
    RefreshWorkshop();
}

void TForm1Window::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (app_ && panel5_ != nullptr) {
        ApplyGeometry();
    }
}

void TForm1Window::closeEvent(QCloseEvent* event) {
    if (Model().Sigscope.Converting()) {
        // the conversion processes events; the window closes once it has ended
        event->ignore();
        QTimer::singleShot(100, this, [this] { close(); });
        return;
    }
    if (!closing_) {
        closing_ = true;
        Model().FormClose();  // a failed save is reported; the window still closes
    }
    event->accept();
    QApplication::closeAllWindows();
}

void TForm1Window::ShowInspectorModal() {
    if (inspect_ != nullptr) {
        inspect_->ShowTable(Model().Inspector);
        inspect_->ExecBeside(this);
    }
}

TDialogResult TForm1Window::ShowOptionsModal() {
    return options_ != nullptr ? options_->Run() : TDialogResult::Cancel;
}

void TForm1Window::CloseMainWindow() {
    close();
}

void TForm1Window::ShowHelpContents(const std::string& helpFile) {
    QDialog help(this);
    help.setWindowTitle(QStringLiteral("Ringlark Help"));
    auto* layout = new QVBoxLayout(&help);
    auto* browser = new QTextBrowser(&help);
    const QString path = FromPath(helpFile);
    if (QFileInfo::exists(path)) {
        browser->setSource(QUrl::fromLocalFile(path), QTextDocument::HtmlResource);
    } else {
        browser->setPlainText(QStringLiteral("Cannot find the help file %1.").arg(path));
    }
    layout->addWidget(browser);
    help.resize(640, 560);
    help.exec();
}

std::string TForm1Window::ExecutableFolder() {
    return ToPath(QCoreApplication::applicationDirPath());
}

void TForm1Window::RepaintStatusBar() {
    StatusPanel->setText(FromCp1252(Model().StatusText));
    StatusPanel->repaint();
}

void TForm1Window::ShowViewer() {
    if (sigscope_ != nullptr) {
        sigscope_->UpdateScreen();
        sigscope_->show();
        sigscope_->raise();
    }
}

}  // namespace ringlark::ui
