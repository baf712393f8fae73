#pragma once

#include "core/Services.h"

// Services for runs with nobody to ask: the command-line tool, benchmarks and
// fuzzers. A dialog is always cancelled, a notice is dropped, a question is
// answered Cancel, nothing is played, progress is not shown.
namespace ringlark {

class TCancelledFileDialog : public IFileDialog {
  public:
    bool Execute() override { return false; }
};

class TSilentNotices : public INotices {
  public:
    void ShowNotice(const std::string&) override {}
    TDialogAnswer AskYesNoCancel(const std::string&) override { return TDialogAnswer::Cancel; }
};

class TSilentSound : public ISoundPlayer {
  public:
    std::optional<std::string> Play(const Bytes&) override { return std::nullopt; }
};

class TNoProgress : public IProgress {
  public:
    void Begin(const std::string&, int64_t, int64_t, int64_t) override {}
    void Position(int64_t) override {}
    void End() override {}
};

}  // namespace ringlark
