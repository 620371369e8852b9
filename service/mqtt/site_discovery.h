#pragma once

// The site as one device of the automation system, beside its horns, sent by the site service:
// a siren per group (tones 0 to 3 and a duration; on while any horn of the group sounds), per
// alarm a button that starts it and a switch that shows it sounding (ON starts it, OFF stops
// it), and a Stop all button; available while the service is.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "mqtt/messages.h"
#include "mqtt/program.h"
#include "mqtt/topics.h"
#include "service/mqtt/site_topics.h"

namespace kstbell::service {

struct TSiteDevice {
    std::string Name;                                         // the site's name
    std::vector<std::pair<std::string, std::string>> Groups;  // name, label; "all" first
    std::vector<std::pair<std::string, std::string>> Alarms;  // name, label
    std::string ConfigurationUrl;                             // the site's page; empty: none
};

// What a group's or an alarm's entity is called, as people write it: its label when it has one;
// "All horns" for the group of every horn; else the name with spaces for its underscores and
// its first letter in upper case ("ground_floor": "Ground floor").
std::string SiteEntityName(const std::string& name, const std::string& label, bool group);

// A name as a component key ([a-z0-9_]): itself when it is one already, otherwise its letters
// and digits in lower case, the rest as "_", and a short hash of the name so that two names
// never share a key.
std::string ComponentKey(std::string_view name);

// The site device's object id: "kstbell_site_" and the base topic as a component key, so that
// two services on one broker (each with its own base) are two devices.
std::string SiteObjectId(const std::string& base);

// The retained device-based discovery message of the site.
mqtt::TMessage SiteDiscovery(const mqtt::TTopics& topics, const TSiteTopics& site,
                             const TSiteDevice& device, const mqtt::TProgram& program);

}  // namespace kstbell::service
