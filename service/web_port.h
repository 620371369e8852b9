#pragma once

// The HTTP front's way into the service: IWebService over TService (the site, its rings and
// alarms), the store (the audit log, the timetable's added exceptions), the calendar and the
// users (logins, sessions, tokens). Every change it makes is asked for with the caller's name,
// which the audit log keeps. It also turns what happens at the site into the front's events and
// counts what the metrics show.
//
// The On... calls come from the site's threads, under its locks: they only note and queue,
// and never call back into the site.

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "calendar/calendar.h"
#include "site/site.h"
#include "users/authenticator.h"
#include "web/service_port.h"

namespace kstbell::service {

class TService;

class TWebPort final : public web::IWebService {
  public:
    // sessionIdle: a browser session unused this long ends.
    TWebPort(TService& service, std::chrono::seconds sessionIdle);

    void SetReady(bool ready) { ready_ = ready; }

    // What happens at the site, from the service's listener.
    void OnHornEvents(const std::vector<site::THornEvent>& events);
    void OnRingStarted(const site::TRingStart& start);
    void OnRingEnded(const site::TRingEnd& end, site::TCause cause, site::TInstant when);
    void OnBellMissed(const calendar::TScheduledBell& bell, const std::string& reason);

    // web::IWebService
    bool Ready() override { return ready_; }
    web::TLoginAnswer Login(std::string_view user, std::string_view password,
                            const std::string& client) override;
    std::optional<web::TCaller> Session(std::string_view cookie) override;
    std::optional<web::TCaller> Token(std::string_view token) override;
    void Logout(std::string_view cookie) override;
    web::TPortStatus ChangeOwnPassword(const web::TCaller& caller, std::string_view current,
                                       std::string_view password) override;

    web::THealth Health() override;
    std::vector<web::THornInfo> Horns() override;
    std::uint64_t HornsVersion() override { return hornsVersion_; }
    std::optional<web::THornInfo> Horn(const std::string& address) override;
    web::TPortStatus StopHorn(const std::string& address, const web::TCaller& caller) override;
    std::vector<web::TGroupInfo> Groups() override;
    web::TNamesView NamesView() override;
    web::TPortStatus RenameHorn(const std::string& address, const std::string& name,
                                const web::TCaller& caller) override;
    web::TPortResult<web::TGroupInfo> SetGroup(const std::string& name,
                                               const std::vector<std::string>& members,
                                               const web::TCaller& caller) override;
    web::TPortStatus RemoveGroup(const std::string& name, const web::TCaller& caller) override;
    web::TPortResult<web::TRingInfo> Ring(const web::TRingAsk& ask,
                                          const web::TCaller& caller) override;
    void StopAll(const web::TCaller& caller) override;
    std::optional<web::TStopAllCounts> StopAllCounted(const web::TCaller& caller) override;
    std::vector<web::TAlarmInfo> Alarms() override;
    web::TPortResult<web::TAlarmInfo> StartAlarm(const std::string& name,
                                                 const web::TCaller& caller) override;
    web::TPortStatus StopAlarm(const std::string& name, const web::TCaller& caller) override;

    web::TDayView Today() override;
    std::vector<web::TBellInfo> NextBells(std::size_t count) override;
    web::TPlansView Plans() override;
    std::vector<web::TExceptionInfo> Exceptions() override;
    web::TPortResult<web::TExceptionInfo> AddException(const web::TExceptionAsk& ask,
                                                       const web::TCaller& caller) override;
    web::TPortStatus RemoveException(std::int64_t id, const web::TCaller& caller) override;
    web::TTimetableView Timetable() override;
    web::TPortResult<web::TTimetableView> SaveTimetable(const std::string& document,
                                                        std::int64_t revision,
                                                        const web::TCaller& caller) override;
    std::vector<web::TTimetableRevisionInfo> TimetableRevisions() override;
    web::TPortResult<web::TTimetableView> RestoreTimetable(std::int64_t revision,
                                                           std::optional<std::int64_t> expected,
                                                           const web::TCaller& caller) override;
    web::TPortResult<std::vector<web::TDayView>> Days(std::chrono::year_month_day first,
                                                      std::chrono::year_month_day last,
                                                      bool withBells) override;

    web::TPortResult<web::TLogPage> Log(const web::TLogQuery& query) override;

    std::vector<web::TUserInfo> Users() override;
    web::TPortResult<web::TUserInfo> AddUser(const web::TUserAsk& ask,
                                             const web::TCaller& caller) override;
    web::TPortResult<web::TUserInfo> ChangeUser(const std::string& name,
                                                const web::TUserChange& change,
                                                const web::TCaller& caller) override;
    web::TPortStatus RemoveUser(const std::string& name, const web::TCaller& caller) override;
    std::vector<web::TTokenInfo> Tokens() override;
    web::TPortResult<web::TNewTokenInfo> CreateToken(const web::TTokenAsk& ask,
                                                     const web::TCaller& caller) override;
    web::TPortStatus RevokeToken(std::int64_t id, const web::TCaller& caller) override;

    web::TMetrics Metrics() override;
    void Subscribe(web::IWebEventSink* sink) override;

  private:
    // The horn as it stands, with the ring holding it (ring: the site's id, 0 for none).
    web::THornInfo HornInfo(const site::THornView& view, std::optional<web::TRingRef> ring) const;
    std::optional<std::size_t> HornIndex(const std::string& address) const;
    web::TRingRef RingRef(const site::TRingRecord& record) const;
    std::optional<web::TRingRef> ActiveRingRef(std::uint64_t ring) const;
    web::TAlarmInfo AlarmInfo(const std::string& name) const;
    web::TBellInfo BellInfo(const calendar::TScheduledBell& bell) const;
    // The days from first to last (local dates) as the calendar gives them, with their bells'
    // states against now.
    // Nothing when withBells and there are more than mostBells.
    std::optional<std::vector<web::TDayView>> DayViews(const calendar::TCalendar& calendar,
                                                       std::chrono::year_month_day first,
                                                       std::chrono::year_month_day last,
                                                       bool withBells = true,
                                                       std::size_t mostBells = SIZE_MAX) const;
    void Publish(const web::TWebEvent& event);
    // The horns' names and groups read again from the service (after a change), and the horns
    // list's version moved on.
    void TakeNames();

    TService& service_;
    users::TAuthenticator auth_;
    std::atomic<bool> ready_{false};
    // Moves on with every horn event and every ring's start and end: the horns list changes
    // with nothing else.
    std::atomic<std::uint64_t> hornsVersion_{1};
    const site::TInstant started_;
    mutable std::mutex namesMutex_;                     // guards the two below
    std::vector<std::vector<std::string>> hornGroups_;  // per horn: the groups it is in
    std::vector<std::string> hornNames_;                // per horn: its name now

    std::mutex exceptionsMutex_;  // an exception's overlap check and its adding, as one
    std::mutex m_;                // the sink, the counters and what the events keep
    web::IWebEventSink* sink_ = nullptr;
    std::map<std::string, std::uint64_t> rings_;   // by cause
    std::map<std::string, std::uint64_t> alarms_;  // by cause
    std::uint64_t bellsFired_ = 0;
    std::uint64_t bellsMissed_ = 0;
    std::map<std::uint64_t, std::string> alarmOfRing_;     // the site's ring id: its alarm
    std::map<std::size_t, web::TRingRef> held_;            // horn: the ring holding it
    std::map<std::uint64_t, std::int64_t> storeIdOfRing_;  // the site's ring id: the store's
};

}  // namespace kstbell::service
