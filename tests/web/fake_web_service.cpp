#include "tests/web/fake_web_service.h"

#include <algorithm>

namespace kstbell::web::test {

namespace {

using namespace std::chrono;

const TInstant kNow = sys_days(year(2027) / January / 7) + hours(8);

TFailure NotFound(const std::string& what) {
    return Fail(TErrorKind::NotFound, what + " not found");
}

}  // namespace

TFakeWebService::TFakeWebService() {
    for (int i = 0; i < 3; ++i) {
        THornInfo horn;
        horn.Address = "127.0.78." + std::to_string(i + 1);
        horn.Name = i == 0 ? "Gym \"east\"" : "Horn " + std::to_string(i + 1);
        horn.Id = "00:11:22:33:44:0" + std::to_string(i);
        horn.Location = i == 2 ? std::string("caf\xe9") : "Hall";  // not UTF-8, as horns send it
        horn.Firmware = "01.04";
        horn.Presence = i == 2 ? TPresence::Offline : TPresence::Online;
        horn.RssiDbm = i == 2 ? std::optional<int>() : -40 - i;
        horn.Groups =
            i == 0 ? std::vector<std::string>{"all", "ground"} : std::vector<std::string>{"all"};
        horns_.push_back(horn);
    }
    users_["admin"] = {kAdminPassword, TRole::Admin};
    users_["olga"] = {kOperatorPassword, TRole::Operator};
    users_["vic"] = {kViewerPassword, TRole::Viewer};
    tokens_["tok-admin-0123456789"] = {"admin", TRole::Admin, 1, "admin-script", ""};
    tokens_["tok-operator-0123456789"] = {"olga", TRole::Operator, 2, "panel", ""};
    tokens_["tok-viewer-0123456789"] = {"vic", TRole::Viewer, 3, "dashboard", ""};
}

void TFakeWebService::ForgetCredentialsOf(const std::string& user) {
    std::erase_if(sessions_, [&user](const auto& entry) { return entry.second.User == user; });
    std::erase_if(tokens_, [&user](const auto& entry) { return entry.second.User == user; });
}

std::string TFakeWebService::TokenOf(TRole role) const {
    switch (role) {
        case TRole::Admin:
            return "tok-admin-0123456789";
        case TRole::Operator:
            return "tok-operator-0123456789";
        case TRole::Viewer:
            return "tok-viewer-0123456789";
    }
    return {};
}

std::vector<std::string> TFakeWebService::Changes() const {
    std::lock_guard lock(m_);
    return changes_;
}

void TFakeWebService::Emit(const TWebEvent& event) {
    std::lock_guard lock(m_);
    if (sink_) sink_->Publish(event);
}

bool TFakeWebService::Subscribed() const {
    std::lock_guard lock(m_);
    return sink_ != nullptr;
}

void TFakeWebService::Note(const TCaller& caller, const std::string& what) {
    std::lock_guard lock(m_);
    changes_.push_back(caller.Actor() + ": " + what);
}

TLoginAnswer TFakeWebService::Login(std::string_view user, std::string_view password,
                                    const std::string& client) {
    std::lock_guard lock(m_);
    TLoginAnswer answer;
    auto& failures = failures_[client];
    if (failures >= 3) {
        answer.Outcome = TLoginOutcome::TooSoon;
        answer.RetryAfter = seconds(30);
        return answer;
    }
    const auto it = users_.find(std::string(user));
    if (it == users_.end() || it->second.Password != password) {
        ++failures;
        answer.RetryAfter = seconds(failures >= 3 ? 30 : 0);
        return answer;
    }
    answer.Outcome = TLoginOutcome::LoggedIn;
    answer.Cookie = "cookie-" + std::to_string(nextId_++) + "-for-" + it->first;
    answer.Caller = {it->first, it->second.Role, std::nullopt, "", "csrf-" + answer.Cookie};
    sessions_[answer.Cookie] = answer.Caller;
    changes_.push_back(it->first + ": login from " + client);
    return answer;
}

TPortStatus TFakeWebService::ChangeOwnPassword(const TCaller& caller, std::string_view current,
                                               std::string_view password) {
    std::lock_guard lock(m_);
    const auto it = users_.find(caller.User);
    if (it == users_.end()) return Fail(TErrorKind::NotFound, "no user " + caller.User);
    if (it->second.Password != current)
        return Fail(TErrorKind::InvalidInput, "the current password is wrong");
    it->second.Password = std::string(password);
    changes_.push_back(caller.Actor() + ": own password");
    return std::nullopt;
}

std::optional<TCaller> TFakeWebService::Session(std::string_view cookie) {
    std::lock_guard lock(m_);
    const auto it = sessions_.find(std::string(cookie));
    if (it == sessions_.end()) return std::nullopt;
    return it->second;
}

std::optional<TCaller> TFakeWebService::Token(std::string_view token) {
    std::lock_guard lock(m_);
    const auto it = tokens_.find(std::string(token));
    if (it == tokens_.end()) return std::nullopt;
    return it->second;
}

void TFakeWebService::Logout(std::string_view cookie) {
    std::lock_guard lock(m_);
    sessions_.erase(std::string(cookie));
}

void TFakeWebService::SetHealth(std::vector<std::string> problems, std::size_t offline) {
    std::lock_guard lock(m_);
    problems_ = std::move(problems);
    offline_ = offline;
}

THealth TFakeWebService::Health() {
    std::lock_guard lock(m_);
    return {ReadyFlag, "Northside School", "1.0.0", 3, 2, seconds(42), problems_, offline_};
}

std::vector<THornInfo> TFakeWebService::Horns() {
    std::lock_guard lock(m_);
    return horns_;
}

void TFakeWebService::RenameHorn(std::size_t horn, const std::string& name) {
    std::lock_guard lock(m_);
    horns_.at(horn).Name = name;
}

std::optional<THornInfo> TFakeWebService::Horn(const std::string& address) {
    std::lock_guard lock(m_);
    for (const auto& horn : horns_) {
        if (horn.Address == address) return horn;
    }
    return std::nullopt;
}

TPortStatus TFakeWebService::StopHorn(const std::string& address, const TCaller& caller) {
    if (!Horn(address)) return NotFound("horn " + address);
    Note(caller, "stop horn " + address);
    return std::nullopt;
}

std::vector<TGroupInfo> TFakeWebService::Groups() {
    std::vector<TGroupInfo> out = {{"all", {"127.0.78.1", "127.0.78.2", "127.0.78.3"}},
                                   {"ground", {"127.0.78.1"}}};
    std::lock_guard lock(m_);
    for (const auto& [name, horns] : addedGroups_)
        out.push_back({name, horns});
    return out;
}

TPortStatus TFakeWebService::RenameHorn(const std::string& address, const std::string& name,
                                        const TCaller& caller) {
    {
        std::lock_guard lock(m_);
        auto horn = std::find_if(horns_.begin(), horns_.end(),
                                 [&](const THornInfo& h) { return h.Address == address; });
        if (horn == horns_.end()) return NotFound("horn " + address);
        horn->Name = name;
    }
    Note(caller, "name horn " + address);
    return std::nullopt;
}

TPortResult<TGroupInfo> TFakeWebService::SetGroup(const std::string& name,
                                                  const std::vector<std::string>& members,
                                                  const TCaller& caller) {
    if (name == "all" || name == "ground")
        return Fail(TErrorKind::Conflict, "group " + name + " is built in here");
    {
        std::lock_guard lock(m_);
        addedGroups_[name] = members;
    }
    Note(caller, "set group " + name);
    return TGroupInfo{name, members};
}

TPortStatus TFakeWebService::RemoveGroup(const std::string& name, const TCaller& caller) {
    {
        std::lock_guard lock(m_);
        if (!addedGroups_.erase(name)) return NotFound("group " + name);
    }
    Note(caller, "remove group " + name);
    return std::nullopt;
}

TPortResult<TRingInfo> TFakeWebService::Ring(const TRingAsk& ask, const TCaller& caller) {
    ++RingCalls;
    std::vector<std::string> horns = ask.Horns;
    if (!ask.Group.empty()) {
        bool found = false;
        for (const auto& group : Groups()) {
            if (group.Name == ask.Group) {
                horns = group.Horns;
                found = true;
            }
        }
        if (!found) return NotFound("group " + ask.Group);
    }
    const auto duration = ask.Duration.value_or(seconds(180));
    TRingInfo ring;
    ring.Id = 7;
    ring.Start = kNow;
    ring.End = kNow + std::min<milliseconds>(duration, seconds(180));
    ring.Clamped = duration > seconds(180);
    ring.Horns = horns;
    ring.Tone = ask.Tone;
    ring.Priority = 50;
    ring.Actor = caller.Actor();
    ring.SwitchesKnown = true;
    {
        const std::lock_guard lock(m_);
        for (const auto& horn : horns) {
            const auto notOn = notOn_.find(horn);
            if (notOn != notOn_.end())
                ring.NotSwitchedOn.push_back({horn, notOn->second, ""});
            else if (std::find(pending_.begin(), pending_.end(), horn) != pending_.end())
                ring.Pending.push_back(horn);
            else
                ring.SwitchedOn.push_back(horn);
        }
    }
    Note(caller, "ring " + (ask.Group.empty() ? "horns" : "group " + ask.Group) + " tone " +
                     std::to_string(ask.Tone) + " for " + std::to_string(duration.count()) + " ms");
    return ring;
}

void TFakeWebService::SetSwitches(std::map<std::string, std::string> notOn,
                                  std::vector<std::string> pending) {
    const std::lock_guard lock(m_);
    notOn_ = std::move(notOn);
    pending_ = std::move(pending);
}

std::optional<TStopAllCounts> TFakeWebService::StopAllCounted(const TCaller& caller) {
    TStopAllCounts counts;
    {
        std::lock_guard lock(m_);
        counts.Alarms = alarmSounding_ ? 1 : 0;
    }
    StopAll(caller);
    return counts;
}

void TFakeWebService::StopAll(const TCaller& caller) {
    Note(caller, "stop all");
}

std::vector<TAlarmInfo> TFakeWebService::Alarms() {
    std::lock_guard lock(m_);
    TAlarmInfo alarm{"evacuation", "Evacuation", 200, alarmSounding_, std::nullopt};
    if (alarmSounding_) alarm.Ring = TRingRef{9, kNow + minutes(5)};
    return {alarm};
}

TPortResult<TAlarmInfo> TFakeWebService::StartAlarm(const std::string& name,
                                                    const TCaller& caller) {
    if (name != "evacuation") return NotFound("alarm " + name);
    {
        std::lock_guard lock(m_);
        alarmSounding_ = true;
    }
    Note(caller, "start alarm " + name);
    return Alarms().front();
}

TPortStatus TFakeWebService::StopAlarm(const std::string& name, const TCaller& caller) {
    if (name != "evacuation") return NotFound("alarm " + name);
    {
        std::lock_guard lock(m_);
        if (!alarmSounding_)
            return Fail(TErrorKind::Conflict, "alarm " + name + " is not sounding");
        alarmSounding_ = false;
    }
    Note(caller, "stop alarm " + name);
    return std::nullopt;
}

TDayView TFakeWebService::Today() {
    TDayView day;
    day.Date = year(2027) / January / 7;
    day.Plan = "school";
    day.Bells = NextBells(2);
    day.Bells.front().State = TBellState::Past;
    return day;
}

std::vector<TBellInfo> TFakeWebService::NextBells(std::size_t count) {
    std::vector<TBellInfo> out;
    for (std::size_t i = 0; i < count; ++i) {
        TBellInfo bell;
        bell.At = kNow + hours(i);
        bell.Local = local_days(year(2027) / January / 7) + hours(9 + i);
        bell.Date = year(2027) / January / 7;
        bell.Plan = "school";
        bell.Group = "all";
        bell.DurationS = 5;
        bell.State = i == 0 ? TBellState::Next : TBellState::Upcoming;
        out.push_back(bell);
    }
    return out;
}

TPlansView TFakeWebService::Plans() {
    TPlansView plans;
    plans.TimeZone = "Europe/Berlin";
    plans.Plans = {{"school", {{hours(8), "all", 1, 5}, {hours(8) + minutes(45), "all", 0, 3}}}};
    plans.Week = {"school", "school", "school", "school", "school", "", ""};
    return plans;
}

TTimetableView TFakeWebService::Timetable() {
    TTimetableView view;
    view.Source = TTimetableSource::Database;
    {
        std::lock_guard lock(m_);
        view.Revision = timetableRevision_;
    }
    view.ChangedBy = "admin";
    view.ChangedAt = kNow;
    view.Plans = {{"school", {{hours(8), "all", 1, 5, "First lesson"}}}};
    view.Week = {"school", "school", "school", "school", "school", "", ""};
    view.Holidays = {{"Winter break", year(2027) / February / 15, year(2027) / February / 19}};
    return view;
}

TPortResult<TTimetableView> TFakeWebService::SaveTimetable(const std::string&,
                                                           std::int64_t revision,
                                                           const TCaller& caller) {
    {
        std::lock_guard lock(m_);
        if (revision != timetableRevision_)
            return Fail(TErrorKind::PreconditionFailed, "changed by admin");
        ++timetableRevision_;
    }
    Note(caller, "save timetable");
    return Timetable();
}

std::vector<TTimetableRevisionInfo> TFakeWebService::TimetableRevisions() {
    std::lock_guard lock(m_);
    std::vector<TTimetableRevisionInfo> out;
    for (std::int64_t r = timetableRevision_; r >= 1; --r)
        out.push_back({r, "admin", kNow, "plan school: 1 bell added"});
    return out;
}

TPortResult<TTimetableView> TFakeWebService::RestoreTimetable(std::int64_t revision,
                                                              std::optional<std::int64_t> expected,
                                                              const TCaller& caller) {
    {
        std::lock_guard lock(m_);
        if (revision < 1 || revision > timetableRevision_)
            return NotFound("revision " + std::to_string(revision));
        if (expected && *expected != timetableRevision_)
            return Fail(TErrorKind::PreconditionFailed, "changed by admin");
        ++timetableRevision_;
    }
    Note(caller, "restore timetable revision " + std::to_string(revision));
    return Timetable();
}

TPortResult<std::vector<TDayView>> TFakeWebService::Days(year_month_day first, year_month_day last,
                                                         bool withBells) {
    std::vector<TDayView> out;
    for (sys_days day = first; day <= sys_days{last}; day += days(1)) {
        TDayView view = Today();
        view.Date = year_month_day{day};
        if (!withBells) view.Bells.clear();
        out.push_back(view);
    }
    return out;
}

std::vector<TExceptionInfo> TFakeWebService::Exceptions() {
    std::lock_guard lock(m_);
    auto out = exceptions_;
    out.insert(out.begin(),
               TExceptionInfo{std::nullopt, year(2027) / January / 1, year(2027) / January / 6,
                              std::nullopt, "Holidays", "", std::nullopt});
    return out;
}

TPortResult<TExceptionInfo> TFakeWebService::AddException(const TExceptionAsk& ask,
                                                          const TCaller& caller) {
    if (ask.Plan && *ask.Plan != "school") return Fail(TErrorKind::InvalidInput, "no such plan");
    TExceptionInfo added{static_cast<std::int64_t>(nextId_++),
                         ask.First,
                         ask.Last,
                         ask.Plan,
                         ask.Name,
                         caller.Actor(),
                         kNow};
    {
        std::lock_guard lock(m_);
        exceptions_.push_back(added);
    }
    Note(caller, "add exception " + ask.Name);
    return added;
}

TPortStatus TFakeWebService::RemoveException(std::int64_t id, const TCaller& caller) {
    {
        std::lock_guard lock(m_);
        const auto it = std::find_if(exceptions_.begin(), exceptions_.end(),
                                     [id](const TExceptionInfo& e) { return e.Id == id; });
        if (it == exceptions_.end()) return NotFound("exception " + std::to_string(id));
        exceptions_.erase(it);
    }
    Note(caller, "remove exception " + std::to_string(id));
    return std::nullopt;
}

TPortResult<TLogPage> TFakeWebService::Log(const TLogQuery& query) {
    for (const auto& cause : query.Causes) {
        if (cause != "http" && cause != "schedule") {
            return Fail(TErrorKind::InvalidInput, "query 'cause': unknown cause");
        }
    }
    TLogPage page;
    TLogEntry entry;
    entry.Id = 5;
    entry.At = kNow;
    entry.Kind = "ring";
    entry.Cause = "http";
    entry.Actor = "olga";
    entry.HornAddress = "127.0.78.1";
    entry.Tone = 1;
    entry.Duration = seconds(3);
    entry.RingId = 7;
    page.Entries = {entry};
    if (!query.After) page.Next = TLogCursor{kNow, 5};
    return page;
}

std::vector<TUserInfo> TFakeWebService::Users() {
    std::lock_guard lock(m_);
    std::vector<TUserInfo> out;
    for (const auto& [name, user] : users_)
        out.push_back({name, user.Role, kNow, kNow, std::nullopt});
    return out;
}

TPortResult<TUserInfo> TFakeWebService::AddUser(const TUserAsk& ask, const TCaller& caller) {
    {
        std::lock_guard lock(m_);
        if (users_.count(ask.Name)) return Fail(TErrorKind::Conflict, "the name is taken");
        users_[ask.Name] = {ask.Password, ask.Role};
    }
    Note(caller, "add user " + ask.Name);
    return TUserInfo{ask.Name, ask.Role, kNow, kNow, std::nullopt};
}

TPortResult<TUserInfo> TFakeWebService::ChangeUser(const std::string& name,
                                                   const TUserChange& change,
                                                   const TCaller& caller) {
    TUserInfo out;
    {
        std::lock_guard lock(m_);
        const auto it = users_.find(name);
        if (it == users_.end()) return NotFound("user " + name);
        if (change.Role) it->second.Role = *change.Role;
        if (change.Password) it->second.Password = *change.Password;
        out = {name, it->second.Role, kNow, kNow, std::nullopt};
        if (change.Disabled && *change.Disabled) {
            out.Disabled = kNow;
            ForgetCredentialsOf(name);
        }
    }
    Note(caller, "change user " + name);
    return out;
}

TPortStatus TFakeWebService::RemoveUser(const std::string& name, const TCaller& caller) {
    {
        std::lock_guard lock(m_);
        if (!users_.erase(name)) return NotFound("user " + name);
        ForgetCredentialsOf(name);
    }
    Note(caller, "remove user " + name);
    return std::nullopt;
}

std::vector<TTokenInfo> TFakeWebService::Tokens() {
    std::lock_guard lock(m_);
    std::vector<TTokenInfo> out;
    for (const auto& [secret, who] : tokens_) {
        out.push_back(
            {*who.TokenId, who.User, who.TokenName, who.Role, who.Role, false, kNow, std::nullopt});
    }
    std::sort(out.begin(), out.end(),
              [](const TTokenInfo& a, const TTokenInfo& b) { return a.Id < b.Id; });
    return out;
}

TPortResult<TNewTokenInfo> TFakeWebService::CreateToken(const TTokenAsk& ask,
                                                        const TCaller& caller) {
    TNewTokenInfo made;
    {
        std::lock_guard lock(m_);
        const auto user = users_.find(ask.User);
        if (user == users_.end()) return NotFound("user " + ask.User);
        const auto id = static_cast<std::int64_t>(nextId_++);
        const auto role = ask.Role.value_or(user->second.Role);
        made.Secret = "tok-new-" + std::to_string(id) + "-abcdef";
        made.Token = {id, ask.User, ask.Name, role, role, false, kNow, std::nullopt};
        tokens_[made.Secret] = {ask.User, role, id, ask.Name, ""};
    }
    Note(caller, "create token " + ask.Name + " for " + ask.User);
    return made;
}

TPortStatus TFakeWebService::RevokeToken(std::int64_t id, const TCaller& caller) {
    {
        std::lock_guard lock(m_);
        const auto it = std::find_if(tokens_.begin(), tokens_.end(),
                                     [id](const auto& t) { return t.second.TokenId == id; });
        if (it == tokens_.end()) return NotFound("token " + std::to_string(id));
        tokens_.erase(it);
    }
    Note(caller, "revoke token " + std::to_string(id));
    return std::nullopt;
}

TMetrics TFakeWebService::Metrics() {
    TMetrics metrics;
    for (const auto& horn : Horns()) {
        metrics.Horns.push_back(
            {horn.Address, horn.Name, horn.Id, horn.Presence == TPresence::Online, horn.Output,
             horn.Input, horn.RssiDbm,
             horn.Presence == TPresence::Online ? std::optional(kNow) : std::nullopt});
    }
    metrics.PollSeconds = {{0.005, 0.01, 0.05, 0.1, 0.5, 1}, {3, 10, 4, 1, 0, 0, 2}, 3.25};
    metrics.RingsByCause = {{"schedule", 12}, {"http", 3}};
    metrics.AlarmsByCause = {{"input", 1}};
    metrics.BellsFired = 12;
    metrics.BellsMissed = 1;
    return metrics;
}

void TFakeWebService::Subscribe(IWebEventSink* sink) {
    std::lock_guard lock(m_);
    sink_ = sink;
}

}  // namespace kstbell::web::test
