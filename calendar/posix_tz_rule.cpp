#include "calendar/posix_tz_rule.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>

namespace kstbell::calendar {

namespace {

using namespace std::chrono;

class TRuleReader {
  public:
    explicit TRuleReader(std::string_view text) : text_(text) {}

    bool AtEnd() const { return at_ == text_.size(); }
    bool Take(char c) {
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    bool Next(char c) const { return at_ < text_.size() && text_[at_] == c; }
    bool NextIsNameStart() const {
        return at_ < text_.size() &&
               (text_[at_] == '<' || std::isalpha(static_cast<unsigned char>(text_[at_])));
    }

    // A zone abbreviation: three letters or more, or <...> of letters, digits, '+' and '-'.
    bool Name() {
        std::size_t length = 0;
        if (Take('<')) {
            while (at_ < text_.size() && text_[at_] != '>') {
                const unsigned char c = static_cast<unsigned char>(text_[at_]);
                if (!std::isalnum(c) && c != '+' && c != '-') return false;
                ++at_;
                ++length;
            }
            return Take('>') && length >= 3;
        }
        while (at_ < text_.size() && std::isalpha(static_cast<unsigned char>(text_[at_]))) {
            ++at_;
            ++length;
        }
        return length >= 3;
    }

    std::optional<int> Number(int most) {
        const std::size_t from = at_;
        long value = 0;
        while (at_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[at_]))) {
            value = value * 10 + (text_[at_] - '0');
            if (value > most) return std::nullopt;
            ++at_;
        }
        if (at_ == from) return std::nullopt;
        return static_cast<int>(value);
    }

    // [+|-]hh[:mm[:ss]] with hours up to `mostHours`.
    std::optional<seconds> Time(int mostHours) {
        const bool negative = Take('-');
        if (!negative) Take('+');
        const auto h = Number(mostHours);
        if (!h) return std::nullopt;
        seconds value = hours{*h};
        if (Take(':')) {
            const auto m = Number(59);
            if (!m) return std::nullopt;
            value += minutes{*m};
            if (Take(':')) {
                const auto s = Number(59);
                if (!s) return std::nullopt;
                value += seconds{*s};
            }
        }
        return negative ? -value : value;
    }

  private:
    std::string_view text_;
    std::size_t at_ = 0;
};

// Offsets are at most 24 hours; the local time of a change up to a week either way.
constexpr int kMostOffsetHours = 24;
constexpr int kMostTimeHours = 167;

// The limits of the years computed, far beyond any calendar query, so that no year overflows.
const sys_seconds kFirstInstant{sys_days{year{-30000} / January / 1}};
const sys_seconds kLastInstant{sys_days{year{30000} / January / 1}};

year YearOf(sys_seconds at) {
    return year_month_day{floor<days>(std::clamp(at, kFirstInstant, kLastInstant))}.year();
}

std::uint32_t BigEndian(const std::array<unsigned char, 4>& b) {
    return std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 |
           std::uint32_t{b[3]};
}

}  // namespace

std::optional<TPosixTzRule> TPosixTzRule::Parse(std::string_view text) {
    TRuleReader in(text);
    TPosixTzRule rule;
    if (!in.Name()) return std::nullopt;
    const auto standard = in.Time(kMostOffsetHours);
    if (!standard) return std::nullopt;
    rule.standard_ = -*standard;  // the text counts west of Greenwich
    if (in.AtEnd()) return rule;

    if (!in.NextIsNameStart() || !in.Name()) return std::nullopt;
    TSummer summer{rule.standard_ + hours{1}, {}, {}};
    if (!in.Next(',')) {
        const auto offset = in.Time(kMostOffsetHours);
        if (!offset) return std::nullopt;
        summer.Offset = -*offset;
    }
    auto dayOf = [&in](TDay& day) {
        if (in.Take('M')) {
            const auto m = in.Number(12);
            if (!m || *m < 1 || !in.Take('.')) return false;
            const auto w = in.Number(5);
            if (!w || *w < 1 || !in.Take('.')) return false;
            const auto d = in.Number(6);
            if (!d) return false;
            day.Kind = TDay::EKind::MonthWeekDay;
            day.Month = *m;
            day.Week = *w;
            day.WeekDay = *d;
        } else if (in.Take('J')) {
            const auto n = in.Number(365);
            if (!n || *n < 1) return false;
            day.Kind = TDay::EKind::JulianNoLeap;
            day.Day = *n;
        } else {
            const auto n = in.Number(365);
            if (!n) return false;
            day.Kind = TDay::EKind::DayFromZero;
            day.Day = *n;
        }
        if (in.Take('/')) {
            const auto time = in.Time(kMostTimeHours);
            if (!time) return false;
            day.Time = *time;
        }
        return true;
    };
    if (!in.Take(',') || !dayOf(summer.Start) || !in.Take(',') || !dayOf(summer.End) || !in.AtEnd())
        return std::nullopt;
    rule.summer_ = summer;
    return rule;
}

sys_days TPosixTzRule::TDay::In(year y) const {
    switch (Kind) {
        case EKind::MonthWeekDay: {
            const month m{static_cast<unsigned>(Month)};
            const weekday wd{static_cast<unsigned>(WeekDay)};
            if (Week == 5) return sys_days{y / m / weekday_last{wd}};
            return sys_days{y / m / wd[static_cast<unsigned>(Week)]};
        }
        case EKind::JulianNoLeap: {
            // February 29 is never counted: day 60 is March 1 in every year.
            const int leap = y.is_leap() && Day >= 60 ? 1 : 0;
            return sys_days{y / January / 1} + days{Day - 1 + leap};
        }
        case EKind::DayFromZero:
            break;
    }
    return sys_days{y / January / 1} + days{Day};
}

