#pragma once

// The one way the HTTP front reaches the site service. kstbelld implements IWebService; the
// front holds only this interface (and the tests a fake of it), so web/ never includes the
// service. Calls come from the front's worker threads, several at once, and return at once:
// what then happens at the horns comes back as events through the sink the front subscribes.
//
// Every change carries the caller, whose Actor() the service writes to the audit log. No call
// passes a password, a token or a cookie anywhere but to the check it is for.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "web/api_error.h"
#include "web/port_types.h"

namespace kstbell::web {

// Where the service sends what happens. Called from the service's threads, possibly under its
// locks: an implementation only queues and never calls back into the service.
class IWebEventSink {
  public:
    virtual ~IWebEventSink() = default;
    virtual void Publish(const TWebEvent& event) = 0;
};

class IWebService {
  public:
    virtual ~IWebService() = default;

    // Whether the service has started (until then the API answers 503 starting). Cheap.
    virtual bool Ready() = 0;

    // ---- Sign-in. client is the peer's address (the rate limit counts by it).
    virtual TLoginAnswer Login(std::string_view user, std::string_view password,
                               const std::string& client) = 0;
    virtual std::optional<TCaller> Session(std::string_view cookie) = 0;
    virtual std::optional<TCaller> Token(std::string_view token) = 0;
    virtual void Logout(std::string_view cookie) = 0;
    // The caller's own new password, given with the one it replaces. InvalidInput: the current
    // password is wrong, or the new one is not allowed. Like any new password, it ends the
    // user's sessions. A service that keeps no passwords says NotFound.
    virtual TPortStatus ChangeOwnPassword(const TCaller& caller, std::string_view current,
                                          std::string_view password) {
        (void)caller;
        (void)current;
        (void)password;
        return Fail(TErrorKind::NotFound, "this service keeps no passwords");
    }

    // ---- The site.
    virtual THealth Health() = 0;
    virtual std::vector<THornInfo> Horns() = 0;
    // A number that changes whenever Horns() may answer differently (a horn's state, a ring
    // starting or ending), so that the front may keep its answer until then. 0: the service
    // does not say, and nothing is kept. Cheap.
    virtual std::uint64_t HornsVersion() { return 0; }
    virtual std::optional<THornInfo> Horn(const std::string& address) = 0;
    // NotFound for an address that is no horn of the site. A stop is never refused otherwise.
    virtual TPortStatus StopHorn(const std::string& address, const TCaller& caller) = 0;
    virtual std::vector<TGroupInfo> Groups() = 0;
    // Where each horn's name and the groups live. A service that keeps none in a database says
    // the file holds them all.
    virtual TNamesView NamesView() {
        TNamesView out;
        out.GroupsSource = TNamesSource::File;
        for (const auto& horn : Horns())
            out.Horns.push_back({horn.Address, horn.Name, TNamesSource::File});
        return out;
    }
    // An empty name clears it. NotFound: no such horn; Conflict: the site file names it;
    // InvalidInput: a name the site file could not hold either.
    virtual TPortStatus RenameHorn(const std::string& address, const std::string& name,
                                   const TCaller& caller) {
        (void)address;
        (void)name;
        (void)caller;
        return Fail(TErrorKind::Conflict, "the horns' names are set in the site file");
    }
    // members: horns' names, addresses or ranges, as the site file's [groups] takes them.
    // Conflict: the site file has [groups]; InvalidInput: the name, "all", a member.
    virtual TPortResult<TGroupInfo> SetGroup(const std::string& name,
                                             const std::vector<std::string>& members,
                                             const TCaller& caller) {
        (void)name;
        (void)members;
        (void)caller;
        return Fail(TErrorKind::Conflict, "the groups are set in the site file");
    }
    // NotFound: no such group; Conflict, InvalidInput as for SetGroup.
    virtual TPortStatus RemoveGroup(const std::string& name, const TCaller& caller) {
        (void)name;
        (void)caller;
        return Fail(TErrorKind::Conflict, "the groups are set in the site file");
    }
    // NotFound: unknown group or horn; InvalidInput: no horns; Internal: not recorded.
    virtual TPortResult<TRingInfo> Ring(const TRingAsk& ask, const TCaller& caller) = 0;
    virtual void StopAll(const TCaller& caller) = 0;
    // StopAll, saying what it stopped; none from a service that does not count.
    virtual std::optional<TStopAllCounts> StopAllCounted(const TCaller& caller) {
        StopAll(caller);
        return std::nullopt;
    }
    virtual std::vector<TAlarmInfo> Alarms() = 0;
    virtual TPortResult<TAlarmInfo> StartAlarm(const std::string& name, const TCaller& caller) = 0;
    // NotFound: no such alarm; Conflict: it is not sounding.
    virtual TPortStatus StopAlarm(const std::string& name, const TCaller& caller) = 0;

