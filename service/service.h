#pragma once

// kstbelld's core: the site with its horns, the rings kept in the database so that every ring
// ends, the scheduler that rings the calendar's bells, the alarms (by name, or by a horn's
// input), the audit log, and the fronts. What a front may ask it is site::ISiteControl.

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "calendar/calendar.h"
#include "calendar/timetable.h"
#include "ports/host_network_source.h"
#include "service/audit_writer.h"
#include "service/input_watch.h"
#include "service/live_calendar.h"
#include "service/log_sink.h"
#include "service/ring_journal.h"
#include "service/scheduler.h"
#include "service/service_config.h"
#include "service/service_front.h"
#include "service/site_events.h"
#include "service/site_names.h"
#include "service/system_clock.h"
#include "site/control.h"
#include "site/site.h"
#include "store/store.h"
#include "store/timetable_store.h"

namespace kstbell::service {

// Priorities: scheduled bells ring at 0, rings asked for by people and automations at 50,
// alarms at 101 and above.
inline constexpr int kBellPriority = 0;
inline constexpr int kManualPriority = 50;
// How long a stop waits for the horns of the rings it ends to be seen off.
inline constexpr std::chrono::milliseconds kStopOffWait{5000};

class TService;

// The HTTP front as the service runs it: the front and the port it reaches the service by.
class IWebFront : public IServiceFront {
  public:
    // "http://127.0.0.1:8786/".
    virtual std::string Url() const = 0;
    // The API answers 503 until the service has started.
    virtual void SetReady(bool ready) = 0;
};

// Where the timetable (day plans, week, holidays) lives: the site file has a [schedule] table,
// or it has none and the timetable is the database's, edited while the service runs.
enum class ETimetableSource { File, Database };

struct TTimetableNow {
    ETimetableSource Source = ETimetableSource::File;
    // Who saved it and when (its document left empty); revision 0: the file's, or none saved.
    store::TTimetableRevision Revision{};
    calendar::TTimetable Timetable{};
};

struct TTimetableSaveOutcome {
    enum class EResult { Saved, FileOwned, Stale, Failed };
    EResult Result = EResult::Failed;
    TTimetableNow Now{};  // saved: the new one; stale: the current one
    std::string Error{};  // failed: why
};

struct TServiceOptions {
    std::filesystem::path StateDir;
    TLog Log;
    std::string BrokerPassword;
    // The host's network for the sessions; the system's when null.
    IHostNetworkSource* Network = nullptr;
    // The web page's files for the HTTP front; empty: the installed ones.
    std::filesystem::path PageDir{};
    // Make the fronts when the site file asks for them (a [broker] table, an [http] table); the
    // service starts them once its own parts run. Empty: no such front. service/fronts.h sets
    // both, so that the service itself never includes a front.
    std::function<std::unique_ptr<IServiceFront>(TService& service)> MakeMqttFront{};
    std::function<std::unique_ptr<IWebFront>(TService& service)> MakeWebFront{};
    // Where the timetable is kept when the site file has none; null: the service's database.
    store::ITimetableStore* TimetableStore = nullptr;
    // The timetable saved as the first revision when the database holds none yet (the demo
    // site's, which rings a bell every minute).
    std::optional<calendar::TTimetable> FirstTimetable{};
    // Where the horns' names and the groups the site file does not give are kept; null: the
    // service's database.
    store::ISiteNamesStore* SiteNamesStore = nullptr;
};

class TService final : public site::ISiteControl, private IBellRinger {
  public:
    // Opens the database (throws store::TStoreError when it cannot be used).
    TService(TServiceConfig config, TServiceOptions options);
    ~TService() override;
    TService(const TService&) = delete;
    TService& operator=(const TService&) = delete;

    // Takes up the rings the database holds, logs the start, starts the fronts, the polling, the
    // input watch and the scheduler. False, with the reason, when it cannot.
    bool Start(std::string& error);
    // Stops everything: every ring and alarm ends and the horns are told off, seen off within
    // kStopOffWait or switched off at the next start. With Keep, as a crash would: the rings
    // stay in the database as they are, and the next start takes them up. Idempotent.
    enum class TRingsAtStop { End, Keep };
    void Stop(TRingsAtStop rings = TRingsAtStop::End);

