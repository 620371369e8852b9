// The bridge on a TLS listener whose certificate the test makes with its own CA.

#include "bridge/bridge_fixture.h"

namespace kstbell::mqtt::test {
namespace {

TEST(BridgeTlsTest, ConnectsOnlyToABrokerItsCaVouchesFor) {
    TTempDir dir;
    TTlsFiles server, stranger;
    ASSERT_TRUE(MakeTlsFiles(dir.Path(), "server", server));
    ASSERT_TRUE(MakeTlsFiles(dir.Path(), "stranger", stranger));
    TBroker broker(server);
    TTestClient client(broker.Port(), server.CaFile);
    sim::TSimulatedSite site(ThreeHorns("127.0.89.1"));
    site.Start();
    struct Case {
        std::string caFile, base;
        bool connects;
    };
    const Case cases[] = {{server.CaFile, "kstbelltls", true},
                          {stranger.CaFile, "kstbellstranger", false}};
    for (const auto& c : cases) {
        TBridgeConfig config = TestConfig(broker.Url(), site);
        config.CaFile = c.caFile;
        config.BaseTopic = c.base;
        bridge::TBridge bridge(config, HornsOf(site), {}, StderrLog());
        std::string error;
        ASSERT_TRUE(bridge.Start(error)) << error;
        const std::string state = c.base + "/" + IdOf(site, 0) + "/state";
        EXPECT_EQ(client.WaitFor(state, c.connects ? 10s : 3s).has_value(), c.connects) << c.base;
        EXPECT_EQ(bridge.BrokerConnected(), c.connects) << c.base;
        if (c.connects) {
            EXPECT_TRUE(client.WaitFor("hatest/device/" + IdOf(site, 0) + "/config"));
        }
    }
}

}  // namespace
}  // namespace kstbell::mqtt::test
