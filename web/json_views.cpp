#include "web/json_views.h"

#include <charconv>

#include "web/time_text.h"

namespace kstbell::web {

using nlohmann::json;

namespace {

json OptionalInstant(const std::optional<TInstant>& at) {
    return at ? json(InstantText(*at)) : json(nullptr);
}

std::string_view BellStateName(TBellState state) {
    switch (state) {
        case TBellState::Past:
            return "past";
        case TBellState::Next:
            return "next";
        case TBellState::Upcoming:
            return "upcoming";
    }
    return "upcoming";
}

std::string_view DayRuleName(TDayRule rule) {
    switch (rule) {
        case TDayRule::Week:
            return "week";
        case TDayRule::Exception:
            return "exception";
        case TDayRule::Holiday:
            return "holiday";
    }
    return "week";
}

}  // namespace

std::string_view RoleName(TRole role) {
    switch (role) {
        case TRole::Viewer:
            return "viewer";
        case TRole::Operator:
            return "operator";
        case TRole::Admin:
            return "admin";
    }
    return "viewer";
}

std::optional<TRole> RoleFromName(std::string_view name) {
    for (const auto role : {TRole::Viewer, TRole::Operator, TRole::Admin}) {
        if (RoleName(role) == name) return role;
    }
    return std::nullopt;
}

std::string_view AccessName(TAccess access) {
    switch (access) {
        case TAccess::Public:
            return "public";
        case TAccess::View:
            return "view";
        case TAccess::Operate:
            return "operate";
        case TAccess::Administer:
            return "administer";
    }
    return "administer";
}

std::string_view CauseName(TCause cause) {
    switch (cause) {
        case TCause::Schedule:
            return "schedule";
        case TCause::Alarm:
            return "alarm";
        case TCause::Input:
            return "input";
        case TCause::Mqtt:
            return "mqtt";
        case TCause::Http:
            return "http";
        case TCause::CommandLine:
            return "cli";
        case TCause::Service:
            return "service";
    }
    return "service";
}

std::string_view PresenceName(TPresence presence) {
    switch (presence) {
        case TPresence::Unknown:
            return "unknown";
        case TPresence::Online:
            return "online";
        case TPresence::Offline:
            return "offline";
    }
    return "unknown";
}

json ToJson(const TCaller& caller) {
    json out = {{"user", caller.User}, {"role", RoleName(caller.Role)}};
    if (caller.TokenId) {
        out["token"] = {{"id", *caller.TokenId}, {"name", caller.TokenName}};
    } else {
        out["csrf"] = caller.Csrf;
    }
    return out;
}

json ToJson(const TRingRef& ring) {
    return {{"id", ring.Id},
            {"end", InstantText(ring.End)},
            {"cause", CauseName(ring.Cause)},
            {"actor", ring.Actor},
            {"label", ring.Label}};
}

json ToJson(const THornInfo& horn) {
    return {{"address", horn.Address},
            {"name", horn.Name},
            {"id", horn.Id.empty() ? json(nullptr) : json(horn.Id)},
            {"location", horn.Location},
            {"firmware", horn.Firmware.empty() ? json(nullptr) : json(horn.Firmware)},
            {"online", horn.Presence == TPresence::Online},
            {"presence", PresenceName(horn.Presence)},
            {"output", horn.Output},
            {"input", horn.Input},
            {"armed", horn.Armed},
            {"rssi_dbm", horn.RssiDbm ? json(*horn.RssiDbm) : json(nullptr)},
            {"tone", horn.Tone},
            {"groups", horn.Groups},
            {"ring", horn.Ring ? ToJson(*horn.Ring) : json(nullptr)}};
}

json ToJson(const TGroupInfo& group) {
    return {{"name", group.Name}, {"horns", group.Horns}};
}

json ToJson(const TNamesView& names) {
    const auto source = [](TNamesSource s) {
        return s == TNamesSource::File ? "file" : "database";
    };
    json horns = json::array();
    for (const auto& horn : names.Horns)
        horns.push_back(
            {{"address", horn.Address}, {"name", horn.Name}, {"source", source(horn.Source)}});
    return {{"source", source(names.GroupsSource)},
            {"revision", names.Revision},
            {"horns", std::move(horns)}};
}

json ToJson(const TRingInfo& ring) {
    json out = {{"id", ring.Id},
                {"start", InstantText(ring.Start)},
                {"end", InstantText(ring.End)},
                {"clamped", ring.Clamped},
                {"horns", ring.Horns},
                {"held_by_others", ring.HeldByOthers},
                {"tone", ring.Tone},
                {"priority", ring.Priority},
                {"cause", CauseName(ring.Cause)},
                {"actor", ring.Actor},
                {"label", ring.Label}};
    if (ring.SwitchesKnown) {
        json notOn = json::array();
        for (const auto& h : ring.NotSwitchedOn)
            notOn.push_back({{"horn", h.Horn}, {"reason", h.Reason}, {"message", h.Message}});
        out["switched_on"] = ring.SwitchedOn;
        out["not_switched_on"] = std::move(notOn);
        out["pending"] = ring.Pending;
    }
    return out;
}

json ToJson(const TRingEndInfo& end) {
    return {{"id", end.Id},
            {"stopped", end.Stopped},
            {"horns", end.Horns},
            {"cause", CauseName(end.Cause)},
            {"at", InstantText(end.At)}};
}

json ToJson(const TAlarmInfo& alarm) {
    return {{"name", alarm.Name},
            {"label", alarm.Label},
            {"priority", alarm.Priority},
            {"sounding", alarm.Sounding},
            {"ring", alarm.Ring ? ToJson(*alarm.Ring) : json(nullptr)}};
}

json ToJson(const TBellInfo& bell) {
    return {{"at", InstantText(bell.At)},   {"local", LocalText(bell.Local)},
            {"date", DateText(bell.Date)},  {"plan", bell.Plan},
            {"group", bell.Group},          {"tone", bell.Tone},
            {"duration_s", bell.DurationS}, {"state", BellStateName(bell.State)},
            {"moved", bell.Moved},          {"label", bell.Label}};
}

// "08:00", or "08:00:30" when the seconds are not 0: as people write them in the site file.
std::string ShortTimeText(std::chrono::seconds sinceMidnight) {
    const std::string full = TimeOfDayText(sinceMidnight);
    return full.ends_with(":00") ? full.substr(0, 5) : full;
}

json ToJson(const TTimetableView& timetable) {
    json plans = json::object();
    for (const auto& [name, bells] : timetable.Plans) {
        json list = json::array();
        for (const auto& bell : bells) {
            list.push_back({{"time", ShortTimeText(bell.Time)},
                            {"group", bell.Group},
                            {"tone", bell.Tone},
                            {"duration_s", bell.DurationS},
                            {"label", bell.Label}});
        }
        plans[name] = {{"bells", std::move(list)}};
    }
    static constexpr const char* kWeekdays[] = {"monday", "tuesday",  "wednesday", "thursday",
                                                "friday", "saturday", "sunday"};
    json week = json::object();
    for (std::size_t i = 0; i < timetable.Week.size(); ++i)
        week[kWeekdays[i]] = timetable.Week[i].empty() ? json(nullptr) : json(timetable.Week[i]);
    json holidays = json::array();
    for (const auto& holiday : timetable.Holidays) {
        holidays.push_back({{"name", holiday.Name},
                            {"first", DateText(holiday.First)},
                            {"last", DateText(holiday.Last)}});
    }
    return {{"source", timetable.Source == TTimetableSource::File ? "file" : "database"},
            {"revision", timetable.Revision},
            {"changed_by", timetable.ChangedBy},
            {"changed_at", OptionalInstant(timetable.ChangedAt)},
            {"plans", std::move(plans)},
            {"week", std::move(week)},
            {"holidays", std::move(holidays)}};
}

json ToJson(const TTimetableRevisionInfo& revision) {
    return {{"revision", revision.Revision},
            {"changed_by", revision.ChangedBy},
            {"changed_at", InstantText(revision.ChangedAt)},
            {"summary", revision.Summary}};
}

json ToJson(const TDayView& day) {
    return {{"date", DateText(day.Date)},
            {"plan", day.Plan.empty() ? json(nullptr) : json(day.Plan)},
            {"rule", DayRuleName(day.Rule)},
            {"name", day.Name},
            {"bells", ToJsonList(day.Bells)}};
}

json ToJson(const TPlansView& plans) {
    json list = json::array();
    for (const auto& plan : plans.Plans) {
        json bells = json::array();
        for (const auto& bell : plan.Bells) {
            bells.push_back({{"time", TimeOfDayText(bell.Time)},
                             {"group", bell.Group},
                             {"tone", bell.Tone},
                             {"duration_s", bell.DurationS}});
        }
        list.push_back({{"name", plan.Name}, {"bells", std::move(bells)}});
    }
    static constexpr const char* kDays[] = {"monday", "tuesday",  "wednesday", "thursday",
                                            "friday", "saturday", "sunday"};
    json week = json::object();
    for (std::size_t i = 0; i < plans.Week.size(); ++i) {
        week[kDays[i]] = plans.Week[i].empty() ? json(nullptr) : json(plans.Week[i]);
    }
    return {{"time_zone", plans.TimeZone}, {"plans", std::move(list)}, {"week", std::move(week)}};
}

json ToJson(const TExceptionInfo& exception) {
    return {{"id", exception.Id ? json(*exception.Id) : json(nullptr)},
            {"source", exception.Id ? "added" : "file"},
            {"from", DateText(exception.First)},
            {"to", DateText(exception.Last)},
            {"plan", exception.Plan ? json(*exception.Plan) : json(nullptr)},
            {"name", exception.Name},
            {"added_by", exception.AddedBy},
            {"added", OptionalInstant(exception.Added)}};
}

json ToJson(const TLogEntry& entry) {
    return {{"id", entry.Id},
            {"at", InstantText(entry.At)},
            {"kind", entry.Kind},
            {"cause", entry.Cause},
            {"actor", entry.Actor},
            {"horn", entry.HornAddress},
            {"horn_id", entry.HornId},
            {"group", entry.Group},
            {"alarm", entry.Alarm},
            {"tone", entry.Tone ? json(*entry.Tone) : json(nullptr)},
            {"duration_ms", entry.Duration ? json(entry.Duration->count()) : json(nullptr)},
            {"ring", entry.RingId ? json(*entry.RingId) : json(nullptr)},
            {"detail", entry.Detail}};
}

json ToJson(const TUserInfo& user) {
    return {{"name", user.Name},
            {"role", RoleName(user.Role)},
            {"created", InstantText(user.Created)},
            {"password_changed", InstantText(user.PasswordChanged)},
            {"disabled", OptionalInstant(user.Disabled)}};
}

json ToJson(const TTokenInfo& token) {
    return {{"id", token.Id},
            {"user", token.User},
            {"name", token.Name},
            {"role", RoleName(token.Role)},
            {"acts_as", RoleName(token.Acts)},
            {"user_disabled", token.UserDisabled},
            {"created", InstantText(token.Created)},
            {"last_used", OptionalInstant(token.LastUsed)}};
}

std::string_view HealthStatus(const THealth& health) {
    if (!health.Ready) return "starting";
    if (!health.Problems.empty()) return "failing";
    if (health.HornsOffline > 0) return "degraded";
    return "ok";
}

json ToJson(const THealth& health) {
    const std::size_t offline = health.HornsOffline;
    json problems = health.Problems;
    if (offline > 0) {
        problems.push_back(std::to_string(offline) + " of " + std::to_string(health.HornsTotal) +
                           (health.HornsTotal == 1 ? " horn" : " horns") +
                           (offline == 1 ? " is" : " are") + " offline");
    }
    return {{"status", HealthStatus(health)},
            {"site", health.Site},
            {"version", health.Version},
            {"horns",
             {{"total", health.HornsTotal}, {"online", health.HornsOnline}, {"offline", offline}}},
            {"problems", std::move(problems)},
            {"uptime_s", health.Uptime.count()}};
}

json ToJson(const TPresenceEvent& event) {
    return {{"address", event.Address}, {"online", event.Online}, {"at", InstantText(event.At)}};
}

json ToJson(const TBellEvent& event) {
    json out = ToJson(event.Bell);
    out["reason"] = event.Reason;
    return out;
}

json ToJson(const TStopAllEvent& event) {
    return {
        {"actor", event.Actor}, {"cause", CauseName(event.Cause)}, {"at", InstantText(event.At)}};
}

std::string DumpJson(const json& value) {
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string CursorText(const TLogCursor& cursor) {
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(cursor.At.time_since_epoch());
    return std::to_string(ms.count()) + "-" + std::to_string(cursor.Id);
}

std::optional<TLogCursor> ParseCursor(std::string_view text) {
    const auto dash = text.find('-', 1);  // a time before 1970 starts with '-'
    if (dash == std::string_view::npos) return std::nullopt;
    long long ms = 0;
    std::int64_t id = 0;
    const auto first = text.substr(0, dash);
    const auto second = text.substr(dash + 1);
    const auto [e1, c1] = std::from_chars(first.data(), first.data() + first.size(), ms);
    const auto [e2, c2] = std::from_chars(second.data(), second.data() + second.size(), id);
    if (c1 != std::errc() || e1 != first.data() + first.size() || c2 != std::errc() ||
        e2 != second.data() + second.size() || id < 0 || second.empty()) {
        return std::nullopt;
    }
    // Times far outside any log are refused rather than overflowing the clock (which counts
    // nanoseconds, about 292 years either side of 1970).
    constexpr long long kLimit = 250LL * 365 * 24 * 3600 * 1000;
    if (ms < -kLimit || ms > kLimit) return std::nullopt;
    return TLogCursor{TInstant(std::chrono::milliseconds(ms)), id};
}

}  // namespace kstbell::web
