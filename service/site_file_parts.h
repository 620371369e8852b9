#pragma once

// The parts of the site file that belong to the service itself, each read by a file of its own;
// site_file.cpp runs them with the bridge's, the calendar's and the alarms' readers.

#include <toml++/toml.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "config/reader.h"
#include "service/service_config.h"
#include "web/http_config.h"

namespace kstbell::service {

// [site]: name, max_ring_s, stop_unowned, log_days (time_zone and late_tolerance_s are the
// calendar's).
void ReadSiteSection(const toml::node& node, config::TReader& values, TSiteSettings& settings);

// [http]: listen, tls_cert and tls_key (both or neither), metrics_public, session_idle_min,
// max_body_bytes, event_streams.
void ReadHttpSection(const toml::node& node, config::TReader& values, web::THttpConfig& http);

// [groups]: NAME = [members], each a configured horn's name, an address, or a range.
void ReadGroups(const toml::node& node, const std::vector<mqtt::THornEntry>& horns,
                config::TReader& values, std::vector<TGroup>& groups);

// The service's keys of [[devices.horn]] tables: input_alarm, input_debounce_ms,
// input_hold_off_s.
class THornInputKeys {
  public:
    // A key the bridge does not know, of the entry with this index: false when it is none of
    // these either.
    bool Read(std::size_t entry, const std::string& key, const toml::node& value,
              config::TReader& values);
    // The rule of every horn (entryOf: the entry each horn came from); an alarm that does not
    // exist is a mistake.
    std::vector<std::optional<alarms::TInputRule>> Rules(const std::vector<std::size_t>& entryOf,
                                                         const std::vector<alarms::TAlarm>& alarms,
                                                         config::TReader& values) const;

  private:
    struct TKeys {
        bool AlarmGiven = false;
        std::optional<std::string> Alarm;
        std::uint32_t Line = 0;
        std::optional<std::chrono::milliseconds> Debounce;
        std::optional<std::chrono::seconds> HoldOff;
    };
    std::map<std::size_t, TKeys> entries_;
};

// The horns a member of a group names: a configured horn's name, else an address or a range of
// which the configured horns count (added to into). False, with the reason, when it names none.
bool GroupMembers(const std::string& member, const std::vector<mqtt::THornEntry>& horns,
                  std::vector<std::size_t>& into, std::string& why);

// What a group's name, its members and "all" are refused with, wherever a group is defined.
inline constexpr const char* kGroupNameRule =
    "a group's name is 1 to 32 lower-case letters, digits, _ and -";
inline constexpr const char* kGroupMembersRule =
    "must be a list of horn names, addresses and ranges";
inline constexpr const char* kAllGroupBuiltIn =
    "'all' is built in (every horn) and cannot be defined";

// A name for a group: 1 to 32 lower-case letters, digits, _ and - (it becomes part of topics
// and addresses).
bool IsGroupName(const std::string& name);

}  // namespace kstbell::service
