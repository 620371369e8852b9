// Which of the commands that gathered on the site's MQTT front a later one makes moot.

#include <gtest/gtest.h>

#include <sstream>

#include "service/mqtt/site_batch.h"

namespace kstbell::mqtt::test {
namespace {

// "front ON", "all OFF", "stop" (Stop all), "alarm" (an alarm's start), "bad" (a refused
// command for front), "horn2 OFF", "horn0 find" (a horn's command other than its relay).
service::TQueuedCommand Read(const std::string& text) {
    std::istringstream in(text);
    std::string target, state;
    in >> target >> state;
    service::TQueuedCommand c;
    if (target.rfind("horn", 0) == 0) {
        THornRequest r;
        r.Horn = std::stoul(target.substr(4));
        r.Command.Kind = state == "find" ? site::TCommandKind::FindMe : site::TCommandKind::Relay;
        r.Command.On = state == "ON";
        c.Horn = r;
        return c;
    }
    service::TSiteCommand s;
    if (target == "stop") {
        s.Address = {service::TSiteCommandKind::StopAll, ""};
    } else if (target == "alarm") {
        s.Address = {service::TSiteCommandKind::AlarmStart, "drill"};
    } else {
        s.Address = {service::TSiteCommandKind::GroupSiren, target == "bad" ? "front" : target};
        s.On = state == "ON";
        if (target == "bad") s.Error = "refused";
    }
    c.Site = s;
    return c;
}

TEST(SiteBatchTest, AGroupsCommandIsSupersededByTheNextForItWithNothingOnItsHornsBetween) {
    struct Case {
        std::vector<std::string> batch;
        std::vector<bool> superseded;
    };
    const Case cases[] = {
        {{"front ON", "front OFF", "front ON"}, {true, true, false}},
        {{"front ON", "back ON", "front OFF", "back OFF"}, {true, true, false, false}},
        // A group that shares horns stands between.
        {{"front ON", "all OFF", "front ON"}, {false, false, false}},
        {{"all ON", "front OFF", "all ON"}, {false, false, false}},
        // Stop all supersedes every group command before it, itself never.
        {{"front ON", "back OFF", "stop", "back ON"}, {true, true, false, false}},
        {{"stop", "front ON", "stop"}, {false, true, false}},
        // An alarm is never superseded and stands between: its horns may be any.
        {{"front ON", "alarm", "front OFF"}, {false, false, false}},
        {{"alarm", "stop"}, {false, false}},
        // A refused command changes nothing; a horn's own command stands between for its
        // groups only.
        {{"front ON", "bad", "front OFF"}, {true, false, false}},
        {{"front ON", "horn0 OFF", "front ON"}, {false, false, false}},
        {{"front ON", "horn2 OFF", "front ON"}, {true, false, false}},
        // A horn's siren ON or OFF: likewise, by the next for the horn or by Stop all.
        {{"horn0 ON", "horn1 ON", "horn0 OFF", "horn0 ON"}, {true, false, true, false}},
        {{"horn0 ON", "front OFF", "horn0 OFF"}, {false, false, false}},
        {{"horn2 ON", "front OFF", "horn2 OFF"}, {true, false, false}},
        {{"horn0 ON", "horn0 find", "horn0 OFF"}, {false, false, false}},
        {{"horn0 ON", "alarm", "horn0 OFF"}, {false, false, false}},
        {{"horn0 ON", "horn3 OFF", "stop"}, {true, true, false}},
    };
    const std::vector<std::string> groups{"all", "front", "back"};
    const std::vector<std::vector<std::size_t>> horns{{0, 1, 2, 3}, {0, 1}, {2, 3}};
    for (const auto& c : cases) {
        std::vector<service::TQueuedCommand> batch;
        std::string shown;
        for (const auto& text : c.batch) {
            batch.push_back(Read(text));
            shown += text + "; ";
        }
        EXPECT_EQ(service::Superseded(batch, groups, horns), c.superseded) << shown;
    }
}

}  // namespace
}  // namespace kstbell::mqtt::test
