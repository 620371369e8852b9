#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "store/store.h"
#include "store_fixture.h"

namespace kstbell::store {
namespace {

using test::At;
using test::Entry;
using test::TTempDir;
using K = TAuditKind;
using C = TAuditCause;

std::vector<std::string> Details(const TAuditPage& page) {
    std::vector<std::string> details;
    for (const TAuditEntry& entry : page.Entries)
        details.push_back(entry.Detail);
    return details;
}

class StoreAudit : public ::testing::Test {
  protected:
    // Entries named for their order in time; b1 and b2 share a millisecond, and e was
    // appended before d although it happened after it (appends need not come in time order).
    void SetUp() override {
        const TAuditEntry entries[] = {
            Entry(0, K::ServiceStart, C::Service, "", "a"),
            Entry(1000, K::Ring, C::Schedule, "10.0.0.1", "b1"),
            Entry(1000, K::Ring, C::Schedule, "10.0.0.2", "b2"),
            Entry(2000, K::HornOffline, C::Service, "10.0.0.2", "c"),
            Entry(4000, K::StopAll, C::Http, "", "e"),
            Entry(3000, K::AlarmStart, C::Input, "10.0.0.1", "d"),
            Entry(5000, K::RingEnd, C::Schedule, "10.0.0.1", "f"),
        };
        for (TAuditEntry entry : entries) {
            entry.HornId = entry.Detail == "c" ? "00:1a:2b:3c:4d:5e" : "";
            store.Log().Append(entry);
        }
    }

