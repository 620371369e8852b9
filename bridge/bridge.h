#pragma once

// The bridge: the horns' sessions, the site's registry of them, the runner that drives them,
// the MQTT front and the broker connection. The runner polls every horn once a period and runs
// a horn's commands as soon as they come, each horn on its own so that none waits for another.
// The broker's network thread only reads, queues and answers: it never waits for a horn.

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "bridge/config.h"
#include "bridge/log.h"
#include "bridge/mqtt_client.h"
#include "bridge/mqtt_front.h"
#include "ports/host_network_source.h"
#include "site/horn_registry.h"
#include "site/horn_runner.h"
#include "site/session_set.h"

namespace kstbell::bridge {

// "kstbell-bridge-HOSTNAME-BASE", the base's slashes as dashes.
std::string DefaultClientId(const std::string& base);

class TBridge {
  public:
    TBridge(const TBridgeConfig& config, const std::vector<THornEntry>& horns, std::string password,
            TLog log);
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

    bool BrokerConnected() const { return mqtt_->Connected(); }

  private:
    void Poll(std::size_t horn);
    void RunCommands(std::size_t horn);

    TBridgeConfig config_;
    TLog log_;
    std::unique_ptr<IHostNetworkSource> network_;
    std::atomic<bool> stopping_{false};
    site::TSessionSet sessions_;
    std::unique_ptr<TMqttFront> front_;
    std::unique_ptr<site::THornRegistry> registry_;
    std::unique_ptr<site::THornRunner> runner_;
    std::unique_ptr<TMqttClient> mqtt_;
    bool started_ = false;
    bool stopped_ = false;
};

}  // namespace kstbell::bridge
