// A site's rings under a wall clock that is set back or forward while they sound: a steady ring
// and an alarm's pattern last their length, measured on the steady clock, and the record keeps
// the wall-clock start plus that length. The wall clock is a fake one the test moves; the horns
// are simulated.

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "platform/backends.h"
#include "service_fixture.h"
#include "site/site.h"

namespace kstbell::service::test {
namespace {

using namespace std::chrono;

// What the site says, each stamped on the steady clock when it is heard.
class TClockListener final : public site::ISiteListener, public site::IRingJournal {
  public:
    struct TSwitched {
        steady_clock::time_point At;
        bool On = false;
    };

    void OnHornEvents(const std::vector<site::THornEvent>& events) override {
        const std::lock_guard lock(m_);
        for (const auto& e : events)
            if (e.Kind == site::THornEvent::TKind::CommandDone && e.Outcome.Ok() &&
                e.Command.Kind == site::TCommandKind::Relay && e.Command.Ring != 0)
                switched_.push_back({steady_clock::now(), e.Command.On});
    }
    void OnRingStarted(const site::TRingStart&) override {}
    void OnRingEnded(const site::TRingEnd&, site::TCause, site::TInstant) override {
        const std::lock_guard lock(m_);
        ended_ = steady_clock::now();
    }
    void OnUnowned(std::size_t, site::TInstant) override {}

    bool Record(const site::TRingRecord& ring) override {
        const std::lock_guard lock(m_);
        record_ = ring;
        return true;
    }
    void Ended(const site::TRingEnd&, site::TInstant) override {}
    void ConfirmedOff(std::uint64_t, std::size_t, site::TInstant) override {}

    std::optional<steady_clock::time_point> EndedAt() const {
        const std::lock_guard lock(m_);
        return ended_;
    }
    std::vector<TSwitched> Switched() const {
        const std::lock_guard lock(m_);
        return switched_;
    }
    site::TRingRecord Recorded() const {
        const std::lock_guard lock(m_);
        return record_;
    }

  private:
    mutable std::mutex m_;
    std::optional<steady_clock::time_point> ended_;
    std::vector<TSwitched> switched_;
    site::TRingRecord record_;
};

site::TRingOrder SteadyRing(milliseconds length) {
    site::TRingOrder order;
    order.Horns = {0};
    order.Tone = 1;
    order.Duration = length;
    return order;
}

// On 600 ms, off 400 ms, twice: 2 s, switched on at 0 and 1000 ms.
site::TRingOrder AlarmPattern() {
    site::TRingOrder order;
    order.Horns = {0};
    order.Tone = 2;
    order.Pattern = {{600ms, 400ms, std::nullopt}};
    order.Repeat = 2;
    order.Insist = true;
    order.Priority = 101;
    return order;
}

TEST(RingClockTest, ARingAndAnAlarmLastTheirLengthWhateverTheWallClockDoes) {
    struct TCase {
        const char* What;
        site::TRingOrder Order;
        milliseconds Length;
        milliseconds Jump;  // the wall clock moved by this once the horn sounds
    };
    const TCase cases[] = {
        {"a ring, the clock left alone", SteadyRing(2000ms), 2000ms, 0ms},
        {"a ring, the clock set back 30 s", SteadyRing(2000ms), 2000ms, -30s},
        {"a ring, the clock set forward 30 s", SteadyRing(2000ms), 2000ms, 30s},
        {"an alarm, the clock set back 30 s", AlarmPattern(), 2000ms, -30s},
        {"an alarm, the clock set forward 30 s", AlarmPattern(), 2000ms, 30s},
    };
    auto horns = StartHorns("127.0.97.1", 1);
    auto network = MakeHostNetworkSource();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        std::atomic<std::int64_t> offsetMs{0};
        site::TSiteConfig config;
        config.Horns = {{horns->Address(0), ""}};
        config.Sessions.Port = horns->Port();
        config.Sessions.ReplyWaitMs = kReplyWaitMs;
        config.PollPeriod = milliseconds(kPeriodMs);
        config.WallClock = [&] { return system_clock::now() + milliseconds(offsetMs.load()); };
        TClockListener listener;
        site::TSite site(config, *network, &listener, listener);
        site.Start();

        const auto began = steady_clock::now();
        ASSERT_NE(site.Ring(c.Order).Record.Id, 0u);
        ASSERT_TRUE(Eventually([&] { return !listener.Switched().empty(); }));
        offsetMs += c.Jump.count();
        ASSERT_TRUE(Eventually([&] { return listener.EndedAt().has_value(); }, 15s))
            << "still sounding 15 s after the start";
        const auto length = duration_cast<milliseconds>(*listener.EndedAt() - began);
        std::cout << c.What << ": ended " << length.count() << " ms after the start\n";
        EXPECT_GE(length, c.Length);
        EXPECT_LT(length, c.Length + 3s);
        // The record: the wall clock at the start, plus the ring's length.
        const site::TRingRecord record = listener.Recorded();
        EXPECT_EQ(duration_cast<milliseconds>(record.End - record.Start), c.Length);
        if (!c.Order.Pattern.empty()) {
            ASSERT_TRUE(Eventually([&] { return listener.Switched().size() >= 4; }));
            const auto steps = listener.Switched();
            EXPECT_TRUE(steps[0].On && !steps[1].On && steps[2].On && !steps[3].On);
            // The second sounding step no earlier than one step's on and off after the start.
            EXPECT_GE(steps[2].At - began, 1000ms);
            EXPECT_LT(steps[2].At - began, 1000ms + 2s);
        }
        site.Stop();
    }
}

}  // namespace
}  // namespace kstbell::service::test
