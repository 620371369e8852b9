#pragma once

// The commands that gathered on kstbelld's MQTT front while the previous ones were carried out,
// and which of them a later one makes moot. A group siren's command is superseded by the next
// command for the same group when nothing between them touches any of the group's horns (a
// command for an overlapping group, a horn's own command, any alarm command), and by a later
// Stop all; a horn's siren ON or OFF likewise by the next one for the same horn (with no
// command for one of its groups, no other command for the horn and no alarm command between)
// and by a later Stop all. Alarm commands, a horn's other commands and Stop all itself are never
// superseded: an alarm that was asked to start starts. Carrying out only the commands left gives
// the site the state that carrying out every command in turn would.

#include <cstddef>
#include <optional>
#include <vector>

#include "mqtt/horn_front.h"
#include "service/mqtt/site_front.h"

namespace kstbell::service {

// One command as it came from the broker: a site command or a horn's.
struct TQueuedCommand {
    std::optional<TSiteCommand> Site;
    std::optional<mqtt::THornRequest> Horn;
};

// Whether the command stops something (and so must not wait behind rings).
bool IsStop(const TQueuedCommand& c);
// Stop all or an alarm's OFF: what ends the carrier's wait for more to gather.
bool IsUrgentStop(const TQueuedCommand& c);
// Whether the command starts a ring or an alarm.
bool IsRing(const TQueuedCommand& c);

// Per command of batch: whether a later one supersedes it. groups: the names the site front
// knows with each one's horns.
std::vector<bool> Superseded(const std::vector<TQueuedCommand>& batch,
                             const std::vector<std::string>& groupNames,
                             const std::vector<std::vector<std::size_t>>& groupHorns);

}  // namespace kstbell::service
