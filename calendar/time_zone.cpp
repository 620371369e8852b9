#include "calendar/time_zone.h"

#include <date/tz.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace kstbell::calendar {

namespace {

using std::chrono::local_seconds;
using std::chrono::sys_seconds;

// Where the library finds the zones of the system's database, each a TZif file by its name.
constexpr const char* kZoneFolder = "/usr/share/zoneinfo";

// Debian builds tzdata "fat": every change is listed up to 2037 and the rule for the years
// after is left in a footer that this library does not read (a "slim" file lists fewer years
// and leaves more to the rule). A zone whose last listed change falls in that final year still
// changes its clocks; without that rule its table is trusted to the year's end.
constexpr int kFinalListedYear = 2037;

}  // namespace

TTimeZone::TTimeZone()
    : zone_(nullptr),
      name_("UTC"),
      knownUntil_(sys_seconds::max()),
      ruleFrom_(),
      ruleFromLocal_() {}

TTimeZone::TTimeZone(const date::time_zone* zone, const std::string& rulesFolder)
    : zone_(zone),
      name_(zone->name()),
      knownUntil_(sys_seconds::max()),
      ruleFrom_(),
      ruleFromLocal_() {
    const auto far = date::sys_days{date::year{2200} / 1 / 1};
    const date::sys_info last = zone->get_info(far);
    const date::year_month_day day{date::floor<date::days>(last.begin)};
    if (!day.ok()) return;

    const std::string path = rulesFolder + "/" + name_;
    std::ifstream file(path, std::ios::binary);
    const std::optional<std::string> footer = ReadTzifFooter(file);
    const std::optional<TPosixTzRule> rule =
        footer ? TPosixTzRule::Parse(*footer) : std::optional<TPosixTzRule>();
    const sys_seconds lastChange{last.begin};
    std::string problem;
    if (!footer || footer->empty()) {
        problem = path + " holds no rule for later years";
    } else if (!rule) {
        problem = "the rule for later years in " + path + ", \"" + *footer + "\", cannot be read";
    } else if (rule->OffsetAt(lastChange) != last.offset) {
        problem = "the rule for later years in " + path + ", \"" + *footer +
                  "\", does not match the last listed change";
    }
    if (problem.empty()) {
        // The list and the rule agree from the last listed change to the rule's next one; the
        // rule takes over halfway, far from any change, so that wall-clock times map the same
        // either side.
        rule_ = rule;
        const auto next = rule->NextChange(lastChange);
        ruleFrom_ = next ? lastChange + (next->At - lastChange) / 2 : lastChange + date::days{1};
        ruleFromLocal_ = local_seconds{ruleFrom_.time_since_epoch() + last.offset};
        return;
    }
    // A zone whose changes ended before the final listed year has none left to miss.
    if (day.year() < date::year{kFinalListedYear}) return;
    const int lastYear = static_cast<int>(day.year());
    const date::sys_days nextYear{(day.year() + date::years{1}) / 1 / 1};
    knownUntil_ =
        sys_seconds{std::chrono::duration_cast<std::chrono::seconds>(nextYear.time_since_epoch())};
    knownUntilReason_ = "the time zone database lists the clock changes of " + name_ +
                        " only up to " + std::to_string(lastYear) + " and " + problem;
}

std::optional<TTimeZone> TTimeZone::Find(const std::string& name) {
    return Find(name, kZoneFolder);
}

std::optional<TTimeZone> TTimeZone::Find(const std::string& name, const std::string& rulesFolder) {
    if (name.empty()) return std::nullopt;
    try {
        return TTimeZone(date::locate_zone(name), rulesFolder);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

TTimeZone TTimeZone::System() {
    if (const char* tz = std::getenv("TZ"); tz && *tz) {
        std::string name(tz[0] == ':' ? tz + 1 : tz);
        // TZ may also be a path into the database: ":/usr/share/zoneinfo/Europe/Berlin".
        const auto folder = name.rfind("zoneinfo/");
        if (folder != std::string::npos) name.erase(0, folder + 9);
        if (auto zone = Find(name)) return *zone;
    }
    try {
        return TTimeZone(date::current_zone(), kZoneFolder);
    } catch (const std::exception&) {
        return TTimeZone();
    }
}

local_seconds TTimeZone::ToLocal(sys_seconds at) const {
    if (!zone_) return local_seconds{at.time_since_epoch()};
    if (rule_ && at >= ruleFrom_) return local_seconds{at.time_since_epoch() + rule_->OffsetAt(at)};
    const date::sys_info info = zone_->get_info(at);
    return local_seconds{at.time_since_epoch() + info.offset};
}

TResolvedTime TTimeZone::ToUtc(local_seconds local) const {
    if (!zone_) return {sys_seconds{local.time_since_epoch()}, false};
    if (rule_ && local >= ruleFromLocal_) {
        // The earlier of the two instants that can show this time, if the clock shows it then;
        // else the later; else the time is in a gap, which ends at the change after the first.
        const sys_seconds early{local.time_since_epoch() - rule_->LargestOffset()};
        if (rule_->OffsetAt(early) == rule_->LargestOffset()) return {early, false};
        const sys_seconds late{local.time_since_epoch() - rule_->SmallestOffset()};
        if (rule_->OffsetAt(late) == rule_->SmallestOffset()) return {late, false};
        if (const auto change = rule_->NextChange(early)) return {change->At, true};
        return {late, false};
    }
    const date::local_info info = zone_->get_info(date::local_seconds{local.time_since_epoch()});
    if (info.result == date::local_info::nonexistent) return {info.second.begin, true};
    // Unique, or ambiguous: the first of the two is the earlier instant.
    return {sys_seconds{local.time_since_epoch() - info.first.offset}, false};
}

}  // namespace kstbell::calendar
