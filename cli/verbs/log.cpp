// log: the site service's audit log through its API, a page at a time, printed oldest first
// (site log reads the same log straight from the database on the service's computer).

#include <CLI/CLI.hpp>

#include <algorithm>
#include <chrono>
#include <set>

#include "cli/exit_codes.h"
#include "cli/instant_text.h"
#include "cli/service_verb.h"
#include "text/iso_time.h"

namespace kstbell::cli {

namespace {

using namespace std::chrono;

// The most entries the API gives in one page.
constexpr int kPageEntries = 1000;
constexpr int kMaxEntries = 100000;

// As site log writes an entry.
std::string EntryLine(const nlohmann::ordered_json& e) {
    std::string line = Text(e, "at") + "  " + Text(e, "kind") + "  " + Text(e, "cause");
    const auto add = [&](const char* key, const std::string& before, const std::string& after) {
        const std::string value =
            e.contains(key) && e[key].is_number() ? Number(e, key) : Text(e, key);
        if (!value.empty()) line += before + value + after;
    };
    add("actor", " by ", "");
    const std::string hornId = Text(e, "horn_id");
    add("horn", "  horn ", hornId.empty() ? "" : " (" + hornId + ")");
    add("group", "  group ", "");
    add("alarm", "  alarm ", "");
    add("tone", "  tone ", "");
    add("duration_ms", "  ", " ms");
    add("ring", "  ring ", "");
    add("detail", "  ", "");
    return line;
}

class TLog final : public TServiceVerb {
  public:
    TLog()
        : TServiceVerb({"log", "the site service's audit log through its API, oldest first",
                        "one object per audit entry, not per device: id, at, kind, cause, actor, "
                        "horn, horn_id, group, alarm, tone, duration_ms, ring, detail"}) {}

    void Declare(CLI::App& log) override {
        log.add_option("--since", since_,
                       "entries from TIME on: 2027-01-07, 2027-01-07 08:00[:SS] (local time; Z at "
                       "the end: UTC), or a span before now: 30m, 2h, 7d")
            ->type_name("TIME");
        log.add_option("--until", until_, "entries before TIME (as --since)")->type_name("TIME");
        log.add_option("--horn", horn_, "one horn's entries: its address or MAC")
            ->type_name("ADDR");
        log.add_option("--kind", kinds_, "only entries of this kind; repeatable")
            ->type_name("KIND");
        log.add_option("--cause", causes_, "only entries with this cause; repeatable")
            ->type_name("CAUSE");
        log.add_option("--limit", limit_,
                       "the newest N entries of the time given at most (default 100, at most "
                       "100000; the API's pages are followed)")
            ->type_name("N")
            ->check(CLI::Range(1, kMaxEntries));
    }

  protected:
    int Ask(TVerbContext& c, TServiceClient& service) override {
        TQuery filter;
        const auto now = floor<seconds>(system_clock::now());
        for (const auto& [key, text] : {std::pair{"since", &since_}, std::pair{"until", &until_}}) {
            if (text->empty()) continue;
            const auto at = ParseInstant(*text, now);
            if (!at) {
                c.Report.Error("'" + *text +
                               "' is no time: give 2027-01-07, 2027-01-07 08:00[:SS] (local; Z "
                               "at the end: UTC) or a span before now such as 30m, 2h, 7d");
                return kExitUsage;
            }
            filter.emplace_back(key, text::FormatUtc(*at));
        }
        if (!horn_.empty()) filter.emplace_back("horn", horn_);
        for (const auto& kind : kinds_)
            filter.emplace_back("kind", kind);
        for (const auto& cause : causes_)
            filter.emplace_back("cause", cause);

        std::vector<nlohmann::ordered_json> entries;  // newest first, as the API gives them
        std::string cursor;
        std::set<std::string> seen;
        bool more = false;
        while (true) {
            TQuery query = filter;
            const int wanted = std::min(kPageEntries, limit_ - static_cast<int>(entries.size()));
            query.emplace_back("limit", std::to_string(wanted));
            if (!cursor.empty()) query.emplace_back("cursor", cursor);
            const TServiceAnswer answer = service.Get("/log", query, "read the log");
            if (!answer.Ok) return ReportFailure(c, answer);
            const auto& page = answer.Body;
            if (!page.is_object() || !page.contains("entries") || !page["entries"].is_array())
                return ReportFailure(c, Unexpected("a page of the log"));
            for (const auto& entry : page["entries"])
                if (static_cast<int>(entries.size()) < limit_) entries.push_back(entry);
            const auto next = page.find("next_cursor");
            more = next != page.end() && next->is_string();
            // A cursor given before would only give the same page again.
            if (!more || !seen.insert(next->get<std::string>()).second) break;
            if (static_cast<int>(entries.size()) >= limit_) break;
            if (c.Stopped()) {
                Print(c, entries);
                c.Report.Interrupted(service.Name(),
                                     "interrupted: the entries above are the newest " +
                                         std::to_string(entries.size()) + " of those asked for");
                return c.Report.ExitCode();
            }
            cursor = next->get<std::string>();
        }
        Print(c, entries);
        if (more && !c.Report.Json())
            c.Report.Remark("older entries match: narrow the time or raise --limit (at most " +
                            std::to_string(kMaxEntries) + ")");
        return c.Report.ExitCode();
    }

  private:
    static void Print(TVerbContext& c, const std::vector<nlohmann::ordered_json>& newestFirst) {
        for (auto it = newestFirst.rbegin(); it != newestFirst.rend(); ++it)
            ReportItem(c, *it, EntryLine(*it));
    }

    std::string since_;
    std::string until_;
    std::string horn_;
    std::vector<std::string> kinds_;
    std::vector<std::string> causes_;
    int limit_ = 100;
};

}  // namespace

std::unique_ptr<TVerb> MakeLogVerb() {
    return std::make_unique<TLog>();
}

}  // namespace kstbell::cli
