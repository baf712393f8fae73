#include "app/ui/QtServices.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QMessageBox>
#include <QStringList>
#include <QUrl>

#include "core/Cp1252.h"

namespace ringlark::ui {

QString FromCp1252(const Bytes& text) {
    return QString::fromStdString(Cp1252ToUtf8(text));
}
Bytes ToCp1252(const QString& text) {
    return Utf8ToCp1252(text.toStdString());
}
QString FromPath(const Bytes& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}
Bytes ToPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

namespace {

QString Shown(const std::string& text) {
    QString shown = QString::fromStdString(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}

}  // namespace

QString QtFilter(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            patterns << (pattern == QStringLiteral("*.*") ? QStringLiteral("*") : pattern);
        }
        const QString& description = parts[i];
        // The dialog matches names without regard to case (its filter has no
        // QDir::CaseSensitive), so a description that names its patterns is
        // shown as the program names it: "WAV Files (*.WAV)". "*.*" would miss
        // names without a dot, so "All Files" shows "*".
        if (description.contains(QLatin1Char('(')) && !patterns.contains(QStringLiteral("*"))) {
            // Qt reads the patterns in the parentheses, separated by spaces:
            // "(*.WAV;*.FLAC)" is shown as "(*.WAV *.FLAC)".
            QString shown = description;
            const qsizetype open = shown.lastIndexOf(QLatin1Char('('));
            shown.replace(open, shown.size() - open,
                          shown.mid(open).replace(QLatin1Char(';'), QLatin1Char(' ')));
            entries << shown;
        } else {
            QString name = description;
            const qsizetype paren = name.indexOf(QLatin1String(" ("));
            if (paren >= 0) {
                name.truncate(paren);
            }
            entries << QStringLiteral("%1 (%2)").arg(name, patterns.join(QLatin1Char(' ')));
        }
    }
    return entries.join(QStringLiteral(";;"));
}

bool TQtFileDialog::Execute() {
    QFileDialog dialog(parent_, QString::fromStdString(Title));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);  // the callers ask themselves
    dialog.setAcceptMode(mode_ == Mode::Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(mode_ == Mode::Save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilter(QtFilter(Filter));
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
    QString suffix = QString::fromStdString(DefaultExt);
    if (suffix.startsWith(QLatin1Char('.'))) {
        suffix.remove(0, 1);
    }
    dialog.setDefaultSuffix(suffix);
    QString folder = FromPath(InitialDir);
    if (folder.isEmpty() || folder == QStringLiteral(".\\") || folder == QStringLiteral("./")) {
        folder = QDir::currentPath();
    }
    dialog.setDirectory(folder);
    if (!FileName.empty()) {
        dialog.selectFile(FromPath(FileName));
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return false;
    }
    FileName = ToPath(QFileInfo(dialog.selectedFiles().front()).absoluteFilePath());
    return true;
}

void TQtNotices::ShowNotice(const std::string& text) {
    QMessageBox::information(parent_, QApplication::applicationName(), Shown(text));
}

TDialogAnswer TQtNotices::AskYesNoCancel(const std::string& text) {
    switch (QMessageBox::warning(parent_, QApplication::applicationName(), Shown(text),
                                 QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                 QMessageBox::Cancel)) {
        case QMessageBox::Yes:
            return TDialogAnswer::Yes;
        case QMessageBox::No:
            return TDialogAnswer::No;
        default:
            return TDialogAnswer::Cancel;
    }
}

void TQtErrorReporter::ReportError(const std::string& text) {
    QMessageBox::critical(parent_, QApplication::applicationName(), Shown(text));
}

void TQtShell::Open(const std::string& target) {
    QDesktopServices::openUrl(QUrl(QString::fromStdString(target)));
}

int TQtMetrics::TextWidth(std::string_view text) {
    return QFontMetrics(font_).horizontalAdvance(QString::fromStdString(std::string(text)));
}

std::optional<std::string> TBlockingSound::Play(const Bytes& wavImage) {
    const QWidgetList windows = QApplication::topLevelWidgets();
    std::vector<QWidget*> disabled;
    for (QWidget* window : windows) {
        if (window->isEnabled()) {
            window->setEnabled(false);
            disabled.push_back(window);
        }
    }
    auto result = player_.Play(wavImage);
    // Input that arrived while playing reaches disabled windows and is dropped.
    QApplication::processEvents();
    for (QWidget* window : disabled) {
        window->setEnabled(true);
    }
    return result;
}

bool TLateParameterDialog::Execute() {
    if (Target == nullptr) {
        return false;
    }
    Target->Title = Title;
    Target->Input = Input;
    const bool confirmed = Target->Execute();
    Input = Target->Input;
    return confirmed;
}

}  // namespace ringlark::ui
