#include "cli/instant_text.h"

#include <charconv>
#include <ctime>

#include "text/iso_time.h"

namespace kstbell::cli {

namespace {

using namespace std::chrono;

std::optional<sys_seconds> Ago(const std::string& text, sys_seconds now) {
    if (text.size() < 2) return std::nullopt;
    long long n = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size() - 1, n);
    if (ec != std::errc() || end != text.data() + text.size() - 1 || n < 0 || n > 100000000)
        return std::nullopt;
    switch (text.back()) {
        case 's':
            return now - seconds(n);
        case 'm':
            return now - minutes(n);
        case 'h':
            return now - hours(n);
        case 'd':
            return now - days(n);
        default:
            return std::nullopt;
    }
}

}  // namespace

std::optional<sys_seconds> ParseInstant(const std::string& given, sys_seconds now) {
    if (auto ago = Ago(given, now)) return ago;
    std::string_view text = given;
    const bool utc = !text.empty() && (text.back() == 'Z' || text.back() == 'z');
    if (utc) text.remove_suffix(1);
    const auto date = text::ParseDate(text.substr(0, 10));
    if (!date || (text.size() > 10 && text[10] != 'T' && text[10] != 't' && text[10] != ' '))
        return std::nullopt;
    // The time of day, HH:MM or HH:MM:SS; midnight when none is given.
    seconds clock{0};
    if (text.size() > 10) {
        const auto time = text::ParseTimeOfDay(text.substr(11));
        if (!time) return std::nullopt;
        clock = *time;
    }
    if (utc) return sys_days{*date} + clock;
    const hh_mm_ss<seconds> hms{clock};
    std::tm local{};
    local.tm_year = static_cast<int>(date->year()) - 1900;
    local.tm_mon = static_cast<int>(static_cast<unsigned>(date->month())) - 1;
    local.tm_mday = static_cast<int>(static_cast<unsigned>(date->day()));
    local.tm_hour = static_cast<int>(hms.hours().count());
    local.tm_min = static_cast<int>(hms.minutes().count());
    local.tm_sec = static_cast<int>(hms.seconds().count());
    local.tm_isdst = -1;
    const std::time_t t = std::mktime(&local);
    if (t == static_cast<std::time_t>(-1)) return std::nullopt;
    return time_point_cast<seconds>(system_clock::from_time_t(t));
}

}  // namespace kstbell::cli
