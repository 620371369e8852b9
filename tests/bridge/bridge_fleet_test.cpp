// The bridge with many commands and a horn that stops answering: no horn waits for another, and
// a stop always reaches the horn.

#include <chrono>
#include <string>
#include <vector>

#include "bridge/bridge_fixture.h"

namespace kstbell::mqtt::test {
namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

std::vector<json> Results(const TTestClient& client, const std::string& topic) {
    std::vector<json> out;
    for (const auto& m : client.All())
        if (m.Topic == topic) out.push_back(Json(m.Payload));
    return out;
}

TEST_F(BridgeBrokerTest, AHungHornHoldsUpNoOtherHornAndItsFailedCommandsTakeItOffline) {
    sim::TSimFaults hung;
    hung.NeverAnswer = true;  // takes connections and requests, never answers
    site_->SetFaults(0, hung);
    // Four commands for the hung horn: each waits out the reply wait, two seconds in all.
    for (int i = 0; i < 4; ++i)
        client_->Publish(HornTopic(ids_[0], "find_me"), "PRESS");

    const std::string result = HornTopic(ids_[1], "result");
    const std::size_t seen = client_->Count(result);
    const auto sent = Clock::now();
    client_->Publish(HornTopic(ids_[1], "siren/set"), R"({"state":"ON","tone":1,"id":"h1"})");
    const json answer = Json(client_->WaitNext(result, seen));
    EXPECT_LT(Clock::now() - sent, 1s) << "the healthy horn waited for the hung one";
    EXPECT_EQ(answer["id"], "h1");
    EXPECT_EQ(answer["ok"], true);
    EXPECT_EQ(site_->Snapshot(1).Relay, 1);

    // A change behind the bridge's back on another horn still shows within a period.
    const auto changed = Clock::now();
    site_->SetInput(2, 1);
    ASSERT_TRUE(StateBecomes(2, [](const json& s) { return s["input"] == true; }));
    EXPECT_LT(Clock::now() - changed, std::chrono::milliseconds(kPeriodMs + 700));

    // The hung horn's unanswered commands and polls take it offline.
    EXPECT_TRUE(client_->WaitFor(HornTopic(ids_[0], "availability"),
                                 [](const std::string& p) { return p == "offline"; }));
}

TEST_F(BridgeBrokerTest, TwentyOnsThenAnOffLeaveTheHornOffWithEveryResultInOrder) {
    const std::string id = ids_[1];
    const std::string result = HornTopic(id, "result");
    const std::size_t before = client_->Count(result);
    std::vector<std::string> sent;
    for (int i = 0; i < 20; ++i) {
        sent.push_back("on" + std::to_string(i));
        client_->Publish(HornTopic(id, "siren/set"),
                         R"({"state":"ON","tone":2,"id":")" + sent.back() + R"("})");
    }
    sent.push_back("off");
    client_->Publish(HornTopic(id, "siren/set"), R"({"state":"OFF","id":"off"})");
    ASSERT_TRUE(Eventually([&] { return client_->Count(result) >= before + sent.size(); }));

    const auto all = Results(*client_, result);
    std::vector<std::string> order;
    for (std::size_t i = before; i < all.size(); ++i) {
        order.push_back(all[i]["id"].get<std::string>());
        // Every ON either ran or was replaced by a newer command; none was refused as busy.
        EXPECT_TRUE(all[i]["ok"] == true || all[i].value("error", "") == "cancelled")
            << all[i].dump();
    }
    EXPECT_EQ(order, sent);
    EXPECT_EQ(all.back()["ok"], true) << "the stop was not carried out";
    EXPECT_EQ(site_->Snapshot(1).Relay, 0);
    EXPECT_TRUE(StateBecomes(1, [](const json& s) { return s["output"] == false; }));
}

TEST_F(BridgeBrokerTest, StoppingEndsWaitingCommandsCancelledWithoutSendingThem) {
    sim::TSimFaults slow;
    slow.ReplyDelayMs = 300;
    site_->SetFaults(0, slow);
    const std::string result = HornTopic(ids_[0], "result");
    const std::size_t before = client_->Count(result);
    for (int i = 0; i < 5; ++i)
        client_->Publish(HornTopic(ids_[0], "find_me"), R"({"id":)" + std::to_string(i) + "}");
    ASSERT_TRUE(Eventually([&] { return site_->Snapshot(0).LocatorCount >= 1; }));
    const int located = site_->Snapshot(0).LocatorCount;
    const auto stop = Clock::now();
    bridge_->Stop();
    // Only the command on the wire is finished: well within one reply wait, not five.
    EXPECT_LT(Clock::now() - stop, std::chrono::milliseconds(1500));
    ASSERT_TRUE(Eventually([&] { return client_->Count(result) >= before + 5; }));
    const auto all = Results(*client_, result);
    int cancelled = 0;
    for (std::size_t i = before; i < all.size(); ++i) {
        EXPECT_EQ(all[i]["id"], static_cast<int>(i - before));
        cancelled += all[i].value("error", "") == "cancelled";
    }
    EXPECT_GE(cancelled, 3);
    EXPECT_LE(site_->Snapshot(0).LocatorCount, located + 1) << "a command went out after the stop";
}

}  // namespace
}  // namespace kstbell::mqtt::test
