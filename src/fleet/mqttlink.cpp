#include "fleet/mqttlink.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <chrono>
#include <cstring>
#include <openssl/err.h>
#include <utility>

#include "core/error.h"

namespace zl {
namespace {

std::once_flag g_init;
thread_local MessageInfo t_received;

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
    // Publishing from other threads wakes this loop rather than writing on its socket.
    mosquitto_threaded_set(mosq_, true);
    started_ = true;
    thread_ = std::thread([this] { Run(); });
}

bool MqttLink::EverConnected() const {
    std::lock_guard lock(mutex_);
    return ever_;
}

void MqttLink::Run() {
    // libmosquitto's own loop ends for good on a TLS error and retries a refused connection
    // without a word; this one keeps trying and says why each attempt failed.
    int delay = 1;
    int takeoverDelay = 10;
    int shortSessions = 0;
    const std::string hint = config_.tls ? " (is the broker's certificate issued by the cafile and for this host name?)"
                                         : " (if the port wants TLS, use mqtts://)";
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stopRequested_) return;
            connectResult_ = -1;
        }
        // Not blocking: a stop never waits on a broker that does not answer.
        int rc = mosquitto_connect_async(mosq_, config_.host.c_str(), config_.port, config_.keepalive);
        int failedErrno = errno;
        const auto began = std::chrono::steady_clock::now();
        if (rc == MOSQ_ERR_SUCCESS) {
            for (;;) {
                {
                    std::lock_guard lock(mutex_);
                    if (stopRequested_) break;
                }
                rc = mosquitto_loop(mosq_, 500, 1);
                failedErrno = errno;
                if (rc != MOSQ_ERR_SUCCESS) break;
                if (onTick && Connected()) onTick();
            }
        }
        int answered;
        bool takenOver;
        {
            std::lock_guard lock(mutex_);
            if (stopRequested_) return;
            answered = connectResult_;
            takenOver = std::exchange(takenOver_, false);
        }
        if (answered == 0) delay = 1;  // it was up: start the back-off over
        // Some brokers drop the older of two connections with one client id without saying why:
        // sessions ended by the broker within seconds, again and again, are the same thing.
        if (answered == 0 && std::chrono::steady_clock::now() - began < std::chrono::seconds(5))
            ++shortSessions;
        else if (answered == 0)
            shortSessions = 0;
        if (shortSessions >= 3 && !takenOver) {
            takenOver = true;
            shortSessions = 0;
            if (onTakenOver) onTakenOver();
        }
        if (takenOver) {
            delay = std::max(delay, takeoverDelay);
            takeoverDelay = std::min(takeoverDelay * 2, 600);
        } else if (answered < 0 && onRefused) {
            // No answer to the connect: unreachable, TLS failed, or not an MQTT broker there.
            std::string why = rc == MOSQ_ERR_CONN_LOST || rc == MOSQ_ERR_NO_CONN ? "the connection was closed before the broker answered"
                              : (rc == MOSQ_ERR_ERRNO || rc == MOSQ_ERR_UNKNOWN) && failedErrno ? std::strerror(failedErrno)
                                                                                               : Why(rc);
            if (rc == MOSQ_ERR_TLS) {
                const unsigned long e = ERR_peek_last_error();
                if (e) why += std::string(": ") + ERR_reason_error_string(e);
            }
            const bool hinted = rc == MOSQ_ERR_TLS || rc == MOSQ_ERR_CONN_LOST || rc == MOSQ_ERR_NO_CONN ||
                                rc == MOSQ_ERR_PROTOCOL;
            onRefused(Format("Cannot connect to broker %s: %s%s; trying again", config_.broker.c_str(), why.c_str(),
                             hinted ? hint.c_str() : ""));
        }
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::seconds(delay), [&] { return stopRequested_; });
        delay = std::min(delay * 2, 30);
    }
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

bool MqttLink::MessageRetained() { return t_received.retained; }
MessageInfo MqttLink::Received() { return t_received; }

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

int MqttLink::Publish(const std::string& topic, const std::string& payload, bool retain, int expirySeconds) {
    int mid = 0;
    mosquitto_property* properties = nullptr;
    if (expirySeconds > 0)
        mosquitto_property_add_int32(&properties, MQTT_PROP_MESSAGE_EXPIRY_INTERVAL, static_cast<uint32_t>(expirySeconds));
    const int rc = mosquitto_publish_v5(mosq_, &mid, topic.c_str(), static_cast<int>(payload.size()), payload.data(),
                                        1, retain, properties);
    mosquitto_property_free_all(&properties);
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
    if (thread_.joinable()) {
        {
            std::lock_guard lock(mutex_);
            stopRequested_ = true;
        }
        changed_.notify_all();
        // A goodbye while connected: the broker keeps the will.
        mosquitto_disconnect_v5(mosq_, 0, nullptr);
        thread_.join();
        return;
    }
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
        link->ever_ |= rc == 0;
    }
    link->changed_.notify_all();
    if (rc == 0 && link->onConnected) link->onConnected();
    if (rc != 0 && link->onRefused)
        link->onRefused(Format("Broker %s refused the connection: %s", link->config_.broker.c_str(),
                               mosquitto_reason_string(rc)));
}

void MqttLink::OnDisconnect(mosquitto*, void* self, int rc, const mqtt5__property*) {
    auto* link = static_cast<MqttLink*>(self);
    const bool takenOver = rc == MQTT_RC_SESSION_TAKEN_OVER;
    {
        std::lock_guard lock(link->mutex_);
        link->connected_ = false;
        ++link->disconnects_;
        link->takenOver_ |= takenOver;
    }
    link->changed_.notify_all();
    if (takenOver && link->onTakenOver) link->onTakenOver();
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

void MqttLink::OnMessage(mosquitto*, void* self, const mosquitto_message* message, const mqtt5__property* properties) {
    auto* link = static_cast<MqttLink*>(self);
    if (!link->onMessage) return;
    t_received.retained = message->retain;
    // The broker gives the seconds left, counted from when it took the message.
    uint32_t expiry = 0;
    t_received.expirySeconds =
        mosquitto_property_read_int32(properties, MQTT_PROP_MESSAGE_EXPIRY_INTERVAL, &expiry, false)
            ? static_cast<int>(std::min<uint32_t>(expiry, 1u << 30))
            : -1;
    try {
        link->onMessage(message->topic, std::string_view(static_cast<const char*>(message->payload),
                                                         static_cast<size_t>(message->payloadlen)));
    } catch (...) {
        // A message the handler cannot take must not end the network thread.
    }
}

}  // namespace zl
