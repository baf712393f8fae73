#pragma once

// What listen and analyze do with each event besides printing it: the row in
// the call log, the contact's name from the phone book, and the hook.
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "calllog/CallHook.h"
#include "calllog/CallLog.h"
#include "calllog/MqttClient.h"
#include "calllog/PhoneBook.h"

namespace ringlark::cli {

struct TCallLoggingOptions {
    std::optional<std::string> Log;   // the log file; none: no log
    std::optional<std::string> Book;  // the phone book's file; none: the log's, if any
    std::string Exec;                 // the hook; empty: none
    double ExecTimeout = 10;
    std::optional<std::string> Mqtt;             // the broker's address; none: no MQTT
    std::optional<std::string> MqttCredentials;  // user and password, a line each
    std::string MqttTopic = "ringlark";
    bool MqttDiscovery = true;  // Home Assistant's discovery configurations
};

// The MQTT settings the options give: the address checked (a TUsageError),
// the credentials read from their file or RINGLARK_MQTT_USER and
// RINGLARK_MQTT_PASSWORD, the will and birth messages.
TMqttClient::TSettings MqttSettings(const TCallLoggingOptions& options);
// Home Assistant's discovery configurations for the topic prefix.
std::vector<TMqttMessage> DiscoveryMessages(const std::string& prefix);
// A call as published: its fields as JSON.
std::string CallPayload(const TCallRecord& record);

class TCallLogging {
  public:
    explicit TCallLogging(const TCallLoggingOptions& options);
    ~TCallLogging();

    // A new input begins now (its first sample heard at `start`).
    void BeginInput(const std::string& input, std::chrono::system_clock::time_point start);
    // Logs the event and starts its hook; returns its row. A row that cannot be
    // written is reported on stderr and listening goes on.
    TCallRecord Take(const TStreamEvent& event);
    // A message the automatic analysis read (tag: its method) at the start of
    // the input, logged as read.
    void TakeReading(const Bytes& message, const std::string& tag);
    // Whether a phone book with entries is in use: lines and JSON get the contact.
    bool HasPhoneBook() const { return hasBook_; }
    // Whether events are written to a call log.
    bool Logs() const { return log_ != nullptr; }
    // " | Contact: NAME" for a message of a known number; empty otherwise.
    std::string ContactText(const TCallRecord& record) const;
    // "contact": the name or null, when a phone book is in use.
    void PutContactJson(nlohmann::json& entry, const TCallRecord& record) const;
    // Waits for the hooks still running.
    void Finish();

  private:
    std::unique_ptr<TCallLog> log_, bookLog_;
    std::unique_ptr<TPhoneBook> book_;
    bool hasBook_ = false;
    std::unique_ptr<TCallRecorder> recorder_;
    std::unique_ptr<THookRunner> hooks_;
    std::unique_ptr<TMqttClient> mqtt_;
    std::string mqttTopic_;
    std::string input_;
    std::chrono::system_clock::time_point start_;
};

// Each recording streamed as listen reads it, its events added to the log
// (the file's name as the input). A file in which that finds no message but
// the automatic analysis reads one (a message failing its checksum, or one
// only methods 1 and 2 read) adds that reading, marked. A file that cannot be
// read adds nothing.
void LogRecordings(const std::vector<std::string>& files, const std::string& log, bool anyFormat);

}  // namespace ringlark::cli
