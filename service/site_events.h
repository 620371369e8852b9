#pragma once

// Everything that happens at the site, handed on: to the audit log and the lines for people
// (through the writer's queue), to the fronts, and the horns' inputs to the input watch. It
// also keeps what the service needs to know of the rings now running: what each is for
// (a bell, an alarm, a group) and which alarms sound. Called under the site's locks: it only
// notes and queues.

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "service/audit_writer.h"
#include "service/input_watch.h"
#include "service/ring_journal.h"
#include "service/service_config.h"
#include "service/service_front.h"
#include "service/site_names.h"
#include "site/site.h"

namespace kstbell::service {

class TSiteEvents final : public site::ISiteListener {
  public:
    TSiteEvents(const TServiceConfig& config, TAuditWriter& writer, const TRingJournal& journal,
                const TSiteNames& names);

    void AddFront(IServiceFront& front);
    void SetInputWatch(TInputWatch& inputs);
    // Rings taken up after a restart, and the alarms they belong to.
    void Restored(const std::vector<site::TRingRecord>& running,
                  const std::vector<std::pair<std::uint64_t, std::string>>& alarms);

    // The rings of an alarm that are running.
    std::vector<std::uint64_t> AlarmRings(const std::string& alarm) const;

    void OnHornEvents(const std::vector<site::THornEvent>& events) override;
    void OnRingStarted(const site::TRingStart& start) override;
    void OnRingEnded(const site::TRingEnd& end, site::TCause cause, site::TInstant when) override;
    void OnUnowned(std::size_t horn, site::TInstant when) override;
    // The ring's line and audit entries, with what became of its switch-on.
    void OnRingSwitched(const site::TRingSwitches& switches) override;

  private:
    struct TRingInfo {
        std::string What;  // for people: "bell school_day 08:00:00", "alarm evacuation", ...
        std::string Group;
        std::string Alarm;
        std::string Bell;
        std::int64_t StoreId = 0;
    };

    // A ring started whose horns have not all answered yet.
    struct TStarting {
        site::TRingStart Start;
        TRingInfo Info;
        site::TInstant Scheduled{};  // a bell's instant
        bool Late = false;
    };

    void HornEvent(const site::THornEvent& e, site::TInstant now);
    void CommandDone(const site::THornEvent& e, site::TInstant now);

    const TServiceConfig& config_;
    TAuditWriter& writer_;
    const TRingJournal& journal_;
    const TSiteNames& names_;  // the horns' names in the lines for people
    std::vector<IServiceFront*> fronts_;
    TInputWatch* inputs_ = nullptr;

    mutable std::mutex m_;
    std::map<std::uint64_t, TRingInfo> rings_;
    std::map<std::uint64_t, TStarting> starting_;
    std::map<std::string, std::set<std::uint64_t>> alarms_;
    std::vector<bool> unowned_;  // per horn: found sounding with no ring, not yet seen off
};

}  // namespace kstbell::service
