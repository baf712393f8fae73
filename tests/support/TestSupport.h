#pragma once

#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "core/Bytes.h"
#include "core/Services.h"

#include <functional>

namespace ringlark::test {

// The text of the RinglarkError that the action throws; "(no error)" when it
// throws none.
std::string ErrorOf(const std::function<void()>& action);

// "04 0C 30" -> the three bytes. Spaces are ignored.
Bytes HexBytes(std::string_view hex);
std::string ToHex(std::string_view bytes);

Bytes ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, std::string_view bytes);

// A fresh folder removed with everything in it at the end of the test.
class TTempDir {
  public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

// A file dialog that answers from a script: each Execute takes the next answer
// (a path to confirm, or an empty optional to cancel) and records the settings it
// was shown with.
class TScriptedFileDialog : public IFileDialog {
  public:
    struct Shown {
        std::string Title, DefaultExt, Filter, InitialDir, FileName;
    };
    std::deque<std::optional<std::string>> Answers;
    std::vector<Shown> Showings;

    bool Execute() override;
};

// Notices recorded; each question takes the next scripted answer (Cancel when
// the script has run out, as closing the box would).
class TScriptedNotices : public INotices {
  public:
    std::vector<std::string> Notices;
    std::vector<std::string> Questions;
    std::deque<TDialogAnswer> Answers;
    void ShowNotice(const std::string& text) override { Notices.push_back(text); }
    TDialogAnswer AskYesNoCancel(const std::string& text) override;
};

class TRecordingErrors : public IErrorReporter {
  public:
    std::vector<std::string> Errors;
    void ReportError(const std::string& text) override { Errors.push_back(text); }
};

class TRecordingSound : public ISoundPlayer {
  public:
    std::vector<Bytes> Played;
    std::optional<std::string> Failure;
    std::optional<std::string> Play(const Bytes& wavImage) override {
        Played.push_back(wavImage);
        return Failure;
    }
};

}  // namespace ringlark::test
