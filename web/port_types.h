#pragma once

// What the HTTP front reads from and hands to the site service, as plain values: who asks, the
// horns and their rings, groups, alarms, the timetable, the audit log, users and tokens, the
// numbers for monitoring, and the events that go out to open pages. The front turns them into
// JSON; the service fills them from the site, its database and its calendar.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace kstbell::web {

using TInstant = std::chrono::system_clock::time_point;

// ---- Who asks ----------------------------------------------------------------------------

enum class TRole { Viewer, Operator, Admin };

// What a route needs: nothing, or a role that grants it (each role grants what the one below
// it does).
enum class TAccess { Public, View, Operate, Administer };

bool Grants(TRole role, TAccess access);

// The user behind a session cookie or an API token, with the role it acts with now.
struct TCaller {
    std::string User{};
    TRole Role = TRole::Viewer;
    std::optional<std::int64_t> TokenId{};  // set when a token was presented
    std::string TokenName{};
    std::string Csrf{};  // a session's CSRF token; empty for a token

    // How the audit log names it: "alice", or "alice (token backup-script)".
    std::string Actor() const { return TokenId ? User + " (token " + TokenName + ")" : User; }
    bool operator==(const TCaller&) const = default;
};

// Unavailable: the service cannot tell (its database cannot be read): never "refused".
enum class TLoginOutcome { LoggedIn, Refused, TooSoon, Unavailable };

struct TLoginAnswer {
    TLoginOutcome Outcome = TLoginOutcome::Refused;
    std::string Cookie{};  // logged in: the session cookie's value (shown only here)
    TCaller Caller{};      // logged in: who, with the session's CSRF token
    // Refused or too soon: how long before the next attempt is let through (zero: at once).
    std::chrono::seconds RetryAfter{0};
};

// ---- The site ----------------------------------------------------------------------------

enum class TCause { Schedule, Alarm, Input, Mqtt, Http, CommandLine, Service };

// The ring holding a horn or sounding an alarm, with what people need to name it: why it rang,
// who asked, and its label (a bell's plan and time, an alarm's name, a group).
struct TRingRef {
    std::uint64_t Id = 0;
    TInstant End{};
    TCause Cause = TCause::Http;
    std::string Actor{};
    std::string Label{};
    bool operator==(const TRingRef&) const = default;
};

enum class TPresence { Unknown, Online, Offline };

struct THornInfo {
    std::string Address{};  // the key the API uses for a horn
    std::string Name{};     // from the site file; may be empty
    std::string Id{};       // the MAC address, "00:11:22:33:44:55"; empty until identified
    std::string Location{};
    std::string Firmware{};  // "1.4"; empty until identified
    TPresence Presence = TPresence::Unknown;
    bool Output = false;
    bool Input = false;
    bool Armed = false;
    std::optional<int> RssiDbm{};
    int Tone = 0;
    std::vector<std::string> Groups{};
    std::optional<TRingRef> Ring{};  // the ring holding it, if any

    bool operator==(const THornInfo&) const = default;
};

struct TGroupInfo {
    std::string Name{};
    std::vector<std::string> Horns{};  // addresses
    bool operator==(const TGroupInfo&) const = default;
};

// Where the horns' names and the groups live: the site file (read only here) or the database
// (changed through the API).
enum class TNamesSource { File, Database };

struct THornNameInfo {
    std::string Address{};
    std::string Name{};  // empty: none
    TNamesSource Source = TNamesSource::Database;
    bool operator==(const THornNameInfo&) const = default;
};

struct TNamesView {
    TNamesSource GroupsSource = TNamesSource::Database;
    std::int64_t Revision = 0;  // of the database's names and groups; 0: none saved yet
    std::vector<THornNameInfo> Horns{};
    bool operator==(const TNamesView&) const = default;
};

// A ring asked for by horns (addresses) or by a group, never both.
struct TRingAsk {
    std::vector<std::string> Horns{};
    std::string Group{};
    int Tone = 0;
    // None: until stopped, at most the site's longest ring.
    std::optional<std::chrono::milliseconds> Duration{};
    bool operator==(const TRingAsk&) const = default;
};

// A horn a ring's switch-on did not reach, and why: "offline" (known offline when the ring
// started), or the command's outcome ("unreachable", "no_reply", "refused", "busy", ...).
struct THornNotOn {
    std::string Horn{};  // address
    std::string Reason{};
    std::string Message{};  // the horn's or the link's own words; may be empty
    bool operator==(const THornNotOn&) const = default;
};

