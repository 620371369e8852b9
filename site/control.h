#pragma once

// What a front (MQTT, HTTP, the command line) may ask of a site service, by name: ring horns or a
// group, stop, start and stop alarms. The service implements it; a front holds only this
// interface, so fronts never include the service or one another. Every call returns at once
// (a ring that asks to may wait a bounded time for its horns' answers): what happens at the
// horns comes back through the site's events.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "site/ring_book.h"
#include "site/ring_tally.h"

namespace kstbell::site {

struct TRingRequest {
    std::vector<std::size_t> Horns;  // by index, or
    std::string Group;               // by group name ("all" is every horn)
    std::uint8_t Tone = 0;
    // How long; none: until stopped, at most the site's longest ring.
    std::optional<TMillis> Duration;
    TCause Cause = TCause::Service;
    std::string Actor;  // the user or token that asked; may be empty
    std::string Tag;    // the front's own mark, handed back with command results
    // Whether the answer waits (a reply wait or so at most) for the horns' answers to the
    // switch-on; otherwise it tells what is known at once (horns known offline).
    bool AwaitSwitches = false;
};

struct TRingAnswer {
    bool Started = false;
    std::string Refusal;  // why not: unknown group, no horns, could not be recorded
    TRingStart Start;     // when started: the record, clamped, horns held by others
    // When started: which horns switched on, which did not and why, which have not answered.
    // A ring that took horns of which every one answered and none switched on has been ended
    // (Switches.NoneOn()): it is a failure, although it was started.
    TRingSwitches Switches;
};

struct TAlarmAnswer {
    bool Ok = false;
    std::string Refusal;  // unknown alarm, could not be recorded
    std::uint64_t Ring = 0;
};

class ISiteControl {
  public:
    virtual ~ISiteControl() = default;
    virtual std::vector<std::string> GroupNames() const = 0;
    // The horns of a group, or nothing for an unknown group.
    virtual std::optional<std::vector<std::size_t>> GroupHorns(const std::string& group) const = 0;
    virtual std::vector<std::string> AlarmNames() const = 0;

    virtual TRingAnswer Ring(const TRingRequest& request) = 0;
    // Stops whatever sounds on the horn. Never refused.
    virtual void StopHorn(std::size_t horn, TCause cause, const std::string& actor,
                          const std::string& tag) = 0;
    // Stops every horn of a group (false for an unknown group).
    virtual bool StopGroup(const std::string& group, TCause cause, const std::string& actor) = 0;
    // Ends every ring and alarm at once. Never refused.
    virtual void StopAll(TCause cause, const std::string& actor) = 0;
    virtual TAlarmAnswer StartAlarm(const std::string& name, TCause cause,
                                    const std::string& actor) = 0;
    // False when the alarm is not sounding.
    virtual bool StopAlarm(const std::string& name, TCause cause, const std::string& actor) = 0;
};

}  // namespace kstbell::site
