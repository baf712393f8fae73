#include "app/ui/OptionsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "app/ui/QtServices.h"

namespace ringlark::ui {

namespace {
QString Q(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
}  // namespace

OptionsDialog::OptionsDialog(TFormOptions& model, QWidget* parent)
    : QDialog(parent), model_(model) {
    setWindowTitle(Q(TFormOptions::Caption));
    auto* layout = new QVBoxLayout(this);

    auto* audio = new QGroupBox(Q(TFormOptions::AudioGroupCaption), this);
    auto* audioLayout = new QGridLayout(audio);
    audioLayout->addWidget(new QLabel(QStringLiteral("Amplitude"), audio), 0, 0);
    amplitude_ = new QLineEdit(audio);
    audioLayout->addWidget(amplitude_, 0, 1);
    audioLayout->addWidget(new QLabel(Q(TFormOptions::RangeLabel), audio), 0, 2);
    audioLayout->addWidget(new QLabel(QStringLiteral("Clipping"), audio), 1, 0);
    clip_ = new QLineEdit(audio);
    audioLayout->addWidget(clip_, 1, 1);
    audioLayout->addWidget(new QLabel(Q(TFormOptions::RangeLabel), audio), 1, 2);
    disableClipping_ = new QCheckBox(QStringLiteral("Disable Clipping"), audio);
    audioLayout->addWidget(disableClipping_, 1, 3);
    layout->addWidget(audio);

    auto* filtering = new QGroupBox(Q(TFormOptions::FilteringGroupCaption), this);
    auto* filteringLayout = new QVBoxLayout(filtering);
    alphaOnly_ = new QCheckBox(QStringLiteral("Allow only Alphanumerics in Name"), filtering);
    forceUppercase_ = new QCheckBox(QStringLiteral("Force Uppercase Name"), filtering);
    noFiltering_ = new QCheckBox(QStringLiteral("No Character Filtering Whatsoever!"), filtering);
    filteringLayout->addWidget(alphaOnly_);
    filteringLayout->addWidget(forceUppercase_);
    filteringLayout->addWidget(noFiltering_);
    layout->addWidget(filtering);

    // Beside the audio values and filtering: which caller-ID system to send.
    auto* standardRow = new QHBoxLayout();
    standardRow->addWidget(new QLabel(QStringLiteral("Standard"), this));
    standard_ = new QComboBox(this);
    for (TCidStandard s :
         {TCidStandard::Bell202, TCidStandard::EtsiV23, TCidStandard::Bt, TCidStandard::Dtmf}) {
        const std::string_view title = StandardTitle(s);
        standard_->addItem(QString::fromLatin1(title.data(), static_cast<qsizetype>(title.size())),
                           static_cast<int>(s));
    }
    standardRow->addWidget(standard_, 1);
    layout->addLayout(standardRow);

    // How the other systems are sent, and the level calibration of the
    // Signal Measurements.
    auto* systems = new QGroupBox(QStringLiteral("   Other Systems and Levels   "), this);
    auto* systemsLayout = new QGridLayout(systems);
    systemsLayout->addWidget(new QLabel(QStringLiteral("ETSI alert"), systems), 0, 0);
    etsiAlert_ = new QComboBox(systems);
    for (std::string_view choice : EtsiAlertChoices) {
        etsiAlert_->addItem(Q(choice));
    }
    systemsLayout->addWidget(etsiAlert_, 0, 1, 1, 3);
    systemsLayout->addWidget(new QLabel(QStringLiteral("DTMF framing"), systems), 1, 0);
    dtmfFraming_ = new QComboBox(systems);
    for (const auto& [framing, title] : DtmfFramingChoices) {
        dtmfFraming_->addItem(Q(title), static_cast<int>(framing));
    }
    systemsLayout->addWidget(dtmfFraming_, 1, 1, 1, 3);
    systemsLayout->addWidget(new QLabel(QStringLiteral("DTMF absence codes"), systems), 2, 0);
    systemsLayout->addWidget(new QLabel(QStringLiteral("Unavailable"), systems), 2, 1);
    unavailable_ = new QLineEdit(systems);
    unavailable_->setMaxLength(2);
    systemsLayout->addWidget(unavailable_, 2, 2);
    systemsLayout->addWidget(new QLabel(QStringLiteral("Private"), systems), 3, 1);
    private_ = new QLineEdit(systems);
    private_->setMaxLength(2);
    systemsLayout->addWidget(private_, 3, 2);
    systemsLayout->addWidget(new QLabel(QStringLiteral("dBm at full scale"), systems), 4, 0);
    dbm_ = new QLineEdit(systems);
    dbm_->setPlaceholderText(QStringLiteral("none"));
    systemsLayout->addWidget(dbm_, 4, 1, 1, 2);
    layout->addWidget(systems);

    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    layout->addLayout(buttons);
    ok_->setDefault(true);

    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(amplitude_, &QLineEdit::textEdited, this,
            [this](const QString& text) { model_.Settings.OptionAmplitude = ToCp1252(text); });
    connect(clip_, &QLineEdit::textEdited, this,
            [this](const QString& text) { model_.Settings.OptionClip = ToCp1252(text); });
    connect(standard_, &QComboBox::activated, this, [this](int index) {
        model_.Settings.Standard = static_cast<TCidStandard>(standard_->itemData(index).toInt());
    });
    connect(etsiAlert_, &QComboBox::activated, this,
            [this](int index) { model_.Settings.EtsiAlert = index == 1; });
    connect(dtmfFraming_, &QComboBox::activated, this, [this](int index) {
        model_.Settings.DtmfFraming =
            static_cast<TDtmfFraming>(dtmfFraming_->itemData(index).toInt());
    });
    connect(unavailable_, &QLineEdit::textEdited, this,
            [this](const QString& text) { model_.Settings.DtmfUnavailableCode = ToCp1252(text); });
    connect(private_, &QLineEdit::textEdited, this,
            [this](const QString& text) { model_.Settings.DtmfPrivateCode = ToCp1252(text); });
    connect(dbm_, &QLineEdit::textEdited, this,
            [this](const QString& text) { model_.Settings.DbmAtFullScale = ToCp1252(text); });
    const std::pair<QCheckBox*, TOptionsBox> boxes[] = {
        {disableClipping_, TOptionsBox::DisableClipping},
        {alphaOnly_, TOptionsBox::AlphaOnly},
        {forceUppercase_, TOptionsBox::ForceUppercaseName},
        {noFiltering_, TOptionsBox::NoFiltering},
    };
    for (const auto& [box, id] : boxes) {
        connect(box, &QCheckBox::clicked, this,
                [this, id = id](bool checked) { Clicked(id, checked); });
    }
    Refresh();
    adjustSize();
    setMinimumSize(size());
}

void OptionsDialog::Clicked(TOptionsBox box, bool checked) {
    model_.SetChecked(box, checked);
    Refresh();
}

void OptionsDialog::Refresh() {
    const TOptionsSettings& s = model_.Settings;
    const QSignalBlocker b1(amplitude_), b2(clip_), b3(unavailable_), b4(private_), b5(dbm_);
    if (ToCp1252(amplitude_->text()) != s.OptionAmplitude) {
        amplitude_->setText(FromCp1252(s.OptionAmplitude));
    }
    if (ToCp1252(clip_->text()) != s.OptionClip) {
        clip_->setText(FromCp1252(s.OptionClip));
    }
    clip_->setEnabled(s.OptionClipEnabled);
    disableClipping_->setChecked(s.DisableClipping);
    alphaOnly_->setChecked(s.AlphaOnly);
    forceUppercase_->setChecked(s.ForceUppercaseName);
    noFiltering_->setChecked(s.NoFiltering);
    standard_->setCurrentIndex(standard_->findData(static_cast<int>(s.Standard)));
    etsiAlert_->setCurrentIndex(s.EtsiAlert ? 1 : 0);
    dtmfFraming_->setCurrentIndex(dtmfFraming_->findData(static_cast<int>(s.DtmfFraming)));
    for (const auto& [edit, text] :
         {std::pair<QLineEdit*, const Bytes*>{unavailable_, &s.DtmfUnavailableCode},
          {private_, &s.DtmfPrivateCode},
          {dbm_, &s.DbmAtFullScale}}) {
        if (ToCp1252(edit->text()) != *text) {
            edit->setText(FromCp1252(*text));
        }
    }
}

TDialogResult OptionsDialog::Run() {
    Refresh();
    return exec() == QDialog::Accepted ? TDialogResult::Ok : TDialogResult::Cancel;
}

}  // namespace ringlark::ui