struct TRingInfo {
    std::uint64_t Id = 0;
    TInstant Start{};
    TInstant End{};
    bool Clamped = false;              // the duration asked for was longer than the site allows
    std::vector<std::string> Horns{};  // those the ring holds
    std::vector<std::string> HeldByOthers{};  // those a ring of higher priority keeps
    int Tone = 0;
    int Priority = 0;
    TCause Cause = TCause::Http;
    std::string Actor{};
    std::string Label{};  // an alarm's name, a bell's plan and time
    // The answer to a ring asked for: what became of the switch-on at the horns it holds.
    bool SwitchesKnown = false;
    std::vector<std::string> SwitchedOn{};
    std::vector<THornNotOn> NotSwitchedOn{};
    std::vector<std::string> Pending{};  // no answer within the wait
    // Every horn it holds answered and none switched on (the service ended it).
    bool NoneOn() const {
        return SwitchesKnown && !Horns.empty() && SwitchedOn.empty() && Pending.empty();
    }
    bool operator==(const TRingInfo&) const = default;
};

struct TRingEndInfo {
    std::uint64_t Id = 0;
    bool Stopped = false;  // ended before its time
    std::vector<std::string> Horns{};
    TCause Cause = TCause::Service;
    TInstant At{};
    bool operator==(const TRingEndInfo&) const = default;
};

struct TAlarmInfo {
    std::string Name{};
    std::string Label{};
    int Priority = 0;
    bool Sounding = false;
    std::optional<TRingRef> Ring{};
    bool operator==(const TAlarmInfo&) const = default;
};

// ---- The timetable -----------------------------------------------------------------------

enum class TBellState { Past, Next, Upcoming };

struct TBellInfo {
    TInstant At{};
    std::chrono::local_seconds Local{};  // the site's wall clock then
    std::chrono::year_month_day Date{};  // the day whose plan holds it
    std::string Plan{};
    std::string Group{};
    int Tone = 0;
    int DurationS = 0;
    TBellState State = TBellState::Upcoming;
    bool Moved = false;   // its time did not exist that day (clock change)
    std::string Label{};  // the bell's, for people; may be empty
    bool operator==(const TBellInfo&) const = default;
};

enum class TDayRule { Week, Exception, Holiday };

struct TDayView {
    std::chrono::year_month_day Date{};
    std::string Plan{};  // empty: no bells
    TDayRule Rule = TDayRule::Week;
    std::string Name{};  // the exception's or holiday's
    std::vector<TBellInfo> Bells{};
};

struct TPlanBell {
    std::chrono::seconds Time{0};  // since local midnight
    std::string Group{};
    int Tone = 0;
    int DurationS = 0;
};

struct TPlanInfo {
    std::string Name{};
    std::vector<TPlanBell> Bells{};
};

struct TPlansView {
    std::string TimeZone{};
    std::vector<TPlanInfo> Plans{};
    std::array<std::string, 7> Week{};  // Monday first; empty: no bells that day
};

struct TExceptionInfo {
    std::optional<std::int64_t> Id{};  // none for the site file's, which cannot be removed here
    std::chrono::year_month_day First{};
    std::chrono::year_month_day Last{};
    std::optional<std::string> Plan{};  // none: no bells
    std::string Name{};
    std::string AddedBy{};            // added here: who
    std::optional<TInstant> Added{};  // added here: when
    bool operator==(const TExceptionInfo&) const = default;
};

struct TExceptionAsk {
    std::chrono::year_month_day First{};
    std::chrono::year_month_day Last{};
    std::optional<std::string> Plan{};  // none: no bells
    std::string Name{};
    bool operator==(const TExceptionAsk&) const = default;
};

// The timetable as people edit it: day plans, week, holidays; kept in the site file (read
// only here) or in the service's database (edited here, revision by revision).
enum class TTimetableSource { File, Database };

struct TTimetableBell {
    std::chrono::seconds Time{0};  // since local midnight
    std::string Group{};
    int Tone = 0;
    int DurationS = 0;
    std::string Label{};
    bool operator==(const TTimetableBell&) const = default;
};

struct THolidayInfo {
    std::string Name{};
    std::chrono::year_month_day First{};
    std::chrono::year_month_day Last{};
    bool operator==(const THolidayInfo&) const = default;
};

struct TTimetableView {
    TTimetableSource Source = TTimetableSource::File;
    std::int64_t Revision = 0;  // 0: the site file's, or nothing saved yet
    std::string ChangedBy{};
    std::optional<TInstant> ChangedAt{};
    // By name; each plan's bells in time order.
    std::vector<std::pair<std::string, std::vector<TTimetableBell>>> Plans{};
    std::array<std::string, 7> Week{};  // Monday first; empty: no bells that day
    std::vector<THolidayInfo> Holidays{};
    bool operator==(const TTimetableView&) const = default;
};

struct TTimetableRevisionInfo {
    std::int64_t Revision = 0;
    std::string ChangedBy{};
    TInstant ChangedAt{};
    std::string Summary{};  // what changed, in words
    bool operator==(const TTimetableRevisionInfo&) const = default;
};

// ---- The audit log -----------------------------------------------------------------------

// An entry's place in the log's order (time, then the order entries were appended in).
struct TLogCursor {
    TInstant At{};
    std::int64_t Id = 0;
    bool operator==(const TLogCursor&) const = default;
};

