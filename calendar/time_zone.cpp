#include "calendar/time_zone.h"

#include <date/tz.h>

#include <cstdlib>
#include <stdexcept>

namespace kstbell::calendar {

namespace {

using std::chrono::local_seconds;
using std::chrono::sys_seconds;

// Debian builds tzdata "fat": every change is listed up to 2037 and the rule for the years
// after is left in a footer that this library does not read. A zone whose last listed change
// falls in that final year still changes its clocks; its table is trusted to the year's end.
constexpr int kFinalListedYear = 2037;

sys_seconds KnownUntilFor(const date::time_zone& zone) {
    const auto far = date::sys_days{date::year{2200} / 1 / 1};
    const date::sys_info last = zone.get_info(far);
    const date::year_month_day day{date::floor<date::days>(last.begin)};
    if (!day.ok() || day.year() < date::year{kFinalListedYear}) return sys_seconds::max();
    const date::sys_days nextYear{(day.year() + date::years{1}) / 1 / 1};
    return sys_seconds{
        std::chrono::duration_cast<std::chrono::seconds>(nextYear.time_since_epoch())};
}

}  // namespace

TTimeZone::TTimeZone() : zone_(nullptr), name_("UTC"), knownUntil_(sys_seconds::max()) {}

TTimeZone::TTimeZone(const date::time_zone* zone)
    : zone_(zone), name_(zone->name()), knownUntil_(KnownUntilFor(*zone)) {}

std::optional<TTimeZone> TTimeZone::Find(const std::string& name) {
    if (name.empty()) return std::nullopt;
    try {
        return TTimeZone(date::locate_zone(name));
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
        return TTimeZone(date::current_zone());
    } catch (const std::exception&) {
        return TTimeZone();
    }
}

local_seconds TTimeZone::ToLocal(sys_seconds at) const {
    if (!zone_) return local_seconds{at.time_since_epoch()};
    const date::sys_info info = zone_->get_info(at);
    return local_seconds{at.time_since_epoch() + info.offset};
}

TResolvedTime TTimeZone::ToUtc(local_seconds local) const {
    if (!zone_) return {sys_seconds{local.time_since_epoch()}, false};
    const date::local_info info = zone_->get_info(date::local_seconds{local.time_since_epoch()});
    if (info.result == date::local_info::nonexistent) return {info.second.begin, true};
    // Unique, or ambiguous: the first of the two is the earlier instant.
    return {sys_seconds{local.time_since_epoch() - info.first.offset}, false};
}

}  // namespace kstbell::calendar
