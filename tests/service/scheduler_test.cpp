// The scheduler on a fake clock, a day at a time without waiting: bells ring at their instant
// with their records made just before; after a time down, bells within the late tolerance ring
// late and older ones are recorded missed; a clock set back rings nothing twice; a pause longer
// than the tolerance turns a bell about to ring into a missed one.

#include <gtest/gtest.h>

#include <optional>

#include "calendar/clock_text.h"
#include "service/scheduler.h"
#include "store/store.h"
#include "store_fixture.h"

namespace kstbell::service {
namespace {

using namespace std::chrono;
using namespace std::chrono_literals;

const sys_days kDay = sys_days{year{2027} / January / 7};

site::TInstant At(seconds sinceMidnight, milliseconds ms = 0ms) {
    return site::TInstant{kDay} + sinceMidnight + ms;
}

std::string Clock(site::TInstant at) {
    const auto local = at - site::TInstant{kDay};
    const auto ms = duration_cast<milliseconds>(local).count() % 1000;
    std::string text = calendar::FormatTimeOfDay(floor<seconds>(local));
    if (ms) text += "." + std::to_string(ms);
    return text;
}

// Time moves only when the scheduler waits; a pause makes a wait that crosses From end at To.
class TFakeClock final : public ISchedulerClock {
  public:
    TFakeClock(site::TInstant start, site::TInstant end) : now_(start), end_(end) {}
    std::optional<std::pair<site::TInstant, site::TInstant>> Pause;

    site::TInstant Now() override { return now_; }
    bool WaitUntil(site::TInstant until) override {
        if (until >= end_) {
            now_ = end_;
            return false;
        }
        if (Pause && now_ < Pause->first && until >= Pause->first) {
            now_ = Pause->second;
            Pause.reset();
            return true;
        }
        now_ = std::max(now_, until);
        return true;
    }

  private:
    site::TInstant now_;
    site::TInstant end_;
};

class TRecordingRinger final : public IBellRinger {
  public:
    explicit TRecordingRinger(ISchedulerClock& clock) : clock_(clock) {}
    std::vector<std::string> Events;

    void Prepare(const std::vector<calendar::TScheduledBell>& bells) override {
        Events.push_back("prepare " + Bells(bells) + " at " + Clock(clock_.Now()));
    }
    void Ring(const std::vector<calendar::TScheduledBell>& bells, bool late) override {
        Events.push_back(std::string(late ? "late " : "ring ") + Bells(bells) + " at " +
                         Clock(clock_.Now()));
    }
    void Withdraw() override { Events.push_back("withdraw at " + Clock(clock_.Now())); }
    void Missed(const calendar::TScheduledBell& bell) override {
        Events.push_back("missed " + Bells({bell}));
    }

