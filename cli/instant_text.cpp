#include "cli/instant_text.h"

#include <cctype>
#include <charconv>
#include <ctime>

namespace kstbell::cli {

namespace {

using namespace std::chrono;

// Digits of exactly this many characters at text[at].
bool Number(const std::string& text, std::size_t at, std::size_t digits, int& into) {
    if (at + digits > text.size()) return false;
    for (std::size_t i = at; i < at + digits; ++i)
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    std::from_chars(text.data() + at, text.data() + at + digits, into);
    return true;
}

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
    std::string text = given;
    const bool utc = !text.empty() && (text.back() == 'Z' || text.back() == 'z');
    if (utc) text.pop_back();
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (!Number(text, 0, 4, y) || text.size() < 10 || text[4] != '-' || !Number(text, 5, 2, mo) ||
        text[7] != '-' || !Number(text, 8, 2, d))
        return std::nullopt;
    if (text.size() > 10) {
        const bool timeFollows = text[10] == 'T' || text[10] == 't' || text[10] == ' ';
        if (!timeFollows || !Number(text, 11, 2, h) || text.size() < 16 || text[13] != ':' ||
            !Number(text, 14, 2, mi))
            return std::nullopt;
        if (text.size() > 16 && (text[16] != ':' || !Number(text, 17, 2, s) || text.size() != 19))
            return std::nullopt;
    }
    const year_month_day date{year{y}, month{static_cast<unsigned>(mo)},
                              day{static_cast<unsigned>(d)}};
    if (!date.ok() || h > 23 || mi > 59 || s > 59) return std::nullopt;
    if (utc) return sys_days{date} + hours{h} + minutes{mi} + seconds{s};
    std::tm local{};
    local.tm_year = y - 1900;
    local.tm_mon = mo - 1;
    local.tm_mday = d;
    local.tm_hour = h;
    local.tm_min = mi;
    local.tm_sec = s;
    local.tm_isdst = -1;
    const std::time_t t = std::mktime(&local);
    if (t == static_cast<std::time_t>(-1)) return std::nullopt;
    return time_point_cast<seconds>(system_clock::from_time_t(t));
}

}  // namespace kstbell::cli
