#pragma once

// Device-based discovery for the automation system: one retained message per device on
// PREFIX/device/OBJECT/config that names the device, the program that sent it (the origin) and
// the availability shared by every component, with the components under "cmps" by key. A
// component's key, with the device's object id, is how the automation system tells it apart
// from every other; its unique id is UNIQUE_PREFIX_KEY and the entity id it suggests
// PLATFORM.UNIQUE_PREFIX_KEY. A horn is one such device; the site of the site service (group
// sirens, alarm buttons and switches, Stop all) is another, built the same way.

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace kstbell::mqtt {

struct TDiscoveryComponent {
    std::string Key;        // [a-z0-9_]: part of the discovery id, the unique id and entity id
    std::string Platform;   // "siren", "binary_sensor", "sensor", "button", ...
    nlohmann::json Config;  // the platform's own options
};

struct TDeviceDiscovery {
    std::string Origin;           // the program that sends it: "kstbell-bridge", "kstbelld"
    std::string UniquePrefix;     // "kstbell_024b7a3c6001"
    nlohmann::json Device;        // identifiers, connections, name, model, sw_version
    nlohmann::json Availability;  // availability topics, each "online" or "offline"; all online:
                                  // the components are available
    std::vector<TDiscoveryComponent> Components;
};

// The QoS a command component asks the automation system to send its commands at: the programs
// subscribe to their command topics at QoS 1, so a command survives a lost packet.
inline constexpr int kCommandQos = 1;

// {"name":"kstbell-bridge","sw_version":"1.0.0"}
nlohmann::json OriginBlock(const std::string& program);

// The message's payload as one line; text that is not UTF-8 is replaced, never thrown over.
std::string DiscoveryPayload(const TDeviceDiscovery& discovery);

// The payload that asks the automation system to hand an entity over from its per-entity
// discovery topic to a device-based message: it unloads the entity and keeps its settings.
inline constexpr const char* kMigrateDiscovery = R"({"migrate_discovery":true})";

}  // namespace kstbell::mqtt
