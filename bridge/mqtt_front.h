#pragma once

// The site's horns as MQTT messages: turns the registry's events into discovery, availability,
// state and result messages, and messages on the command topics into registry commands. It
// keeps only what MQTT needs beyond the registry: the last state payload sent per horn, so that
// an unchanged state is not sent again.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bridge/config.h"
#include "bridge/log.h"
#include "bridge/messages.h"
#include "bridge/topics.h"
#include "site/horn_registry.h"

namespace kstbell::bridge {

class TMqttFront {
  public:
    using TSink = std::function<void(std::vector<TMessage>)>;

    TMqttFront(const std::vector<THornEntry>& horns, TTopics topics, TSink sink, TLog log);

    // The registry's events: translates and hands on, in order. Called under the registry's
    // lock. Results are published for the commands that came through MQTT.
    void OnEvents(const std::vector<site::THornEvent>& events);

    // A message on a command topic: the command for a horn that the registry knows, or nothing
    // (not a command topic, an unknown horn, or refused at once: its result is given through
    // the registry, in its place among the horn's results).
    std::optional<std::pair<std::size_t, site::TCommand>> Received(site::THornRegistry& registry,
                                                                   const std::string& topic,
                                                                   std::string_view payload,
                                                                   bool retained);

    // Everything retained, as it stands: the bridge online, then every identified horn's
    // discovery, availability and state.
    std::vector<TMessage> Republish(const std::vector<site::THornView>& horns) const;
    // Every identified horn offline and the bridge offline; nothing is sent after it.
    void Farewell(const std::vector<site::THornView>& horns);

  private:
    THornIdentity Identity(const site::THornView& view) const;
    THornState State(const site::THornView& view) const;
    void Translate(const site::THornEvent& e, std::vector<TMessage>& out);
    void PublishState(const site::THornView& view, std::vector<TMessage>& out);

    TTopics topics_;
    TSink sink_;
    TLog log_;
    // Guarded by the registry's lock, under which OnEvents runs.
    std::vector<std::string> lastState_;
    std::vector<std::string> inputClass_;  // per horn, from the configuration
    bool closed_ = false;
};

}  // namespace kstbell::bridge
