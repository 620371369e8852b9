// site log: the site service's audit log, read straight from its database (beside a running
// service or without one; the file is never changed).

#include <CLI/CLI.hpp>

#include <algorithm>

#include "cli/exit_codes.h"
#include "cli/instant_text.h"
#include "cli/json_text.h"
#include "cli/service_module.h"
#include "cli/verb_context.h"
#include "cli/verbs/verb.h"
#include "store/audit_entry.h"
#include "store/audit_query.h"
#include "store/utc_time.h"
#include "text/control.h"

namespace kstbell::cli {

namespace {

using namespace std::chrono;

std::string EntryLine(const store::TAuditEntry& e) {
    std::string line = store::FormatUtc(e.At) + "  " + std::string(store::KindName(e.Kind)) + "  " +
                       std::string(store::CauseName(e.Cause));
    if (!e.Actor.empty()) line += " by " + e.Actor;
    if (!e.HornAddress.empty())
        line += "  horn " + e.HornAddress + (e.HornId.empty() ? "" : " (" + e.HornId + ")");
    if (!e.Group.empty()) line += "  group " + e.Group;
    if (!e.Alarm.empty()) line += "  alarm " + e.Alarm;
    if (e.Tone) line += "  tone " + std::to_string(*e.Tone);
    if (e.Duration) line += "  " + std::to_string(e.Duration->count()) + " ms";
    if (e.RingId) line += "  ring " + std::to_string(*e.RingId);
    if (!e.Detail.empty()) line += "  " + e.Detail;
    return text::MaskControlBytes(std::move(line)) + "\n";
}

nlohmann::ordered_json EntryJson(const store::TAuditEntry& e) {
    nlohmann::ordered_json j;
    j["id"] = e.Id;
    j["at"] = store::FormatUtc(e.At);
    j["kind"] = store::KindName(e.Kind);
    j["cause"] = store::CauseName(e.Cause);
    j["actor"] = e.Actor;
    j["horn"] = e.HornAddress;
    j["horn_id"] = e.HornId;
    j["group"] = e.Group;
    j["alarm"] = e.Alarm;
    j["tone"] = e.Tone ? nlohmann::ordered_json(*e.Tone) : nlohmann::ordered_json(nullptr);
    j["duration_ms"] =
        e.Duration ? nlohmann::ordered_json(e.Duration->count()) : nlohmann::ordered_json(nullptr);
    j["ring"] = e.RingId ? nlohmann::ordered_json(*e.RingId) : nlohmann::ordered_json(nullptr);
    j["detail"] = e.Detail;
    return j;
}

struct TLogOptions {
    std::string Since;
    std::string Until;
    std::string Horn;
    std::vector<std::string> Kinds;
    std::vector<std::string> Causes;
    int Limit = 100;
    std::string StateDir;
};

// The query of the options; false, with the reason, for a time, cause or kind that is none.
bool Query(const TLogOptions& l, store::TAuditQuery& q, std::string& error) {
    const auto now = floor<seconds>(system_clock::now());
    const std::pair<const std::string*, std::optional<store::TUtcTime>*> times[] = {
        {&l.Since, &q.Since}, {&l.Until, &q.Until}};
    for (const auto& [text, into] : times) {
        if (text->empty()) continue;
        const auto at = ParseInstant(*text, now);
        if (!at) {
            error = "'" + *text +
                    "' is no time: give 2027-01-07, 2027-01-07 08:00[:SS] (local; Z at the end: "
                    "UTC) or a span before now such as 30m, 2h, 7d";
            return false;
        }
        *into = time_point_cast<milliseconds>(*at);
    }
    q.Horn = l.Horn;
    for (const auto& name : l.Kinds)
        q.Kinds.push_back(*store::KindFromName(name));
    for (const auto& name : l.Causes)
        q.Causes.push_back(*store::CauseFromName(name));
    // With --since the first entries from then on, else the newest; printed oldest first.
    q.Order = q.Since ? store::TAuditOrder::OldestFirst : store::TAuditOrder::NewestFirst;
    q.Limit = l.Limit;
    return true;
}

class TSiteLog final : public TVerb {
  public:
    TSiteLog()
        : TVerb({"site log", "the site service's audit log, oldest first, from its database",
                 "one object per audit entry, not per device: id, at, kind, cause, actor, horn, "
                 "horn_id, group, alarm, tone, duration_ms, ring, detail",
                 TVerbTarget::Own}) {}

    void Declare(CLI::App& log) override {
        log.add_option("--since", o_.Since,
                       "entries from TIME on: 2027-01-07, 2027-01-07 08:00[:SS] (local time; Z at "
                       "the end: UTC), or a span before now: 30m, 2h, 7d")
            ->type_name("TIME");
        log.add_option("--until", o_.Until, "entries before TIME (as --since)")->type_name("TIME");
        log.add_option("--horn", o_.Horn, "one horn's entries: its address or MAC")
            ->type_name("ADDR");
        std::vector<std::string> kinds, causes;
        for (const auto kind : store::AllAuditKinds())
            kinds.emplace_back(store::KindName(kind));
        for (const auto cause : store::AllAuditCauses())
            causes.emplace_back(store::CauseName(cause));
        log.add_option("--kind", o_.Kinds, "only entries of this kind; repeatable")
            ->type_name("KIND")
            ->check(CLI::IsMember(kinds));
        log.add_option("--cause", o_.Causes, "only entries with this cause; repeatable")
            ->type_name("CAUSE")
            ->check(CLI::IsMember(causes));
        log.add_option("--limit", o_.Limit,
                       "at most N entries (default 100; without --since the newest)")
            ->type_name("N")
            ->check(CLI::Range(1, store::kMaxAuditLimit));
        log.add_option("--state-dir", o_.StateDir,
                       "the service's state folder (default $STATE_DIRECTORY, else "
                       "/var/lib/kstbell when it holds the database, else ~/.local/state/kstbell)")
            ->type_name("DIR");
    }

    int Run(TVerbContext& c) override {
        store::TAuditQuery query;
        std::string error;
        if (!Query(o_, query, error)) {
            c.Report.Error(error);
            return kExitUsage;
        }
        // The database is read by the module of the site service's verbs, which holds SQLite.
        const TServiceModule* module = ServiceModule(error);
        if (!module) {
            c.Report.Error(error);
            return kExitFailed;
        }
        store::TAuditPage page;
        if (!module->ReadAudit(o_.StateDir, query, page, error)) {
            c.Report.Error("the site service's log cannot be read: " + error);
            return kExitFailed;
        }
        if (query.Order == store::TAuditOrder::NewestFirst)
            std::reverse(page.Entries.begin(), page.Entries.end());
        std::ostream& out = c.Report.Out();
        for (const auto& entry : page.Entries)
            out << (c.Global.Json ? JsonLine(EntryJson(entry)) + "\n" : EntryLine(entry));
        if (page.Next && !c.Global.Json)
            c.Report.Remark("more entries match: narrow the time or raise --limit (at most " +
                            std::to_string(store::kMaxAuditLimit) + ")");
        return kExitOk;
    }

  private:
    TLogOptions o_;
};

}  // namespace

std::unique_ptr<TVerb> MakeSiteLogVerb() {
    return std::make_unique<TSiteLog>();
}

}  // namespace kstbell::cli