    TTempDir dir;
    TStore store{dir.Path()};
};

TEST_F(StoreAudit, QueriesFilterAndOrder) {
    struct TCase {
        const char* name;
        TAuditQuery query;
        std::vector<std::string> details;
    };
    const TCase cases[] = {
        {"everything, newest first", {}, {"f", "e", "d", "c", "b2", "b1", "a"}},
        {"everything, oldest first",
         {.Order = TAuditOrder::OldestFirst},
         {"a", "b1", "b2", "c", "d", "e", "f"}},
        {"since is inclusive, until exclusive",
         {.Since = At(1000), .Until = At(4000)},
         {"d", "c", "b2", "b1"}},
        {"an empty range", {.Since = At(2500), .Until = At(2600)}, {}},
        {"by horn address", {.Horn = "10.0.0.1"}, {"f", "d", "b1"}},
        {"by horn identity", {.Horn = "00:1a:2b:3c:4d:5e"}, {"c"}},
        {"an unknown horn", {.Horn = "10.0.0.99"}, {}},
        {"by kind", {.Kinds = {K::Ring, K::RingEnd}}, {"f", "b2", "b1"}},
        {"by cause", {.Causes = {C::Http, C::Input}}, {"e", "d"}},
        {"everything at once",
         {.Since = At(1000),
          .Horn = "10.0.0.1",
          .Kinds = {K::Ring, K::AlarmStart},
          .Causes = {C::Schedule},
          .Order = TAuditOrder::OldestFirst},
         {"b1"}},
        {"a limit", {.Limit = 2}, {"f", "e"}},
        {"a limit below one reads one", {.Limit = -5}, {"f"}},
        {"an offset", {.Limit = 2, .Offset = 2}, {"d", "c"}},
        {"an offset past the end", {.Offset = 50}, {}},
        {"after a cursor, newest first",
         {.After = TAuditCursor{At(1000), 3}},
         {"b1", "a"}},  // b2 is entry 3
        {"after a cursor, oldest first",
         {.Order = TAuditOrder::OldestFirst, .After = TAuditCursor{At(1000), 2}},
         {"b2", "c", "d", "e", "f"}},
    };
    for (const TCase& c : cases) {
        EXPECT_EQ(Details(store.Log().Query(c.query)), c.details) << c.name;
    }
}

// Paging through with the cursor or the offset, in either order, with or without a filter,
// visits every matching entry once and says when it is done; entries appended meanwhile do
// not disturb a cursor.
TEST_F(StoreAudit, PagesVisitEveryEntryOnce) {
    for (int i = 0; i < 40; ++i) {
        store.Log().Append(Entry(6000 + i / 3, i % 2 ? K::BellFired : K::BellMissed, C::Schedule,
                                 "10.0.0." + std::to_string(i % 4), "g" + std::to_string(i)));
    }
    for (const TAuditOrder order : {TAuditOrder::NewestFirst, TAuditOrder::OldestFirst}) {
        for (const bool cursor : {true, false}) {
            for (const int limit : {1, 3, 47, 100}) {
                for (const std::string horn : {"", "10.0.0.1"}) {
                    SCOPED_TRACE(testing::Message()
                                 << "order " << int(order) << " cursor " << cursor << " limit "
                                 << limit << " horn " << horn);
                    TAuditQuery query{.Horn = horn, .Order = order, .Limit = kMaxAuditLimit};
                    const std::vector<std::string> all = Details(store.Log().Query(query));
                    query.Limit = limit;
                    std::vector<std::string> paged;
                    for (int pages = 0;; ++pages) {
                        ASSERT_LT(pages, 1000);
                        const TAuditPage page = store.Log().Query(query);
                        for (const auto& detail : Details(page))
                            paged.push_back(detail);
                        if (!page.Next) break;
                        EXPECT_EQ(page.Entries.size(), std::size_t(limit));
                        EXPECT_EQ(*page.Next,
                                  (TAuditCursor{page.Entries.back().At, page.Entries.back().Id}));
                        if (cursor) {
                            query.After = page.Next;
                            if (order == TAuditOrder::NewestFirst) {
                                store.Log().Append(Entry(9000, K::Ring, C::Cli, horn, "new"));
                            }
                        } else {
                            query.Offset += limit;
                        }
                    }
                    EXPECT_EQ(paged, all);
                }
            }
        }
    }
}

TEST(StoreAuditEntries, EveryFieldRoundTripsAndTextsAreCleaned) {
    TTempDir dir;
    TStore store(dir.Path());
    TAuditEntry full = Entry(12, K::AlarmStart, C::Mqtt, "10.0.0.7", "contact closed");
    full.Actor = "fire-panel";
    full.HornId = "00:1a:2b:3c:4d:5e";
    full.Group = "Hall";
    full.Alarm = "evacuation";
    full.Tone = 3;
    full.Duration = std::chrono::milliseconds(180'000);
    full.RingId = 42;
    TAuditEntry bare = Entry(13, K::ConfigLoaded, C::Service);
    TAuditEntry dirty = Entry(14, K::Ring, C::Http, "10.0.0.8\xFF", std::string(5000, 'x'));
    dirty.Actor = std::string(300, 'a');

    full.Id = store.Log().Append(full);
    bare.Id = store.Log().Append(bare);
    dirty.Id = store.Log().Append(dirty);
    EXPECT_LT(full.Id, bare.Id);
    EXPECT_LT(bare.Id, dirty.Id);

    const TAuditPage page = store.Log().Query({.Order = TAuditOrder::OldestFirst});
    ASSERT_EQ(page.Entries.size(), 3u);
    EXPECT_EQ(page.Entries[0], full);
    EXPECT_EQ(page.Entries[1], bare);
    EXPECT_EQ(page.Entries[2].HornAddress, "10.0.0.8\xEF\xBF\xBD");
    EXPECT_EQ(page.Entries[2].Detail, std::string(kMaxDetailBytes, 'x'));
    EXPECT_EQ(page.Entries[2].Actor, std::string(kMaxNameBytes, 'a'));

    store.Log().AppendAll(std::vector{Entry(15, K::HornOffline, C::Service, "10.0.0.1"),
                                      Entry(15, K::HornOffline, C::Service, "10.0.0.2")});
    EXPECT_EQ(store.Log().Query({.Kinds = {K::HornOffline}}).Entries.size(), 2u);
}

// Entries older than the kept days go, oldest first and in several transactions when there
// are many; an entry exactly at the cutoff stays.
TEST(StoreAuditEntries, PruningRemovesOnlyEntriesOlderThanTheKeptDays) {
    TTempDir dir;
    TStore store(dir.Path());
    const TUtcTime now = At(0);
    const auto daysAgo = [&](int days) { return now - std::chrono::days(days); };
    std::vector<TAuditEntry> old;
    for (int i = 0; i < 4500; ++i) {
        old.push_back(Entry(0, K::BellFired, C::Schedule, "", "old"));
        old.back().At = daysAgo(400) + std::chrono::seconds(i);
    }
    store.Log().AppendAll(old);
    for (const int days : {366, 365, 364, 1, 0}) {
        TAuditEntry entry = Entry(0, K::BellFired, C::Schedule, "", std::to_string(days));
        entry.At = daysAgo(days);
        store.Log().Append(entry);
    }

    const TPruneResult result = store.Prune(now);
    EXPECT_EQ(result.Entries, 4501);
    EXPECT_EQ(Details(store.Log().Query({})), (std::vector<std::string>{"0", "1", "364", "365"}));
    EXPECT_EQ(store.Prune(now, std::chrono::days(30)).Entries, 2);
    EXPECT_EQ(store.Prune(now).Entries, 0);
}

// Several threads append and read at once: nothing is lost, every id is given once.
TEST(StoreAuditEntries, ThreadsAppendAndReadTogether) {
    TTempDir dir;
    TStore store(dir.Path());
    constexpr int kThreads = 4;
    constexpr int kEach = 150;
    std::vector<std::thread> threads;
    std::vector<std::vector<std::int64_t>> ids(kThreads);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                ids[t].push_back(store.Log().Append(Entry(i, K::Ring, C::Cli)));
                if (i % 10 == 0) store.Log().Query({.Limit = 20});
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    std::set<std::int64_t> unique;
    for (const auto& each : ids)
        unique.insert(each.begin(), each.end());
    EXPECT_EQ(unique.size(), std::size_t(kThreads * kEach));
    EXPECT_EQ(store.Log().Query({.Limit = kMaxAuditLimit}).Entries.size(), unique.size());
}

}  // namespace
}  // namespace kstbell::store
