#pragma once

#include <QFont>
#include <QString>
#include <QWidget>

#include "analyst/WavLoader.h"
#include "app/About.h"
#include "app/MainWindowModel.h"
#include "core/Services.h"

// The desktop services for real: Qt dialogs and message boxes.
namespace ringlark::ui {

// Texts of the program are Windows-1252 byte strings; file paths are the file
// system's bytes.
QString FromCp1252(const Bytes& text);
Bytes ToCp1252(const QString& text);
QString FromPath(const Bytes& path);
Bytes ToPath(const QString& path);

// "WAV Files (*.WAV)|*.WAV|All Files (*.*)|*.*" as a Qt filter list, each
// description as the program names it ("WAV Files (*.WAV)", "All Files (*)");
// the dialogs match the patterns whatever the names' case.
QString QtFilter(const std::string& filter);

class TQtFileDialog : public IFileDialog {
  public:
    enum class Mode { Open, Save };
    TQtFileDialog(Mode mode, QWidget* parent) : mode_(mode), parent_(parent) {}
    bool Execute() override;
    void SetParent(QWidget* parent) { parent_ = parent; }

  private:
    Mode mode_;
    QWidget* parent_;
};

class TQtNotices : public INotices {
  public:
    explicit TQtNotices(QWidget* parent) : parent_(parent) {}
    void ShowNotice(const std::string& text) override;
    TDialogAnswer AskYesNoCancel(const std::string& text) override;
    void SetParent(QWidget* parent) { parent_ = parent; }

  private:
    QWidget* parent_;
};

class TQtErrorReporter : public IErrorReporter {
  public:
    explicit TQtErrorReporter(QWidget* parent) : parent_(parent) {}
    void ReportError(const std::string& text) override;
    void SetParent(QWidget* parent) { parent_ = parent; }

  private:
    QWidget* parent_;
};

class TQtShell : public IShell {
  public:
    void Open(const std::string& target) override;
};

class TQtMetrics : public ITextMetrics {
  public:
    explicit TQtMetrics(QFont font) : font_(std::move(font)) {}
    int TextWidth(std::string_view text) override;

  private:
    QFont font_;
};

// Plays through PortAudio. While the sound plays, every window of the program
// is disabled, so that input that arrives meanwhile is dropped instead of
// starting a command once the sound has ended.
class TBlockingSound : public ISoundPlayer {
  public:
    explicit TBlockingSound(ISoundPlayer& player) : player_(player) {}
    std::optional<std::string> Play(const Bytes& wavImage) override;

  private:
    ISoundPlayer& player_;
};

// Forwards to a parameter dialog created later in the start sequence.
class TLateParameterDialog : public IParameterDialog {
  public:
    IParameterDialog* Target = nullptr;
    bool Execute() override;
};

// Forwards to the progress window, created later in the start sequence.
class TLateProgress : public IProgress {
  public:
    IProgress* Target = nullptr;
    void Begin(const std::string& text, int64_t minimum, int64_t maximum,
               int64_t position) override {
        if (Target != nullptr) {
            Target->Begin(text, minimum, maximum, position);
        }
    }
    void Position(int64_t value) override {
        if (Target != nullptr) {
            Target->Position(value);
        }
    }
    void End() override {
        if (Target != nullptr) {
            Target->End();
        }
    }
};

}  // namespace ringlark::ui
