// The bridge between the real broker and simulated horns.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iterator>
#include <mutex>

#include "bridge/bridge_fixture.h"
#include "kstbell_version.h"
#include "mqtt/horn_discovery.h"

namespace kstbell::mqtt::test {
namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

TEST_F(BridgeBrokerTest, EveryHornIsDiscoveredAsOneDeviceWithItsComponents) {
    EXPECT_EQ(client_->WaitFor(std::string(kBase) + "/bridge/availability"), "online");
    struct Component {
        std::string commandSuffix, deviceClass;  // for kHornEntities, in order
    };
    const Component components[] = {{"siren/set", ""},
                                    {"", ""},
                                    {"", "signal_strength"},
                                    {"find_me", "identify"},
                                    {"reboot", "restart"}};
    ASSERT_EQ(std::size(components), kHornEntities.size());
    for (std::size_t h = 0; h < ids_.size(); ++h) {
        const std::string& id = ids_[h];
        const auto snapshot = site_->Snapshot(h);
        EXPECT_EQ(client_->WaitFor(HornTopic(id, "availability")), "online");
        const std::string topic = std::string(kPrefix) + "/device/" + id + "/config";
        const json c = Json(client_->WaitFor(topic));
        ASSERT_TRUE(c.is_object()) << topic;
        EXPECT_EQ(c["o"], (json{{"name", "kstbell-bridge"}, {"sw_version", KSTBELL_VERSION}}));
        EXPECT_EQ(c["availability"],
                  json::array({{{"topic", HornTopic(id, "availability")}},
                               {{"topic", std::string(kBase) + "/bridge/availability"}}}));
        EXPECT_EQ(c["availability_mode"], "all");
        EXPECT_EQ(c["dev"]["identifiers"], json::array({id}));
        // The simulated horns share their location: each name adds the horn's half of its MAC.
        EXPECT_EQ(c["dev"]["name"], snapshot.Location + " (" + id.substr(6) + ")");
        EXPECT_FALSE(c["dev"].contains("via_device")) << "the bridge has no device of its own";
        char firmware[8];
        std::snprintf(firmware, sizeof firmware, "%02X.%02X", snapshot.FirmwareMajor,
                      snapshot.FirmwareMinor);
        EXPECT_EQ(c["dev"]["sw_version"], firmware);
        ASSERT_EQ(c["cmps"].size(), std::size(components));
        for (std::size_t i = 0; i < std::size(components); ++i) {
            const auto& e = components[i];
            const std::string key = kHornEntities[i].Key;
            const std::string platform = kHornEntities[i].Platform;
            const json& cmp = c["cmps"][key];
            EXPECT_EQ(cmp["p"], platform) << key;
            EXPECT_EQ(cmp["unique_id"], "kstbell_" + id + "_" + key) << key;
            EXPECT_EQ(cmp["default_entity_id"], platform + ".kstbell_" + id + "_" + key);
            EXPECT_FALSE(cmp.contains("object_id")) << key;
            if (!e.commandSuffix.empty()) {
                EXPECT_EQ(cmp["command_topic"], HornTopic(id, e.commandSuffix)) << key;
            } else {
                EXPECT_EQ(cmp["state_topic"], HornTopic(id, "state")) << key;
            }
            // The input's class is the one configured for the third horn, none for the others.
            const std::string deviceClass = key == "input" && h == 2 ? "door" : e.deviceClass;
            EXPECT_EQ(cmp.value("device_class", ""), deviceClass) << key << " of " << id;
        }
        const json& siren = c["cmps"]["siren"];
        EXPECT_EQ(siren["available_tones"], json::array({0, 1, 2, 3}));
        EXPECT_EQ(siren["state_topic"], HornTopic(id, "state"));
        EXPECT_EQ(siren["json_attributes_topic"], HornTopic(id, "state"));
        EXPECT_TRUE(siren.contains("json_attributes_template"));
        EXPECT_EQ(c["cmps"]["rssi"]["unit_of_measurement"], "dBm");

        const json state = Json(client_->Last(HornTopic(id, "state")));
        EXPECT_EQ(state["output"], false);
        EXPECT_EQ(state["address"], site_->Address(h));
        EXPECT_EQ(state["location"], snapshot.Location);
        for (const char* key : {"input", "tone", "rssi", "armed", "firmware"})
            EXPECT_TRUE(state.contains(key)) << key;
    }
    // Nothing is published on per-entity discovery topics.
    for (const auto& m : client_->All()) {
        if (m.Topic.rfind(std::string(kPrefix) + "/", 0) == 0) {
            EXPECT_EQ(m.Topic.rfind(std::string(kPrefix) + "/device/", 0), 0u) << m.Topic;
        }
    }
}

TEST_F(BridgeBrokerTest, SirenCommandsSwitchTheRelayOrChangeNothing) {
    struct Case {
        std::string payload;
        std::string error;  // empty: ok
        int relay, tone;    // on the horn afterwards
    };
    const Case cases[] = {
        {R"({"state":"ON","tone":2})", "", 1, 2},
        {"OFF", "", 0, 2},
        {R"({"state":"ON"})", "", 1, 2},  // a missing tone keeps the last one
        {R"({"state":"OFF"})", "", 0, 2},
        {R"({"state":"ON","tone":"3"})", "", 1, 3},  // the text of an offered tone
        {R"({"state":"OFF","tone":9})", "invalid_input", 1, 3},
        {"garbage", "invalid_input", 1, 3},
        {R"({"state":"ON","tone":1,"duration":5})", "invalid_input", 1, 3},
        {"off", "", 0, 3},
    };
    const std::string id = ids_[1];
    for (const auto& c : cases) {
        const std::size_t seen = client_->Count(HornTopic(id, "result"));
        client_->Publish(HornTopic(id, "siren/set"), c.payload);
        const json result = Json(client_->WaitNext(HornTopic(id, "result"), seen));
        ASSERT_TRUE(result.is_object()) << c.payload;
        EXPECT_EQ(result["command"], "siren/set") << c.payload;
        EXPECT_EQ(result["ok"], c.error.empty()) << c.payload;
        if (!c.error.empty()) {
            EXPECT_EQ(result["error"], c.error) << c.payload;
        }
        const auto snapshot = site_->Snapshot(1);
        EXPECT_EQ(snapshot.Relay, c.relay) << c.payload;
        EXPECT_EQ(snapshot.Tone, c.tone) << c.payload;
        // The state shows the switch when the result comes, not a poll later.
        const json state = Json(client_->Last(HornTopic(id, "state")));
        EXPECT_EQ(state["output"], c.relay == 1) << c.payload;
        EXPECT_EQ(state["tone"], c.tone) << c.payload;
    }
    EXPECT_EQ(site_->Snapshot(0).Relay, 0);
    EXPECT_EQ(site_->Snapshot(2).Relay, 0);
}

TEST_F(BridgeBrokerTest, ButtonsReachTheHornAndAnswerOnResult) {
    const std::string id = ids_[0];
    const int located = site_->Snapshot(0).LocatorCount;
    std::size_t seen = client_->Count(HornTopic(id, "result"));
    client_->Publish(HornTopic(id, "find_me"), "PRESS");
    json result = Json(client_->WaitNext(HornTopic(id, "result"), seen));
    EXPECT_EQ(result, (json{{"command", "find_me"}, {"ok", true}}));
    EXPECT_EQ(site_->Snapshot(0).LocatorCount, located + 1);

    seen = client_->Count(HornTopic(id, "result"));
    client_->Publish(HornTopic(id, "reboot"), "now please");
    result = Json(client_->WaitNext(HornTopic(id, "result"), seen));
    EXPECT_EQ(result["error"], "invalid_input");
    EXPECT_EQ(site_->Snapshot(0).RestartCount, 0);

    seen = client_->Count(HornTopic(id, "result"));
    client_->Publish(HornTopic(id, "reboot"), "");
    result = Json(client_->WaitNext(HornTopic(id, "result"), seen));
    EXPECT_EQ(result["ok"], true);
    EXPECT_TRUE(Eventually([&] { return site_->Snapshot(0).RestartCount == 1; }));
}

TEST_F(BridgeBrokerTest, AnInputChangeShowsWithinOnePollPeriod) {
    const auto start = Clock::now();
    site_->SetInput(2, 1);
    ASSERT_TRUE(StateBecomes(2, [](const json& s) { return s["input"] == true; }));
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(kPeriodMs + 500));
}

