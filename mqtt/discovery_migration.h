#pragma once

// Moves horns from the five per-entity discovery topics that earlier versions published to the
// one device-based message, so that no entity shows up twice. It stands between the horn table
// and the broker connection:
//
// - On every connection the bridge subscribes to the per-entity topics of a horn's entities
//   and then sends itself a marker (TTopics::ScanMarker): the broker hands out the retained
//   messages of a subscription before anything published after it, so once the marker is back
//   every old configuration on the broker has been seen. Until then (or kScanTimeout) device
//   discovery messages are held back, and so are those that come before the first connection:
//   a message queued then could otherwise reach the broker ahead of the scan.
// - An old configuration counts when its unique id is the one the bridge gave that entity of
//   that horn; anybody else's is left alone.
// - A horn with old configurations is moved in the order the automation system documents:
//   {"migrate_discovery":true} to each old topic (it unloads the entity and keeps its
//   settings), then the device-based message, then an empty retained message to each old
//   topic, which ends the move and removes them from the broker.
// - The other program that speaks for horns (the bridge, for the site service, and the other
//   way round) may have left its availability "online" retained under the same base, from a run
//   whose last will never came: its horns' older discovery still names that topic, so they
//   would show as available though nothing serves them. A retained "online" there found by the
//   scan is replaced by "offline", as that program leaves it when it stops; one that comes
//   later, live, is a program running now and is left alone.
//
// Thread-safe. It publishes through the function it is handed while it holds its own lock, so
// what it sends keeps its order.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "mqtt/log.h"
#include "mqtt/messages.h"
#include "mqtt/topics.h"

namespace kstbell::mqtt {

class TDiscoveryMigration {
  public:
    using TPublish = std::function<void(std::vector<TMessage>)>;

    static constexpr std::chrono::seconds kScanTimeout{5};
    // Old topics remembered at most (for horns not identified yet); more are not moved.
    static constexpr std::size_t kMaxOldTopics = 50000;

    // otherAvailability: the availability topics of the other programs under the same base.
    TDiscoveryMigration(TTopics topics, TLog log, std::vector<std::string> otherAvailability = {});

    // What the bridge subscribes to for it on every connection, the marker's topic included.
    std::vector<std::string> Subscriptions() const;
    // A connection was accepted: the scan starts over. The marker it returns is published once
    // the connection's first messages are queued.
    TMessage Connected();
    // Messages on their way to the broker, handed on through publish: device discovery held
    // back or moved as above, everything else as it came.
    void Outgoing(std::vector<TMessage> messages, const TPublish& publish);
    // A received message. True when it was the marker, an old configuration or another
    // program's availability (what that starts goes through publish); false when it is none of
    // its business.
    bool Received(const std::string& topic, std::string_view payload, const TPublish& publish,
                  bool retained = true);

  private:
    std::optional<std::string> DeviceId(const std::string& topic) const;
    void Send(const std::string& id, std::vector<TMessage>& out);
    void EndScan(std::vector<TMessage>& out);

    TTopics topics_;
    TLog log_;
    std::vector<std::string> otherAvailability_;
    std::mutex m_;
    std::atomic<bool> scanning_{true};
    std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::time_point::max();
    unsigned long connection_ = 0;
    std::vector<std::string> held_;                     // ids, in the order they came
    std::map<std::string, std::string> latest_;         // id: its device discovery payload
    std::map<std::string, std::set<std::string>> old_;  // id: its old topics on the broker
    std::size_t oldCount_ = 0;
};

}  // namespace kstbell::mqtt
