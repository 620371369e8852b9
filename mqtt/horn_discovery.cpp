#include "mqtt/horn_discovery.h"

#include <algorithm>

#include "mqtt/command_payload.h"
#include "mqtt/discovery.h"

namespace kstbell::mqtt {

namespace {

using nlohmann::json;

// clang-format off
constexpr std::array<std::string_view, 28> kInputClasses = {
    "battery", "battery_charging", "carbon_monoxide", "cold", "connectivity", "door",
    "garage_door", "gas", "heat", "light", "lock", "moisture", "motion", "moving", "occupancy",
    "opening", "plug", "power", "presence", "problem", "running", "safety", "smoke", "sound",
    "tamper", "update", "vibration", "window"};
// clang-format on

json DeviceBlock(const THornIdentity& identity, const THornDevice& device) {
    json block = {{"identifiers", json::array({identity.Id})},
                  {"connections", json::array({json::array({"mac", MacText(identity.Mac)})})},
                  {"name", device.Name.empty() ? DisplayName(identity) : device.Name},
                  {"model", "Wi-Fi alarm horn (model 186)"},
                  {"sw_version", identity.Firmware}};
    if (!device.ViaDevice.empty()) block["via_device"] = device.ViaDevice;
    if (!device.ConfigurationUrl.empty()) block["configuration_url"] = device.ConfigurationUrl;
    return block;
}

json Siren(const TTopics& topics, const std::string& id, bool duration) {
    const std::string state = topics.State(id);
    json tones = json::array();
    for (int t = 0; t < kToneCount; ++t)
        tones.push_back(t);
    // The state template hands the siren its on/off state and its tone; the attributes are
    // only what does not change while the horn runs, so a new signal strength or input does
    // not make a new siren state.
    return {{"name", nullptr},
            {"state_topic", state},
            {"state_value_template",
             "{{ {'state': 'ON' if value_json.output else 'OFF', 'tone': value_json.tone} | "
             "tojson }}"},
            {"command_topic", topics.Command(id, TCommandTopic::SirenSet)},
            {"qos", kCommandQos},
            {"available_tones", tones},
            {"support_duration", duration},
            {"support_volume_set", false},
            {"json_attributes_topic", state},
            {"json_attributes_template", "{{ {'address': value_json.address} | tojson }}"}};
}

json Input(const TTopics& topics, const THornIdentity& identity) {
    json input = {{"name", "Input"},
                  {"state_topic", topics.State(identity.Id)},
                  {"value_template", "{{ 'ON' if value_json.input else 'OFF' }}"}};
    if (!identity.InputClass.empty()) input["device_class"] = identity.InputClass;
    return input;
}

json Rssi(const TTopics& topics, const std::string& id) {
    return {{"name", "Signal strength"},
            {"state_topic", topics.State(id)},
            {"value_template", "{{ value_json.rssi }}"},
            {"unit_of_measurement", "dBm"},
            {"device_class", "signal_strength"},
            {"state_class", "measurement"},
            {"entity_category", "diagnostic"}};
}

json Button(const TTopics& topics, const std::string& id, TCommandTopic command, const char* name,
            const char* deviceClass) {
    return {{"name", name},
            {"command_topic", topics.Command(id, command)},
            {"qos", kCommandQos},
            {"payload_press", "PRESS"},
            {"device_class", deviceClass}};
}

}  // namespace

TMessage HornDiscovery(const TTopics& topics, const THornIdentity& identity,
                       const TProgram& program, const THornDevice& device) {
    const std::string& id = identity.Id;
    TDeviceDiscovery d;
    d.Origin = program.Name;
    d.UniquePrefix = "kstbell_" + id;
    d.Device = DeviceBlock(identity, device);
    d.Availability = json::array(
        {{{"topic", topics.Availability(id)}}, {{"topic", topics.ProgramAvailability()}}});
    json reboot = Button(topics, id, TCommandTopic::Reboot, "Reboot", "restart");
    reboot["entity_category"] = "config";
    d.Components = {
        {"siren", "siren", Siren(topics, id, program.SirenDuration)},
        {"input", "binary_sensor", Input(topics, identity)},
        {"rssi", "sensor", Rssi(topics, id)},
        {"find_me", "button", Button(topics, id, TCommandTopic::FindMe, "Find me", "identify")},
        {"reboot", "button", std::move(reboot)}};
    return {topics.DeviceDiscovery(id), DiscoveryPayload(d)};
}

bool IsInputClass(std::string_view name) {
    return std::find(kInputClasses.begin(), kInputClasses.end(), name) != kInputClasses.end();
}

std::string InputClassList() {
    std::string list;
    for (const auto name : kInputClasses) {
        if (!list.empty()) list += ", ";
        list += name;
    }
    return list;
}

}  // namespace kstbell::mqtt
