#pragma once

// A site service for the HTTP front's tests: three horns, two groups, one alarm, a timetable,
// three users (admin, operator, viewer) with a token each, sessions made by Login (a user
// removed or disabled loses both), a log of
// every change with who made it, and a login rate limit that answers "too soon" after three
// failures from one address. Emit sends an event to the subscribed front.

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "web/service_port.h"

namespace kstbell::web::test {

inline constexpr const char* kAdminPassword = "admin-pass-7f3e";
inline constexpr const char* kOperatorPassword = "operator-pass-91c2";
inline constexpr const char* kViewerPassword = "viewer-pass-5d0a";

class TFakeWebService final : public IWebService {
  public:
    TFakeWebService();

    // A token of a user with this role.
    std::string TokenOf(TRole role) const;
    // What was changed, by whom: "alice: ring group ground".
    std::vector<std::string> Changes() const;
    void Emit(const TWebEvent& event);
    bool Subscribed() const;
    // What the next rings' switch-on gives: the horns not switched on (address to reason) and
    // those with no answer yet; every other horn switches on.
    void SetSwitches(std::map<std::string, std::string> notOn, std::vector<std::string> pending);
    // What Health() tells beside the three horns (two online): the service's problems and the
    // horns known to be offline.
    void SetHealth(std::vector<std::string> problems, std::size_t offline);

    std::atomic<bool> ReadyFlag{true};
    std::atomic<int> RingCalls{0};
    std::atomic<std::uint64_t> Version{0};  // HornsVersion's answer

    bool Ready() override { return ReadyFlag; }
    TLoginAnswer Login(std::string_view user, std::string_view password,
                       const std::string& client) override;
    std::optional<TCaller> Session(std::string_view cookie) override;
    std::optional<TCaller> Token(std::string_view token) override;
    void Logout(std::string_view cookie) override;
    TPortStatus ChangeOwnPassword(const TCaller& caller, std::string_view current,
                                  std::string_view password) override;
    THealth Health() override;
    std::vector<THornInfo> Horns() override;
    std::uint64_t HornsVersion() override { return Version; }
    // Changes a horn's name behind the front's back (no event, no new version).
    void RenameHorn(std::size_t horn, const std::string& name);
    std::optional<THornInfo> Horn(const std::string& address) override;
    TPortStatus StopHorn(const std::string& address, const TCaller& caller) override;
    std::vector<TGroupInfo> Groups() override;
    TPortStatus RenameHorn(const std::string& address, const std::string& name,
                           const TCaller& caller) override;
    TPortResult<TGroupInfo> SetGroup(const std::string& name,
                                     const std::vector<std::string>& members,
                                     const TCaller& caller) override;
    TPortStatus RemoveGroup(const std::string& name, const TCaller& caller) override;
    TPortResult<TRingInfo> Ring(const TRingAsk& ask, const TCaller& caller) override;
    void StopAll(const TCaller& caller) override;
    std::optional<TStopAllCounts> StopAllCounted(const TCaller& caller) override;
    std::vector<TAlarmInfo> Alarms() override;
    TPortResult<TAlarmInfo> StartAlarm(const std::string& name, const TCaller& caller) override;
    TPortStatus StopAlarm(const std::string& name, const TCaller& caller) override;
    TDayView Today() override;
    std::vector<TBellInfo> NextBells(std::size_t count) override;
    TPlansView Plans() override;
    std::vector<TExceptionInfo> Exceptions() override;
    TPortResult<TExceptionInfo> AddException(const TExceptionAsk& ask,
                                             const TCaller& caller) override;
    TPortStatus RemoveException(std::int64_t id, const TCaller& caller) override;
    TTimetableView Timetable() override;
    TPortResult<TTimetableView> SaveTimetable(const std::string& document, std::int64_t revision,
                                              const TCaller& caller) override;
    std::vector<TTimetableRevisionInfo> TimetableRevisions() override;
    TPortResult<TTimetableView> RestoreTimetable(std::int64_t revision,
                                                 std::optional<std::int64_t> expected,
                                                 const TCaller& caller) override;
    TPortResult<std::vector<TDayView>> Days(std::chrono::year_month_day first,
                                            std::chrono::year_month_day last,
                                            bool withBells) override;
    TPortResult<TLogPage> Log(const TLogQuery& query) override;
    std::vector<TUserInfo> Users() override;
    TPortResult<TUserInfo> AddUser(const TUserAsk& ask, const TCaller& caller) override;
    TPortResult<TUserInfo> ChangeUser(const std::string& name, const TUserChange& change,
                                      const TCaller& caller) override;
    TPortStatus RemoveUser(const std::string& name, const TCaller& caller) override;
    std::vector<TTokenInfo> Tokens() override;
    TPortResult<TNewTokenInfo> CreateToken(const TTokenAsk& ask, const TCaller& caller) override;
    TPortStatus RevokeToken(std::int64_t id, const TCaller& caller) override;
    TMetrics Metrics() override;
    void Subscribe(IWebEventSink* sink) override;

  private:
    struct TUser {
        std::string Password;
        TRole Role = TRole::Viewer;
    };
    void Note(const TCaller& caller, const std::string& what);

    mutable std::mutex m_;
    std::vector<THornInfo> horns_;
    // A user removed or disabled: its sessions and tokens open nothing any more (under m_).
    void ForgetCredentialsOf(const std::string& user);
    std::map<std::string, TUser> users_;
    std::map<std::string, TCaller> tokens_;    // secret -> who
    std::map<std::string, TCaller> sessions_;  // cookie -> who
    std::map<std::string, int> failures_;      // per client address
    std::vector<TExceptionInfo> exceptions_;
    std::map<std::string, std::vector<std::string>> addedGroups_;  // after the two built in
    std::vector<std::string> changes_;
    std::map<std::string, std::string> notOn_;
    std::vector<std::string> pending_;
    bool alarmSounding_ = false;
    std::vector<std::string> problems_;
    std::size_t offline_ = 0;
    std::uint64_t nextId_ = 1;
    std::int64_t timetableRevision_ = 1;  // a timetable kept in the database, saved once
    IWebEventSink* sink_ = nullptr;
};

}  // namespace kstbell::web::test
