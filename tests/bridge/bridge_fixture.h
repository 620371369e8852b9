#pragma once

// A broker, three simulated horns in this process and the bridge between them, polling every
// kPeriodMs, with a test client that sees everything. The third horn's input is a door
// contact.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <memory>
#include <string>
#include <vector>

#include "bridge/bridge.h"
#include "bridge/broker_fixture.h"
#include "sim/simulated_site.h"

namespace kstbell::mqtt::test {

inline constexpr int kPeriodMs = 250;
inline constexpr const char* kBase = "kstbelltest";
inline constexpr const char* kPrefix = "hatest";

sim::TSiteOptions ThreeHorns(const std::string& firstAddress);
TBridgeConfig TestConfig(const std::string& brokerUrl, const sim::TSimulatedSite& site);
std::vector<THornEntry> HornsOf(const sim::TSimulatedSite& site);
std::string IdOf(const sim::TSimulatedSite& site, std::size_t horn);
std::string HornTopic(const std::string& id, const std::string& suffix);

// The JSON of a payload, or a discarded value.
nlohmann::json Json(const std::optional<std::string>& payload);

// Each [template, payload] of pairs rendered as the automation system renders value templates
// (Jinja, with value and value_json).
std::vector<std::string> RenderTemplates(const nlohmann::json& pairs);

class BridgeBrokerTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    // Waits for the horn's retained state to satisfy check.
    bool StateBecomes(std::size_t horn, const std::function<bool(const nlohmann::json&)>& check,
                      std::chrono::milliseconds timeout = 10s);

    std::unique_ptr<TBroker> broker_;
    std::unique_ptr<sim::TSimulatedSite> site_;
    std::unique_ptr<bridge::TBridge> bridge_;
    std::unique_ptr<TTestClient> client_;
    std::vector<std::string> ids_;
};

}  // namespace kstbell::mqtt::test
