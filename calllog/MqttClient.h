#pragma once

// Publishing to an MQTT broker through libmosquitto, without ever holding up
// the caller: messages wait in a bounded queue (the oldest dropped when it is
// full) until the broker takes them; a lost connection is made again with a
// growing delay (1 s doubling to 60 s). What is published on every connection
// (the birth messages) and the will are given at the start.
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

struct mosquitto;

namespace ringlark {

struct TMqttEndpoint {
    std::string Host;
    int Port = 1883;
};

// "mqtt://host[:port][/]", "host[:port]"; nullopt with the reason in error for
// anything else (credentials in the address are refused: they belong in a file
// or the environment, where ps cannot show them).
std::optional<TMqttEndpoint> ParseMqttUrl(const std::string& url, std::string& error);

struct TMqttMessage {
    std::string Topic, Payload;
    bool Retain = false;
};

class TMqttClient {
  public:
    struct TSettings {
        TMqttEndpoint Endpoint;
        std::string User, Password;  // empty user: none
        std::string ClientId;
        std::optional<TMqttMessage> Will;
        std::vector<TMqttMessage> Birth;  // published at each connection, first
        std::size_t QueueLimit = 100;
    };

    // Starts connecting at once, on a thread of its own. warn: a line for the
    // user (from that thread).
    TMqttClient(TSettings settings, std::function<void(const std::string&)> warn);
    ~TMqttClient();
    TMqttClient(const TMqttClient&) = delete;
    TMqttClient& operator=(const TMqttClient&) = delete;

    // Queued (QoS 1), sent when connected.
    void Publish(TMqttMessage message);
    // Waits at most `seconds` for the queue to be delivered, publishes `last`
    // if given, disconnects. Returns whether everything was delivered.
    bool Finish(double seconds, const std::optional<TMqttMessage>& last);
    std::size_t Dropped() const;

  private:
    static void OnConnect(mosquitto*, void* self, int rc);
    static void OnDisconnect(mosquitto*, void* self, int rc);
    static void OnPublish(mosquitto*, void* self, int mid);
    // With the lock held: hands the queue to libmosquitto while connected.
    void Drain();
    // Until the first connection is made: tries, waits (1 s doubling to 60 s),
    // tries again; then libmosquitto's own thread carries on.
    void Connect();

    TSettings settings_;
    std::function<void(const std::string&)> warn_;
    mosquitto* mosq_ = nullptr;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<TMqttMessage> queue_;
    std::set<int> inFlight_;
    bool connected_ = false, finished_ = false, looping_ = false;
    std::thread connector_;
    int lastRefusal_ = 0;
    std::size_t dropped_ = 0;
};

}  // namespace ringlark
