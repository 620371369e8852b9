// The timetable's revisions in the database: a save from the current revision makes the next
// one, a save from any other changes nothing and names who came in between; the line of
// revisions outlives the store, and each save is logged with its summary.

#include <gtest/gtest.h>

#include "store/store.h"
#include "store_fixture.h"

namespace kstbell::store {
namespace {

using test::At;
using test::TTempDir;

TChange SavedBy(long long ms, std::string actor) {
    return {.At = At(ms), .Actor = std::move(actor), .Cause = TAuditCause::Http};
}

TEST(StoreTimetable, SavesOnlyFromTheCurrentRevision) {
    struct TStep {
        std::int64_t Expected;
        std::string Actor;
        bool Saved;
        std::int64_t CurrentAfter;
        std::string CurrentBy;
    };
    const std::vector<TStep> steps = {
        {1, "alice", false, 0, ""},  // nothing saved yet: only 0 is current
        {0, "alice", true, 1, "alice"},
        {0, "bob", false, 1, "alice"},  // made from nothing while alice saved: refused
        {1, "bob", true, 2, "bob"},
        {1, "alice", false, 2, "bob"},  // stale: names bob's revision
        {3, "alice", false, 2, "bob"},  // from the future
        {2, "alice", true, 3, "alice"},
    };
    TTempDir dir;
    TStore store(dir.Path());
    ITimetableStore& timetable = store.Timetable();
    EXPECT_EQ(timetable.Current(), std::nullopt);
    long long ms = 0;
    for (const auto& step : steps) {
        ++ms;
        const std::string document = "{\"n\":" + std::to_string(ms) + "}";
        const auto save = timetable.Save(step.Expected, document, "change " + std::to_string(ms),
                                         SavedBy(ms, step.Actor));
        SCOPED_TRACE("step " + std::to_string(ms));
        EXPECT_EQ(save.Saved, step.Saved);
        EXPECT_EQ(save.Current.Revision, step.CurrentAfter);
        EXPECT_EQ(save.Current.ChangedBy, step.CurrentBy);
        if (step.Saved) {
            EXPECT_EQ(save.Current.Document, document);
            EXPECT_EQ(save.Current.ChangedAt, At(ms));
            EXPECT_EQ(timetable.Current(), save.Current);
        }
    }
    const auto history = timetable.History(10);
    ASSERT_EQ(history.size(), 3u);
    EXPECT_EQ(history[0].Revision, 3);
    EXPECT_EQ(history[2].Revision, 1);
    EXPECT_EQ(history[1].Summary, "change 4");
    EXPECT_EQ(history[1].ChangedBy, "bob");
    EXPECT_TRUE(history[0].Document.empty()) << "a list without the documents";
    EXPECT_EQ(timetable.History(1).size(), 1u);
    ASSERT_TRUE(timetable.Revision(2));
    EXPECT_EQ(timetable.Revision(2)->Document, "{\"n\":4}");
    EXPECT_EQ(timetable.Revision(4), std::nullopt);

    std::vector<std::string> logged;
    for (const auto& entry : store.Log().Query({.Order = TAuditOrder::OldestFirst}).Entries)
        logged.push_back(std::string(KindName(entry.Kind)) + " " + entry.Actor + ": " +
                         entry.Detail);
    EXPECT_EQ(logged, (std::vector<std::string>{"timetable_changed alice: revision 1: change 2",
                                                "timetable_changed bob: revision 2: change 4",
                                                "timetable_changed alice: revision 3: change 7"}));
}

TEST(StoreTimetable, RevisionsOutliveTheStore) {
    TTempDir dir;
    {
        TStore store(dir.Path());
        ASSERT_TRUE(store.Timetable().Save(0, "{}", "first", SavedBy(1, "alice")).Saved);
    }
    TStore again(dir.Path());
    const auto current = again.Timetable().Current();
    ASSERT_TRUE(current);
    EXPECT_EQ(current->Revision, 1);
    EXPECT_EQ(current->Summary, "first");
    EXPECT_TRUE(again.Timetable().Save(1, "{\"x\":1}", "second", SavedBy(2, "bob")).Saved);
}

}  // namespace
}  // namespace kstbell::store
