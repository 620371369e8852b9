// The horns' discovery as the automation system reads it, and the move from the per-entity
// topics of earlier versions, against the real broker.

#include <algorithm>
#include <set>

#include "bridge/bridge_fixture.h"
#include "mqtt/discovery.h"
#include "mqtt/discovery_migration.h"
#include "mqtt/horn_discovery.h"

namespace kstbell::mqtt::test {
namespace {

using nlohmann::json;

std::string DeviceTopic(const std::string& id) {
    return std::string(kPrefix) + "/device/" + id + "/config";
}

TEST_F(BridgeBrokerTest, TheTemplatesReadTheStateAsTheAutomationSystemDoes) {
    const std::string id = ids_[2];
    const json cmps = Json(client_->WaitFor(DeviceTopic(id)))["cmps"];
    const std::size_t seen = client_->Count(HornTopic(id, "result"));
    client_->Publish(HornTopic(id, "siren/set"), R"({"state":"ON","tone":2})");
    ASSERT_TRUE(client_->WaitNext(HornTopic(id, "result"), seen));
    site_->SetInput(2, 1);
    ASSERT_TRUE(StateBecomes(2, [](const json& s) { return s["output"] == true && s["input"]; }));
    const json on = Json(client_->Last(HornTopic(id, "state")));
    json off = on;
    off["output"] = false;
    off["input"] = false;
    off["rssi"] = nullptr;
    json weaker = on;
    weaker["rssi"] = on["rssi"].get<int>() - 20;
    const json address = {{"address", site_->Address(2)}};
    struct Case {
        std::string component, key;
        json state;
        json expected;  // a string: the text; an object: the JSON the text must be
    };
    const Case cases[] = {
        {"siren", "state_value_template", on, {{"state", "ON"}, {"tone", 2}}},
        {"siren", "state_value_template", off, {{"state", "OFF"}, {"tone", 2}}},
        // The attributes stay the same while the signal changes: no new siren state.
        {"siren", "json_attributes_template", on, address},
        {"siren", "json_attributes_template", weaker, address},
        {"input", "value_template", on, "ON"},
        {"input", "value_template", off, "OFF"},
        {"rssi", "value_template", on, std::to_string(on["rssi"].get<int>())},
        {"rssi", "value_template", off, "None"},  // read as unknown
    };
    json pairs = json::array();
    for (const auto& c : cases)
        pairs.push_back({cmps[c.component][c.key], c.state.dump()});
    const auto rendered = RenderTemplates(pairs);
    ASSERT_EQ(rendered.size(), std::size(cases));
    for (std::size_t i = 0; i < rendered.size(); ++i) {
        const auto& c = cases[i];
        if (c.expected.is_string()) {
            EXPECT_EQ(rendered[i], c.expected) << c.component << " " << c.key;
        } else {
            EXPECT_EQ(json::parse(rendered[i], nullptr, false), c.expected)
                << c.component << " " << c.key << ": " << rendered[i];
        }
    }
}

// What an earlier version retained for one entity of a horn.
std::string OldConfig(const std::string& id, const std::string& key) {
    const std::string unique = "kstbell_" + id + "_" + key;
    return json{{"name", key}, {"object_id", unique}, {"unique_id", unique}}.dump();
}

std::string OldTopic(const THornEntity& e, const std::string& id) {
    return std::string(kPrefix) + "/" + e.Platform + "/" + id + "/" + e.Key + "/config";
}

// The index of the first live message on the topic (with the payload, when one is given), or
// all.size().
std::size_t Find(const std::vector<TReceived>& all, const std::string& topic,
                 const std::optional<std::string>& payload = std::nullopt) {
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (!all[i].Retained && all[i].Topic == topic && (!payload || all[i].Payload == *payload))
            return i;
    }
    return all.size();
}

// A horn identified before the bridge first reaches the broker: its discovery still waits for
// the scan of the old topics.
TEST(BridgeDiscoveryMigrationTest, DiscoveryFromBeforeTheFirstConnectionWaitsForTheScan) {
    const TTopics topics(kBase, kPrefix);
    TDiscoveryMigration migration(topics, [](const std::string&) {});
    std::vector<std::string> sent;  // "topic payload"
    const auto publish = [&](std::vector<TMessage> m) {
        for (const auto& one : m)
            sent.push_back(one.Topic + " " + one.Payload);
    };
    const std::string id = "024b7a3c6001", old = OldTopic(kHornEntities[0], id);
    const TMessage device{topics.DeviceDiscovery(id), "{}", true};
    migration.Outgoing({device}, publish);
    const TMessage marker = migration.Connected();
    ASSERT_TRUE(migration.Received(old, OldConfig(id, kHornEntities[0].Key), publish));
    migration.Outgoing({device}, publish);  // the connection's republication
    ASSERT_TRUE(migration.Received(marker.Topic, marker.Payload, publish));
    EXPECT_EQ(sent, (std::vector<std::string>{old + " " + kMigrateDiscovery, device.Topic + " {}",
                                              old + " "}));
}

TEST(BridgeDiscoveryMigrationTest, OldPerEntityTopicsAreHandedOverInTheDocumentedOrder) {
    TBroker broker;
    sim::TSimulatedSite site(ThreeHorns("127.0.90.1"));
    site.Start();
    const std::vector<std::string> ids = {IdOf(site, 0), IdOf(site, 1), IdOf(site, 2)};
    // The first horn had all five, the second two of them, the third none; somebody else's
    // configuration sits on a topic of the same shape.
    std::vector<std::vector<std::string>> old(3);
    const std::string foreign = OldTopic(kHornEntities[2], ids[2]);
    {
        TTestClient seed(broker.Port());
        for (const auto& e : kHornEntities) {
            old[0].push_back(OldTopic(e, ids[0]));
            seed.Publish(old[0].back(), OldConfig(ids[0], e.Key), true);
        }
        for (const auto& e : {kHornEntities[0], kHornEntities[2]}) {
            old[1].push_back(OldTopic(e, ids[1]));
            seed.Publish(old[1].back(), OldConfig(ids[1], e.Key), true);
        }
        seed.Publish(foreign, R"({"unique_id":"someone_else_rssi"})", true);
        ASSERT_TRUE(seed.WaitFor(foreign));
    }
    TTestClient watcher(broker.Port());
    ASSERT_TRUE(watcher.WaitFor(foreign));
    bridge::TBridge bridge(TestConfig(broker.Url(), site), HornsOf(site), {}, StderrLog());
    std::string error;
    ASSERT_TRUE(bridge.Start(error)) << error;
    for (std::size_t h = 0; h < ids.size(); ++h) {
        ASSERT_TRUE(watcher.WaitFor(DeviceTopic(ids[h]))) << ids[h];
        for (const auto& topic : old[h])
            ASSERT_TRUE(watcher.WaitFor(topic, [](const std::string& p) { return p.empty(); }));
    }

    const auto all = watcher.All();
    std::set<std::string> handedOver;
    for (std::size_t h = 0; h < ids.size(); ++h) {
        const std::size_t device = Find(all, DeviceTopic(ids[h]));
        for (const auto& topic : old[h]) {
            handedOver.insert(topic);
            EXPECT_LT(Find(all, topic, kMigrateDiscovery), device) << topic;
            EXPECT_GT(Find(all, topic, ""), device) << topic;
        }
    }
    for (const auto& m : all) {
        if (m.Payload == kMigrateDiscovery) {
            EXPECT_TRUE(handedOver.count(m.Topic)) << m.Topic;
        }
    }
    EXPECT_EQ(Find(all, foreign), all.size()) << "somebody else's configuration was touched";

    // The broker keeps the three devices and the foreign configuration, nothing else.
    TTestClient fresh(broker.Port());
    for (const auto& id : ids)
        ASSERT_TRUE(fresh.WaitFor(DeviceTopic(id)));
    ASSERT_TRUE(fresh.WaitFor(foreign));
    std::set<std::string> kept;
    for (const auto& m : fresh.All()) {
        if (m.Retained && m.Topic.rfind(std::string(kPrefix) + "/", 0) == 0) kept.insert(m.Topic);
    }
    EXPECT_EQ(kept, (std::set<std::string>{DeviceTopic(ids[0]), DeviceTopic(ids[1]),
                                           DeviceTopic(ids[2]), foreign}));
}

}  // namespace
}  // namespace kstbell::mqtt::test