  private:
    static std::string Bells(const std::vector<calendar::TScheduledBell>& bells) {
        std::string text;
        for (const auto& b : bells)
            text += (text.empty() ? "" : "+") + calendar::FormatTimeOfDay(b.Bell.Time) + " " +
                    b.Bell.Group;
        return text;
    }
    ISchedulerClock& clock_;
};

calendar::TCalendar Calendar() {
    calendar::TSchedule schedule;
    schedule.Plans["day"].Bells = {
        {8h, "all", 1, 5}, {8h, "gym", 2, 5}, {9h, "all", 1, 5}, {12h, "all", 1, 5}};
    schedule.Week.fill("day");
    return calendar::TCalendar(calendar::TTimeZone(), schedule);
}

TEST(SchedulerTest, BellsRingAtTheirInstantAndMissedOnesAreRecorded) {
    struct TCase {
        const char* What;
        std::optional<site::TInstant> Saved;  // the last instant handled before this run
        site::TInstant Start, End;
        std::optional<std::pair<site::TInstant, site::TInstant>> Pause;
        std::vector<std::string> Expected;
    };
    const TCase cases[] = {
        {"a first start rings what comes, each record made 200 ms ahead",
         std::nullopt,
         At(7h),
         At(13h),
         std::nullopt,
         {"prepare 08:00:00 all+08:00:00 gym at 07:59:59.800",
          "ring 08:00:00 all+08:00:00 gym at 08:00:00", "prepare 09:00:00 all at 08:59:59.800",
          "ring 09:00:00 all at 09:00:00", "prepare 12:00:00 all at 11:59:59.800",
          "ring 12:00:00 all at 12:00:00"}},
        {"down from 07:00 to 09:00:30: the 08:00 bells missed, 09:00 rung late",
         At(7h),
         At(9h + 30s),
         At(12h + 30min),
         std::nullopt,
         {"missed 08:00:00 all", "missed 08:00:00 gym", "late 09:00:00 all at 09:00:30",
          "prepare 12:00:00 all at 11:59:59.800", "ring 12:00:00 all at 12:00:00"}},
        {"down past the tolerance: nothing rung late",
         At(7h),
         At(9h + 61s),
         At(11h),
         std::nullopt,
         {"missed 08:00:00 all", "missed 08:00:00 gym", "missed 09:00:00 all"}},
        {"the tolerance counts to the millisecond",
         At(7h),
         At(9h + 60s, 500ms),
         At(11h),
         std::nullopt,
         {"missed 08:00:00 all", "missed 08:00:00 gym", "missed 09:00:00 all"}},
        {"the clock set back four hours rings nothing twice",
         At(12h + 30min),
         At(8h + 30min),
         At(12h + 45min),
         std::nullopt,
         {}},
        {"a pause across a bell's instant: withdrawn and missed",
         std::nullopt,
         At(8h + 30min),
         At(12h + 30min),
         std::pair{At(9h) - 100ms, At(9h) + 5min},
         {"prepare 09:00:00 all at 08:59:59.800", "withdraw at 09:05:00", "missed 09:00:00 all",
          "prepare 12:00:00 all at 11:59:59.800", "ring 12:00:00 all at 12:00:00"}},
    };
    const calendar::TCalendar calendar = Calendar();
    for (const auto& c : cases) {
        store::test::TTempDir dir;
        store::TStore store(dir.Path());
        if (c.Saved)
            store.State().SetTime(kLastHandledKey, time_point_cast<milliseconds>(*c.Saved));
        TFakeClock clock(c.Start, c.End);
        clock.Pause = c.Pause;
        TRecordingRinger ringer(clock);
        TScheduler scheduler(calendar, 60s, store.State(), ringer, clock,
                             [](const std::string&) {});
        scheduler.Run();
        EXPECT_EQ(ringer.Events, c.Expected) << c.What;
        // What it dealt with is kept for the next start.
        const auto kept = store.State().GetTime(kLastHandledKey);
        ASSERT_TRUE(kept) << c.What;
        EXPECT_GE(*kept, time_point_cast<milliseconds>(c.Saved.value_or(c.Start))) << c.What;
    }
}

TEST(SchedulerTest, AClockMovedWhileItRunsRingsNoBellTwiceAndLosesNoneWithinTheTolerance) {
    struct TCase {
        const char* What;
        site::TInstant Start;
        std::pair<site::TInstant, site::TInstant> Jump;  // a wait that crosses first ends at second
        std::vector<std::string> Expected;
    };
    const TCase cases[] = {
        {"set back 30 min after the 08:00 bells: they do not ring again",
         At(7h + 59min),
         {At(8h, 500ms), At(7h + 30min)},
         {"prepare 08:00:00 all+08:00:00 gym at 07:59:59.800",
          "ring 08:00:00 all+08:00:00 gym at 08:00:00", "prepare 09:00:00 all at 08:59:59.800",
          "ring 09:00:00 all at 09:00:00"}},
        {"set back 1 min while a bell's record is made ahead: withdrawn, made again, rung once",
         At(7h + 59min),
         {At(7h + 59min + 59s, 900ms), At(7h + 58min + 59s, 900ms)},
         {"prepare 08:00:00 all+08:00:00 gym at 07:59:59.800", "withdraw at 07:58:59.900",
          "prepare 08:00:00 all+08:00:00 gym at 07:59:59.800",
          "ring 08:00:00 all+08:00:00 gym at 08:00:00", "prepare 09:00:00 all at 08:59:59.800",
          "ring 09:00:00 all at 09:00:00"}},
        {"set forward across a bell within the tolerance: rung late with its record",
         At(7h + 59min),
         {At(7h + 59min + 59s, 900ms), At(8h + 30s)},
         {"prepare 08:00:00 all+08:00:00 gym at 07:59:59.800",
          "late 08:00:00 all+08:00:00 gym at 08:00:30", "prepare 09:00:00 all at 08:59:59.800",
          "ring 09:00:00 all at 09:00:00"}},
        {"set forward from a wait to within the tolerance after a bell: rung late",
         At(7h + 40min),
         {At(7h + 41min), At(8h + 20s)},
         {"late 08:00:00 all+08:00:00 gym at 08:00:20", "prepare 09:00:00 all at 08:59:59.800",
          "ring 09:00:00 all at 09:00:00"}},
        {"set forward past bells and their tolerance: each recorded missed",
         At(7h + 40min),
         {At(7h + 41min), At(9h + 30min)},
         {"missed 08:00:00 all", "missed 08:00:00 gym", "missed 09:00:00 all"}},
    };
    const calendar::TCalendar calendar = Calendar();
    for (const auto& c : cases) {
        store::test::TTempDir dir;
        store::TStore store(dir.Path());
        TFakeClock clock(c.Start, At(11h));
        clock.Pause = c.Jump;
        TRecordingRinger ringer(clock);
        TScheduler scheduler(calendar, 60s, store.State(), ringer, clock,
                             [](const std::string&) {});
        scheduler.Run();
        EXPECT_EQ(ringer.Events, c.Expected) << c.What;
        EXPECT_FALSE(clock.Pause) << c.What << ": the clock was not moved";
    }
}

// A timetable changed while the scheduler waits across a bell's instant (the wait ends late, as
// after a pause): a bell the change removed does not ring, one it added after its instant does
// not ring at once, one both hold rings late as it would have without the change.
TEST(SchedulerTest, ATimetableChangedMeanwhileRingsOnlyTheBellsBothHold) {
    const auto withBells = [](std::vector<calendar::TBell> bells) {
        calendar::TSchedule schedule;
        schedule.Plans["day"].Bells = std::move(bells);
        schedule.Week.fill("day");
        return std::make_shared<const calendar::TCalendar>(calendar::TTimeZone(), schedule);
    };
    const calendar::TBell nine{9h, "all", 1, 5}, twelve{12h, "all", 1, 5};
    const calendar::TBell nineGym{9h + 5s, "gym", 2, 5};
    struct TCase {
        const char* What;
        std::shared_ptr<const calendar::TCalendar> After;  // from 09:00:10 on
        std::vector<std::string> Expected;
    };
    const TCase cases[] = {
        {"no change: rung late",
         nullptr,
         {"prepare 09:00:00 all at 08:59:59.800", "late 09:00:00 all at 09:00:20",
          "prepare 12:00:00 all at 11:59:59.800", "ring 12:00:00 all at 12:00:00"}},
        {"09:00 removed: withdrawn, neither rung nor missed",
         withBells({twelve}),
         {"prepare 09:00:00 all at 08:59:59.800", "withdraw at 09:00:20",
          "prepare 12:00:00 all at 11:59:59.800", "ring 12:00:00 all at 12:00:00"}},
        {"09:00:05 added after its instant: not rung; 09:00 kept: rung late",
         withBells({nine, nineGym, twelve}),
         {"prepare 09:00:00 all at 08:59:59.800", "withdraw at 09:00:20",
          "late 09:00:00 all at 09:00:20", "prepare 12:00:00 all at 11:59:59.800",
          "ring 12:00:00 all at 12:00:00"}},
    };
    const auto before = withBells({nine, twelve});
    for (const auto& c : cases) {
        store::test::TTempDir dir;
        store::TStore store(dir.Path());
        TFakeClock clock(At(8h + 30min), At(12h + 30min));
        clock.Pause = std::pair{At(9h) - 100ms, At(9h) + 20s};
        TRecordingRinger ringer(clock);
        const auto source = [&]() -> std::shared_ptr<const calendar::TCalendar> {
            return c.After && clock.Now() >= At(9h) + 10s ? c.After : before;
        };
        TScheduler scheduler(source, 60s, store.State(), ringer, clock, [](const std::string&) {});
        scheduler.Run();
        EXPECT_EQ(ringer.Events, c.Expected) << c.What;
    }
}

}  // namespace
}  // namespace kstbell::service
