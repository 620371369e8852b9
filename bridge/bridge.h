#pragma once

// The bridge: the horns' sessions on the engine, their table, the broker connection, and two
// threads that drive the horns. The poll thread sweeps every horn once a period on the
// engine's workers; the command thread runs waiting commands on the engine's workers as soon
// as they come. A horn's session is used under its own lock, so a poll and a command for the
// same horn take turns. The broker's network thread only reads, queues and answers from the
// table: it never waits for a horn.

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bridge/config.h"
#include "bridge/discovery_migration.h"
#include "bridge/horn_table.h"
#include "bridge/log.h"
#include "bridge/mqtt_client.h"
#include "cli/engine.h"
#include "ports/host_network_source.h"

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

    // Starts the broker connection and both threads. False, with the reason, when the client
    // cannot be set up (TLS files that cannot be read).
    bool Start(std::string& error);
    // Stops driving the horns, publishes every horn and the bridge offline, waits (a few
    // seconds at most) for the broker to take it, and disconnects. Idempotent.
    void Stop();

    bool BrokerConnected() const { return mqtt_->Connected(); }

  private:
    void PollLoop();
    void CommandLoop();
    void PollOne(std::size_t horn);
    void RunCommands(std::size_t horn);

    TBridgeConfig config_;
    TLog log_;
    std::unique_ptr<IHostNetworkSource> network_;
    cli::TEngine engine_;
    std::unique_ptr<std::mutex[]> sessionLocks_;
    std::unique_ptr<TDiscoveryMigration> migration_;
    std::unique_ptr<THornTable> table_;
    std::unique_ptr<TMqttClient> mqtt_;

    std::mutex wakeMutex_;
    std::condition_variable pollWake_;
    std::condition_variable commandWake_;
    bool stopping_ = false;
    bool commandsWaiting_ = false;
    bool started_ = false;
    bool stopped_ = false;
    std::thread pollThread_;
    std::thread commandThread_;
};

}  // namespace kstbell::bridge
