#include "service/demo_config.h"

#include <cstdio>

namespace kstbell::service {

namespace {

std::string List(const std::vector<std::string>& addresses, std::size_t from, std::size_t to) {
    std::string list;
    for (std::size_t i = from; i < to; ++i)
        list += (list.empty() ? "\"" : ", \"") + addresses[i] + "\"";
    return "[" + list + "]";
}

std::string EveryMinute() {
    std::string bells;
    for (int h = 0; h < 24; ++h) {
        for (int m = 0; m < 60; ++m) {
            char time[6];
            std::snprintf(time, sizeof time, "%02d:%02d", h, m);
            bells += std::string("  { time = \"") + time + "\", group = \"" +
                     (m % 2 ? "west" : "east") + "\", tone = 1, duration_s = 3 },\n";
        }
    }
    return bells;
}

}  // namespace

std::string DemoConfig(const std::vector<std::string>& addresses) {
    const std::size_t half = (addresses.size() + 1) / 2;
    const bool split = addresses.size() >= 2;
    std::string text = R"([site]
name = "Demo site"
max_ring_s = 180
late_tolerance_s = 60

[poll]
period_ms = 1000

[devices]
addresses = )" + List(addresses, 1, addresses.size()) +
                       R"(

[[devices.horn]]
address = ")" + addresses.front() +
                       R"("
name = "Entrance"
input_alarm = "evacuation"
input_hold_off_s = 60

[groups]
east = )" + List(addresses, 0, half) +
                       "\nwest = " +
                       (split ? List(addresses, half, addresses.size()) : "[\"Entrance\"]") +
                       R"(

[schedule.week]
monday = "demo"
tuesday = "demo"
wednesday = "demo"
thursday = "demo"
friday = "demo"
saturday = "demo"
sunday = "demo"

[schedule.day_plans.demo]
bells = [
)" + EveryMinute() + R"(]

[alarms.evacuation]
label = "Evacuation"
priority = 1000
tone = 3
repeat = 5
steps = [ { on_ms = 2000, off_ms = 1000 } ]

[alarms.all_clear]
label = "All clear"
priority = 500
tone = 2
steps = [ { on_ms = 2000, off_ms = 500 }, { on_ms = 2000, off_ms = 0 } ]
)";
    return text;
}

}  // namespace kstbell::service
