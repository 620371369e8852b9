#pragma once

// The site service's own MQTT topics, beside its horns': reads the commands on the group, alarm
// and Stop all topics (see site_topics.h) and turns the site's events into the groups' and the
// alarms' states. It asks nothing of the site itself: its owner carries the commands out and
// hands back what came of them, which it words as results.
//
// A group's state is ON while any of its horns that is not offline reports its output on. An
// alarm is sounding from the start of a ring of its own until that ring ends: a ring of alarm
// priority (above 100) whose label is the alarm's name (or else its label).
//
// Thread-safe: events come under the site's locks, commands are read on the broker's network
// thread and their results worded on the owner's carrier; it holds a lock of its own only while
// it updates its states and queues their messages.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "mqtt/log.h"
#include "mqtt/messages.h"
#include "mqtt/program.h"
#include "mqtt/topics.h"
#include "service/mqtt/site_discovery.h"
#include "service/mqtt/site_topics.h"
#include "site/horn.h"
#include "site/ring_book.h"

namespace kstbell::service {

// What the front shows of the site.
struct TSiteMqttInfo {
    std::string SiteName;
    std::vector<std::string> Groups;                          // "all" first
    std::vector<std::pair<std::string, std::string>> Alarms;  // name, label
    site::TMillis MaxRing{180000};
    // The groups' labels for people, by name; a group without one is named after its name.
    std::map<std::string, std::string> GroupLabels{};
    // The site's page (the service's HTTP front) for the site's and every horn's device; empty:
    // none.
    std::string ConfigurationUrl{};
};

// A command read from a site topic.
struct TSiteCommand {
    TSiteAddress Address;
    bool On = true;  // a siren or a switch: ON or OFF
    std::optional<std::uint8_t> Tone;
    std::optional<site::TMillis> Duration;
    std::string Id;     // the command's "id" as JSON text; empty when none
    std::string Error;  // why it is refused (invalid input): nothing is to be done
};

// What came of a command, for its result.
struct TSiteOutcome {
    bool Ok = true;
    std::string Error;  // an outcome kind's name ("invalid_input", "cancelled")
    std::string Message;
    // A ring that started: the horns it holds, those a ring of higher priority (or one that
    // ends later) keeps, its length, and whether a longer one was asked for.
    std::optional<std::size_t> Horns;
    std::optional<std::size_t> Held;
    std::optional<std::int64_t> DurationS;
    bool Clamped = false;
    // A ring: what became of its switch-on when the result went (the front's carrier does not
    // wait for horns, so mostly what was known at once): how many switched on, those that did
    // not (address, reason: "offline", "unreachable", ...), and how many had not answered yet.
    std::optional<std::size_t> SwitchedOn;
    std::vector<std::pair<std::string, std::string>> NotSwitchedOn;
    std::optional<std::size_t> Pending;
    // An alarm switched off: whether it was sounding.
    std::optional<bool> Stopped;
    // Not carried out because a later command for the same group (or Stop all) that came
    // before it could be took its place: the group ends as that one leaves it.
    bool Superseded = false;
};

class TSiteFront {
  public:
    using TSink = std::function<void(std::vector<mqtt::TMessage>)>;

    // groupHorns: the horns of each of info.Groups, in that order. Groups and alarms whose name
    // cannot be a topic level are left out (and logged).
    TSiteFront(const mqtt::TTopics& topics, const mqtt::TProgram& program, TSiteMqttInfo info,
               const std::vector<std::vector<std::size_t>>& groupHorns, std::size_t hornCount,
               TSink sink, mqtt::TLog log);

    const TSiteTopics& Topics() const { return siteTopics_; }

    // A message on a site topic: the command, or nothing when the topic is none of the site's
    // (or the message removes a retained one).
    std::optional<TSiteCommand> Parse(const std::string& topic, std::string_view payload,
                                      bool retained) const;
    mqtt::TMessage Result(const TSiteCommand& command, const TSiteOutcome& outcome) const;

    void OnHornEvents(const std::vector<site::THornEvent>& events);
    // The horns as they stand (under the registry's lock, so that no event comes between): the
    // groups' states follow them, also where no event told of a horn before.
    void SyncHorns(const std::vector<site::THornView>& views);
    void OnRingStarted(const site::TRingStart& start);
    void OnRingEnded(const site::TRingEnd& end);
    // The rings running now (after a restart, say): those of an alarm show it sounding. A ring
    // that ended just before is not taken up again.
    void Seed(const std::vector<site::TRingRecord>& active);

    // The site's retained discovery message.
    mqtt::TMessage Discovery() const;
    // Every state, queued behind what went before (the discovery goes ahead of the horns').
    void Republish();
    // Nothing is queued after it.
    void Close();

  private:
    struct TGroup {
        std::string Name;
        std::string Label;
        std::size_t Horns = 0;
        std::size_t Sounding = 0;
        std::string Last;  // the state payload last queued
    };
    struct TAlarm {
        std::string Name;
        std::string Label;
        std::set<std::uint64_t> Rings;
        std::string Last;
    };

    // Notes whether the horn sounds; adds the groups whose count changed to changed.
    void Sounding(const site::THornView& view, std::vector<std::size_t>& changed);
    void QueueGroups(std::vector<std::size_t>& changed);
    std::optional<std::size_t> AlarmOf(const site::TRingOrder& order) const;
    void AddRing(std::uint64_t ring, std::size_t alarm, std::vector<mqtt::TMessage>& out);
    void GroupState(TGroup& group, std::vector<mqtt::TMessage>& out, bool always = false);
    void AlarmState(TAlarm& alarm, std::vector<mqtt::TMessage>& out, bool always = false);
    void Queue(std::vector<mqtt::TMessage> messages);

    mqtt::TTopics topics_;
    TSiteTopics siteTopics_;
    mqtt::TProgram program_;
    std::string siteName_;
    std::string configurationUrl_;
    TSink sink_;
    mqtt::TLog log_;
    std::vector<std::vector<std::size_t>> hornGroups_;  // per horn: its groups

    mutable std::mutex m_;
    std::vector<TGroup> groups_;
    std::vector<TAlarm> alarms_;
    std::vector<bool> sounding_;  // per horn
    std::map<std::uint64_t, std::size_t> ringAlarm_;
    std::deque<std::uint64_t> recentlyEnded_;  // rings, newest last
    bool closed_ = false;
};

}  // namespace kstbell::service
