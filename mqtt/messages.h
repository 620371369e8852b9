#pragma once

// The payloads the bridge publishes: a horn's state, its discovery and the results of commands.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/outcome.h"
#include "mqtt/horn_view.h"
#include "mqtt/program.h"
#include "mqtt/topics.h"

namespace kstbell::mqtt {

struct TMessage {
    std::string Topic;
    std::string Payload;
    bool Retain = true;
};

inline constexpr const char* kOnline = "online";
inline constexpr const char* kOffline = "offline";

// {"output":true,"input":false,"tone":2,"rssi":-61,"armed":false,"location":"...",
//  "firmware":"01.0A","address":"..."}; rssi is null while the horn reports none.
std::string StateJson(const THornIdentity& identity, const THornState& state);

// The retained discovery of a horn: its one device-based message (see horn_discovery.h).
std::vector<TMessage> DiscoveryMessages(const TTopics& topics, const THornIdentity& identity,
                                        const TProgram& program, const THornDevice& device = {});

// {"command":"siren/set","id":"a1","ok":false,"error":"unreachable","message":"..."}: id when
// the command carried one (idJson, the id as JSON text), error and message only when it
// failed, status for a refusal; "clamped":true and the ring's "duration" in seconds when it
// switched on a ring that was asked to last longer than allowed (clampedTo).
std::string ResultJson(TCommandTopic command, const TOutcome& outcome,
                       const std::string& idJson = {},
                       std::optional<std::int64_t> clampedTo = std::nullopt);

// The name a horn shows: the configured name, else its location, else "Horn ID" (see
// horn_names.h for horns that would show the same one).
std::string DisplayName(const THornIdentity& identity);

}  // namespace kstbell::mqtt
