#include "mqtt/discovery.h"

#include "kstbell_version.h"

namespace kstbell::mqtt {

using nlohmann::json;

json OriginBlock(const std::string& program) {
    return {{"name", program}, {"sw_version", KSTBELL_VERSION}};
}

std::string DiscoveryPayload(const TDeviceDiscovery& discovery) {
    json components = json::object();
    for (const auto& c : discovery.Components) {
        json config = c.Config;
        const std::string uniqueId = discovery.UniquePrefix + "_" + c.Key;
        config["p"] = c.Platform;
        config["unique_id"] = uniqueId;
        config["default_entity_id"] = c.Platform + "." + uniqueId;
        components[c.Key] = std::move(config);
    }
    const json payload = {{"dev", discovery.Device},
                          {"o", OriginBlock(discovery.Origin)},
                          {"availability", discovery.Availability},
                          {"availability_mode", "all"},
                          {"cmps", std::move(components)}};
    return payload.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace kstbell::mqtt
