#include "mqtt/mqtt_client.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <cerrno>

namespace kstbell::mqtt {

namespace {

constexpr int kQos = 1;

std::once_flag libraryInit;

std::string Why(int rc) {
    return std::string(mosquitto_strerror(rc));
}

const char* OrNull(const std::string& s) {
    return s.empty() ? nullptr : s.c_str();
}

// A topic or client id for the log: long ones cut short.
std::string Clipped(const std::string& topic) {
    constexpr std::size_t kShown = 200;
    return topic.size() <= kShown ? topic : topic.substr(0, kShown) + "...";
}

}  // namespace

TMqttClient::TMqttClient(TMqttOptions options, TOnConnected onConnected, TOnMessage onMessage,
                         TLog log)
    : options_(std::move(options)),
      onConnected_(std::move(onConnected)),
      onMessage_(std::move(onMessage)),
      log_(std::move(log)),
      retry_(options_.MinRetry) {}

TMqttClient::~TMqttClient() {
    Stop();
    if (mosq_) mosquitto_destroy(mosq_);
}

bool TMqttClient::Setup(std::string& error) {
    std::call_once(libraryInit, [] { mosquitto_lib_init(); });
    mosq_ = mosquitto_new(options_.ClientId.c_str(), true, this);
    if (!mosq_) {
        error = errno == ENOMEM ? "cannot create the MQTT client: out of memory"
                                : "cannot create the MQTT client: the client id \"" +
                                      Clipped(options_.ClientId) +
                                      "\" must be UTF-8 text without control characters";
        return false;
    }
    mosquitto_threaded_set(mosq_, true);
    mosquitto_int_option(mosq_, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    mosquitto_connect_callback_set(mosq_, &TMqttClient::OnConnect);
    mosquitto_disconnect_callback_set(mosq_, &TMqttClient::OnDisconnect);
    mosquitto_publish_v5_callback_set(mosq_, &TMqttClient::OnPublish);
    mosquitto_message_callback_set(mosq_, &TMqttClient::OnMessage);
    // The library's own errors say what a bare error code does not (a certificate that fails).
    mosquitto_log_callback_set(mosq_, [](mosquitto*, void* self, int level, const char* text) {
        if (level == MOSQ_LOG_ERR) static_cast<TMqttClient*>(self)->log_(text);
    });
    const auto& will = options_.Will;
    int rc = mosquitto_will_set(mosq_, will.Topic.c_str(), static_cast<int>(will.Payload.size()),
                                will.Payload.data(), kQos, will.Retain);
    if (rc != MOSQ_ERR_SUCCESS) {
        error = "last will: " + Why(rc);
        return false;
    }
    if (!options_.Username.empty()) {
        rc = mosquitto_username_pw_set(mosq_, options_.Username.c_str(), OrNull(options_.Password));
        if (rc != MOSQ_ERR_SUCCESS) {
            error = "user name: " + Why(rc);
            return false;
        }
    }
    if (options_.Url.Tls) {
        const char* caPath = options_.CaFile.empty() ? "/etc/ssl/certs" : nullptr;
        rc = mosquitto_tls_set(mosq_, OrNull(options_.CaFile), caPath, OrNull(options_.CertFile),
                               OrNull(options_.KeyFile), nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            error = "TLS files (ca_file " + options_.CaFile + ", cert_file " + options_.CertFile +
                    ", key_file " + options_.KeyFile + "): " + Why(rc);
            return false;
        }
    }
    return true;
}

bool TMqttClient::Start(std::string& error) {
    if (!Setup(error)) return false;
    network_ = std::thread([this] { RunNetwork(); });
    publisher_ = std::thread([this] { RunPublisher(); });
    return true;
}

void TMqttClient::WaitRetry() {
    std::unique_lock lock(retryMutex_);
    retryWake_.wait_for(lock, retry_, [this] { return stop_.load(); });
    retry_ = std::min(retry_ * 2, options_.MaxRetry);
}

void TMqttClient::RunNetwork() {
    const auto& url = options_.Url;
    bool socketUp = false;
    bool everStarted = false;
    auto since = std::chrono::steady_clock::now();
    while (!stop_) {
        if (!socketUp) {
            const int rc = everStarted ? mosquitto_reconnect_async(mosq_)
                                       : mosquitto_connect_async(mosq_, url.Host.c_str(), url.Port,
                                                                 options_.KeepAliveSeconds);
            if (rc != MOSQ_ERR_SUCCESS) {
                log_("broker " + url.Host + ":" + std::to_string(url.Port) + " not reached: " +
                     Why(rc) + "; retrying in " + std::to_string(retry_.count()) + " ms");
                WaitRetry();
                continue;
            }
            everStarted = true;
            socketUp = true;
            since = std::chrono::steady_clock::now();
        }
        int rc = mosquitto_loop(mosq_, 100, 1);
        if (rc == MOSQ_ERR_SUCCESS && !connected_ &&
            std::chrono::steady_clock::now() - since > options_.ConnackTimeout) {
            rc = MOSQ_ERR_CONN_LOST;
            log_("the broker did not accept the connection in time");
        }
        if (rc != MOSQ_ERR_SUCCESS && !stop_) {
            if (connected_)
                log_("connection to the broker lost: " + Why(rc));
            else
                log_("connection to the broker failed: " + Why(rc));
            connected_ = false;
            socketUp = false;
            WaitRetry();
        }
    }
    // A clean goodbye: the broker drops the last will. The library closes the socket once the
    // disconnect is written, which ends the loop.
    if (connected_ && mosquitto_disconnect(mosq_) == MOSQ_ERR_SUCCESS) {
        for (int i = 0; i < 40 && mosquitto_loop(mosq_, 50, 1) == MOSQ_ERR_SUCCESS; ++i) {
        }
    }
    connected_ = false;
}

void TMqttClient::OnConnect(mosquitto* mosq, void* self, int rc) {
    auto& c = *static_cast<TMqttClient*>(self);
    if (rc != 0) {
        if (c.mqtt5_ && rc == MQTT_RC_UNSUPPORTED_PROTOCOL_VERSION) {
            // Takes effect on the next attempt, which the failed connection brings.
            c.mqtt5_ = false;
            mosquitto_int_option(mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
            c.log_(
                "the broker speaks MQTT 3.1.1 only: a retained command is recognised only "
                "when the broker replays it on connection, and is not removed");
            return;
        }
        c.log_("the broker refused the connection: " +
               std::string(c.mqtt5_ ? mosquitto_reason_string(rc) : mosquitto_connack_string(rc)));
        return;
    }
    {
        const std::lock_guard lock(c.retryMutex_);
        c.retry_ = c.options_.MinRetry;
    }
    for (const auto& topic : c.options_.Subscriptions) {
        const int sub = c.mqtt5_ ? mosquitto_subscribe_v5(mosq, nullptr, topic.c_str(), kQos,
                                                          MQTT_SUB_OPT_RETAIN_AS_PUBLISHED, nullptr)
                                 : mosquitto_subscribe(mosq, nullptr, topic.c_str(), kQos);
        if (sub != MOSQ_ERR_SUCCESS) c.log_("cannot subscribe to " + topic + ": " + Why(sub));
    }
    {
        const std::lock_guard lock(c.queueMutex_);
        c.unacknowledged_ = 0;
    }
    c.connected_ = true;
    ++c.connections_;
    c.log_("connected to the broker " + c.options_.Url.Host + ":" +
           std::to_string(c.options_.Url.Port));
    c.onConnected_();
}

void TMqttClient::OnDisconnect(mosquitto*, void* self, int) {
    auto& c = *static_cast<TMqttClient*>(self);
    c.connected_ = false;
    c.tracker_.Reset();
    const std::lock_guard lock(c.queueMutex_);
    c.unacknowledged_ = 0;
    c.queueWake_.notify_all();
}

void TMqttClient::OnPublish(mosquitto*, void* self, int mid, int reason,
                            const mosquitto_property*) {
    auto& c = *static_cast<TMqttClient*>(self);
    if (const auto refusal = c.tracker_.Acknowledged(mid, reason)) c.LogRefusal(*refusal);
    const std::lock_guard lock(c.queueMutex_);
    if (c.unacknowledged_ > 0) --c.unacknowledged_;
    c.queueWake_.notify_all();
}

void TMqttClient::LogRefusal(const TRefusal& refusal) const {
    log_("the broker refused the message to " + Clipped(refusal.Topic) + ": " +
         mosquitto_reason_string(refusal.Reason));
}

void TMqttClient::OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto& c = *static_cast<TMqttClient*>(self);
    const std::string_view payload(
        static_cast<const char*>(message->payload),
        message->payload ? static_cast<std::size_t>(message->payloadlen) : 0);
    const bool remove =
        c.mqtt5_ && message->retain && !payload.empty() &&
        std::any_of(c.options_.RemoveRetained.begin(), c.options_.RemoveRetained.end(),
                    [&](const std::string& sub) {
                        bool match = false;
                        mosquitto_topic_matches_sub(sub.c_str(), message->topic, &match);
                        return match;
                    });
    if (remove) c.Publish({{message->topic, "", true}});
    c.onMessage_(message->topic, payload, message->retain);
}

void TMqttClient::Publish(std::vector<TMessage> messages) {
    if (messages.empty()) return;
    const std::lock_guard lock(queueMutex_);
    for (auto& m : messages)
        queue_.push_back(std::move(m));
    queueWake_.notify_all();
}

void TMqttClient::Replace(std::vector<TMessage> messages) {
    const std::lock_guard lock(queueMutex_);
    queue_.clear();
    for (auto& m : messages)
        queue_.push_back(std::move(m));
    queueWake_.notify_all();
}

void TMqttClient::RunPublisher() {
    std::unique_lock lock(queueMutex_);
    for (;;) {
        queueWake_.wait(lock, [this] { return stopPublisher_ || !queue_.empty(); });
        if (queue_.empty()) return;
        std::deque<TMessage> batch;
        batch.swap(queue_);
        publishing_ = true;
        lock.unlock();
        for (const auto& m : batch) {
            if (!connected_) break;  // the next connection republishes the current state
            {
                const std::lock_guard count(queueMutex_);
                ++unacknowledged_;
            }
            int mid = 0;
            const int rc =
                mosquitto_publish(mosq_, &mid, m.Topic.c_str(), static_cast<int>(m.Payload.size()),
                                  m.Payload.data(), kQos, m.Retain);
            if (rc == MOSQ_ERR_SUCCESS) {
                if (const auto refusal = tracker_.Sent(mid, m.Topic)) LogRefusal(*refusal);
            } else {
                // A lost connection is logged by the network thread, and the next one
                // republishes; anything else would fail again the same way.
                if (rc != MOSQ_ERR_NO_CONN && rc != MOSQ_ERR_CONN_LOST)
                    log_("cannot publish to " + Clipped(m.Topic) + " (" +
                         std::to_string(m.Payload.size()) + " bytes): " + Why(rc));
                const std::lock_guard count(queueMutex_);
                if (unacknowledged_ > 0) --unacknowledged_;
            }
        }
        lock.lock();
        publishing_ = false;
        queueWake_.notify_all();
    }
}

bool TMqttClient::Flush(std::chrono::milliseconds timeout) {
    std::unique_lock lock(queueMutex_);
    return queueWake_.wait_for(lock, timeout, [this] {
        return !connected_ || (queue_.empty() && !publishing_ && unacknowledged_ <= 0);
    }) && connected_;
}

void TMqttClient::Stop() {
    if (!network_.joinable() && !publisher_.joinable()) return;
    {
        const std::lock_guard lock(queueMutex_);
        stopPublisher_ = true;
        queue_.clear();
        queueWake_.notify_all();
    }
    if (publisher_.joinable()) publisher_.join();
    {
        const std::lock_guard lock(retryMutex_);
        stop_ = true;
        retryWake_.notify_all();
    }
    if (network_.joinable()) network_.join();
    connected_ = false;
}

}  // namespace kstbell::mqtt
