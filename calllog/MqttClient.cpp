#include "calllog/MqttClient.h"

#include <mosquitto.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

namespace ringlark {

std::optional<TMqttEndpoint> ParseMqttUrl(const std::string& url, std::string& error) {
    std::string rest = url;
    if (rest.rfind("mqtt://", 0) == 0) {
        rest.erase(0, 7);
    } else if (rest.find("://") != std::string::npos) {
        error = "only mqtt:// addresses are supported: " + url;
        return std::nullopt;
    }
    if (!rest.empty() && rest.back() == '/') {
        rest.pop_back();
    }
    if (rest.find('@') != std::string::npos) {
        error =
            "give the MQTT user and password in a file (--mqtt-credentials) or in "
            "RINGLARK_MQTT_USER and RINGLARK_MQTT_PASSWORD, not in the address";
        return std::nullopt;
    }
    TMqttEndpoint endpoint;
    const auto colon = rest.rfind(':');
    endpoint.Host = rest.substr(0, colon);
    if (colon != std::string::npos) {
        const std::string port = rest.substr(colon + 1);
        char* end = nullptr;
        const long value = std::strtol(port.c_str(), &end, 10);
        if (port.empty() || *end != '\0' || value < 1 || value > 65535) {
            error = "not a port: " + port;
            return std::nullopt;
        }
        endpoint.Port = static_cast<int>(value);
    }
    if (endpoint.Host.empty() || endpoint.Host.find('/') != std::string::npos) {
        error = "not an MQTT address: " + url;
        return std::nullopt;
    }
    return endpoint;
}

TMqttClient::TMqttClient(TSettings settings, std::function<void(const std::string&)> warn)
    : settings_(std::move(settings)), warn_(std::move(warn)) {
    mosquitto_lib_init();
    mosq_ = mosquitto_new(settings_.ClientId.c_str(), true, this);
    if (mosq_ == nullptr) {
        warn_("MQTT: out of memory");
        return;
    }
    mosquitto_connect_callback_set(mosq_, OnConnect);
    mosquitto_disconnect_callback_set(mosq_, OnDisconnect);
    mosquitto_publish_callback_set(mosq_, OnPublish);
    mosquitto_reconnect_delay_set(mosq_, 1, 60, true);
    if (!settings_.User.empty()) {
        mosquitto_username_pw_set(mosq_, settings_.User.c_str(), settings_.Password.c_str());
    }
    if (settings_.Will) {
        const TMqttMessage& will = *settings_.Will;
        mosquitto_will_set(mosq_, will.Topic.c_str(), static_cast<int>(will.Payload.size()),
                           will.Payload.data(), 1, will.Retain);
    }
    connector_ = std::thread([this] { Connect(); });
}

void TMqttClient::Connect() {
    std::chrono::duration<double> delay(1);
    for (;;) {
        const int rc =
            mosquitto_connect(mosq_, settings_.Endpoint.Host.c_str(), settings_.Endpoint.Port, 30);
        std::unique_lock lock(mutex_);
        if (rc == MOSQ_ERR_SUCCESS && !finished_) {
            if (mosquitto_loop_start(mosq_) == MOSQ_ERR_SUCCESS) {
                looping_ = true;
            } else {
                warn_("MQTT: the network thread could not be started");
            }
            return;
        }
        if (changed_.wait_for(lock, delay, [&] { return finished_; })) {
            return;
        }
        delay = std::min(delay * 2, std::chrono::duration<double>(60));
    }
}

TMqttClient::~TMqttClient() {
    if (mosq_ != nullptr) {
        if (!finished_) {
            Finish(0, std::nullopt);
        }
        mosquitto_destroy(mosq_);
    }
    mosquitto_lib_cleanup();
}

void TMqttClient::OnConnect(mosquitto*, void* self, int rc) {
    auto* client = static_cast<TMqttClient*>(self);
    std::lock_guard lock(client->mutex_);
    if (rc != 0) {
        if (rc != client->lastRefusal_) {
            client->warn_("MQTT: the broker refused the connection: " +
                          std::string(mosquitto_connack_string(rc)));
        }
        client->lastRefusal_ = rc;
        return;
    }
    client->lastRefusal_ = 0;
    client->connected_ = true;
    // each connection starts with them, before what waits
    client->queue_.insert(client->queue_.begin(), client->settings_.Birth.begin(),
                          client->settings_.Birth.end());
    client->Drain();
    client->changed_.notify_all();
}

void TMqttClient::OnDisconnect(mosquitto*, void* self, int) {
    auto* client = static_cast<TMqttClient*>(self);
    std::lock_guard lock(client->mutex_);
    client->connected_ = false;
    client->changed_.notify_all();
}

void TMqttClient::OnPublish(mosquitto*, void* self, int mid) {
    auto* client = static_cast<TMqttClient*>(self);
    std::lock_guard lock(client->mutex_);
    client->inFlight_.erase(mid);
    client->changed_.notify_all();
}

void TMqttClient::Drain() {
    while (connected_ && !queue_.empty()) {
        const TMqttMessage& m = queue_.front();
        int mid = 0;
        const int rc =
            mosquitto_publish(mosq_, &mid, m.Topic.c_str(), static_cast<int>(m.Payload.size()),
                              m.Payload.data(), 1, m.Retain);
        if (rc != MOSQ_ERR_SUCCESS) {
            return;  // kept for the next connection
        }
        inFlight_.insert(mid);
        queue_.pop_front();
    }
}

void TMqttClient::Publish(TMqttMessage message) {
    std::lock_guard lock(mutex_);
    if (mosq_ == nullptr || finished_) {
        return;
    }
    if (queue_.size() >= settings_.QueueLimit) {
        queue_.pop_front();
        if (dropped_++ == 0) {
            warn_("MQTT: the broker is not taking messages; the oldest waiting are dropped");
        }
    }
    queue_.push_back(std::move(message));
    Drain();
}

std::size_t TMqttClient::Dropped() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

bool TMqttClient::Finish(double seconds, const std::optional<TMqttMessage>& last) {
    if (mosq_ == nullptr) {
        return false;
    }
    std::unique_lock lock(mutex_);
    if (finished_) {
        return queue_.empty() && inFlight_.empty();
    }
    if (last) {
        queue_.push_back(*last);
        Drain();
    }
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(seconds));
    changed_.wait_until(lock, deadline, [&] { return queue_.empty() && inFlight_.empty(); });
    const bool delivered = queue_.empty() && inFlight_.empty();
    finished_ = true;
    changed_.notify_all();
    lock.unlock();
    if (connector_.joinable()) {
        connector_.join();
    }
    lock.lock();
    const bool connected = connected_, looping = looping_;
    lock.unlock();
    mosquitto_disconnect(mosq_);
    if (looping) {
        // Not connected, the thread may be waiting to try again: stopped at once.
        mosquitto_loop_stop(mosq_, !connected);
    }
    return delivered;
}

}  // namespace ringlark
