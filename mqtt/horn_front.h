#pragma once

// The site's horns as MQTT messages: turns the registry's events into discovery, availability,
// state and result messages, and messages on the command topics into registry commands. It
// keeps only what MQTT needs beyond the registry: the last state payload sent per horn, so that
// an unchanged state is not sent again, and the rings it asked for that were shortened, until
// the result of their switch names that.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "mqtt/config.h"
#include "mqtt/horn_names.h"
#include "mqtt/log.h"
#include "mqtt/messages.h"
#include "mqtt/program.h"
#include "mqtt/topics.h"
#include "site/horn_registry.h"
#include "site/ring_book.h"

namespace kstbell::mqtt {

struct TFrontOptions {
    TProgram Program = kBridgeProgram;
    // Put before the id in the tag of every command this front makes: results are published
    // for the commands that carry it. Other commands of the same cause (a group's ring asked
    // for through MQTT, say) answer elsewhere.
    std::string TagMark;
    // Every horn's device names these: the device it is reached through (the program's own
    // device's identifier; empty: none) and the page that manages the horns (empty: none).
    std::string ViaDevice;
    std::string ConfigurationUrl;
};

// A horn's command as read from its topic.
struct THornRequest {
    std::size_t Horn = 0;
    site::TCommand Command;
    // A siren ON's duration when it gave one (only where the program's sirens take one).
    std::optional<site::TMillis> Duration;
};

class TMqttFront {
  public:
    using TSink = std::function<void(std::vector<TMessage>)>;

    TMqttFront(const std::vector<THornEntry>& horns, TTopics topics, TSink sink, TLog log,
               TFrontOptions options = {});

    // The registry's events: translates and hands on, in order. Called under the registry's
    // lock. Results are published for the commands that came through MQTT.
    void OnEvents(const std::vector<site::THornEvent>& events);

    // A message on a command topic: the command for a horn that the registry knows, or nothing
    // (not a command topic, an unknown horn, or refused at once: its result is given through
    // the registry, in its place among the horn's results).
    std::optional<THornRequest> Received(site::THornRegistry& registry, const std::string& topic,
                                         std::string_view payload, bool retained);

    // A ring started (called under the site's ring lock, before its switches go out): when it
    // is one this front asked for and it was shortened, the result of its switch says so.
    void NoteRing(const site::TRingStart& start);

    // Everything retained, as it stands: the program online, then every identified horn's
    // discovery, availability and state. Called under the registry's lock, as OnEvents is.
    std::vector<TMessage> Republish(const std::vector<site::THornView>& horns);
    // Every identified horn offline and the program offline; nothing is sent after it.
    void Farewell(const std::vector<site::THornView>& horns);

  private:
    THornIdentity Identity(const site::THornView& view) const;
    THornState State(const site::THornView& view) const;
    // The horn's discovery under its device name now.
    void Discovery(std::size_t horn, std::vector<TMessage>& out) const;
    // Takes the horn's identity (nothing: none now) into the device names; the discovery of
    // every horn whose name changed with it goes out, the horn's own too when always.
    void Rename(std::size_t horn, std::optional<THornIdentity> identity, bool always,
                std::vector<TMessage>& out);
    void Translate(const site::THornEvent& e, std::vector<TMessage>& out);
    void PublishState(const site::THornView& view, std::vector<TMessage>& out);
    std::optional<std::int64_t> TakeClamped(const site::TCommand& command);

    TTopics topics_;
    TSink sink_;
    TLog log_;
    TFrontOptions options_;
    std::mutex clampedMutex_;
    std::map<std::uint64_t, std::int64_t> clamped_;  // ring: its length in seconds
    // Guarded by the registry's lock, under which OnEvents runs.
    std::vector<std::string> lastState_;
    std::vector<std::string> inputClass_;  // per horn, from the configuration
    THornNames names_;                     // guarded by the registry's lock too
    bool closed_ = false;
};

}  // namespace kstbell::mqtt
