// What the automation system shows of a horn: its device name among the others, and the keys of
// its discovery that name it, link it and say how its commands are sent.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "mqtt/horn_discovery.h"
#include "mqtt/horn_names.h"

namespace kstbell::mqtt {
namespace {

using nlohmann::json;

THornIdentity Horn(std::uint8_t last, std::string location, std::string name = {}) {
    THornIdentity h;
    h.Mac = {0x02, 0x4b, 0x7a, 0x3c, 0x60, last};
    h.Id = HornId(h.Mac);
    h.Location = std::move(location);
    h.Name = std::move(name);
    return h;
}

TEST(BridgeNamesTest, HornsThatWouldShareANameAddTheirHalfOfTheMac) {
    struct Case {
        const char* what;
        std::vector<THornIdentity> horns;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"each its location", {Horn(1, "Office"), Horn(2, "Hall")}, {"Office", "Hall"}},
        {"a shared location",
         {Horn(1, "Office"), Horn(2, "Office"), Horn(3, "Hall")},
         {"Office (3c6001)", "Office (3c6002)", "Hall"}},
        {"case and spaces around do not tell them apart",
         {Horn(1, "Office"), Horn(2, " office  ")},
         {"Office (3c6001)", "office (3c6002)"}},
        {"a configured name sets a horn apart",
         {Horn(1, "Office", "Office north"), Horn(2, "Office")},
         {"Office north", "Office"}},
        {"configured names that collide too",
         {Horn(1, "A", "Gym"), Horn(2, "Gym")},
         {"Gym (3c6001)", "Gym (3c6002)"}},
        {"no location: the id, which never collides",
         {Horn(1, "  "), Horn(2, "")},
         {"Horn 024b7a3c6001", "Horn 024b7a3c6002"}},
        {"none", {}, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DeviceNames(c.horns), c.names) << c.what;
}

TEST(BridgeNamesTest, ARenameIsRunAgainOverEveryHornItConcerns) {
    THornNames names(3);
    using V = std::vector<std::size_t>;
    EXPECT_EQ(names.Set(0, Horn(1, "Office")), V{0});
    EXPECT_EQ(names.Set(1, Horn(2, "Hall")), V{1});
    // A second Office: both change.
    EXPECT_EQ(names.Set(2, Horn(3, "Office")), (V{0, 2}));
    EXPECT_EQ(names.Name(0), "Office (3c6001)");
    // Given a name of its own at run time: it and the one it shared with change back.
    EXPECT_EQ(names.Set(2, Horn(3, "Office", "Lab")), (V{0, 2}));
    EXPECT_EQ(names.Name(0), "Office");
    EXPECT_EQ(names.Name(2), "Lab");
    // Now it takes the hall's name; the horn gone at an address frees the name again.
    EXPECT_EQ(names.Set(2, Horn(3, "Office", "Hall")), (V{1, 2}));
    EXPECT_EQ(names.Set(1, std::nullopt), (V{1, 2}));
    EXPECT_EQ(names.Name(1), "");
    EXPECT_EQ(names.Name(2), "Hall");
    // The same identity again changes nothing.
    EXPECT_EQ(names.Set(2, Horn(3, "Office", "Hall")), V{});
}

TEST(BridgeNamesTest, TheHornsDiscoveryNamesItLinksItAndTakesCommandsAtQos1) {
    const TTopics topics("kstbell", "homeassistant");
    const THornIdentity horn = Horn(1, "Office");
    struct Case {
        const char* what;
        THornDevice device;
        json dev;  // the keys of "dev" that the case is about; null: absent
    };
    const Case cases[] = {
        {"the bridge: no device of its own, no page",
         {},
         {{"name", "Office"}, {"via_device", nullptr}, {"configuration_url", nullptr}}},
        {"the service: the site device and its page",
         {"Office (3c6001)", "kstbell_site_kstbell", "http://10.0.0.5:8786/"},
         {{"name", "Office (3c6001)"},
          {"via_device", "kstbell_site_kstbell"},
          {"configuration_url", "http://10.0.0.5:8786/"}}},
    };
    for (const auto& c : cases) {
        const json d = json::parse(HornDiscovery(topics, horn, kServiceProgram, c.device).Payload);
        for (const auto& [key, value] : c.dev.items()) {
            if (value.is_null())
                EXPECT_FALSE(d["dev"].contains(key)) << c.what << ": " << key;
            else
                EXPECT_EQ(d["dev"][key], value) << c.what << ": " << key;
        }
    }

    const json cmps = json::parse(HornDiscovery(topics, horn, kBridgeProgram).Payload)["cmps"];
    struct Component {
        const char* key;
        json name;  // null: the device's name
        bool command;
    };
    const Component components[] = {{"siren", nullptr, true},
                                    {"input", "Input", false},
                                    {"rssi", "Signal strength", false},
                                    {"find_me", "Find me", true},
                                    {"reboot", "Reboot", true}};
    ASSERT_EQ(cmps.size(), std::size(components));
    for (const auto& e : components) {
        const json& cmp = cmps[e.key];
        EXPECT_EQ(cmp["name"], e.name) << e.key;
        EXPECT_EQ(cmp.contains("command_topic"), e.command) << e.key;
        if (e.command)
            EXPECT_EQ(cmp.value("qos", 0), 1) << e.key;
        else
            EXPECT_FALSE(cmp.contains("qos")) << e.key;
    }
}

}  // namespace
}  // namespace kstbell::mqtt
