#pragma once

// The site file as values: the site's own settings, the bridge's keys (broker, topics, poll,
// devices), the horns with their input rules, the groups, the calendar, the alarms and the HTTP
// front.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "alarms/alarm.h"
#include "alarms/input_triggers.h"
#include "calendar/calendar_config.h"
#include "mqtt/config.h"
#include "site/horn.h"
#include "web/http_config.h"

namespace kstbell::service {

inline constexpr const char* kDefaultConfigPath = "/etc/kstbell/site.toml";
inline constexpr const char* kAllGroup = "all";

// The [site] table, besides the calendar's keys (time_zone, late_tolerance_s).
struct TSiteSettings {
    std::string Name = "kstbell";
    site::TMillis MaxRing{std::chrono::seconds(180)};
    bool StopUnowned = true;
    std::chrono::days LogDays{365};
};

struct TGroup {
    std::string Name;
    std::vector<std::size_t> Horns;  // indices into TServiceConfig::Horns, ascending
};

struct TServiceConfig {
    std::string Path;  // the file it came from, as given
    TSiteSettings Site;
    mqtt::TBridgeConfig Bridge;
    bool HasBroker = false;  // the file has a [broker] table: the MQTT front runs
    std::vector<mqtt::THornEntry> Horns;
    // Per horn: the alarm its digital input starts, if any.
    std::vector<std::optional<alarms::TInputRule>> Inputs;
    std::vector<TGroup> Groups;  // "all" first, then the file's in the file's order
    // The file has a [groups] table: it owns the groups (else they are the database's).
    bool GroupsGiven = false;
    calendar::TCalendarConfig Calendar;
    std::vector<alarms::TAlarm> Alarms;
    // The [http] table: the HTTP front runs when it is there.
    std::optional<web::THttpConfig> Http;

    const TGroup* FindGroup(const std::string& name) const;
    const alarms::TAlarm* FindAlarm(const std::string& name) const;
};

}  // namespace kstbell::service
