#include "service/scheduler.h"

#include <algorithm>
#include <utility>

#include "calendar/clock_text.h"
#include "store/store_error.h"

namespace kstbell::service {

namespace {

using namespace std::chrono;

// Bells asked of the calendar at once: more than ring at one instant in any sane schedule.
constexpr std::size_t kBatch = 64;

sys_seconds Seconds(site::TInstant at) {
    return floor<seconds>(at);
}

// Keeps the bells that `before` also has at that instant (the same time and group).
void KeepThoseOf(const calendar::TDueBells& before, std::vector<calendar::TScheduledBell>& bells) {
    const auto held = [&](const calendar::TScheduledBell& bell) {
        for (const auto* list : {&before.Due, &before.Missed})
            for (const auto& b : *list)
                if (b.At == bell.At && b.Bell.Time == bell.Bell.Time &&
                    b.Bell.Group == bell.Bell.Group)
                    return true;
        return false;
    };
    bells.erase(std::remove_if(bells.begin(), bells.end(), [&](const auto& b) { return !held(b); }),
                bells.end());
}

}  // namespace

TScheduler::TScheduler(const calendar::TCalendar& fixed, seconds lateTolerance,
                       store::TServiceState& state, IBellRinger& ringer, ISchedulerClock& clock,
                       TLog log)
    : TScheduler(
          [&fixed] {
              // The caller keeps the calendar: a pointer that owns nothing.
              return std::shared_ptr<const calendar::TCalendar>(
                  std::shared_ptr<const calendar::TCalendar>(), &fixed);
          },
          lateTolerance, state, ringer, clock, std::move(log)) {}

TScheduler::TScheduler(TCalendarSource calendar, seconds lateTolerance, store::TServiceState& state,
                       IBellRinger& ringer, ISchedulerClock& clock, TLog log)
    : calendar_(std::move(calendar)),
      tolerance_(lateTolerance),
      state_(state),
      ringer_(ringer),
      clock_(clock),
      log_(std::move(log)) {}

sys_seconds TScheduler::LastHandled() {
    try {
        if (const auto saved = state_.GetTime(kLastHandledKey)) return floor<seconds>(*saved);
    } catch (const store::TStoreError& e) {
        log_("the scheduler's last instant could not be read: " + std::string(e.what()));
    }
    // First start: nothing before now is the scheduler's business.
    const sys_seconds now = Seconds(clock_.Now());
    Handled(now);
    return now;
}

void TScheduler::Handled(sys_seconds at) {
    lastHandled_ = at;
    try {
        state_.SetTime(kLastHandledKey, at);
    } catch (const store::TStoreError& e) {
        log_("the scheduler's last instant could not be kept: " + std::string(e.what()));
    }
}

void TScheduler::CatchUp(site::TInstant precise) {
    const sys_seconds now = Seconds(precise);
    const auto current = calendar_();
    const auto held = std::exchange(held_, current);
    if (now <= lastHandled_) return;
    calendar::TDueBells bells = current->Classify(lastHandled_, now, tolerance_);
    if (held && held != current) {
        // Changed meanwhile: a bell rings late only if it was in the timetable at its instant
        // and still is.
        const calendar::TDueBells before = held->Classify(lastHandled_, now, tolerance_);
        KeepThoseOf(before, bells.Due);
        KeepThoseOf(before, bells.Missed);
    }
    // The calendar counts whole seconds; a bell is too late as soon as the tolerance has passed.
    const auto tooLate = std::stable_partition(
        bells.Due.begin(), bells.Due.end(), [&](auto& b) { return precise - b.At <= tolerance_; });
    bells.Missed.insert(bells.Missed.end(), tooLate, bells.Due.end());
    bells.Due.erase(tooLate, bells.Due.end());
    std::stable_sort(bells.Missed.begin(), bells.Missed.end(),
                     [](const auto& a, const auto& b) { return a.At < b.At; });
    for (const auto& bell : bells.Missed)
        ringer_.Missed(bell);
    // Handled before they ring: a restart in between must not ring them twice.
    Handled(now);
    if (!bells.Due.empty()) ringer_.Ring(bells.Due, true);
}

std::vector<calendar::TScheduledBell> TScheduler::NextBells(
    const calendar::TCalendar& calendar) const {
    std::vector<calendar::TScheduledBell> bells = calendar.Next(lastHandled_, kBatch);
    if (bells.empty()) return bells;
    const sys_seconds first = bells.front().At;
    bells.erase(
        std::find_if(bells.begin(), bells.end(), [&](const auto& b) { return b.At != first; }),
        bells.end());
    return bells;
}

void TScheduler::Run() {
    lastHandled_ = LastHandled();
    for (;;) {
        CatchUp(clock_.Now());
        const auto calendar = held_;
        const auto bells = NextBells(*calendar);
        const site::TInstant now = clock_.Now();
        if (bells.empty()) {
            if (!clock_.WaitUntil(now + kLongestWait)) return;
            continue;
        }
        const site::TInstant at = bells.front().At;
        const site::TInstant prepareAt = at - kLead;
        if (now < prepareAt) {
            if (!clock_.WaitUntil(std::min(prepareAt, now + kLongestWait))) return;
            continue;
        }
        ringer_.Prepare(bells);
        if (!clock_.WaitUntil(at)) {
            ringer_.Withdraw();
            return;
        }
        const site::TInstant rung = clock_.Now();
        if (rung < at) {
            // Woken early: the calendar changed; its bells are looked up again.
            ringer_.Withdraw();
            continue;
        }
        if (calendar_() != calendar) {
            // Changed while it waited (and the wait ended late): the catch-up decides which of
            // these bells still ring.
            ringer_.Withdraw();
            continue;
        }
        if (rung - at > tolerance_) {
            // A pause longer than the tolerance: the catch-up records them missed.
            ringer_.Withdraw();
            continue;
        }
        Handled(bells.front().At);
        ringer_.Ring(bells, rung - at >= seconds(1));
    }
}

}  // namespace kstbell::service
