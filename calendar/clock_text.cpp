#include "calendar/clock_text.h"

#include <cstdio>

namespace kstbell::calendar {

namespace {

using namespace std::chrono;

// The number in text[at, at + width), digits only.
std::optional<int> Digits(std::string_view text, std::size_t at, std::size_t width) {
    if (at + width > text.size()) return std::nullopt;
    int value = 0;
    for (std::size_t i = at; i < at + width; ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

std::string Join(const char* format, int a, unsigned b, unsigned c) {
    char text[32];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

}  // namespace

std::optional<seconds> ParseTimeOfDay(std::string_view text) {
    if ((text.size() != 5 && text.size() != 8) || text[2] != ':') return std::nullopt;
    if (text.size() == 8 && text[5] != ':') return std::nullopt;
    const auto h = Digits(text, 0, 2);
    const auto m = Digits(text, 3, 2);
    const auto s = text.size() == 8 ? Digits(text, 6, 2) : std::optional<int>(0);
    if (!h || !m || !s || *h > 23 || *m > 59 || *s > 59) return std::nullopt;
    return hours{*h} + minutes{*m} + seconds{*s};
}

std::optional<year_month_day> ParseDate(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    const auto y = Digits(text, 0, 4);
    const auto m = Digits(text, 5, 2);
    const auto d = Digits(text, 8, 2);
    if (!y || !m || !d) return std::nullopt;
    const year_month_day date{year{*y}, month{static_cast<unsigned>(*m)},
                              day{static_cast<unsigned>(*d)}};
    if (!date.ok()) return std::nullopt;
    return date;
}

std::string FormatTimeOfDay(seconds sinceMidnight) {
    const hh_mm_ss<seconds> t{sinceMidnight};
    return Join("%02d:%02u:%02u", static_cast<int>(t.hours().count()),
                static_cast<unsigned>(t.minutes().count()),
                static_cast<unsigned>(t.seconds().count()));
}

std::string FormatDate(year_month_day date) {
    return Join("%04d-%02u-%02u", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
}

std::string FormatLocal(local_seconds local) {
    const auto day = floor<days>(local);
    return FormatDate(year_month_day{day}) + " " + FormatTimeOfDay(local - day);
}

std::string FormatUtc(sys_seconds at) {
    const auto day = floor<days>(at);
    return FormatDate(year_month_day{day}) + "T" + FormatTimeOfDay(at - day) + "Z";
}

}  // namespace kstbell::calendar
