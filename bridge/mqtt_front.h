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

    TMqttFront(std::size_t horns, TTopics topics, TSink sink, TLog log);

    // The registry's sink: translates and hands on, in order. Called under the registry's lock.
    void OnEvents(std::vector<site::THornEvent> events);

    // A message on a command topic, for the registry. The horn whose commands are to be run, or
    // nothing (not a command topic, an unknown horn, or a result given at once).
    std::optional<std::size_t> Received(site::THornRegistry& registry, const std::string& topic,
                                        std::string_view payload, bool retained);

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
    bool closed_ = false;
};

}  // namespace kstbell::bridge
