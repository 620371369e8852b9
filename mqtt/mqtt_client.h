#pragma once

// The bridge's MQTT connection on libmosquitto. One network thread of its own runs the
// library's loop: it connects, reconnects with a doubling wait (0.5 s up to 30 s) after any
// failure, subscribes afresh on every connection and then tells the owner, who republishes.
// It speaks MQTT 5, where a subscription can keep the retained flag of a message delivered
// live, so a retained command is known as one whenever it comes; a broker that speaks only
// MQTT 3.1.1 is spoken to in that version after its first refusal. Messages the library cannot
// send and those the broker refuses are logged with their topic.
// A publisher thread hands queued messages to the library in order; the owner only queues, so
// no caller ever waits for the broker. Messages queued while no connection is up are dropped:
// the owner's republish on the next connection carries the current state.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "mqtt/config.h"
#include "mqtt/log.h"
#include "mqtt/messages.h"
#include "mqtt/publish_tracker.h"

struct mosquitto;
struct mosquitto_message;
struct mqtt5__property;
typedef struct mqtt5__property mosquitto_property;

namespace kstbell::mqtt {

struct TMqttOptions {
    TBrokerUrl Url;
    std::string ClientId;
    std::string Username;
    std::string Password;
    std::string CaFile;  // empty with TLS: the system's certificates
    std::string CertFile;
    std::string KeyFile;
    int KeepAliveSeconds = 30;
    TMessage Will;  // retained, sent by the broker when this client vanishes
    std::vector<std::string> Subscriptions;
    // Subscriptions among them whose retained messages are removed from the broker (an empty
    // retained message) when they arrive; only over MQTT 5, where that message's own return is
    // marked retained too and can be told from a live empty message.
    std::vector<std::string> RemoveRetained;
    std::chrono::milliseconds MinRetry{500};
    std::chrono::milliseconds MaxRetry{30000};
    std::chrono::milliseconds ConnackTimeout{10000};
};

class TMqttClient {
  public:
    // Called on the network thread once a connection is accepted and subscribed.
    using TOnConnected = std::function<void()>;
    // Called on the network thread for every message received; retained is the flag the
    // message was published with (MQTT 3.1.1: only when the broker replays it on subscription).
    using TOnMessage =
        std::function<void(const std::string& topic, std::string_view payload, bool retained)>;

    TMqttClient(TMqttOptions options, TOnConnected onConnected, TOnMessage onMessage, TLog log);
    ~TMqttClient();
    TMqttClient(const TMqttClient&) = delete;
    TMqttClient& operator=(const TMqttClient&) = delete;

    // Sets the client up (TLS files are checked here) and starts both threads; the connection
    // follows in the background. False, with the reason, when the setup fails.
    bool Start(std::string& error);
    // Queues messages behind those already queued.
    void Publish(std::vector<TMessage> messages);
    // Drops what is queued and queues messages instead (the full state after a reconnection).
    void Replace(std::vector<TMessage> messages);
    // Waits until everything queued went out and the broker acknowledged it, or the time ran
    // out, or the connection is down. True when everything was acknowledged.
    bool Flush(std::chrono::milliseconds timeout);
    // Disconnects cleanly (no last will) and ends both threads; idempotent.
    void Stop();

    bool Connected() const { return connected_; }
    // False once the broker was found to speak only MQTT 3.1.1.
    bool Mqtt5() const { return mqtt5_; }
    // Connections accepted so far.
    int Connections() const { return connections_; }

  private:
    static void OnConnect(mosquitto*, void* self, int rc);
    static void OnDisconnect(mosquitto*, void* self, int rc);
    static void OnPublish(mosquitto*, void* self, int mid, int reason, const mosquitto_property*);
    static void OnMessage(mosquitto*, void* self, const mosquitto_message* message);

    void RunNetwork();
    void RunPublisher();
    void LogRefusal(const TRefusal& refusal) const;
    void WaitRetry();
    bool Setup(std::string& error);

    TMqttOptions options_;
    TOnConnected onConnected_;
    TOnMessage onMessage_;
    TLog log_;
    mosquitto* mosq_ = nullptr;

    std::atomic<bool> stop_{false};
    std::atomic<bool> connected_{false};
    std::atomic<bool> mqtt5_{true};
    TPublishTracker tracker_;
    std::atomic<int> connections_{0};
    std::chrono::milliseconds retry_;
    std::mutex retryMutex_;
    std::condition_variable retryWake_;

    std::mutex queueMutex_;
    std::condition_variable queueWake_;
    std::deque<TMessage> queue_;
    bool publishing_ = false;  // a batch is being handed over
    bool stopPublisher_ = false;
    int unacknowledged_ = 0;  // guarded by queueMutex_

    std::thread network_;
    std::thread publisher_;
};

}  // namespace kstbell::mqtt
