#pragma once

#include <functional>
#include <optional>
#include <string>

#include "core/Bytes.h"

// The desktop services that the logic calls. The desktop program supplies Qt and
// PortAudio implementations; tests and the command-line tool supply scripted ones.
namespace ringlark {

// A file dialog object. It is created once and keeps every setting and the last
// chosen name between showings: a setting a caller leaves alone keeps whatever
// the previous user of the same dialog put there.
class IFileDialog {
  public:
    virtual ~IFileDialog() = default;

    std::string Title;
    std::string DefaultExt;  // ".WAV": appended to a typed name that has none
    std::string Filter;      // "Description|pattern|Description|pattern"
    std::string InitialDir;
    std::string FileName;  // the chosen path after Execute, offered again next time

    // Shows the dialog modally; true when the user confirms.
    virtual bool Execute() = 0;
};

enum class TDialogAnswer { Yes, No, Cancel };

class INotices {
  public:
    virtual ~INotices() = default;
    virtual void ShowNotice(const std::string& text) = 0;
    virtual TDialogAnswer AskYesNoCancel(const std::string& text) = 0;
};

// The application's general error reporting: a modal box with the error's text.
class IErrorReporter {
  public:
    virtual ~IErrorReporter() = default;
    virtual void ReportError(const std::string& text) = 0;
};

// Plays a complete WAV image synchronously. Returns an explanation when the sound
// could not be played, so that the caller can tell the user; never throws.
class ISoundPlayer {
  public:
    virtual ~ISoundPlayer() = default;
    virtual std::optional<std::string> Play(const Bytes& wavImage) = 0;
};

// A source of samples as they arrive: a sound card's input, a file, a pipe.
class ISoundInput {
  public:
    virtual ~ISoundInput() = default;
    virtual double Rate() const = 0;
    // Waits for up to `count` samples (in -1 to 1) and returns how many came;
    // 0 when the input has ended. Throws RinglarkError when it fails.
    virtual std::size_t Read(float* samples, std::size_t count) = 0;
    // How many times so far samples were lost before a read (the reader was
    // too slow for the device); an input that cannot lose any says 0.
    virtual int Overflows() const { return 0; }
};

// The progress window of a conversion: shown without being modal; each position
// update lets the window system process pending events.
class IProgress {
  public:
    virtual ~IProgress() = default;
    virtual void Begin(const std::string& text, int64_t minimum, int64_t maximum,
                       int64_t position) = 0;
    virtual void Position(int64_t value) = 0;
    virtual void End() = 0;
};

// The main window's tick timer. The toolkit calls Tick every 500 ms; the handler
// can be detached while a generation plays or saves, and ticks then do nothing.
class TTickTimer {
  public:
    static constexpr int IntervalMs = 500;

    void SetHandler(std::function<void()> handler) {
        handler_ = std::move(handler);
        attached_ = true;
    }
    void Detach() { attached_ = false; }
    void Reattach() { attached_ = true; }
    bool Attached() const { return attached_; }
    void Tick() {
        if (attached_ && handler_) {
            handler_();
        }
    }

  private:
    std::function<void()> handler_;
    bool attached_ = false;
};

// Runs one event handler; an error it does not handle itself ends it and is shown
// by the general error reporting, and the program goes on.
void RunHandler(IErrorReporter& reporter, const std::function<void()>& handler);

}  // namespace ringlark
