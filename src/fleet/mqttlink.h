#pragma once
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>

#include "fleet/fleetconfig.h"
#include "fleet/topics.h"

struct mosquitto;
struct mosquitto_message;
struct mqtt5__property;

namespace zl {

// One MQTT 5 connection to the fleet's broker. Start runs a network thread of its own that
// connects, reconnects with back-off and reports why a connection failed; Connect serves a
// short-lived tool. Callbacks run on the network thread.
class MqttLink {
public:
    MqttLink(const FleetConfig& config, const std::string& clientId);
    ~MqttLink();
    MqttLink(const MqttLink&) = delete;
    MqttLink& operator=(const MqttLink&) = delete;

    std::function<void()> onConnected;
    std::function<void()> onDisconnected;
    // A connection failed or was lost (the broker refused it, it is unreachable, TLS failed);
    // the message names the broker and the reason. Called at every failed attempt: the
    // receiver tells the operator once per reason.
    std::function<void(const std::string& reason)> onRefused;
    // Another client connected with this client id and the broker dropped this one; the link
    // waits longer before each new attempt (10 s, doubling up to 10 minutes) so that two copies
    // do not knock each other off without end.
    std::function<void()> onTakenOver;
    // The payload is the library's own buffer, valid during the call and writable (a bundle's
    // signature check lays its signed text out there rather than copying megabytes).
    std::function<void(const std::string& topic, std::string_view payload)> onMessage;
    // Called on the network thread at least twice a second while connected.
    std::function<void()> onTick;
    // During onMessage: whether the message is one the broker held retained (not a live one).
    static bool MessageRetained();
    // During onMessage: whether it was retained and how long it has left before it expires.
    static MessageInfo Received();

    // Sent by the broker, retained at QoS 1, when this link dies without saying goodbye; takes
    // effect at the next connect. Call it before Start or on the network thread (in a callback):
    // the network thread reads it when it reconnects.
    void SetWill(const std::string& topic, const std::string& payload);
    // Connects in the background and keeps reconnecting; never blocks.
    void Start();
    // Whether a connection was ever accepted since Start or Connect.
    bool EverConnected() const;
    // Connects and waits for the broker's answer; fails with a message naming the broker.
    void Connect(int timeoutMs);
    // QoS 0 delivers retained messages in order with no in-flight limit: a reader that only
    // collects retained messages takes them so, and WaitRetained can then tell when they are in.
    void Subscribe(const std::string& pattern, int qos = 1);
    // Waits until the broker has sent every retained message of the subscriptions made so far
    // (a later subscription's acknowledgement comes after them); fails when the time ran out.
    void WaitRetained(int timeoutMs);
    // Queues a QoS 1 message; returns its id. With expirySeconds > 0 the broker drops it (also
    // as the retained message) once that long has passed.
    int Publish(const std::string& topic, const std::string& payload, bool retain, int expirySeconds = 0);
    // Waits until the broker acknowledged message `mid`; fails with a message when it refused it,
    // the connection dropped or the time ran out.
    void WaitAcknowledged(int mid, int timeoutMs);
    // Sends a disconnect (no will) and stops the network thread.
    void Stop();
    bool Connected() const;
    const FleetConfig& Config() const { return config_; }

private:
    void Run();
    static void OnConnect(mosquitto*, void* self, int rc, int flags, const mqtt5__property*);
    static void OnDisconnect(mosquitto*, void* self, int rc, const mqtt5__property*);
    static void OnPublish(mosquitto*, void* self, int mid, int reason, const mqtt5__property*);
    static void OnMessage(mosquitto*, void* self, const mosquitto_message*, const mqtt5__property*);
    static void OnSubscribe(mosquitto*, void* self, int mid, int count, const int* granted, const mqtt5__property*);

    FleetConfig config_;
    mosquitto* mosq_ = nullptr;
    bool started_ = false;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool connected_ = false;
    int connectResult_ = -1;  // -1: no answer yet
    int disconnects_ = 0;
    std::map<int, int> acknowledged_;  // mid -> reason code
    bool ever_ = false;
    bool stopRequested_ = false;
    bool takenOver_ = false;
    std::thread thread_;
    std::string lastPattern_;
    int lastQos_ = 1;
    std::set<int> subscribed_;  // acknowledged subscription mids
};

}  // namespace zl
