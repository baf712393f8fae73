#include "cli/batch/BatchAnalysis.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

#include "analyst/AnalystTab.h"
#include "analyst/WaveformViewer.h"
#include "cli/CliFormat.h"
#include "cli/batch/AnyFormat.h"
#include "cli/batch/RecordingScan.h"
#include "core/Cp1252.h"
#include "core/FileWriting.h"
#include "core/NullServices.h"
#include "core/RinglarkError.h"
#include "decoding/fsk/CorrelationDecoder.h"
#include "inspection/Inspector.h"

namespace ringlark::cli {

namespace {

namespace fs = std::filesystem;

bool IsRecording(const fs::path& path, bool anyFormat) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".wav") {
        return true;
    }
    return anyFormat && (extension == ".flac" || extension == ".ogg" || extension == ".aif" ||
                         extension == ".aiff" || extension == ".au" || extension == ".caf" ||
                         extension == ".w64");
}

// A loader notice (a refused file) becomes the file's error.
class TCapturedNotices : public INotices {
  public:
    std::string Text;
    void ShowNotice(const std::string& text) override {
        Text = text;
        for (std::size_t at; (at = Text.find("\r\n")) != std::string::npos;) {
            Text.replace(at, 2, " ");
        }
    }
    TDialogAnswer AskYesNoCancel(const std::string&) override { return TDialogAnswer::Cancel; }
};

nlohmann::json MessagesJson(const std::vector<TCorrMessage>& messages) {
    nlohmann::json out = nlohmann::json::array();
    for (const auto& m : messages) {
        out.push_back({{"seconds", m.Seconds},
                       {"tag", m.Tag()},
                       {"bytes", HexString(m.Message)},
                       {"fields", FieldsText(m.Message, m.Standard)},
                       {"quality", std::round(m.Quality * 1000) / 1000}});
    }
    return out;
}

}  // namespace

std::vector<std::string> ExpandInputs(const std::vector<std::string>& names, bool recursive,
                                      bool anyFormat, TSkipped* skipped) {
    TSkipped unused;
    TSkipped& notTaken = skipped != nullptr ? *skipped : unused;
    std::vector<std::string> files;
    for (const auto& name : names) {
        std::error_code error;
        if (!fs::is_directory(name, error)) {
            files.push_back(name);
            continue;
        }
        std::vector<std::string> found;
        const auto take = [&](const fs::directory_entry& entry) {
            std::error_code e;
            if (entry.is_regular_file(e) && IsRecording(entry.path(), anyFormat)) {
                found.push_back(entry.path().string());
            } else if (entry.is_directory(e)) {
                notTaken.Folders += recursive ? 0 : 1;
            } else {
                ++notTaken.Files;
                notTaken.AnyFormat += IsRecording(entry.path(), true) ? 1 : 0;
            }
        };
        if (recursive) {
            for (fs::recursive_directory_iterator it(
                     name, fs::directory_options::skip_permission_denied, error);
                 !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
                take(*it);
            }
        } else {
            for (fs::directory_iterator it(name, error); !error && it != fs::directory_iterator();
                 it.increment(error)) {
                take(*it);
            }
        }
        std::sort(found.begin(), found.end());
        files.insert(files.end(), found.begin(), found.end());
    }
    return files;
}

std::string NothingToAnalyse(const std::vector<std::string>& names, const TSkipped& skipped) {
    std::string folders;
    for (const auto& name : names) {
        folders += (folders.empty() ? "" : ", ") + name;
    }
    std::string why;
    const auto add = [&why](const std::string& part) { why += (why.empty() ? "" : "; ") + part; };
    if (skipped.AnyFormat > 0) {
        add(std::to_string(skipped.AnyFormat) + " skipped: not .wav; add --any-format");
    }
    if (skipped.Files > skipped.AnyFormat) {
        add(std::to_string(skipped.Files - skipped.AnyFormat) + " skipped: not recordings");
    }
    if (skipped.Folders > 0) {
        add(std::to_string(skipped.Folders) + " sub-folder" + (skipped.Folders > 1 ? "s" : "") +
            ": add --recursive");
    }
    return "ringlark-cli: no files to analyse in " + folders + " (" +
           (why.empty() ? "nothing in it" : why) + ")";
}

