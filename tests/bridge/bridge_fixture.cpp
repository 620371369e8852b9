#include "bridge/bridge_fixture.h"

#include "mqtt/topics.h"

namespace kstbell::mqtt::test {

sim::TSiteOptions ThreeHorns(const std::string& firstAddress) {
    sim::TSiteOptions o;
    o.Horns.BindAddress = firstAddress;
    o.Horns.Port = 0;
    o.Count = 3;
    return o;
}

std::vector<THornEntry> HornsOf(const sim::TSimulatedSite& site) {
    std::vector<THornEntry> horns;
    for (std::size_t i = 0; i < site.Count(); ++i)
        horns.push_back({site.Address(i), {}, {}});
    return horns;
}

TBridgeConfig TestConfig(const std::string& brokerUrl, const sim::TSimulatedSite& site) {
    TBridgeConfig c;
    c.BrokerUrl = brokerUrl;
    c.BaseTopic = kBase;
    c.DiscoveryPrefix = kPrefix;
    c.PollPeriodMs = kPeriodMs;
    c.DevicePort = site.Port();
    c.ConnectTimeoutMs = 500;
    c.ReplyWaitMs = 500;
    return c;
}

std::string IdOf(const sim::TSimulatedSite& site, std::size_t horn) {
    return HornId(site.Snapshot(horn).Mac);
}

std::string HornTopic(const std::string& id, const std::string& suffix) {
    return std::string(kBase) + "/" + id + "/" + suffix;
}

nlohmann::json Json(const std::optional<std::string>& payload) {
    if (!payload) return nlohmann::json(nlohmann::json::value_t::discarded);
    return nlohmann::json::parse(*payload, nullptr, false);
}

std::vector<std::string> RenderTemplates(const nlohmann::json& pairs) {
    std::string out;
    EXPECT_EQ(RunToEnd({KSTBELL_PYTHON3, KSTBELL_RENDER_TEMPLATES, pairs.dump()}, out), 0) << out;
    const auto rendered = nlohmann::json::parse(out, nullptr, false);
    if (!rendered.is_array()) return {};
    return rendered.get<std::vector<std::string>>();
}

void BridgeBrokerTest::SetUp() {
    broker_ = std::make_unique<TBroker>();
    site_ = std::make_unique<sim::TSimulatedSite>(ThreeHorns("127.0.88.1"));
    site_->Start();
    client_ = std::make_unique<TTestClient>(broker_->Port());
    auto horns = HornsOf(*site_);
    horns[2].InputClass = "door";
    bridge_ = std::make_unique<bridge::TBridge>(TestConfig(broker_->Url(), *site_), horns,
                                                std::string(), StderrLog());
    std::string error;
    ASSERT_TRUE(bridge_->Start(error)) << error;
    for (std::size_t i = 0; i < site_->Count(); ++i) {
        ids_.push_back(IdOf(*site_, i));
        ASSERT_TRUE(client_->WaitFor(HornTopic(ids_[i], "state"))) << "no state for horn " << i;
    }
}

void BridgeBrokerTest::TearDown() {
    bridge_.reset();
    client_.reset();
    site_.reset();
    broker_.reset();
}

bool BridgeBrokerTest::StateBecomes(std::size_t horn,
                                    const std::function<bool(const nlohmann::json&)>& check,
                                    std::chrono::milliseconds timeout) {
    return client_
        ->WaitFor(
            HornTopic(ids_.at(horn), "state"),
            [&](const std::string& p) {
                const auto j = nlohmann::json::parse(p, nullptr, false);
                return !j.is_discarded() && check(j);
            },
            timeout)
        .has_value();
}

}  // namespace kstbell::mqtt::test
