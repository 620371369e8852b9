#pragma once

// A program's horns on its broker connection: the horns' front, the hand-over of older
// discovery topics that stands between the front and the broker, and the client. kstbell-bridge
// uses it as it is; the site service's front adds the site's own topics through the hooks. The
// broker's network thread only reads, queues and answers: it never waits for a horn.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mqtt/config.h"
#include "mqtt/discovery_migration.h"
#include "mqtt/horn_front.h"
#include "mqtt/log.h"
#include "mqtt/mqtt_client.h"
#include "mqtt/program.h"
#include "site/horn_registry.h"

namespace kstbell::mqtt {

// "PROGRAM-HOSTNAME-BASE", the base's slashes as dashes.
std::string DefaultClientId(const std::string& program, const std::string& base);

class TBrokerLink {
  public:
    // How long Stop gives the broker to take the offline messages.
    static constexpr std::chrono::seconds kFarewellWait{3};

    struct THooks {
        // Further command subscriptions; a retained message on them is removed from the broker.
        std::vector<std::string> Commands;
        // A horn's command that the front read and accepted (on the network thread).
        std::function<void(const THornRequest&)> HornCommand;
        // A message on none of the horns' topics (on the network thread).
        std::function<void(const std::string& topic, std::string_view payload, bool retained)>
            Received;
        // A connection was accepted and the horns' state is queued: queue the program's own
        // (on the network thread).
        std::function<void()> Connected;
        // Retained messages that go ahead of the horns' on every connection: the program's own
        // device, which the horns' devices name as the one they are reached through.
        std::function<std::vector<TMessage>()> Leading;
    };

    TBrokerLink(const TBridgeConfig& config, const std::vector<THornEntry>& horns,
                std::string password, TFrontOptions options, site::THornRegistry& registry,
                THooks hooks, TLog log);
    ~TBrokerLink();
    TBrokerLink(const TBrokerLink&) = delete;
    TBrokerLink& operator=(const TBrokerLink&) = delete;

    // Starts the connection in the background. False, with the reason, when the client cannot
    // be set up (TLS files that cannot be read).
    bool Start(std::string& error);
    // Every identified horn and the program offline, the broker given kFarewellWait to take it,
    // then the client disconnects; nothing is sent after it. Idempotent.
    void Stop();

    // Messages to the broker behind those queued, through the discovery hand-over.
    void Publish(std::vector<TMessage> messages);
    // The registry's events (under its lock): translated and queued.
    void OnHornEvents(const std::vector<site::THornEvent>& events);

    TMqttFront& Front() { return *front_; }
    const TTopics& Topics() const { return topics_; }
    bool Connected() const { return mqtt_->Connected(); }

  private:
    void OnConnected();
    void OnMessage(const std::string& topic, std::string_view payload, bool retained);

    TTopics topics_;
    TLog log_;
    site::THornRegistry& registry_;
    THooks hooks_;
    std::unique_ptr<TDiscoveryMigration> migration_;
    std::unique_ptr<TMqttFront> front_;
    std::unique_ptr<TMqttClient> mqtt_;
    bool started_ = false;
    bool stopped_ = false;
};

}  // namespace kstbell::mqtt