struct TLogQuery {
    std::optional<TInstant> Since{};    // at or after
    std::optional<TInstant> Until{};    // before
    std::string Horn{};                 // address or MAC; empty: every horn
    std::vector<std::string> Causes{};  // names; empty: every cause
    std::vector<std::string> Kinds{};   // names; empty: every kind
    int Limit = 100;
    std::optional<TLogCursor> After{};  // newest first: entries older than this one
    bool operator==(const TLogQuery&) const = default;
};

struct TLogEntry {
    std::int64_t Id = 0;
    TInstant At{};
    std::string Kind{};
    std::string Cause{};
    std::string Actor{};
    std::string HornAddress{};
    std::string HornId{};
    std::string Group{};
    std::string Alarm{};
    std::optional<int> Tone{};
    std::optional<std::chrono::milliseconds> Duration{};
    std::optional<std::int64_t> RingId{};
    std::string Detail{};
};

struct TLogPage {
    std::vector<TLogEntry> Entries{};
    std::optional<TLogCursor> Next{};  // none: this page holds the last matching entry
};

// ---- People ------------------------------------------------------------------------------

struct TUserInfo {
    std::string Name{};
    TRole Role = TRole::Viewer;
    TInstant Created{};
    TInstant PasswordChanged{};
    std::optional<TInstant> Disabled{};
    bool operator==(const TUserInfo&) const = default;
};

struct TUserAsk {
    std::string Name{};
    TRole Role = TRole::Viewer;
    std::string Password{};
};

// Only what is set changes.
struct TUserChange {
    std::optional<TRole> Role{};
    std::optional<std::string> Password{};
    std::optional<bool> Disabled{};
};

struct TTokenInfo {
    std::int64_t Id = 0;
    std::string User{};
    std::string Name{};
    TRole Role = TRole::Viewer;  // as made
    TRole Acts = TRole::Viewer;  // what it may do now (capped by its user's role)
    bool UserDisabled = false;
    TInstant Created{};
    std::optional<TInstant> LastUsed{};
    bool operator==(const TTokenInfo&) const = default;
};

struct TTokenAsk {
    std::string User{};  // empty: the caller
    std::string Name{};
    std::optional<TRole> Role{};  // none: the user's
};

struct TNewTokenInfo {
    TTokenInfo Token{};
    std::string Secret{};  // shown once
};

// ---- The service -------------------------------------------------------------------------

struct THealth {
    bool Ready = false;
    std::string Site{};
    std::string Version{};
    std::size_t HornsTotal = 0;
    std::size_t HornsOnline = 0;
    std::chrono::seconds Uptime{0};
    // What keeps the service from keeping its records (its database cannot be read or
    // written, its disk is full): "failing" while not empty. One sentence each.
    std::vector<std::string> Problems{};
    // Horns known to be offline (not those still unknown at the start): "degraded".
    std::size_t HornsOffline = 0;
};

struct THornMetrics {
    std::string Address{};
    std::string Name{};
    std::string Id{};
    bool Up = false;
    bool Output = false;
    bool Input = false;
    std::optional<int> RssiDbm{};
    std::optional<TInstant> LastPoll{};  // the last answered poll
};

// A histogram as Prometheus keeps it: counts per bucket (not summed up), one more for the
// values above the last bound.
struct THistogram {
    std::vector<double> Bounds{};         // ascending upper bounds
    std::vector<std::uint64_t> Counts{};  // Bounds.size() + 1 entries
    double Sum = 0;
};

struct TMetrics {
    std::vector<THornMetrics> Horns{};
    THistogram PollSeconds{};
    std::vector<std::pair<std::string, std::uint64_t>> RingsByCause{};   // cause name, count
    std::vector<std::pair<std::string, std::uint64_t>> AlarmsByCause{};  // cause name, count
    std::uint64_t BellsFired = 0;
    std::uint64_t BellsMissed = 0;
    std::uint64_t AuditLost = 0;  // audit entries that could not be written
};

// What a stop all ended, counted just before it: the alarms sounding and the other rings
// holding a horn (an alarm's rings count as the alarm).
struct TStopAllCounts {
    std::size_t Rings = 0;
    std::size_t Alarms = 0;
    bool operator==(const TStopAllCounts&) const = default;
};

// ---- Events ------------------------------------------------------------------------------

struct TPresenceEvent {
    std::string Address{};
    bool Online = false;
    TInstant At{};
};

struct TStopAllEvent {
    std::string Actor{};
    TCause Cause = TCause::Http;
    TInstant At{};
};

// A bell rung, or missed (with why).
struct TBellEvent {
    TBellInfo Bell{};
    bool Missed = false;
    std::string Reason{};  // missed: "service down", "horns unreachable: 10.0.1.20"
};

// What changed, as the event streams send it: a horn's state (the horn as it is now), a horn
// coming online or going offline, a ring started or ended, an alarm's state, a bell rung or
// missed, everything stopped.
using TWebEvent = std::variant<THornInfo, TPresenceEvent, TRingInfo, TRingEndInfo, TAlarmInfo,
                               TBellEvent, TStopAllEvent>;

}  // namespace kstbell::web
