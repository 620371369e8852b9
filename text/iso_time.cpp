#include "text/iso_time.h"

#include <date/date.h>

#include <sstream>

namespace kstbell::text {

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

// Whether text is digits but at the offsets given as the character each must be: the reader
// of the date library also takes one-digit fields, signs and blanks, which these texts never
// hold.
bool Shaped(std::string_view text, std::string_view shape) {
    if (text.size() != shape.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (shape[i] == '9' ? (text[i] < '0' || text[i] > '9') : text[i] != shape[i]) return false;
    }
    return true;
}

template <class T>
bool Read(std::string_view text, const char* format, T& into) {
    std::istringstream in{std::string(text)};
    in >> date::parse(format, into);
    return !in.fail() && in.peek() == std::char_traits<char>::eof();
}

}  // namespace

std::optional<year_month_day> ParseDate(std::string_view text) {
    sys_days day;
    // The library refuses a date that does not exist (April 31, February 29 of 2027).
    if (!Shaped(text, "9999-99-99") || !Read(text, "%F", day)) return std::nullopt;
    return year_month_day{day};
}

std::optional<seconds> ParseTimeOfDay(std::string_view text) {
    seconds time{};
    if (Shaped(text, "99:99")) {
        minutes hm{};
        if (!Read(text, "%H:%M", hm)) return std::nullopt;
        time = hm;
    } else if (!Shaped(text, "99:99:99") || !Read(text, "%T", time)) {
        return std::nullopt;
    }
    // A duration's reader checks no field's range: 24:00, 08:60 and 08:00:60 would be read
    // as the next hour or minute.
    if (text.substr(0, 2) > "23" || text.substr(3, 2) > "59" ||
        (text.size() == 8 && text.substr(6) > "59"))
        return std::nullopt;
    return time;
}

std::string FormatDate(year_month_day date) {
    return date::format("%F", sys_days{date});
}

std::string FormatTimeOfDay(seconds sinceMidnight) {
    return date::format("%T", sinceMidnight);
}

std::string FormatLocal(local_seconds local, char between) {
    const std::string format = std::string("%F") + between + "%T";
    return date::format(format.c_str(), sys_seconds{local.time_since_epoch()});
}

std::string FormatUtc(sys_seconds at) {
    return date::format("%FT%TZ", at);
}

std::string FormatUtcMillis(sys_time<milliseconds> at) {
    return date::format("%FT%TZ", at);
}

std::optional<sys_time<milliseconds>> ParseRfc3339(std::string_view text) {
    if (text.size() < 20) return std::nullopt;
    const auto date = ParseDate(text.substr(0, 10));
    const char t = text[10];
    if (!date || (t != 'T' && t != 't' && t != ' ')) return std::nullopt;
    // The clock counts nanoseconds: years it cannot hold are refused, not wrapped around.
    if (date->year() < kFirstInstantYear || date->year() > kLastInstantYear) return std::nullopt;
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
    return sys_time<milliseconds>(sys_days(*date) + clock - offset + fraction);
}

}  // namespace kstbell::text
