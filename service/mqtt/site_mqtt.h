#pragma once

// kstbelld's MQTT front. The site's horns appear as kstbell-bridge shows them, except that a
// siren rings through the service: ON starts a ring on that horn (for its "duration", clamped to
// the site's longest ring, or until OFF and at most that long), which the service ends by
// itself; OFF stops whatever sounds on the horn and is never refused. The site itself is one
// more device: a siren per group (ON while any horn of the group sounds), per alarm a button
// that starts it and a switch that shows it sounding and stops it, and Stop all. Every entity of
// the site is available while the service is (BASE/service/availability, its last will); every
// horn's while the horn and the service are.
//
// What it is asked goes to the service through site::ISiteControl; what happens comes back
// through the site's events, which the service's listener hands on. The broker's network thread
// never waits for a horn, and the site never waits for the broker: rings end whether or not a
// broker is there.
//
// The network thread only reads and queues the commands (so the broker's messages are taken as
// fast as they come); a carrier thread of its own takes what gathered, in arrival order, and
// carries out each command that a later one does not supersede (site_batch.h), then publishes
// the batch's results together, every command's in its place. A stop does not wait behind
// rings: when one is queued while a batch is carried out, the batch's rings not yet carried go
// back in front of it and are planned again with it.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "mqtt/broker_link.h"
#include "mqtt/config.h"
#include "mqtt/log.h"
#include "service/mqtt/site_batch.h"
#include "service/mqtt/site_front.h"
#include "site/control.h"
#include "site/site.h"

namespace kstbell::service {

class TSiteMqtt {
  public:
    // horns: the site's horns in the site's order (their input's device class shows in
    // discovery). The site and control must outlive this front, and the site's events must stop
    // reaching it before it is destroyed.
    TSiteMqtt(const mqtt::TBridgeConfig& config, const std::vector<mqtt::THornEntry>& horns,
              std::string password, site::TSite& site, site::ISiteControl& control,
              TSiteMqttInfo info, mqtt::TLog log);
    ~TSiteMqtt();
    TSiteMqtt(const TSiteMqtt&) = delete;
    TSiteMqtt& operator=(const TSiteMqtt&) = delete;

    // Connects in the background. False, with the reason, when the client cannot be set up
    // (TLS files that cannot be read).
    bool Start(std::string& error);
    // Publishes every horn and the service offline, gives the broker a few seconds to take it,
    // and disconnects; events that come later are dropped. Idempotent.
    void Stop();
    bool BrokerConnected() const { return link_->Connected(); }

    // The service's site listener hands these on (called under site locks: they only queue).
    void OnHornEvents(const std::vector<site::THornEvent>& events);
    void OnRingStarted(const site::TRingStart& start);
    void OnRingEnded(const site::TRingEnd& end, site::TCause cause, site::TInstant when);

  private:
    void HornCommand(const mqtt::THornRequest& request);
    void SiteMessage(const std::string& topic, std::string_view payload, bool retained);
    // A ring's switch-on in its result; a failure when no horn switched on.
    void SwitchOutcome(const site::TRingSwitches& switches, TSiteOutcome& o) const;
    TSiteOutcome Carry(const TSiteCommand& command);
    void Enqueue(TQueuedCommand command);
    void RunCarrier();
    void StopCarrier();

    site::TSite& site_;
    site::ISiteControl& control_;
    mqtt::TLog log_;
    std::string summary_;  // what Start logs
    std::unique_ptr<TSiteFront> front_;
    std::unique_ptr<mqtt::TBrokerLink> link_;
    std::vector<std::string> groupNames_;
    std::vector<std::vector<std::size_t>> groupHorns_;

    std::mutex queueMutex_;
    std::condition_variable queueWake_;
    std::deque<TQueuedCommand> queue_;
    std::size_t stopsQueued_ = 0;  // stops in queue_; guarded by queueMutex_
    bool urgentQueued_ = false;    // Stop all or an alarm's OFF in queue_
    bool stopCarrier_ = false;
    std::thread carrier_;
};

}  // namespace kstbell::service
