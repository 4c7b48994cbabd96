#include "fleet/mqttlink.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <chrono>
#include <cstring>

#include "core/error.h"

namespace zl {
namespace {

std::once_flag g_init;

std::string Why(int rc) {
    if (rc == MOSQ_ERR_ERRNO) return std::strerror(errno);
    return mosquitto_strerror(rc);
}

}  // namespace

MqttLink::MqttLink(const FleetConfig& config, const std::string& clientId) : config_(config) {
    std::call_once(g_init, [] { mosquitto_lib_init(); });
    mosq_ = mosquitto_new(clientId.c_str(), true, this);
    if (!mosq_) throw Error("Cannot create an MQTT client");
    mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    mosquitto_connect_v5_callback_set(mosq_, OnConnect);
    mosquitto_disconnect_v5_callback_set(mosq_, OnDisconnect);
    mosquitto_publish_v5_callback_set(mosq_, OnPublish);
    mosquitto_message_v5_callback_set(mosq_, OnMessage);
    mosquitto_subscribe_v5_callback_set(mosq_, OnSubscribe);
    mosquitto_reconnect_delay_set(mosq_, 1, 30, true);
    if (!config.username.empty()) {
        const std::string password = ReadFleetPassword(config);
        mosquitto_username_pw_set(mosq_, config.username.c_str(), password.empty() ? nullptr : password.c_str());
    }
    if (config.tls) {
        // The broker's certificate must chain to cafile and name the host; there is no plain fallback.
        int rc = mosquitto_tls_set(mosq_, config.cafile.c_str(), nullptr, nullptr, nullptr, nullptr);
        if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_tls_opts_set(mosq_, 1, nullptr, nullptr);
        if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_tls_insecure_set(mosq_, false);
        if (rc != MOSQ_ERR_SUCCESS)
            throw Error(Format("Cannot use CA file \"%s\" for %s: %s", config.cafile.c_str(), config.broker.c_str(),
                               Why(rc).c_str()));
    }
}

MqttLink::~MqttLink() {
    Stop();
    mosquitto_destroy(mosq_);
}

void MqttLink::SetWill(const std::string& topic, const std::string& payload) {
    mosquitto_will_set_v5(mosq_, topic.c_str(), static_cast<int>(payload.size()), payload.data(), 1, true, nullptr);
}

void MqttLink::Start() {
    mosquitto_connect_async(mosq_, config_.host.c_str(), config_.port, config_.keepalive);
    mosquitto_loop_start(mosq_);
    started_ = true;
}

void MqttLink::Connect(int timeoutMs) {
    const std::string hint = config_.tls ? " (is its certificate issued by the cafile and for this host name?)" : "";
    int rc = mosquitto_connect(mosq_, config_.host.c_str(), config_.port, config_.keepalive);
    if (rc != MOSQ_ERR_SUCCESS)
        throw Error(Format("Cannot connect to broker %s: %s%s", config_.broker.c_str(), Why(rc).c_str(),
                           rc == MOSQ_ERR_TLS ? hint.c_str() : ""));
    // Served here until the broker answers, so a failed handshake is reported at once.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (connectResult_ >= 0) break;
        }
        if (std::chrono::steady_clock::now() > deadline)
            throw Error(Format("Broker %s did not answer", config_.broker.c_str()));
        rc = mosquitto_loop(mosq_, 100, 1);
        if (rc != MOSQ_ERR_SUCCESS)
            throw Error(Format("Cannot connect to broker %s: %s%s", config_.broker.c_str(), Why(rc).c_str(),
                               rc == MOSQ_ERR_TLS || rc == MOSQ_ERR_CONN_LOST ? hint.c_str() : ""));
    }
    if (connectResult_ != 0)
        throw Error(Format("Broker %s refused the connection: %s", config_.broker.c_str(),
                           mosquitto_reason_string(connectResult_)));
    mosquitto_loop_start(mosq_);
    started_ = true;
}

void MqttLink::Subscribe(const std::string& pattern, int qos) {
    {
        std::lock_guard lock(mutex_);
        lastPattern_ = pattern;
        lastQos_ = qos;
    }
    mosquitto_subscribe_v5(mosq_, nullptr, pattern.c_str(), qos, 0, nullptr);
}

