#pragma once

// The bridge: the site (the horns' sessions, the registry of what is known about them, the
// runner that polls every horn once a period and runs a horn's commands as soon as they come,
// each horn on its own so that none waits for another), the MQTT front and the broker
// connection. The broker's network thread only reads, queues and answers: it never waits for a
// horn.

#include <memory>
#include <string>
#include <vector>

#include "mqtt/broker_link.h"
#include "mqtt/config.h"
#include "mqtt/log.h"
#include "ports/host_network_source.h"
#include "site/site.h"

namespace kstbell::bridge {

class TBridge : public site::ISiteListener {
  public:
    TBridge(const mqtt::TBridgeConfig& config, const std::vector<mqtt::THornEntry>& horns,
            std::string password, mqtt::TLog log);
    ~TBridge();
    TBridge(const TBridge&) = delete;
    TBridge& operator=(const TBridge&) = delete;

    // Starts the broker connection and the horns' polling. False, with the reason, when the
    // client cannot be set up (TLS files that cannot be read).
    bool Start(std::string& error);
    // Stops at once: waiting commands end cancelled (their results published), only the
    // requests already on the wire are finished; then every horn and the bridge are published
    // offline, the broker is given a few seconds to take it, and the client disconnects.
    // Idempotent.
    void Stop();

    bool BrokerConnected() const { return link_->Connected(); }

  private:
    void OnHornEvents(const std::vector<site::THornEvent>& events) override;
    void OnRingStarted(const site::TRingStart&) override {}
    void OnRingEnded(const site::TRingEnd&, site::TCause, site::TInstant) override {}
    void OnUnowned(std::size_t, site::TInstant) override {}

    mqtt::TBridgeConfig config_;
    mqtt::TLog log_;
    std::unique_ptr<IHostNetworkSource> network_;
    // Declared before the site, so that the site (whose end still sends events) goes first.
    std::unique_ptr<mqtt::TBrokerLink> link_;
    std::unique_ptr<site::TSite> site_;
    bool started_ = false;
    bool stopped_ = false;
};

}  // namespace kstbell::bridge