    const TServiceConfig& Config() const { return config_; }
    const TServiceOptions& Options() const { return options_; }
    site::TSite& Site() { return *site_; }
    store::TStore& Store() { return *store_; }
    // The calendar as it is now, with the exceptions added while the service runs.
    std::shared_ptr<const calendar::TCalendar> Calendar() const { return calendar_.Current(); }
    const TLiveCalendar& LiveCalendar() const { return calendar_; }
    // After an exception was added or removed in the store: the calendar is built again and
    // the scheduler looks at its next bells again.
    void ExceptionsChanged();
    // The timetable and where it lives.
    ETimetableSource TimetableSource() const;
    TTimetableNow Timetable() const;
    // Saves a checked timetable as the next revision after `expected` (the database's only);
    // the calendar is rebuilt and the scheduler looks at its next bells at once. summary is
    // put before what changed ("restored revision 3").
    TTimetableSaveOutcome SaveTimetable(const calendar::TTimetable& timetable,
                                        std::int64_t expected, const store::TChange& change,
                                        const std::string& summary = {});
    // A revision's timetable, read back; nothing when there is no such revision.
    std::optional<calendar::TTimetable> TimetableRevision(std::int64_t revision,
                                                          std::string& error) const;
    std::vector<store::TTimetableRevision> TimetableRevisions(std::size_t limit) const;
    // Takes up the newest revision kept (another program saved one). False, with why, when it
    // cannot be read: the running timetable stays.
    bool ReloadTimetable(std::string& error);
    // The site file's timetable read again (its [schedule], exceptions included), run from now
    // on. False, with every mistake, when it names a group the running service lacks or the
    // file no longer has [schedule]: the running timetable stays.
    bool ReplaceFileTimetable(const calendar::TCalendarConfig& read,
                              std::vector<std::string>& mistakes);
    // The horns' names and the groups as they stand, and where each lives. Changes through
    // them apply at once: the next ring of a group takes its horns as they are then.
    const TSiteNames& Names() const { return *names_; }
    TNamesOutcome RenameHorn(std::size_t horn, const std::string& name,
                             const store::TChange& change);
    TNamesOutcome SetGroup(const std::string& group, const std::vector<std::string>& members,
                           const store::TChange& change);
    TNamesOutcome RemoveGroup(const std::string& group, const store::TChange& change);
    // The configuration with today's names and groups (what a front made at the start takes).
    TServiceConfig NamedConfig() const;
    // The rings of an alarm that are running (the site's ids).
    std::vector<std::uint64_t> AlarmRings(const std::string& alarm) const;
    // The id of a site's ring in the store (what the audit log names), or the site's id when
    // the store has none for it.
    std::int64_t StoreRingId(std::uint64_t ring) const;
    // The HTTP front's address, empty when it does not run.
    std::string WebUrl() const { return web_ ? web_->Url() : std::string(); }
    // Returns once every audit entry and line reported so far is written.
    void Flush() { writer_->Flush(); }
    // Audit entries lost since the start (TAuditWriter::Lost).
    std::uint64_t AuditLost() const { return writer_->Lost(); }

    // site::ISiteControl
    std::vector<std::string> GroupNames() const override;
    std::optional<std::vector<std::size_t>> GroupHorns(const std::string& group) const override;
    std::vector<std::string> AlarmNames() const override;
    site::TRingAnswer Ring(const site::TRingRequest& request) override;
    void StopHorn(std::size_t horn, site::TCause cause, const std::string& actor,
                  const std::string& tag) override;
    bool StopGroup(const std::string& group, site::TCause cause, const std::string& actor) override;
    void StopAll(site::TCause cause, const std::string& actor) override;
    site::TAlarmAnswer StartAlarm(const std::string& name, site::TCause cause,
                                  const std::string& actor) override;
    bool StopAlarm(const std::string& name, site::TCause cause, const std::string& actor) override;

  private:
    // IBellRinger
    void Prepare(const std::vector<calendar::TScheduledBell>& bells) override;
    void Ring(const std::vector<calendar::TScheduledBell>& bells, bool late) override;
    void Withdraw() override;
    void Missed(const calendar::TScheduledBell& bell) override;

    site::TRingOrder BellRing(const calendar::TScheduledBell& bell) const;
    void Restore(site::TInstant now);
    void Audit(store::TAuditEntry entry);
    void BellMissed(const calendar::TScheduledBell& bell, const std::string& reason);
    store::ITimetableStore& KeptTimetable() const;
    // The database's timetable at the start (the first one saved when there is none).
    bool LoadTimetable(std::string& error);
    // Runs this timetable from now on (under timetableMutex_).
    void RunTimetable(TTimetableNow now);
    bool GroupExists(const std::string& group) const;

    TServiceConfig config_;
    TServiceOptions options_;
    std::unique_ptr<store::TStore> store_;
    std::unique_ptr<TAuditWriter> writer_;
    std::unique_ptr<TSiteNames> names_;
    std::vector<std::string> namesLeftOut_;  // what Load() left out, said at the start
    std::unique_ptr<TRingJournal> journal_;
    std::unique_ptr<TSiteEvents> events_;
    std::unique_ptr<IHostNetworkSource> ownNetwork_;
    std::unique_ptr<site::TSite> site_;
    std::unique_ptr<TInputWatch> inputs_;
    std::vector<std::unique_ptr<IServiceFront>> fronts_;
    std::unique_ptr<IWebFront> web_;  // stopped before the site, so its streams end cleanly
    TLiveCalendar calendar_;
    mutable std::mutex timetableMutex_;  // saves one at a time; guards timetable_
    TTimetableNow timetable_;
    TSystemClock clock_;
    std::unique_ptr<TScheduler> scheduler_;
    std::thread schedulerThread_;
    std::vector<std::int64_t> prepared_;  // the scheduler's records made ahead
    bool started_ = false;
    bool stopped_ = false;
};

}  // namespace kstbell::service
