#include "service/store/utc_time.h"

#include <cstdio>

namespace kstbell::store {

namespace chr = std::chrono;

std::int64_t ToUnixMs(TUtcTime time) {
    return time.time_since_epoch().count();
}

TUtcTime FromUnixMs(std::int64_t ms) {
    return TUtcTime(chr::milliseconds(ms));
}

std::string FormatUtc(TUtcTime time) {
    const auto day = chr::floor<chr::days>(time);
    const chr::year_month_day date(day);
    const chr::hh_mm_ss clock(time - day);
    char text[40];
    std::snprintf(
        text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
        static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
        static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
        static_cast<int>(clock.seconds().count()), static_cast<int>(clock.subseconds().count()));
    return text;
}

namespace {

// Reads exactly count digits at pos; false when they are not all there.
bool Digits(std::string_view text, std::size_t& pos, std::size_t count, int& value) {
    if (pos + count > text.size()) return false;
    value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const char c = text[pos + i];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    pos += count;
    return true;
}

bool Expect(std::string_view text, std::size_t& pos, char c) {
    if (pos >= text.size() || text[pos] != c) return false;
    ++pos;
    return true;
}

}  // namespace

std::optional<TUtcTime> ParseUtc(std::string_view text) {
    std::size_t pos = 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, ms = 0;
    if (!Digits(text, pos, 4, year) || !Expect(text, pos, '-') || !Digits(text, pos, 2, month) ||
        !Expect(text, pos, '-') || !Digits(text, pos, 2, day)) {
        return std::nullopt;
    }
    const chr::year_month_day date{chr::year(year), chr::month(static_cast<unsigned>(month)),
                                   chr::day(static_cast<unsigned>(day))};
    if (!date.ok()) return std::nullopt;
    if (pos < text.size()) {
        if (text[pos] != 'T' && text[pos] != ' ') return std::nullopt;
        ++pos;
        if (!Digits(text, pos, 2, hour) || !Expect(text, pos, ':') ||
            !Digits(text, pos, 2, minute)) {
            return std::nullopt;
        }
        if (pos < text.size() && text[pos] == ':') {
            ++pos;
            if (!Digits(text, pos, 2, second)) return std::nullopt;
            if (pos < text.size() && text[pos] == '.') {
                ++pos;
                const std::size_t first = pos;
                int scale = 100;
                while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
                    ms += (text[pos] - '0') * scale;
                    scale /= 10;
                    ++pos;
                }
                if (pos == first) return std::nullopt;
            }
        }
        if (pos < text.size() && text[pos] == 'Z') ++pos;
        if (pos != text.size() || hour > 23 || minute > 59 || second > 59) return std::nullopt;
    }
    return TUtcTime(chr::sys_days(date)) + chr::hours(hour) + chr::minutes(minute) +
           chr::seconds(second) + chr::milliseconds(ms);
}

}  // namespace kstbell::store
