#include "cli/CallLogging.h"

#include <atomic>
#include <iostream>

#include "cli/CliFormat.h"
#include "cli/batch/BatchAnalysis.h"
#include "cli/batch/StreamInput.h"
#include "core/RinglarkError.h"
#include "monitor/LineListener.h"

namespace ringlark::cli {

TCallLogging::TCallLogging(const TCallLoggingOptions& options) {
    if (options.Log) {
        log_ = std::make_unique<TCallLog>(*options.Log, true);
    }
    TCallLog* bookFile = log_.get();
    if (options.Book && (!options.Log || *options.Book != *options.Log)) {
        bookLog_ = std::make_unique<TCallLog>(*options.Book, false);
        bookFile = bookLog_.get();
    }
    if (bookFile != nullptr) {
        book_ = std::make_unique<TPhoneBook>(*bookFile);
        hasBook_ = !book_->Empty();
    }
    if (!options.Exec.empty()) {
        hooks_ = std::make_unique<THookRunner>(
            options.Exec, options.ExecTimeout,
            [](const std::string& warning) { std::cerr << "ringlark-cli: " << warning << '\n'; });
    }
}

TCallLogging::~TCallLogging() {
    Finish();
}

void TCallLogging::BeginInput(const std::string& input,
                              std::chrono::system_clock::time_point start) {
    recorder_ = std::make_unique<TCallRecorder>(input, start);
    input_ = input;
    start_ = start;
}

void TCallLogging::TakeReading(const Bytes& message, const std::string& tag) {
    TCallRecord record;
    record.HeardUtc = UtcText(start_);
    record.Input = input_;
    record.Standard = tag == "V23" ? "etsi" : "bell202";
    record.Raw = message;
    PutMessageFields(record, message);
    record.Details = "read by the automatic analysis only (" + tag + ")";
    if (hasBook_ && record.Checksum == "ok" && !record.Number.empty()) {
        record.Contact = book_->NameFor(record.Number).value_or("");
    }
    if (log_) {
        log_->Append(record);
    }
}

TCallRecord TCallLogging::Take(const TStreamEvent& event) {
    TCallRecord record = recorder_->Record(event);
    const bool message =
        event.Kind == TStreamEvent::TKind::Message || event.Kind == TStreamEvent::TKind::Dtmf;
    if (hasBook_ && message && !record.Uncertain && !record.Number.empty()) {
        record.Contact = book_->NameFor(record.Number).value_or("");
    }
    if (log_) {
        try {
            log_->Append(record);
        } catch (const RinglarkError& e) {
            std::cerr << "ringlark-cli: " << e.what() << '\n';
        }
    }
    if (hooks_ && message && !record.Uncertain) {
        hooks_->Start(HookEnvironment(record));
    }
    return record;
}

std::string TCallLogging::ContactText(const TCallRecord& record) const {
    return record.Contact.empty() ? "" : " | Contact: " + record.Contact;
}

void TCallLogging::PutContactJson(nlohmann::json& entry, const TCallRecord& record) const {
    if (hasBook_) {
        entry["contact"] =
            record.Contact.empty() ? nlohmann::json() : nlohmann::json(record.Contact);
    }
}

void TCallLogging::Finish() {
    if (hooks_) {
        hooks_->Finish();
    }
}

void LogRecordings(const std::vector<std::string>& files, const std::string& log, bool anyFormat) {
    TCallLoggingOptions options;
    options.Log = log;
    TCallLogging logging(options);
    const std::atomic<bool> never{false};
    for (const std::string& file : files) {
        std::unique_ptr<TSoundFileInput> input;
        try {
            input = std::make_unique<TSoundFileInput>(file);
        } catch (const RinglarkError&) {
            continue;  // its analysis said why
        }
        TLineListener listener(*input, nullptr);
        logging.BeginInput(file, std::chrono::system_clock::now());
        bool anyMessage = false;
        listener.OnEvent = [&](const TStreamEvent& event) {
            anyMessage = anyMessage || event.Kind == TStreamEvent::TKind::Message ||
                         event.Kind == TStreamEvent::TKind::Dtmf;
            logging.Take(event);
        };
        listener.Run(never);
        if (anyMessage) {
            continue;
        }
        const TBatchResult analysed = AnalyzeOneFile(file, anyFormat);
        std::string error;
        const std::optional<Bytes> read = ParseHexArguments({analysed.Bytes}, error);
        if (analysed.Error.empty() && analysed.Tag != "DTMF" && read && !read->empty()) {
            logging.TakeReading(*read, analysed.Tag);
        }
    }
}

}  // namespace ringlark::cli
