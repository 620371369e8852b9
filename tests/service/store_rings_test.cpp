#include <SQLiteCpp/Database.h>
#include <gtest/gtest.h>

#include "store/store.h"
#include "store_fixture.h"

namespace kstbell::store {
namespace {

using test::At;
using test::TTempDir;
using namespace std::chrono_literals;

TRingRecord Ring(std::vector<std::string> horns, long long startMs, long long endMs) {
    TRingRecord ring;
    for (auto& horn : horns)
        ring.Horns.push_back({std::move(horn), "", {}});
    ring.Start = At(startMs);
    ring.End = At(endMs);
    ring.Cause = TAuditCause::Schedule;
    return ring;
}

std::vector<std::int64_t> Ids(const std::vector<TRingRecord>& rings) {
    std::vector<std::int64_t> ids;
    for (const auto& ring : rings)
        ids.push_back(ring.Id);
    return ids;
}

TEST(StoreRings, RecordedRingReadsBackWhole) {
    TTempDir dir;
    TStore store(dir.Path());
    TRingRecord ring = Ring({"10.0.0.2", "10.0.0.1", "10.0.0.2"}, 0, 10'000);
    ring.Horns[1].Id = "00:1a:2b:3c:4d:5e";
    ring.Tone = 2;
    ring.Priority = 50;
    ring.Cause = TAuditCause::Alarm;
    ring.Actor = "caretaker";
    ring.Group = "Hall";
    ring.Alarm = "evacuation";
    ring.Id = store.Rings().Record(ring);

    TRingRecord expected = ring;
    expected.Horns = {{"10.0.0.1", "00:1a:2b:3c:4d:5e", {}}, {"10.0.0.2", "", {}}};
    EXPECT_EQ(store.Rings().Find(ring.Id), expected);
    EXPECT_FALSE(store.Rings().Find(ring.Id + 1).has_value());
}

// A service's life with its rings, step by step, and what a service starting at that moment
// would have to deal with.
TEST(StoreRings, UnfinishedRingsFollowEndsAndConfirmations) {
    TTempDir dir;
    TStore store(dir.Path());
    auto& rings = store.Rings();
    const std::int64_t a = rings.Record(Ring({"h1", "h2"}, 0, 10'000));
    const std::int64_t b = rings.Record(Ring({"h2", "h3"}, 5'000, 30'000));
    const std::int64_t c = rings.Record(Ring({"h4"}, 6'000, 8'000));

    struct TStep {
        const char* what;
        std::function<void()> act;
        long long nowMs;
        std::vector<std::int64_t> unfinished;
    };
    const TStep steps[] = {
        {"all three running", [] {}, 7'000, {a, b, c}},
        {"c has ended, its horn not yet confirmed off", [] {}, 9'000, {a, b, c}},
        {"c's horn confirmed off",
         [&] { EXPECT_EQ(rings.MarkHornOffInEndedRings("h4", At(9'000)), 1); },
         9'000,
         {a, b}},
        {"a hands h2 over to b and switches h1 off; unknown rings and horns say no",
         [&] {
             EXPECT_TRUE(rings.MarkHornOff(a, "h2", At(10'000)));
             EXPECT_TRUE(rings.MarkHornOff(a, "h1", At(10'100)));
             EXPECT_TRUE(rings.MarkHornOff(a, "h1", At(10'200)));  // the first time counts
             EXPECT_FALSE(rings.MarkHornOff(a, "h9", At(10'100)));
             EXPECT_FALSE(rings.MarkHornOff(c + 1, "h1", At(10'100)));
             EXPECT_FALSE(rings.SetEnd(c + 1, At(10'100)));
         },
         10'100,
         {b}},
        {"confirming a horn off that a running ring holds touches no running ring",
         [&] { EXPECT_EQ(rings.MarkHornOffInEndedRings("h3", At(11'000)), 0); },
         11'000,
         {b}},
        {"stop all ends b early (the ended ones stay as they are); its horns are not yet off",
         [&] { EXPECT_EQ(rings.EndAll(At(12'000)), 1); },
         12'000,
         {b}},
        {"h2 confirmed off, h3 offline",
         [&] { EXPECT_EQ(rings.MarkHornOffInEndedRings("h2", At(12'500)), 1); },
         60'000,
         {b}},
        {"h3 answers again and is switched off",
         [&] { EXPECT_EQ(rings.MarkHornOffInEndedRings("h3", At(70'000)), 1); },
         70'000,
         {}},
    };
    for (const TStep& step : steps) {
        step.act();
        EXPECT_EQ(Ids(rings.Unfinished(At(step.nowMs))), step.unfinished) << step.what;
    }

    const TRingRecord done = *rings.Find(b);
    EXPECT_EQ(done.End, At(12'000));
    EXPECT_EQ(done.Horns.at(0).OffAt, At(12'500));
    EXPECT_EQ(done.Horns.at(1).OffAt, At(70'000));
    EXPECT_EQ(rings.Find(a)->Horns.at(0).OffAt, At(10'100));
    EXPECT_EQ(rings.Find(a)->Horns.at(1).OffAt, At(10'000));
    EXPECT_TRUE(rings.SetEnd(c, At(7'000)));
    EXPECT_EQ(rings.Find(c)->End, At(7'000));
}

// Rings done with go a day after their end, with their horns; a ring with a horn that may
// still sound stays however old it is.
TEST(StoreRings, PruningRemovesOnlyRingsDoneWith) {
    TTempDir dir;
    TStore store(dir.Path());
    auto& rings = store.Rings();
    const TUtcTime now = At(0) + 48h;
    const std::int64_t doneOld = rings.Record(Ring({"h1", "h2"}, 0, 1'000));
    const std::int64_t openOld = rings.Record(Ring({"h3"}, 0, 1'000));
    rings.MarkHornOffInEndedRings("h1", At(2'000));
    rings.MarkHornOffInEndedRings("h2", At(2'000));
    const std::int64_t doneRecent = rings.Record(Ring({"h1"}, 40 * 3'600'000, 40 * 3'600'000));
    rings.MarkHornOff(doneRecent, "h1", At(40 * 3'600'000));

    EXPECT_EQ(store.Prune(now).Rings, 1);
    EXPECT_FALSE(rings.Find(doneOld).has_value());
    EXPECT_TRUE(rings.Find(openOld).has_value());
    EXPECT_TRUE(rings.Find(doneRecent).has_value());
    SQLite::Database db(store.File(), SQLite::OPEN_READONLY);
    EXPECT_EQ(
        db.execAndGet("SELECT count(*) FROM ring_horns WHERE ring_id = " + std::to_string(doneOld))
            .getInt(),
        0);
}

TEST(StoreState, ValuesAndInstantsPersist) {
    TTempDir dir;
    TStore store(dir.Path());
    auto& state = store.State();
    EXPECT_FALSE(state.Get("scheduler").has_value());
    state.Set("scheduler", "x");
    state.Set("scheduler", "y");
    EXPECT_EQ(state.Get("scheduler"), "y");
    EXPECT_FALSE(state.GetTime("scheduler").has_value()) << "not an instant";
    state.SetTime("scheduler", At(-5));
    EXPECT_EQ(state.GetTime("scheduler"), At(-5));
    state.Erase("scheduler");
    EXPECT_FALSE(state.Get("scheduler").has_value());
}

}  // namespace
}  // namespace kstbell::store
