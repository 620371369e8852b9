#include "service/mqtt/site_discovery.h"

#include <cstdint>
#include <cstdio>

#include "kstbell_version.h"
#include "mqtt/command_payload.h"
#include "mqtt/discovery.h"

namespace kstbell::service {

namespace {

using nlohmann::json;

bool IsKeyChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

// 32-bit FNV-1a: stable across builds and systems, which a key must be.
std::uint32_t Hash(std::string_view text) {
    std::uint32_t h = 2166136261u;
    for (const char c : text) {
        h ^= static_cast<unsigned char>(c);
        h *= 16777619u;
    }
    return h;
}

json Tones() {
    json tones = json::array();
    for (int t = 0; t < mqtt::kToneCount; ++t)
        tones.push_back(t);
    return tones;
}

json GroupSiren(const TSiteTopics& site, const std::string& group, const std::string& label) {
    const std::string state = site.GroupState(group);
    return {{"name", SiteEntityName(group, label, true)},
            {"command_topic", site.GroupCommand(group)},
            {"qos", mqtt::kCommandQos},
            {"state_topic", state},
            {"state_value_template", "{{ value_json.state }}"},
            {"available_tones", Tones()},
            {"support_duration", true},
            {"support_volume_set", false},
            {"json_attributes_topic", state},
            {"json_attributes_template",
             "{{ {'sounding': value_json.sounding, 'horns': value_json.horns} | tojson }}"}};
}

json AlarmButton(const TSiteTopics& site, const std::string& alarm, const std::string& label) {
    return {{"name", "Start " + SiteEntityName(alarm, label, false)},
            {"command_topic", site.AlarmStart(alarm)},
            {"qos", mqtt::kCommandQos},
            {"payload_press", "PRESS"}};
}

json AlarmSwitch(const TSiteTopics& site, const std::string& alarm, const std::string& label) {
    return {{"name", SiteEntityName(alarm, label, false)},
            {"command_topic", site.AlarmCommand(alarm)},
            {"qos", mqtt::kCommandQos},
            {"state_topic", site.AlarmState(alarm)},
            {"payload_on", "ON"},
            {"payload_off", "OFF"},
            {"state_on", "ON"},
            {"state_off", "OFF"}};
}

}  // namespace

std::string SiteEntityName(const std::string& name, const std::string& label, bool group) {
    // A label that is only the name again (an alarm without one) reads as none.
    if (!label.empty() && label != name) return label;
    if (group && name == "all") return "All horns";
    std::string words = name;
    for (char& c : words)
        if (c == '_') c = ' ';
    if (!words.empty() && words[0] >= 'a' && words[0] <= 'z')
        words[0] = static_cast<char>(words[0] - 'a' + 'A');
    return words;
}

std::string ComponentKey(std::string_view name) {
    bool plain = !name.empty();
    std::string key;
    for (const char c : name) {
        if (IsKeyChar(c)) {
            key += c;
        } else if (c >= 'A' && c <= 'Z') {
            key += static_cast<char>(c - 'A' + 'a');
            plain = false;
        } else {
            key += '_';
            plain = false;
        }
    }
    if (plain) return key;
    char hash[10];
    std::snprintf(hash, sizeof hash, "_%08x", static_cast<unsigned>(Hash(name)));
    return key + hash;
}

std::string SiteObjectId(const std::string& base) {
    return "kstbell_site_" + ComponentKey(base);
}

mqtt::TMessage SiteDiscovery(const mqtt::TTopics& topics, const TSiteTopics& site,
                             const TSiteDevice& device, const mqtt::TProgram& program) {
    const std::string objectId = SiteObjectId(topics.Base());
    mqtt::TDeviceDiscovery d;
    d.Origin = program.Name;
    d.UniquePrefix = objectId;
    d.Device = {{"identifiers", json::array({objectId})},
                {"name", device.Name.empty() ? std::string("kstbell site") : device.Name},
                {"model", "Site service"},
                {"sw_version", KSTBELL_VERSION}};
    if (!device.ConfigurationUrl.empty()) d.Device["configuration_url"] = device.ConfigurationUrl;
    d.Availability = json::array({{{"topic", topics.ProgramAvailability()}}});
    d.Components.push_back({"stop_all",
                            "button",
                            {{"name", "Stop all"},
                             {"command_topic", site.StopAll()},
                             {"qos", mqtt::kCommandQos},
                             {"payload_press", "PRESS"}}});
    for (const auto& [group, label] : device.Groups)
        d.Components.push_back(
            {"group_" + ComponentKey(group), "siren", GroupSiren(site, group, label)});
    for (const auto& [alarm, label] : device.Alarms) {
        const std::string key = ComponentKey(alarm);
        d.Components.push_back({"start_alarm_" + key, "button", AlarmButton(site, alarm, label)});
        d.Components.push_back({"alarm_" + key, "switch", AlarmSwitch(site, alarm, label)});
    }
    return {topics.DeviceDiscovery(objectId), mqtt::DiscoveryPayload(d)};
}

}  // namespace kstbell::service
