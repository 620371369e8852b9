#include <gtest/gtest.h>

#include "store/store.h"
#include "store/store_error.h"
#include "store_fixture.h"

namespace kstbell::store {
namespace {

using namespace std::chrono;
using test::At;
using test::TTempDir;

TChange By(long long ms, std::string actor) {
    return {.At = At(ms), .Actor = std::move(actor), .Cause = TAuditCause::Http};
}

TEST(StoreExceptions, AddedListedByDateRemovedAndLogged) {
    TTempDir dir;
    TStore store(dir.Path());
    auto& exceptions = store.Exceptions();
    const TScheduleException training{
        .First = 2027y / 1 / 7, .Last = 2027y / 1 / 7, .Name = "Staff training"};
    const TScheduleException exams{
        .First = 2026y / 12 / 14, .Last = 2026y / 12 / 18, .Plan = "exams"};
    const auto a = exceptions.Add(training, By(1, "alice"));
    const auto b = exceptions.Add(exams, By(2, "bob (token office)"));

    auto expectedExams = exams;
    expectedExams.Id = b;
    expectedExams.AddedBy = "bob (token office)";
    expectedExams.Added = At(2);
    const auto listed = exceptions.List();
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0], expectedExams);
    EXPECT_EQ(listed[1].Id, a);
    EXPECT_EQ(listed[1].Plan, std::nullopt) << "no bells";

    for (const auto& bad : {TScheduleException{.First = 2027y / 1 / 8, .Last = 2027y / 1 / 7},
                            TScheduleException{.First = 2027y / 2 / 30, .Last = 2027y / 3 / 1},
                            TScheduleException{.First = 2027y / 1 / 1, .Last = 10000y / 1 / 1}}) {
        EXPECT_THROW(exceptions.Add(bad, By(3, "alice")), TStoreError);
    }
    EXPECT_TRUE(exceptions.Remove(a, By(4, "alice")));
    EXPECT_FALSE(exceptions.Remove(a, By(5, "alice")));
    EXPECT_EQ(exceptions.List().size(), 1u);

    std::vector<std::string> logged;
    for (const auto& entry : store.Log().Query({.Order = TAuditOrder::OldestFirst}).Entries) {
        logged.push_back(std::string(KindName(entry.Kind)) + " " + entry.Actor + ": " +
                         entry.Detail);
    }
    EXPECT_EQ(logged,
              (std::vector<std::string>{
                  "exception_added alice: 2027-01-07: no bells (Staff training)",
                  "exception_added bob (token office): 2026-12-14 to 2026-12-18: plan exams",
                  "exception_removed alice: 2027-01-07: no bells (Staff training)"}));
}

}  // namespace
}  // namespace kstbell::store