TEST_F(BridgeBrokerTest, AStoppedHornGoesOfflineRefusesCommandsAndComesBack) {
    const std::string id = ids_[1];
    const std::string availability = HornTopic(id, "availability");
    ASSERT_EQ(client_->WaitFor(availability), "online");
    const auto start = Clock::now();
    site_->StopHorn(1);
    ASSERT_TRUE(
        client_->WaitFor(availability, [](const std::string& p) { return p == "offline"; }));
    // Two missed polls: at most two periods after the first poll that found it gone.
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(3 * kPeriodMs + 700));
    EXPECT_EQ(client_->Last(HornTopic(ids_[0], "availability")), "online");

    const std::size_t seen = client_->Count(HornTopic(id, "result"));
    const auto sent = Clock::now();
    client_->Publish(HornTopic(id, "siren/set"), "ON");
    const json result = Json(client_->WaitNext(HornTopic(id, "result"), seen));
    EXPECT_EQ(result["error"], "unreachable");
    EXPECT_LT(Clock::now() - sent, 1s);

    site_->StartHorn(1);
    EXPECT_TRUE(client_->WaitFor(availability, [](const std::string& p) { return p == "online"; }));
    EXPECT_EQ(site_->Snapshot(1).Relay, 0);
}

TEST_F(BridgeBrokerTest, ABrokerRestartIsFollowedByTheWholeStateAndWorkingCommands) {
    broker_->Stop();
    client_.reset();
    site_->SetInput(0, 1);  // changed while the broker was away
    broker_->Start();
    client_ = std::make_unique<TTestClient>(broker_->Port());
    // The broker kept nothing: all of this is the bridge's republication.
    EXPECT_EQ(client_->WaitFor(std::string(kBase) + "/bridge/availability", 40s), "online");
    for (const auto& id : ids_) {
        EXPECT_TRUE(client_->WaitFor(std::string(kPrefix) + "/device/" + id + "/config"));
        EXPECT_EQ(client_->WaitFor(HornTopic(id, "availability")), "online");
    }
    EXPECT_TRUE(StateBecomes(0, [](const json& s) { return s["input"] == true; }));
    const std::size_t seen = client_->Count(HornTopic(ids_[2], "result"));
    client_->Publish(HornTopic(ids_[2], "siren/set"), R"({"state":"ON","tone":1})");
    EXPECT_EQ(Json(client_->WaitNext(HornTopic(ids_[2], "result"), seen))["ok"], true);
    EXPECT_EQ(site_->Snapshot(2).Relay, 1);
}