    // ---- The timetable.
    virtual TDayView Today() = 0;
    virtual std::vector<TBellInfo> NextBells(std::size_t count) = 0;
    virtual TPlansView Plans() = 0;
    virtual std::vector<TExceptionInfo> Exceptions() = 0;
    // InvalidInput: an unknown plan, dates out of order; Conflict: overlaps another.
    virtual TPortResult<TExceptionInfo> AddException(const TExceptionAsk& ask,
                                                     const TCaller& caller) = 0;
    // NotFound: no exception added here with that id.
    virtual TPortStatus RemoveException(std::int64_t id, const TCaller& caller) = 0;
    // The timetable (day plans, week, holidays) and where it is kept.
    virtual TTimetableView Timetable() = 0;
    // Replaces the timetable with document, the request's JSON body as text, when revision is
    // the current one. The service checks it as it checks the site file's [schedule], with the
    // same messages. InvalidInput: every mistake (Details); Conflict: the site file holds the
    // timetable; PreconditionFailed: another revision is current (who made it, when).
    virtual TPortResult<TTimetableView> SaveTimetable(const std::string& document,
                                                      std::int64_t revision,
                                                      const TCaller& caller) = 0;
    // Newest first; none while the site file holds the timetable.
    virtual std::vector<TTimetableRevisionInfo> TimetableRevisions() = 0;
    // A new revision equal to an old one. expected: the revision it is made from, if the caller
    // names one. NotFound: no such revision; Conflict, PreconditionFailed as for a save.
    virtual TPortResult<TTimetableView> RestoreTimetable(std::int64_t revision,
                                                         std::optional<std::int64_t> expected,
                                                         const TCaller& caller) = 0;
    // Each date from first to last (at most kMostDays): its plan, the rule that chose it and,
    // withBells, its bells. InvalidInput: more than kMostBells bells in all.
    static constexpr int kMostDays = 400;
    static constexpr std::size_t kMostBells = 50000;
    virtual TPortResult<std::vector<TDayView>> Days(std::chrono::year_month_day first,
                                                    std::chrono::year_month_day last,
                                                    bool withBells) = 0;

    // ---- The audit log. InvalidInput: an unknown kind or cause.
    virtual TPortResult<TLogPage> Log(const TLogQuery& query) = 0;

    // ---- People. The service checks names, roles and passwords and logs every change.
    virtual std::vector<TUserInfo> Users() = 0;
    virtual TPortResult<TUserInfo> AddUser(const TUserAsk& ask, const TCaller& caller) = 0;
    virtual TPortResult<TUserInfo> ChangeUser(const std::string& name, const TUserChange& change,
                                              const TCaller& caller) = 0;
    virtual TPortStatus RemoveUser(const std::string& name, const TCaller& caller) = 0;
    virtual std::vector<TTokenInfo> Tokens() = 0;
    virtual TPortResult<TNewTokenInfo> CreateToken(const TTokenAsk& ask, const TCaller& caller) = 0;
    virtual TPortStatus RevokeToken(std::int64_t id, const TCaller& caller) = 0;

    // ---- Monitoring.
    virtual TMetrics Metrics() = 0;

    // ---- Events: the front subscribes when it starts and passes null when it stops.
    virtual void Subscribe(IWebEventSink* sink) = 0;
};

}  // namespace kstbell::web
