#include "web/time_text.h"

#include <cstdio>

namespace kstbell::web {

namespace {

using namespace std::chrono;

// Reads exactly count decimal digits at text[pos].
std::optional<int> Digits(std::string_view text, std::size_t pos, std::size_t count) {
    if (pos + count > text.size()) return std::nullopt;
    int value = 0;
    for (std::size_t i = pos; i < pos + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

std::string TwoDigits(long value) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%02ld", value);
    return buffer;
}

std::string ClockText(seconds sinceMidnight) {
    const auto h = duration_cast<hours>(sinceMidnight);
    const auto m = duration_cast<minutes>(sinceMidnight - h);
    const auto s = sinceMidnight - h - m;
    return TwoDigits(h.count()) + ":" + TwoDigits(m.count()) + ":" + TwoDigits(s.count());
}

}  // namespace

std::string DateText(year_month_day date) {
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
    return buffer;
}

std::string InstantText(TInstant at) {
    const auto ms = floor<milliseconds>(at);
    const auto day = floor<days>(ms);
    const auto inDay = ms - day;
    char millis[8];
    std::snprintf(millis, sizeof millis, ".%03ld", static_cast<long>((inDay % seconds(1)).count()));
    return DateText(year_month_day(day)) + "T" + ClockText(floor<seconds>(inDay)) + millis + "Z";
}

std::string LocalText(local_seconds local) {
    const auto day = floor<days>(local);
    return DateText(year_month_day(day)) + "T" + ClockText(local - day);
}

std::string TimeOfDayText(seconds sinceMidnight) {
    return ClockText(sinceMidnight);
}

std::optional<year_month_day> ParseDate(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    const auto y = Digits(text, 0, 4);
    const auto m = Digits(text, 5, 2);
    const auto d = Digits(text, 8, 2);
    if (!y || !m || !d) return std::nullopt;
    const year_month_day date{year(*y), month(static_cast<unsigned>(*m)),
                              day(static_cast<unsigned>(*d))};
    if (!date.ok()) return std::nullopt;
    return date;
}

std::optional<TInstant> ParseInstant(std::string_view text) {
    if (text.size() < 20) return std::nullopt;
    const auto date = ParseDate(text.substr(0, 10));
    const char t = text[10];
    if (!date || (t != 'T' && t != 't' && t != ' ')) return std::nullopt;
    // The clock counts nanoseconds: years it cannot hold are refused, not wrapped around.
    if (date->year() < kFirstYear || date->year() > kLastYear) return std::nullopt;
    const auto h = Digits(text, 11, 2);
    const auto m = Digits(text, 14, 2);
    const auto s = Digits(text, 17, 2);
    if (!h || !m || !s || text[13] != ':' || text[16] != ':' || *h > 23 || *m > 59 || *s > 60) {
        return std::nullopt;
    }
    std::size_t pos = 19;
    milliseconds fraction{0};
    if (pos < text.size() && text[pos] == '.') {
        ++pos;
        const std::size_t first = pos;
        long value = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
            if (pos - first < 3) value = value * 10 + (text[pos] - '0');
            ++pos;
        }
        const auto count = pos - first;
        if (count == 0 || count > 9) return std::nullopt;
        for (auto i = count; i < 3; ++i)
            value *= 10;
        fraction = milliseconds(value);
    }
    if (pos >= text.size()) return std::nullopt;
    minutes offset{0};
    const char zone = text[pos];
    if (zone == 'Z' || zone == 'z') {
        ++pos;
    } else if (zone == '+' || zone == '-') {
        const auto oh = Digits(text, pos + 1, 2);
        const auto om = Digits(text, pos + 4, 2);
        if (!oh || !om || pos + 3 >= text.size() || text[pos + 3] != ':' || *oh > 23 || *om > 59) {
            return std::nullopt;
        }
        offset = hours(*oh) + minutes(*om);
        if (zone == '-') offset = -offset;
        pos += 6;
    } else {
        return std::nullopt;
    }
    if (pos != text.size()) return std::nullopt;
    // A leap second is read as the second before the next minute.
    const auto clock = hours(*h) + minutes(*m) + seconds(*s == 60 ? 59 : *s);
    return TInstant(sys_days(*date) + clock - offset + fraction);
}

}  // namespace kstbell::web