TBatchResult AnalyzeOneFile(const std::string& file, bool anyFormat) {
    TBatchResult result;
    result.File = file;
    try {
        std::vector<TCorrMessage> messages;
        TAutoResult automatic;
        if (anyFormat) {
            automatic = ScanFirstMessage(file, "", &messages);
        } else if (const auto inBlocks = AnalyzeImageFile(file, true)) {
            automatic = *inBlocks;
            if (automatic.MethodTag != "DTMF") {
                TScanSettings settings;
                settings.Parts = PartsFor(automatic.MethodTag == "V23" ? "etsi" : "bell");
                settings.Parts.Dtmf = false;
                settings.IncludeUncertain = false;
                ScanRecording(file, settings, [&messages](TStreamEvent&& event) {
                    if (event.Kind == TStreamEvent::TKind::Message) {
                        messages.push_back(std::move(event.Message));
                    }
                    return true;
                });
            }
        } else {
            TCancelledFileDialog dialog;
            TCapturedNotices notices;
            TNoProgress progress;
            TSilentSound sound;
            TWaveformViewer viewer(dialog, notices, progress, sound);
            // "-": standard input, read to its end as a single analysis reads it
            const TLoadResult loaded =
                file == "-" ? viewer.LoadFileBytes(ReadStream(
                                  STDIN_FILENO, "(standard input)",
                                  static_cast<std::size_t>(loader::MaxImageSize), "2 GB"))
                            : viewer.LoadWAV(file);
            if (loaded != TLoadResult::Loaded) {
                result.Error = notices.Text.empty() ? "refused" : notices.Text;
                return result;
            }
            TPlainAnalystHost host;
            TAnalystTab tab(host, viewer, dialog);
            tab.ReportLoadedImage();
            automatic = tab.LastResult;
            // the messages of the standard found (Bell 202 unless another was)
            if (automatic.MethodTag != "DTMF") {
                messages =
                    TCorrelationDecoder::For(automatic.MethodTag == "V23" ? TCidStandard::EtsiV23
                                                                          : TCidStandard::Bell202)
                        .DecodeImage(viewer.LoadedImage);
            }
        }
        const bool failed = automatic.Failed();
        result.Tag = failed ? "FAIL" : Bytes(automatic.MethodTag);
        result.Bytes = HexString(failed ? automatic.ZeroCrossingText() : automatic.Text);
        result.Checksum = automatic.Checked();
        result.Messages = MessagesJson(messages);
        result.Status = result.Checksum ? TBatchStatus::Decoded : TBatchStatus::NotUnderstood;
    } catch (const std::exception& e) {
        result.Status = TBatchStatus::Failed;
        result.Error = e.what();
    }
    return result;
}

void AnalyzeBatch(const std::vector<std::string>& files, unsigned jobs, bool anyFormat,
                  const std::function<void(const TBatchResult&, std::size_t done)>& report) {
    std::vector<TBatchResult> results(files.size());
    std::vector<bool> ready(files.size(), false);
    std::mutex mutex;
    std::condition_variable changed;
    std::atomic<std::size_t> next{0};
    const auto worker = [&] {
        for (std::size_t i; (i = next++) < files.size();) {
            TBatchResult result = AnalyzeOneFile(files[i], anyFormat);
            const std::lock_guard lock(mutex);
            results[i] = std::move(result);
            ready[i] = true;
            changed.notify_all();
        }
    };
    std::vector<std::thread> threads;
    const unsigned count = std::max(1u, std::min<unsigned>(jobs, files.size()));
    for (unsigned t = 0; t < count; ++t) {
        threads.emplace_back(worker);
    }
    // Results are handed on in order, each as soon as it and those before it are in.
    for (std::size_t i = 0; i < files.size(); ++i) {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return ready[i]; });
        TBatchResult result = std::move(results[i]);
        lock.unlock();
        report(result, i + 1);
    }
    for (auto& thread : threads) {
        thread.join();
    }
}

std::string BatchLine(const TBatchResult& result, bool json) {
    if (json) {
        nlohmann::json out;
        PutFileName(out, "file", result.File);
        out["status"] = result.Status == TBatchStatus::Decoded         ? "decoded"
                        : result.Status == TBatchStatus::NotUnderstood ? "not understood"
                                                                       : "error";
        if (result.Status == TBatchStatus::Failed) {
            out["error"] = Cp1252ToUtf8(Utf8ToCp1252(result.Error));
        } else {
            out["tag"] = result.Tag;
            out["bytes"] = result.Bytes;
            out["checksum"] = result.Checksum;
            out["messages"] = result.Messages;
        }
        return out.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    }
    std::string file;
    for (char c : result.File) {
        file += c == '\n' ? "\\n" : c == '\r' ? "\\r" : std::string(1, c);
    }
    if (result.Status == TBatchStatus::Failed) {
        return file + ": error: " + result.Error;
    }
    std::string line = file + ": " + result.Tag;
    if (!result.Bytes.empty()) {
        line += " " + result.Bytes;
    }
    return line;
}

}  // namespace ringlark::cli
