// The service with its MQTT front against Debian's mosquitto: a horn's siren with a duration,
// an alarm's button and Stop all reach the service and are logged with their cause; a ring
// ends while the broker is gone, and the front comes back with the broker.

#include <gtest/gtest.h>

#include "service_fixture.h"

namespace kstbell::service::test {
namespace {

using mqtt::test::TBroker;
using mqtt::test::TTestClient;
using store::TAuditKind;

const std::string kBase = "kstbelldtest";

std::string Topic(const std::string& suffix) {
    return kBase + "/" + suffix;
}

TEST(ServiceMqttTest, RingsAndAlarmsFromTheBrokerEndAlsoWhenTheBrokerIsGone) {
    TBroker broker;
    auto client = std::make_unique<TTestClient>(broker.Port());
    TServiceHarness h(2);
    h.Start("[site]\nname = \"Test School\"\n[broker]\nurl = \"" + broker.Url() +
            "\"\n[topics]\nbase = \"" + kBase + R"("
[alarms.fire]
priority = 300
tone = 3
repeat = 100
steps = [{ on_ms = 1000, off_ms = 0 }]
)");
    ASSERT_EQ(client->WaitFor(Topic("service/availability")), "online");
    ASSERT_TRUE(client->WaitFor(Topic("024b7a3c6001/state")));

    // A siren's ring with a duration, ended by the service with the broker gone.
    client->Publish(Topic("024b7a3c6001/siren/set"), R"({"state":"ON","tone":2,"duration":2})");
    ASSERT_TRUE(h.RelayBecomes(0, 1));
    EXPECT_EQ(h.Horns().Snapshot(0).Tone, 2);
    broker.Stop();
    client.reset();
    EXPECT_TRUE(h.RelayBecomes(0, 0, 4s));
    const auto rings = h.Entries(TAuditKind::Ring);
    ASSERT_EQ(rings.size(), 1u);
    EXPECT_EQ(rings[0].Cause, store::TAuditCause::Mqtt);
    EXPECT_EQ(rings[0].Duration, std::chrono::milliseconds(2000));
    EXPECT_EQ(rings[0].HornAddress, h.Horns().Address(0));

    // Back with the broker: an alarm's button and Stop all.
    broker.Start();
    client = std::make_unique<TTestClient>(broker.Port());
    ASSERT_EQ(client->WaitFor(Topic("service/availability"), 40s), "online");
    client->Publish(Topic("alarm/fire/start"), "PRESS");
    ASSERT_TRUE(h.RelayBecomes(0, 1) && h.RelayBecomes(1, 1));
    // The retained OFF from before the alarm may come first.
    EXPECT_EQ(
        client->WaitFor(Topic("alarm/fire/state"), [](const std::string& s) { return s == "ON"; }),
        "ON");
    client->Publish(Topic("service/stop_all"), "PRESS");
    EXPECT_TRUE(h.RelayBecomes(0, 0) && h.RelayBecomes(1, 0));
    EXPECT_EQ(
        client->WaitFor(Topic("alarm/fire/state"), [](const std::string& s) { return s == "OFF"; }),
        "OFF");
    const auto alarms = h.Entries(TAuditKind::AlarmStart);
    ASSERT_EQ(alarms.size(), 1u);
    EXPECT_EQ(alarms[0].Cause, store::TAuditCause::Mqtt);
    const auto stops = h.Entries(TAuditKind::StopAll);
    ASSERT_EQ(stops.size(), 1u);
    EXPECT_EQ(stops[0].Cause, store::TAuditCause::Mqtt);

    // A stopped service says so on the broker.
    h.Stop();
    EXPECT_EQ(client->WaitFor(Topic("service/availability"),
                              [](const std::string& s) { return s == "offline"; }),
              "offline");
}

TEST(ServiceMqttTest, AGroupRingsResultSaysWhichHornsWereOfflineAndFailsWhenAllWere) {
    TBroker broker;
    TTestClient client(broker.Port());
    TServiceHarness h(2);
    h.Start("[broker]\nurl = \"" + broker.Url() + "\"\n[topics]\nbase = \"" + kBase + "\"\n");
    ASSERT_EQ(client.WaitFor(Topic("service/availability")), "online");
    ASSERT_TRUE(Eventually([&] { return h.Entries(TAuditKind::HornOnline).size() == 2; }));
    struct Case {
        const char* name;
        std::size_t off;  // switched off now (those of the cases before stay off)
        bool ok;
        const char* error;
        nlohmann::json notOn;
    } cases[] = {
        {"one horn offline: the ring stands and the result names it",
         1,
         true,
         "",
         {{{"horn", h.Horns().Address(1)}, {"reason", "offline"}}}},
        {"every horn offline: a failure",
         0,
         false,
         "offline",
         {{{"horn", h.Horns().Address(0)}, {"reason", "offline"}},
          {{"horn", h.Horns().Address(1)}, {"reason", "offline"}}}},
    };
    std::size_t offline = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        h.Horns().StopHorn(c.off);
        ++offline;
        ASSERT_TRUE(
            Eventually([&] { return h.Entries(TAuditKind::HornOffline).size() == offline; }));
        const std::size_t seen = client.Count(Topic("service/result"));
        client.Publish(Topic("group/all/siren/set"), R"({"state":"ON","duration":30})");
        const auto result = nlohmann::json::parse(
            client.WaitNext(Topic("service/result"), seen).value_or(""), nullptr, false);
        EXPECT_EQ(result.value("ok", !c.ok), c.ok) << result;
        EXPECT_EQ(result.value("error", ""), c.error) << result;
        EXPECT_EQ(result.value("not_switched_on", nlohmann::json()), c.notOn) << result;
        // Its own result comes before the next case's ring.
        const std::size_t before = client.Count(Topic("service/result"));
        client.Publish(Topic("service/stop_all"), "PRESS");
        ASSERT_TRUE(client.WaitNext(Topic("service/result"), before));
    }
}

// With its HTTP front running, the service hands the front's address to the MQTT front: the site
// and every horn link to the page, and the horns to the site's device. Without it, no link.
TEST(ServiceMqttTest, TheSiteAndItsHornsLinkToTheServicesPageWhileItsHttpFrontRuns) {
    struct Case {
        const char* what;
        std::string http;
        bool page;
    };
    const Case cases[] = {{"with [http]", "[http]\nlisten = \"127.0.0.1:0\"\n", true},
                          {"without", "", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TBroker broker;
        TTestClient client(broker.Port());
        TServiceHarness h(1);
        h.Start(c.http + "[broker]\nurl = \"" + broker.Url() + "\"\n[topics]\nbase = \"" + kBase +
                "\"\n");
        const std::string url = h.Service().WebUrl();
        EXPECT_EQ(!url.empty(), c.page);
        const std::string site = "kstbell_site_" + kBase;
        const auto device = [&](const std::string& id) {
            return nlohmann::json::parse(
                client.WaitFor("homeassistant/device/" + id + "/config").value_or(""), nullptr,
                false)["dev"];
        };
        const auto siteDevice = device(site);
        const auto horn = device("024b7a3c6001");
        EXPECT_EQ(siteDevice.value("configuration_url", ""), url);
        EXPECT_EQ(horn.value("configuration_url", ""), url);
        EXPECT_EQ(horn.value("via_device", ""), site);
        h.Stop();
    }
}

}  // namespace
}  // namespace kstbell::service::test
