#include "cli/CallLogging.h"

#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <tuple>

#include "cli/CliFormat.h"
#include "cli/Commands.h"
#include "cli/batch/BatchAnalysis.h"
#include "cli/batch/StreamInput.h"
#include "core/FileWriting.h"
#include "core/RinglarkError.h"
#include "monitor/LineListener.h"

namespace ringlark::cli {

TMqttClient::TSettings MqttSettings(const TCallLoggingOptions& options) {
    TMqttClient::TSettings settings;
    std::string error;
    const auto endpoint = ParseMqttUrl(options.Mqtt.value_or(""), error);
    if (!endpoint) {
        throw TUsageError("--mqtt: " + error);
    }
    const std::string& prefix = options.MqttTopic;
    if (prefix.empty() || prefix.find_first_of("#+") != std::string::npos || prefix.back() == '/') {
        throw TUsageError("--mqtt-topic: not a topic prefix: " + prefix);
    }
    settings.Endpoint = *endpoint;
    if (options.MqttCredentials) {
        const std::string text = ReadRegularFile(*options.MqttCredentials, 64 * 1024, "64 KB");
        std::istringstream lines(text);
        std::getline(lines, settings.User);
        std::getline(lines, settings.Password);
        for (std::string* value : {&settings.User, &settings.Password}) {
            if (!value->empty() && value->back() == '\r') {
                value->pop_back();
            }
        }
    } else {
        const char* user = std::getenv("RINGLARK_MQTT_USER");
        const char* password = std::getenv("RINGLARK_MQTT_PASSWORD");
        settings.User = user != nullptr ? user : "";
        settings.Password = password != nullptr ? password : "";
    }
    char host[256] = "";
    gethostname(host, sizeof host - 1);
    settings.ClientId = "ringlark-" + std::string(host) + "-" + std::to_string(getpid());
    settings.Will = TMqttMessage{prefix + "/status", "offline", true};
    settings.Birth.push_back({prefix + "/status", "online", true});
    if (options.MqttDiscovery) {
        for (TMqttMessage& m : DiscoveryMessages(prefix)) {
            settings.Birth.push_back(std::move(m));
        }
    }
    return settings;
}

std::vector<TMqttMessage> DiscoveryMessages(const std::string& prefix) {
    std::string node = "ringlark";
    for (char c : prefix) {
        node += std::isalnum(static_cast<unsigned char>(c)) != 0 ? c : '_';
    }
    const nlohmann::json device = {{"identifiers", {node}},
                                   {"name", "Ringlark caller ID (" + prefix + ")"},
                                   {"model", "ringlark-cli listen"},
                                   {"sw_version", RINGLARK_VERSION}};
    std::vector<TMqttMessage> messages;
    for (const auto& [id, title, field] :
         {std::tuple{"last_caller_number", "Last caller number", "number"},
          std::tuple{"last_caller_name", "Last caller name", "name"},
          std::tuple{"last_caller_contact", "Last caller contact", "contact"}}) {
        const std::string uniqueId = node + "_" + id;
        const nlohmann::json config = {
            {"name", title},
            {"unique_id", uniqueId},
            {"state_topic", prefix + "/last_call"},
            {"value_template", std::string("{{ value_json.") + field + " }}"},
            {"json_attributes_topic", prefix + "/last_call"},
            {"availability_topic", prefix + "/status"},
            {"icon", "mdi:phone-incoming"},
            {"device", device}};
        messages.push_back(
            {"homeassistant/sensor/" + node + "/" + id + "/config", config.dump(), true});
    }
    return messages;
}

std::string CallPayload(const TCallRecord& r) {
    return nlohmann::json{{"time", r.HeardUtc},
                          {"input", r.Input},
                          {"standard", r.Standard},
                          {"kind", r.Kind},
                          {"number", r.Number},
                          {"name", r.Name},
                          {"contact", r.Contact},
                          {"message_time", r.MessageTime},
                          {"number_absent", r.NumberAbsent},
                          {"name_absent", r.NameAbsent},
                          {"checksum", r.Checksum}}
        .dump();
}

TCallLogging::TCallLogging(const TCallLoggingOptions& options) {
    // The MQTT options are checked before any file is made.
    std::optional<TMqttClient::TSettings> mqtt;
    if (options.Mqtt) {
        mqtt = MqttSettings(options);
    }
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
    if (mqtt) {
        mqttTopic_ = options.MqttTopic;
        mqtt_ = std::make_unique<TMqttClient>(std::move(*mqtt), [](const std::string& warning) {
            std::cerr << "ringlark-cli: " << warning << '\n';
        });
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
    // A refused reading is logged (the line sent something) but is no call.
    const bool message = (event.Kind == TStreamEvent::TKind::Message && !event.Message.Failed) ||
                         event.Kind == TStreamEvent::TKind::Dtmf;
    // A log or phone book that fails is said on stderr; listening goes on.
    try {
        if (hasBook_ && message && !record.Uncertain && !record.Number.empty()) {
            record.Contact = book_->NameFor(record.Number).value_or("");
        }
        if (log_) {
            log_->Append(record);
        }
    } catch (const RinglarkError& e) {
        std::cerr << "ringlark-cli: " << e.what() << '\n';
    }
    if (hooks_ && message && !record.Uncertain) {
        hooks_->Start(HookEnvironment(record));
    }
    if (mqtt_ && message && !record.Uncertain) {
        const std::string payload = CallPayload(record);
        mqtt_->Publish({mqttTopic_ + "/call", payload, false});
        mqtt_->Publish({mqttTopic_ + "/last_call", payload, true});
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
    // What the broker has not taken after 5 s is lost, and said so.
    if (mqtt_ && !mqtt_->Finish(5, TMqttMessage{mqttTopic_ + "/status", "offline", true})) {
        std::cerr << "ringlark-cli: MQTT: not every call reached the broker\n";
    }
    mqtt_.reset();
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
        TLineListener listener(*input, nullptr, true);
        logging.BeginInput(file, std::chrono::system_clock::now());
        bool anyMessage = false;
        listener.OnEvent = [&](const TStreamEvent& event) {
            // (a refused reading counts: the analysis below would read it again)
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