TPosixTzRule::TWindow TPosixTzRule::ChangesAround(year y) const {
    TWindow window{standard_, {}};
    if (!summer_) return window;
    struct TRaw {
        sys_seconds At;
        bool ToSummer;
    };
    // A year earlier than asked as well, so that the state before the first change kept is
    // the rule's own and not a guess (the guessed first change is dropped below), and a year
    // later, whose first change ends what is kept: the change before may meet it and cancel.
    std::vector<TRaw> raw;
    sys_seconds edge = sys_seconds::max();
    for (year k = y - years{2}; k <= y + years{2}; ++k) {
        const TRaw start{sys_seconds{summer_->Start.In(k)} + summer_->Start.Time - standard_, true};
        const TRaw end{sys_seconds{summer_->End.In(k)} + summer_->End.Time - summer_->Offset,
                       false};
        if (end.At < start.At) {
            raw.push_back(end);
            raw.push_back(start);
        } else {
            raw.push_back(start);
            raw.push_back(end);
        }
        if (k == y + years{2}) edge = std::min(start.At, end.At);
    }
    // Stable: when one year's end meets the next year's start (summer time all year), the end
    // comes first and the two cancel.
    std::stable_sort(raw.begin(), raw.end(),
                     [](const TRaw& a, const TRaw& b) { return a.At < b.At; });
    auto offset = [this](bool summer) { return summer ? summer_->Offset : standard_; };
    bool state = !raw.front().ToSummer;
    bool first = true;
    for (std::size_t i = 0; i < raw.size();) {
        std::size_t j = i;
        while (j + 1 < raw.size() && raw[j + 1].At == raw[i].At)
            ++j;
        if (raw[i].At >= edge) break;
        const bool after = raw[j].ToSummer;
        if (after != state && offset(after) != offset(state)) {
            if (!first) window.Changes.push_back({raw[i].At, offset(state), offset(after)});
            if (first) window.Initial = offset(after);
            first = false;
        }
        state = after;
        i = j + 1;
    }
    if (first) window.Initial = offset(state);
    return window;
}

seconds TPosixTzRule::OffsetAt(sys_seconds at) const {
    if (!summer_) return standard_;
    at = std::clamp(at, kFirstInstant, kLastInstant);
    const TWindow window = ChangesAround(YearOf(at));
    seconds offset = window.Initial;
    for (const auto& change : window.Changes) {
        if (change.At > at) break;
        offset = change.After;
    }
    return offset;
}

std::optional<TClockChange> TPosixTzRule::NextChange(sys_seconds after) const {
    if (!summer_) return std::nullopt;
    after = std::clamp(after, kFirstInstant, kLastInstant);
    for (year y = YearOf(after); y <= YearOf(after) + years{2}; ++y) {
        for (const auto& change : ChangesAround(y).Changes)
            if (change.At > after) return change;
    }
    return std::nullopt;
}

seconds TPosixTzRule::LargestOffset() const {
    return summer_ ? std::max(standard_, summer_->Offset) : standard_;
}

seconds TPosixTzRule::SmallestOffset() const {
    return summer_ ? std::min(standard_, summer_->Offset) : standard_;
}

std::optional<std::string> ReadTzifFooter(std::istream& in) {
    // Header: "TZif", the version, 15 reserved bytes, then six counts of four bytes each.
    auto header = [&in](char& version, std::array<std::uint32_t, 6>& counts) {
        char magic[4];
        if (!in.read(magic, 4) || std::string_view(magic, 4) != "TZif") return false;
        if (!in.get(version) || !in.ignore(15)) return false;
        for (auto& count : counts) {
            std::array<unsigned char, 4> bytes;
            if (!in.read(reinterpret_cast<char*>(bytes.data()), 4)) return false;
            count = BigEndian(bytes);
        }
        return true;
    };
    // isutcnt, isstdcnt, leapcnt, timecnt, typecnt, charcnt
    auto blockSize = [](const std::array<std::uint32_t, 6>& c, std::uint64_t timeSize) {
        return std::uint64_t{c[3]} * timeSize + c[3] + std::uint64_t{c[4]} * 6 + c[5] +
               std::uint64_t{c[2]} * (timeSize + 4) + c[1] + c[0];
    };
    char version = 0;
    std::array<std::uint32_t, 6> counts{};
    if (!header(version, counts) || version < '2') return std::nullopt;
    if (!in.ignore(static_cast<std::streamsize>(blockSize(counts, 4)))) return std::nullopt;
    if (!header(version, counts) || version < '2') return std::nullopt;
    if (!in.ignore(static_cast<std::streamsize>(blockSize(counts, 8)))) return std::nullopt;
    if (in.get() != '\n') return std::nullopt;
    std::string footer;
    constexpr std::size_t kLongestFooter = 256;
    for (int c = in.get(); c != '\n'; c = in.get()) {
        if (c == std::char_traits<char>::eof() || footer.size() == kLongestFooter)
            return std::nullopt;
        footer.push_back(static_cast<char>(c));
    }
    return footer;
}

}  // namespace kstbell::calendar
