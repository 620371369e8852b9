#include "bridge/messages.h"

#include <nlohmann/json.hpp>

#include "bridge/command_payload.h"

namespace kstbell::bridge {

namespace {

using nlohmann::json;

// Device texts are raw bytes: anything that is not UTF-8 is replaced, never thrown over.
std::string Dump(const json& j) {
    return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

json Availability(const TTopics& topics, const std::string& id) {
    return json::array(
        {{{"topic", topics.Availability(id)}}, {{"topic", topics.BridgeAvailability()}}});
}

json DeviceBlock(const THornIdentity& identity) {
    return {{"identifiers", json::array({identity.Id})},
            {"connections", json::array({json::array({"mac", MacText(identity.Mac)})})},
            {"name", DisplayName(identity)},
            {"model", "Wi-Fi alarm horn (model 186)"},
            {"sw_version", identity.Firmware}};
}

json Common(const TTopics& topics, const THornIdentity& identity, const std::string& object,
            const json& name) {
    return {{"unique_id", "kstbell_" + identity.Id + "_" + object},
            {"object_id", "kstbell_" + identity.Id + "_" + object},
            {"name", name},
            {"availability", Availability(topics, identity.Id)},
            {"availability_mode", "all"},
            {"payload_available", kOnline},
            {"payload_not_available", kOffline},
            {"device", DeviceBlock(identity)}};
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

std::vector<TMessage> DiscoveryMessages(const TTopics& topics, const THornIdentity& identity) {
    const std::string& id = identity.Id;
    const std::string state = topics.State(id);
    std::vector<TMessage> out;

    json siren = Common(topics, identity, "siren", nullptr);
    siren["state_topic"] = state;
    siren["state_value_template"] = "{{ 'ON' if value_json.output else 'OFF' }}";
    siren["command_topic"] = topics.Command(id, TCommandTopic::SirenSet);
    json tones = json::array();
    for (int t = 0; t < kToneCount; ++t)
        tones.push_back(t);
    siren["available_tones"] = tones;
    siren["support_duration"] = false;
    siren["support_volume_set"] = false;
    siren["json_attributes_topic"] = state;
    out.push_back({topics.Discovery("siren", id, "siren"), Dump(siren)});

    json input = Common(topics, identity, "input", "Input DI0");
    input["state_topic"] = state;
    input["value_template"] = "{{ 'ON' if value_json.input else 'OFF' }}";
    out.push_back({topics.Discovery("binary_sensor", id, "input"), Dump(input)});

    json rssi = Common(topics, identity, "rssi", "Signal strength");
    rssi["state_topic"] = state;
    rssi["value_template"] = "{{ value_json.rssi }}";
    rssi["unit_of_measurement"] = "dBm";
    rssi["device_class"] = "signal_strength";
    rssi["state_class"] = "measurement";
    rssi["entity_category"] = "diagnostic";
    out.push_back({topics.Discovery("sensor", id, "rssi"), Dump(rssi)});

    json findMe = Common(topics, identity, "find_me", "Find me");
    findMe["command_topic"] = topics.Command(id, TCommandTopic::FindMe);
    findMe["payload_press"] = "PRESS";
    out.push_back({topics.Discovery("button", id, "find_me"), Dump(findMe)});

    json reboot = Common(topics, identity, "reboot", "Reboot");
    reboot["command_topic"] = topics.Command(id, TCommandTopic::Reboot);
    reboot["payload_press"] = "PRESS";
    reboot["device_class"] = "restart";
    reboot["entity_category"] = "config";
    out.push_back({topics.Discovery("button", id, "reboot"), Dump(reboot)});
    return out;
}

std::string ResultJson(TCommandTopic command, const TOutcome& outcome, const std::string& idJson) {
    json j = {{"command", CommandName(command)}};
    if (!idJson.empty()) j["id"] = json::parse(idJson, nullptr, false);
    j["ok"] = outcome.Ok();
    if (!outcome.Ok()) {
        j["error"] = OutcomeKindName(outcome.Kind);
        if (!outcome.Message.empty()) j["message"] = outcome.Message;
        if (outcome.Kind == TOutcomeKind::Refused) j["status"] = outcome.Status;
    }
    return Dump(j);
}

}  // namespace kstbell::bridge