// A retained command would sound a horn again whenever a bridge connects: it is refused however
// it comes, live or on connection, and removed from the broker.
TEST_F(BridgeBrokerTest, RetainedCommandsAreRefusedAndRemovedFromTheBroker) {
    const std::string id = ids_[0];
    struct Case {
        std::string suffix, payload;
        bool waiting;   // published while no bridge is connected
        bool answered;  // (a waiting one comes before the bridge knows the horn)
    };
    const Case cases[] = {
        {"siren/set", "ON", false, true},
        {"reboot", "PRESS", false, true},
        {"reboot", "", false, false},  // removes a retained message: not a press
        {"siren/set", R"({"state":"ON","tone":3})", true, false},
    };
    for (const auto& c : cases) {
        const std::string topic = HornTopic(id, c.suffix);
        const std::size_t results = client_->Count(HornTopic(id, "result"));
        const std::size_t seen = client_->Count(topic);
        if (c.waiting) {
            bridge_.reset();
            client_->Publish(topic, c.payload, true);
            ASSERT_TRUE(client_->WaitNext(topic, seen));
            bridge_ = std::make_unique<bridge::TBridge>(
                TestConfig(broker_->Url(), *site_), HornsOf(*site_), std::string(), StderrLog());
            std::string error;
            ASSERT_TRUE(bridge_->Start(error)) << error;
        } else {
            client_->Publish(topic, c.payload, true);
        }
        ASSERT_TRUE(client_->WaitNext(topic, seen));
        if (c.answered) {
            const json result = Json(client_->WaitNext(HornTopic(id, "result"), results));
            EXPECT_EQ(result["error"], "invalid_input") << c.payload;
            EXPECT_NE(result.value("message", "").find("retained"), std::string::npos);
        } else if (!c.waiting) {
            EXPECT_FALSE(client_->WaitNext(HornTopic(id, "result"), results, 300ms)) << c.payload;
        }
        EXPECT_TRUE(client_->WaitFor(topic, [](const std::string& p) { return p.empty(); }))
            << c.suffix << " " << c.payload << " was not removed";
        TTestClient fresh(broker_->Port());
        EXPECT_TRUE(fresh.WaitFor(HornTopic(id, "state")));
        EXPECT_EQ(fresh.Count(topic), 0u) << c.suffix << " " << c.payload << " is still retained";
        EXPECT_EQ(site_->Snapshot(0).Relay, 0) << c.payload;
        EXPECT_EQ(site_->Snapshot(0).RestartCount, 0) << c.payload;
    }
}

TEST(BridgePublishTest, AMessageTheBrokerRefusesIsLoggedWithItsTopic) {
    TTempDir dir;
    const std::string acl = dir.Write(
        "acl", std::string("topic readwrite ") + kBase + "/#\ntopic read " + kPrefix + "/#\n");
    TBroker broker(std::nullopt, "acl_file " + acl + "\n");
    sim::TSimulatedSite site(ThreeHorns("127.0.91.1"));
    site.Start();
    std::mutex m;
    std::vector<std::string> lines;
    bridge::TBridge bridge(TestConfig(broker.Url(), site), HornsOf(site), {},
                           [&](const std::string& line) {
                               const std::lock_guard lock(m);
                               lines.push_back(line);
                           });
    std::string error;
    ASSERT_TRUE(bridge.Start(error)) << error;
    const std::string expected = "the broker refused the message to " + std::string(kPrefix) +
                                 "/device/" + IdOf(site, 1) + "/config: Not authorized";
    EXPECT_TRUE(Eventually([&] {
        const std::lock_guard lock(m);
        return std::find(lines.begin(), lines.end(), expected) != lines.end();
    })) << expected;
    bridge.Stop();
}

TEST_F(BridgeBrokerTest, StoppingPublishesEveryHornAndTheBridgeOffline) {
    bridge_->Stop();
    EXPECT_EQ(client_->WaitFor(std::string(kBase) + "/bridge/availability",
                               [](const std::string& p) { return p == "offline"; }),
              "offline");
    for (const auto& id : ids_)
        EXPECT_EQ(client_->Last(HornTopic(id, "availability")), "offline");
}

}  // namespace
}  // namespace kstbell::mqtt::test
