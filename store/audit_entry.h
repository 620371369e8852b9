#pragma once

// One entry of the audit log: what happened, when (UTC, ms), why (its cause), who asked (a
// user's or token's name, empty for the service itself) and what it was about.

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "store/utc_time.h"

namespace kstbell::store {

// Their names are stored as text and are what every front shows; a name, once stored, never
// changes. A new kind or cause is a new schema version, so that an older program refuses the
// file instead of meeting a name it does not know.
enum class TAuditKind {
    Ring,     // horns switched on for a ring
    RingEnd,  // a ring's horns confirmed off
    AlarmStart,
    AlarmStop,
    StopAll,
    BellFired,   // a scheduled bell rang
    BellMissed,  // a scheduled bell did not ring (service down, horn unreachable)
    HornOnline,
    HornOffline,
    HornStopped,  // a horn switched off on request, or one no active ring owned (after a restart)
    ConfigLoaded,
    ServiceStart,
    ServiceStop,
    // People and their credentials; an entry names the user or token it is about in Detail
    // and who made the change in Actor. Never a password, token or session secret.
    UserAdded,
    UserRemoved,
    UserRoleChanged,
    UserPasswordChanged,
    UserDisabled,
    UserEnabled,
    TokenCreated,
    TokenRevoked,
    Login,
    LoginFailed,
    Logout,
    // Dates that run another day plan or no bells, added or removed while the service runs.
    ExceptionAdded,
    ExceptionRemoved,
    // The timetable kept in the database saved (through the API, restored, or imported).
    TimetableChanged,
    // A horn's name or a group kept in the database set, changed or removed.
    HornRenamed,
    GroupChanged,
};

enum class TAuditCause { Schedule, Alarm, Input, Mqtt, Http, Cli, Service };

std::span<const TAuditKind> AllAuditKinds();
std::span<const TAuditCause> AllAuditCauses();

// "ring", "ring_end", "alarm_start", ..., and "schedule", "alarm", "input", "mqtt", ....
std::string_view KindName(TAuditKind kind);
std::string_view CauseName(TAuditCause cause);
std::optional<TAuditKind> KindFromName(std::string_view name);
std::optional<TAuditCause> CauseFromName(std::string_view name);

struct TAuditEntry {
    std::int64_t Id = 0;  // given by the log: increases with every entry appended
    TUtcTime At{};
    TAuditKind Kind = TAuditKind::Ring;
    TAuditCause Cause = TAuditCause::Service;
    std::string Actor{};        // the user or API token that asked; empty: nobody in particular
    std::string HornAddress{};  // the horn's address as the service reaches it
    std::string HornId{};       // the horn's identity (its MAC) when known
    std::string Group{};
    std::string Alarm{};
    std::optional<int> Tone{};
    std::optional<std::chrono::milliseconds> Duration{};
    std::optional<std::int64_t> RingId{};  // the ring record this entry is about
    std::string Detail{};                  // a short free text

    bool operator==(const TAuditEntry&) const = default;
};

// The longest texts kept: longer ones are cut (at a character boundary) when appended.
inline constexpr std::size_t kMaxNameBytes = 200;
inline constexpr std::size_t kMaxDetailBytes = 1000;

}  // namespace kstbell::store
