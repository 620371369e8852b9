#pragma once

// The port's values as the API's JSON: the same shape in an answer and in an event. Names are
// snake_case; times are UTC with milliseconds; a value not known is null or left out as the
// OpenAPI description says.

#include <string_view>

#include <nlohmann/json.hpp>

#include "web/port_types.h"

namespace kstbell::web {

std::string_view RoleName(TRole role);
std::optional<TRole> RoleFromName(std::string_view name);
std::string_view AccessName(TAccess access);
std::string_view CauseName(TCause cause);
std::string_view PresenceName(TPresence presence);

nlohmann::json ToJson(const TCaller& caller);
nlohmann::json ToJson(const TRingRef& ring);
nlohmann::json ToJson(const THornInfo& horn);
nlohmann::json ToJson(const TGroupInfo& group);
nlohmann::json ToJson(const TNamesView& names);
nlohmann::json ToJson(const TRingInfo& ring);
nlohmann::json ToJson(const TRingEndInfo& end);
nlohmann::json ToJson(const TAlarmInfo& alarm);
nlohmann::json ToJson(const TBellInfo& bell);
nlohmann::json ToJson(const TDayView& day);
nlohmann::json ToJson(const TPlansView& plans);
nlohmann::json ToJson(const TExceptionInfo& exception);
nlohmann::json ToJson(const TTimetableView& timetable);
nlohmann::json ToJson(const TTimetableRevisionInfo& revision);
nlohmann::json ToJson(const TLogEntry& entry);
nlohmann::json ToJson(const TUserInfo& user);
nlohmann::json ToJson(const TTokenInfo& token);
// "starting", "failing" (problems), "degraded" (horns offline) or "ok".
std::string_view HealthStatus(const THealth& health);
nlohmann::json ToJson(const THealth& health);
nlohmann::json ToJson(const TPresenceEvent& event);
nlohmann::json ToJson(const TBellEvent& event);
nlohmann::json ToJson(const TStopAllEvent& event);

template <typename T>
nlohmann::json ToJsonList(const std::vector<T>& items) {
    auto out = nlohmann::json::array();
    for (const auto& item : items)
        out.push_back(ToJson(item));
    return out;
}

// The text of a JSON value; bytes that are not UTF-8 (a horn's own location text may hold
// them) become U+FFFD instead of failing.
std::string DumpJson(const nlohmann::json& value);

// A log page's cursor as the text a client hands back ("1767772800000-42"), and read back.
std::string CursorText(const TLogCursor& cursor);
std::optional<TLogCursor> ParseCursor(std::string_view text);

}  // namespace kstbell::web