void MqttLink::WaitRetained(int timeoutMs) {
    std::string pattern;
    int qos;
    {
        std::lock_guard lock(mutex_);
        pattern = lastPattern_;
        qos = lastQos_;
    }
    if (pattern.empty()) return;
    // The same subscription again, asking for no retained messages: only its acknowledgement comes.
    int mid = 0;
    const int rc = mosquitto_subscribe_v5(mosq_, &mid, pattern.c_str(), qos, MQTT_SUB_OPT_SEND_RETAIN_NEVER, nullptr);
    if (rc != MOSQ_ERR_SUCCESS)
        throw Error(Format("Cannot subscribe on %s: %s", config_.broker.c_str(), Why(rc).c_str()));
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return subscribed_.count(mid) != 0; }))
        throw Error(Format("Broker %s did not answer a subscription in time", config_.broker.c_str()));
    subscribed_.erase(mid);
}

int MqttLink::Publish(const std::string& topic, const std::string& payload, bool retain) {
    int mid = 0;
    const int rc = mosquitto_publish_v5(mosq_, &mid, topic.c_str(), static_cast<int>(payload.size()), payload.data(),
                                        1, retain, nullptr);
    if (rc != MOSQ_ERR_SUCCESS)
        throw Error(Format("Cannot publish to %s on %s: %s", topic.c_str(), config_.broker.c_str(), Why(rc).c_str()));
    return mid;
}

void MqttLink::WaitAcknowledged(int mid, int timeoutMs) {
    std::unique_lock lock(mutex_);
    const int drops = disconnects_;
    const bool done = changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return acknowledged_.count(mid) || disconnects_ != drops;
    });
    if (acknowledged_.count(mid)) {
        const int reason = acknowledged_[mid];
        acknowledged_.erase(mid);
        if (reason >= 0x80)
            throw Error(Format("Broker %s refused the message: %s", config_.broker.c_str(), mosquitto_reason_string(reason)));
        return;
    }
    if (!done) throw Error(Format("Broker %s did not confirm the message in time", config_.broker.c_str()));
    throw Error(Format("Connection to broker %s dropped before it confirmed the message", config_.broker.c_str()));
}

void MqttLink::Stop() {
    if (!started_) return;
    started_ = false;
    mosquitto_disconnect_v5(mosq_, 0, nullptr);
    mosquitto_loop_stop(mosq_, false);
}

bool MqttLink::Connected() const {
    std::lock_guard lock(mutex_);
    return connected_;
}

void MqttLink::OnConnect(mosquitto*, void* self, int rc, int, const mqtt5__property*) {
    auto* link = static_cast<MqttLink*>(self);
    {
        std::lock_guard lock(link->mutex_);
        link->connectResult_ = rc;
        link->connected_ = rc == 0;
    }
    link->changed_.notify_all();
    if (rc == 0 && link->onConnected) link->onConnected();
    if (rc != 0 && link->onRefused)
        link->onRefused(Format("Broker %s refused the connection: %s", link->config_.broker.c_str(),
                               mosquitto_reason_string(rc)));
}

void MqttLink::OnDisconnect(mosquitto*, void* self, int, const mqtt5__property*) {
    auto* link = static_cast<MqttLink*>(self);
    {
        std::lock_guard lock(link->mutex_);
        link->connected_ = false;
        ++link->disconnects_;
    }
    link->changed_.notify_all();
    if (link->onDisconnected) link->onDisconnected();
}

void MqttLink::OnPublish(mosquitto*, void* self, int mid, int reason, const mqtt5__property*) {
    auto* link = static_cast<MqttLink*>(self);
    {
        std::lock_guard lock(link->mutex_);
        // Nobody waits on most acknowledgements (state updates); keep the map small.
        if (link->acknowledged_.size() > 1000) link->acknowledged_.erase(link->acknowledged_.begin());
        link->acknowledged_[mid] = reason;
    }
    link->changed_.notify_all();
}

void MqttLink::OnSubscribe(mosquitto*, void* self, int mid, int, const int*, const mqtt5__property*) {
    auto* link = static_cast<MqttLink*>(self);
    {
        std::lock_guard lock(link->mutex_);
        if (link->subscribed_.size() > 1000) link->subscribed_.erase(link->subscribed_.begin());
        link->subscribed_.insert(mid);
    }
    link->changed_.notify_all();
}

void MqttLink::OnMessage(mosquitto*, void* self, const mosquitto_message* message, const mqtt5__property*) {
    auto* link = static_cast<MqttLink*>(self);
    if (!link->onMessage) return;
    try {
        link->onMessage(message->topic, std::string_view(static_cast<const char*>(message->payload),
                                                         static_cast<size_t>(message->payloadlen)));
    } catch (...) {
        // A message the handler cannot take must not end the network thread.
    }
}

}  // namespace zl
