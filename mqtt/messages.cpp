#include "mqtt/messages.h"

#include <nlohmann/json.hpp>

#include "mqtt/command_payload.h"
#include "mqtt/horn_discovery.h"

namespace kstbell::mqtt {

namespace {

using nlohmann::json;

// Device texts are raw bytes: anything that is not UTF-8 is replaced, never thrown over.
std::string Dump(const json& j) {
    return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace

std::string DisplayName(const THornIdentity& identity) {
    if (!identity.Name.empty()) return identity.Name;
    if (identity.Location.find_first_not_of(' ') != std::string::npos) return identity.Location;
    return "Horn " + identity.Id;
}

std::string StateJson(const THornIdentity& identity, const THornState& state) {
    json j = {{"output", state.Output},
              {"input", state.Input},
              {"tone", state.Tone},
              {"rssi", nullptr},
              {"armed", state.Armed},
              {"location", identity.Location},
              {"firmware", identity.Firmware},
              {"address", identity.Address}};
    if (state.RssiDbm) j["rssi"] = *state.RssiDbm;
    return Dump(j);
}

std::vector<TMessage> DiscoveryMessages(const TTopics& topics, const THornIdentity& identity,
                                        const TProgram& program, const THornDevice& device) {
    return {HornDiscovery(topics, identity, program, device)};
}

std::string ResultJson(TCommandTopic command, const TOutcome& outcome, const std::string& idJson,
                       std::optional<std::int64_t> clampedTo) {
    json j = {{"command", CommandName(command)}};
    if (!idJson.empty()) j["id"] = json::parse(idJson, nullptr, false);
    j["ok"] = outcome.Ok();
    if (!outcome.Ok()) {
        j["error"] = OutcomeKindName(outcome.Kind);
        if (!outcome.Message.empty()) j["message"] = outcome.Message;
        if (outcome.Kind == TOutcomeKind::Refused) j["status"] = outcome.Status;
    }
    if (clampedTo) {
        j["clamped"] = true;
        j["duration"] = *clampedTo;
    }
    return Dump(j);
}

}  // namespace kstbell::mqtt
