// The horns' names and the groups in the database: a save only from the current revision, the
// whole set replaced (names cleared and groups removed with it), the set outliving the store,
// and each save logged with the entry it was given.

#include <gtest/gtest.h>

#include "store/store.h"
#include "store_fixture.h"

namespace kstbell::store {
namespace {

using test::At;
using test::TTempDir;

TAuditEntry Renamed(long long ms, std::string actor, std::string detail) {
    return {.At = At(ms),
            .Kind = TAuditKind::HornRenamed,
            .Cause = TAuditCause::Http,
            .Actor = std::move(actor),
            .HornAddress = "10.0.0.1",
            .Detail = std::move(detail)};
}

TEST(StoreSiteNames, SavesOnlyFromTheCurrentRevision) {
    const TSiteNameSet gym{0, {{"10.0.0.1", "Gym"}}, {{"east", {"10.0.0.2", "10.0.0.1"}}}};
    const TSiteNameSet hall{0, {{"10.0.0.1", "Hall"}, {"10.0.0.2", ""}}, {}};
    struct TStep {
        std::int64_t Expected;
        TSiteNameSet Names;
        bool Saved;
        std::int64_t RevisionAfter;
        std::map<std::string, std::string> NamesAfter;
        std::map<std::string, std::vector<std::string>> GroupsAfter;
    };
    const std::vector<TStep> steps = {
        {1, gym, false, 0, {}, {}},  // nothing saved yet: only 0 is current
        // Members kept in order, once each.
        {0, gym, true, 1, {{"10.0.0.1", "Gym"}}, {{"east", {"10.0.0.1", "10.0.0.2"}}}},
        {0, hall, false, 1, {{"10.0.0.1", "Gym"}}, {{"east", {"10.0.0.1", "10.0.0.2"}}}},
        // The whole set replaced: an empty name is none, a group left out is gone.
        {1, hall, true, 2, {{"10.0.0.1", "Hall"}}, {}},
        {5, gym, false, 2, {{"10.0.0.1", "Hall"}}, {}},  // from the future
    };
    TTempDir dir;
    TStore store(dir.Path());
    ISiteNamesStore& names = store.SiteNames();
    EXPECT_EQ(names.Current(), TSiteNameSet{});
    long long ms = 0;
    for (const auto& step : steps) {
        ++ms;
        SCOPED_TRACE("step " + std::to_string(ms));
        const auto save = names.Save(step.Expected, step.Names,
                                     Renamed(ms, "ann", "change " + std::to_string(ms)));
        EXPECT_EQ(save.Saved, step.Saved);
        const TSiteNameSet after{step.RevisionAfter, step.NamesAfter, step.GroupsAfter};
        EXPECT_EQ(save.Current, after);
        EXPECT_EQ(names.Current(), after);
    }
    std::vector<std::string> logged;
    for (const auto& entry : store.Log().Query({.Order = TAuditOrder::OldestFirst}).Entries)
        logged.push_back(std::string(KindName(entry.Kind)) + " " + entry.Actor + " " +
                         entry.HornAddress + ": " + entry.Detail);
    EXPECT_EQ(logged, (std::vector<std::string>{"horn_renamed ann 10.0.0.1: change 2",
                                                "horn_renamed ann 10.0.0.1: change 4"}));
}

TEST(StoreSiteNames, TheSetOutlivesTheStore) {
    TTempDir dir;
    const TSiteNameSet set{0, {{"10.0.0.1", "Gym"}}, {{"west", {"10.0.0.3"}}}};
    {
        TStore store(dir.Path());
        ASSERT_TRUE(store.SiteNames().Save(0, set, Renamed(1, "ann", "x")).Saved);
    }
    TStore again(dir.Path());
    TSiteNameSet expected = set;
    expected.Revision = 1;
    EXPECT_EQ(again.SiteNames().Current(), expected);
}

}  // namespace
}  // namespace kstbell::store
