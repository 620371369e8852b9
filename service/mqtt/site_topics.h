#pragma once

// The topics of the site service's own commands and states, beside the horns' (BASE/ID/...):
//
//   BASE/group/NAME/siren/set   a group's siren: ON rings every horn of the group, OFF stops them
//   BASE/group/NAME/state       on while any horn of the group sounds
//   BASE/alarm/NAME/start       the alarm's start button
//   BASE/alarm/NAME/set         the alarm's switch: ON starts it, OFF stops it
//   BASE/alarm/NAME/state       ON while the alarm sounds
//   BASE/service/stop_all       the Stop all button
//   BASE/service/result         the results of these commands
//
// A group's or an alarm's name is one topic level, as the configuration spells it.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kstbell::service {

enum class TSiteCommandKind { GroupSiren, AlarmStart, AlarmSwitch, StopAll };

struct TSiteAddress {
    TSiteCommandKind Kind = TSiteCommandKind::StopAll;
    std::string Name;  // the group or alarm; empty for Stop all
};

// Why a group's or an alarm's name cannot stand as one topic level (empty, a slash, a wildcard,
// control characters, not UTF-8, or too long), or nothing when it can.
std::optional<std::string> TopicLevelProblem(std::string_view name);

class TSiteTopics {
  public:
    // serviceLevel: the service's own level under the base ("service").
    TSiteTopics(std::string base, std::string serviceLevel);

    std::string GroupCommand(const std::string& group) const;
    std::string GroupState(const std::string& group) const;
    std::string AlarmStart(const std::string& alarm) const;
    std::string AlarmCommand(const std::string& alarm) const;
    std::string AlarmState(const std::string& alarm) const;
    std::string StopAll() const;
    std::string Result() const;

    // The subscriptions that carry every command above.
    std::vector<std::string> CommandSubscriptions() const;
    // The command a received topic names, or nothing.
    std::optional<TSiteAddress> Parse(std::string_view topic) const;
    // The command as its results name it: its topic below the base ("group/NAME/siren/set").
    std::string CommandName(const TSiteAddress& address) const;

  private:
    std::string Topic(const TSiteAddress& address) const;

    std::string base_;
    std::string level_;
};

}  // namespace kstbell::service
